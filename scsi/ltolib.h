/* LTO drive library. */
#ifndef LTOLIB_H
#define LTOLIB_H

#include "scsi_io.h"

/* ---- LTO identification probe ---- */

/* 1 when the drive's first supported density is assigned by "LTO-CVE". */
boolean lto_drive_is_lto(DRIVE *drv);


/* ---- LTO drive commands and vendor pages ---- */

/* Tape usage log (log page 30h). */
typedef struct {
    int32 loadCount;
    double writtenSets;  /* 64-bit counter */
    int32 writeRetries;
    int32 unrecoveredWrites;
    int32 suspendedWrites;
    int32 fatalSuspWrites;
    double readSets;     /* 64-bit counter */
    int32 readRetries;
    int32 unrecoveredReads;
} LTOTapelogtype;

/* Compression and transfer log (log page 32h); ratios and byte counts. */
typedef struct {
    double read_compression;
    double write_compression;
    double bytes_from_host;
    double bytes_to_tape;
    double bytes_from_tape;
    double bytes_to_host;
} LTODCtfrtype;

/* Most parameters a mechanism command carries. */
#define LTO_MECH_MAX_PARMS 38
/* Room lto_get_drive_number needs: 15 characters and a NUL. */
#define LTO_DRIVE_NUMBER_SIZE 16
/* Words one memory-write page carries. */
#define LTO_MEMORY_WORDS_PER_PAGE 16
/* Memory id and word width of the cartridge memory, addressed in bytes. */
#define LTO_CM_MEMORY_ID 16
#define LTO_CM_WORD_WIDTH 8

/* The log-page readers return 0, the failing LOG SENSE result, or -1 when the
 * reply ends before the last field; their outputs are written only on success. */
int32 lto_get_errcounters(DRIVE *drv, int32 pagecode, int32 *softerrs, int32 *err_corrected,
                          int32 *num_datasets, int32 *harderrs);
int32 lto_read_tape_log(DRIVE *drv, LTOTapelogtype *log);
int32 lto_read_DC_performance(DRIVE *drv, LTODCtfrtype *performance);

/* Vendor diagnostic pages; each returns 0 or -1 unless said otherwise. */
int32 lto_enter_datacollection_mode(DRIVE *drv, int32 mode, int32 position, boolean posnByLPOS,
                                    int32 wrap, int32 bcLength, int32 trackOffset, int32 speed);
int32 lto_exit_datacollection_mode(DRIVE *drv);
/* Both return the bytes received, or -1. */
int32 lto_get_servo_defects(DRIVE *drv, u_int8 *defects, int32 defectSpace);
int32 lto_get_firmware_trace(DRIVE *drv, int32 pagecode, u_int8 *trace, int32 length);
/* nparms: 0..LTO_MECH_MAX_PARMS; anything else sends nothing and gives -1. */
int32 lto_send_mech_cmd(DRIVE *drv, int32 opcode, int32 nparms, int32 *parmlist);
/* Stores at most nValues numbers of the reply; returns how many, or -1. */
int32 lto_get_mech_data(DRIVE *drv, int32 *data, int32 nValues);
int32 lto_get_lp0(DRIVE *drv, int32 *lp0, boolean *is_valid);
int32 lto_run_ert(DRIVE *drv, int32 startPos, int32 tapeSpeed, int32 wrapNum, int32 trackOffset,
                  int32 length, int32 threshold, boolean writeERT);

/* Memory access by id and word width in bits (8, 16 or 32). The read stores at
 * most len words into buffer (bytes, 16- or 32-bit words by wsize) and returns
 * how many; the write sends LTO_MEMORY_WORDS_PER_PAGE words per page and
 * returns the words the drive took. Addresses count bytes: a write continuing
 * past its first page starts 1, 2 or 4 bytes further per word sent. */
int32 lto_read_memory_diag(DRIVE *drv, int32 addr, int32 len, int32 id, int32 wsize, void *buffer);
int32 lto_write_memory_diag(DRIVE *drv, int32 addr, int32 len, int32 id, int32 wsize, void *buffer);
/* Reads up to len bytes of the cartridge memory (4096, or 8192 when its byte 5
 * says so); returns the bytes read, or -1. */
int32 lto_read_cm(DRIVE *drv, u_int8 *contents, int32 len);

/* Downloads one image file in 65536-byte chunks and closes the download; the
 * callback, when set, gets the share of the file sent (0..100) after every
 * granularity-th chunk. */
int32 lto_download_firmware(DRIVE *drv, char *filename, pfvi callback, int32 granularity);

/* Text of the drive error or field pointer of fixed-format sense data (18 bytes
 * at least); a static area that the next call overwrites. */
char *lto_decode_error(u_int8 *sensedata);
/* The drive error code, or 0 when the sense carries a field pointer. */
int32 lto_get_errorcode(u_int8 *sensedata);
/* Drive serial number into driveno (LTO_DRIVE_NUMBER_SIZE bytes). */
int32 lto_get_drive_number(DRIVE *drv, char *driveno);


/* ---- LTO drive generation and drive control ---- */

/* Variant code of the drive asked last by lto_get_drive_generation; 0 before. */
extern int32 lto_drive_hwconfig;

/* Reads the variant from vendor page C1h; returns the generation index (0..4,
 * or 153 for the 4xxxxxxxh family), or -1 with both values unchanged. */
int32 lto_get_drive_generation(DRIVE *drv);
/* Stores newgen as the generation and returns the previous one; sends nothing. */
int32 lto_set_drive_generation(int32 newgen);

/* Primary density code of the loaded tape; 0 when none is loaded. */
int32 lto_get_tape_format(DRIVE *drv, u_int8 *format);
/* Degrees Celsius; 255 on failure. */
int32 lto_get_drive_temperature(DRIVE *drv, int32 *temp);
/* Drive clock (vendor mode page 3Ch). ctime is written, and flags bit 1000h set,
 * only when the drive sends it. */
int32 lto_get_drive_time(DRIVE *drv, u_int32 *wtime, u_int32 *ptime, u_int32 *poc, u_int32 *ctime,
                         int32 *flags);
int32 lto_set_drive_time(DRIVE *drv, u_int32 newtime, int32 flags);
/* SET TIMESTAMP in milliseconds (low 48 bits); the bytes sent, or -1. */
int32 lto_set_timestamp(DRIVE *drv, u_int64 tstamp);
int32 lto_report_timestamp(DRIVE *drv, u_int64 *tstamp, u_int8 *origin);
/* protection_type 0..3: none, LBP_R, LBP_W, both. */
int32 lto_set_protection_mode(DRIVE *drv, int32 protection_type);
int32 lto_get_phys_position(DRIVE *drv, int32 *posn, int32 *fwrap, int32 *bwrap);

#endif
