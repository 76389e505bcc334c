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
    double writtenSets; /* 64-bit counter */
    int32 writeRetries;
    int32 unrecoveredWrites;
    int32 suspendedWrites;
    int32 fatalSuspWrites;
    double readSets; /* 64-bit counter */
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
int32 lto_enter_datacollection_mode(DRIVE *drv, int32 mode, int32 position, boolean posnByLPOS, int32 wrap,
                                    int32 bcLength, int32 trackOffset, int32 speed);
int32 lto_exit_datacollection_mode(DRIVE *drv);
/* Both return the bytes received, or -1. */
int32 lto_get_servo_defects(DRIVE *drv, u_int8 *defects, int32 defectSpace);
int32 lto_get_firmware_trace(DRIVE *drv, int32 pagecode, u_int8 *trace, int32 length);
/* nparms: 0..LTO_MECH_MAX_PARMS; anything else sends nothing and gives -1. */
int32 lto_send_mech_cmd(DRIVE *drv, int32 opcode, int32 nparms, int32 *parmlist);
/* Stores at most nValues numbers of the reply; returns how many, or -1. */
int32 lto_get_mech_data(DRIVE *drv, int32 *data, int32 nValues);
int32 lto_get_lp0(DRIVE *drv, int32 *lp0, boolean *is_valid);
int32 lto_run_ert(DRIVE *drv, int32 startPos, int32 tapeSpeed, int32 wrapNum, int32 trackOffset, int32 length,
                  int32 threshold, boolean writeERT);

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


/* ---- Cartridge-memory page decoders ----
 *
 * Each writes one page of a cartridge-memory image as text lines, one sink
 * call per line (a hex dump is one call of several lines); the text is valid
 * only during the call. A NULL page or sink writes nothing. page points at the
 * page's first byte, which starts with the header word (version in bits
 * 15..12, page id in bits 11..0) and the page length. Each decoder reads at
 * most the bytes below from page, fewer for the smaller layouts of older
 * versions; the caller makes that many readable.
 */
#define LTO_CM_CARTMFR_PAGE_MAX 64
#define LTO_CM_MEDIAMFR_PAGE_MAX 64
#define LTO_CM_INIT_PAGE_MAX 72
#define LTO_CM_CARTCONT_PAGE_MAX 64
#define LTO_CM_TAPEWRPASS_PAGE_MAX 48
#define LTO_CM_TAPEDIR_PAGE_MAX 2576
#define LTO_CM_EOD_PAGE_MAX 96
#define LTO_CM_CARTSTAT_PAGE_MAX 64
#define LTO_CM_MECH_PAGE_MAX 384
#define LTO_CM_MECH_SUBPAGE_MAX 52 /* of the 64-byte subpage */
#define LTO_CM_SUSPAPP_PAGE_MAX 184
#define LTO_CM_USAGE_PAGE_MAX 96
#define LTO_CM_FATALERROR_PAGE_MAX 160
#define LTO_CM_VENDOR_PAGE_MAX 65535 /* the page length the header gives */

/* Page 001h, cartridge manufacturer's information. */
void lto_cm_decode_cartmfr_page(u_int8 *page, pfvv output_handle);
/* Page 002h, media manufacturer's information. */
void lto_cm_decode_mediamfr_page(u_int8 *page, pfvv output_handle);
/* Page 101h, initialisation data. */
void lto_cm_decode_init_page(u_int8 *page, pfvv output_handle);
/* Page 10Dh, cartridge content data. */
void lto_cm_decode_cartcont_page(u_int8 *page, pfvv output_handle);

/* Page 102h, tape write pass data. */
void lto_cm_decode_tapewrpass_page(u_int8 *page, pfvv output_handle);
/* Page 103h, tape directory. */
void lto_cm_decode_tapedir_page(u_int8 *page, pfvv output_handle);
/* Pages 104h and 10Eh, EOD information of partition 0 and 1 (by the page id). */
void lto_cm_decode_eod_page(u_int8 *page, pfvv output_handle);
/* Page 105h, cartridge status and TapeAlert flags. */
void lto_cm_decode_cartstat_page(u_int8 *page, pfvv output_handle);

/* Page 106h, mechanism related data with its four usage subpages. */
void lto_cm_decode_mech_page(u_int8 *page, pfvv output_handle);
/* One 64-byte mechanism usage subpage, headed with its number which (0 to 3). */
void lto_cm_decode_mech_subpage(u_int8 *page, int which, pfvv output_handle);
/* Page 107h, suspended appends. */
void lto_cm_decode_suspapp_page(u_int8 *page, pfvv output_handle);
/* Pages 108h to 10Bh, usage page which (0 to 3). */
void lto_cm_decode_usage_page(u_int8 *page, int which, pfvv output_handle);
/* Page 10Ch, fatal error usage. */
void lto_cm_decode_fatalerror_page(u_int8 *page, pfvv output_handle);
/* Pages 180h to 184h, mechanism-specific: a hex dump of the page length. */
void lto_cm_decode_mechspec_page(u_int8 *page, pfvv output_handle);
/* Page 200h, application-specific: a hex dump of the page length. */
void lto_cm_decode_appspec_page(u_int8 *page, pfvv output_handle);

/* label and value seconds as days, hours, minutes and seconds, one line, in
 * a process-wide buffer of 160 characters that the next call overwrites; a
 * label too long for it is cut, the line still ends in a newline. */
#define LTO_BREAK_TIME_SIZE 160
char *lto_break_time(const char *label, u_int32 value);


#endif
