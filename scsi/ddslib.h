/* The DDS identification probe and the DDS drive library. The byte helpers and
 * sense texts come with it, for the programs that have always found them here.
 *
 * dds_drive_is_new_arch answers for the drive probed last in the process, and
 * the C1 error rates use the tape format decided last: probe the drive you
 * then read, with no call for another drive between. See docs/library.md. */
#ifndef KVTAPE_DDSLIB_H
#define KVTAPE_DDSLIB_H

#include "byte_and_sense_helpers.h"
#include "scsi_io.h"

/* ---- DDS identification probe ---- */

/* Hardware configuration code of the drive probed last; 0 after a failed probe. */
extern int32 dds_drive_hwconfig;
/* Reads the configuration codes and names the platform (codename: 16 bytes at least). */
int32 dds_read_config_codes(DRIVE *drv, int32 *hw_code, int32 *fw_code, char *codename);


/* ---- DDS mode-page settings and write protection ---- */

typedef enum { write_enabled = 0, write_protected = 1 } wpstate;

/* Read-edit-write setters of one mode page. Each returns 0, or -1 when a command
 * fails or the drive's MODE SENSE reply cannot hold what is edited (too short, a
 * block descriptor length other than 8, another page code); nothing is written
 * to the drive then. A negative partition, partition count or size, record size
 * or buffered mode is refused with -1. */
int32 dds_set_rsm(DRIVE *drv, boolean enable);
int32 dds_set_rew(DRIVE *drv, boolean report_early_warning);
int32 dds_set_compression(DRIVE *drv, boolean enable);
int32 dds_set_vuma_mode(DRIVE *drv, boolean enable);
int32 dds_change_partition(DRIVE *drv, int32 partition);
int32 dds_config_ecc(DRIVE *drv, int32 C3, int32 RAW, int32 ngrp);
int32 dds_modify_partitions(DRIVE *drv, int32 partitions, int32 partitionsize);
int32 dds_set_fixed_record_size(DRIVE *drv, int32 fixed_record_size);
int32 dds_set_buffering(DRIVE *drv, int32 mode);
/* These two return -1 and leave their output as it was when the reply ends
 * before the field they read. */
int32 dds_get_WP(DRIVE *drv, wpstate *wp);
/* `string` must hold DDS_PRODUCT_ID_SIZE bytes: up to 16 characters and a NUL. */
#define DDS_PRODUCT_ID_SIZE 17
int32 dds_get_product_id(DRIVE *drv, char *string);

/* ---- DDS log pages, counters and tape format ---- */

/* C1 counters of one direction, with their average error rates. */
typedef struct {
    int32 framecount;
    int32 main_pos;
    int32 main_neg;
    int32 sub0_pos;
    int32 sub1_pos;
    int32 sub0_neg;
    int32 sub1_neg;
    int32 read_retry_count;
    int32 read_C2_uncorr;
    float avg_pos_errate;
    float avg_neg_errate;
} C1_count_type;

typedef struct {
    int32 groups_written;
    int32 RAW_retries;
    int32 groups_read;
    int32 ECC3_retries;
} Tapelogtype;

typedef struct {
    int32 entities_written;
    int32 entities_read;
    int32 records_written;
    int32 records_read;
    int32 kbytes_from_host;
    int32 kbytes_to_host;
    int32 kbytes_to_tape;
    int32 kbytes_from_tape;
    int32 log_entity_size;
    int32 phys_entity_size;
    int32 non_DCLZ_entities;
    float avg_compression;
} DCtfrtype;

typedef enum { predict_information = 0, predict_warning = 1, predict_critical = 2 } predict_flag_type;

typedef struct {
    int param_code;
    predict_flag_type flag_type;
    const char *text;
} PredictStructure;

/* TapeAlert flag descriptions, row i for flag i+1. Read-only; the readers hand
 * out pointers into it that stay valid for the life of the process. */
#define DDS_TAPEALERT_FLAGS 64
extern const PredictStructure _predictflags[DDS_TAPEALERT_FLAGS];

/* Page code of the write-direction C1 counters; any other page is logged as read. */
#define DDS_C1_WRITE_PAGE 0x34

/* Tape format last decided or set, one value for the process: 1..6, 40h, or 0. */
extern unsigned char dds_tape_format;

/* Each reader returns 0 (dds_get_predict_log: the number of flags stored), the
 * failing command's negative result, or -1 when the reply ends before the last
 * field; its outputs are written only on success. */
int32 dds_get_errcounters(DRIVE *drv, int32 pagecode, int32 *softerrs, int32 *retries, int32 *groups,
                          int32 *harderrs);
int32 dds_get_C1_counters(DRIVE *drv, int32 pagecode, C1_count_type *C1_counts);
/* `logpage` must hold the 76 bytes of a C1 counter page. */
void dds_pull_out_C1_counters(C1_count_type *C1_counts, u_int8 *logpage);
int32 dds_read_tape_log(DRIVE *drv, Tapelogtype *current, Tapelogtype *previous, Tapelogtype *total,
                        int32 *loadcount);
int32 dds_read_DC_performance(DRIVE *drv, DCtfrtype *performance);
int32 dds_read_tape_capacity(DRIVE *drv, int32 *p0remain, int32 *p1remain, int32 *p0max, int32 *p1max);
/* `p` must hold DDS_TAPEALERT_FLAGS pointers. */
int32 dds_get_predict_log(DRIVE *drv, PredictStructure **p);
/* `chanA` and `chanB` must hold DDS_CHELT_COEFFS values each. */
#define DDS_CHELT_COEFFS 14
int32 dds_get_chelt_coeffs(DRIVE *drv, int32 *chanA, int32 *chanB, int32 *afn);
/* Writes 0 to *format (and to the cache) when the format cannot be decided. */
int32 dds_get_tape_format(DRIVE *drv, unsigned char *format);
u_int8 dds_set_tape_format(u_int8 newformat);

/* ---- DDS EEPROM and identity data ---- */

/* Manufacturing codes; each field holds a NUL-terminated text. */
typedef struct {
    char serialno[16];
    char datecode[16];
    char mechcode[16];
    char boardcode[16];
    char mfgplant[16];
} mfg_data_type;

/* One entry of the drive's EEPROM fault log. */
typedef struct {
    u_int8 errorcode;
    u_int8 scsi_opcode;
    u_int8 flags;
    u_int8 dummy;
} faultlogtype;

/* Entries of the largest fault log any drive family keeps; the output of
 * dds_read_eprom_log must hold this many whatever the drive. */
#define DDS_FAULTLOG_MAX_ENTRIES 100

/* Room each firmware-revision text of dds_get_fw_revs needs, NUL included: the
 * controller text holds at most 10 characters, the servo text at most 31 and the
 * autochanger text at most 7. */
#define DDS_FW_REV_SIZE 32

int32 dds_read_eprom_info(DRIVE *drv, int32 *csum, boolean *csum_valid, int32 *flashcount);
/* Family-1 drives read each field separately: on a failed read the fields read
 * before it stay filled. They keep no plant code: mfgplant is left as it was. */
int32 dds_read_mfg_codes(DRIVE *drv, mfg_data_type *mcodes);
/* faultlog holds DDS_FAULTLOG_MAX_ENTRIES entries; *overflow is 0 unless the
 * drive reports that its log overflowed. */
int32 dds_read_eprom_log(DRIVE *drv, faultlogtype *faultlog, int32 *num_entries, boolean *overflow);
/* Each text buffer holds DDS_FW_REV_SIZE bytes; autoch may be NULL. The outputs
 * are written only when the result is 0. */
int32 dds_get_fw_revs(DRIVE *drv, char *ctrlr, char *servo, char *autoch);
/* 1 when the drive probed last is of the new architecture; sends nothing. */
int32 dds_drive_is_new_arch(void);
/* Reads nbytes bytes of the serial EEPROM from offset into data (never more);
 * returns the number of bytes read, or -1. */
int32 dds_read_serial_eeprom(DRIVE *drv, unsigned char *data, int32 offset, int32 nbytes);

/* ---- DDS vendor diagnostics and firmware download ---- */

/* One servo command. */
typedef struct {
    u_int8 cmd;
    u_int8 num_parms; /* parameter bytes in use, 0..4 */
    u_int8 parms[4];
    boolean passthru; /* pass-through mode on */
} servo_cmd_type;

/* Largest image file dds_download_firmware sends; a larger one is refused. */
#define DDS_FW_FILE_MAX 32768

/* Stores byte `which` (0..19) of the switch report in *switches. */
int32 dds_read_switches(DRIVE *drv, int32 which, u_int8 *switches);
int32 dds_servo_cmd(DRIVE *drv, boolean alt_layout, servo_cmd_type *servocmd);
/* Returns the bytes of status received, or -1. */
int32 dds_servo_status(DRIVE *drv, boolean alt_layout, unsigned char *status, int32 length);
int32 dds_send_dai_command(DRIVE *drv, u_int8 command, u_int8 parm1, u_int8 parm2, u_int8 parm3, u_int8 parm4);
/* Sends each file of the list, in order, in one WRITE BUFFER; mode 5 erases the
 * drive's calibration, mode 4 keeps it. Every file is opened and read (1 to
 * DDS_FW_FILE_MAX bytes) before anything is sent, so a bad list sends nothing. */
int32 dds_download_firmware(DRIVE *drv, char **filelist, int32 nfiles, boolean destroy_cal);

#endif
