/* LTO drive library.
 *
 * The log parsers, command histories and EEPROM reports follow the drive
 * generation asked (lto_get_drive_generation) or set last in the process: ask
 * the drive whose logs you read, with no call for another drive between. Sinks
 * and the progress callback must not call back into the library. See
 * docs/library.md. */
#ifndef KVTAPE_LTOLIB_H
#define KVTAPE_LTOLIB_H

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


/* ---- Cartridge-memory report and CMMA area ----
 *
 * An image starts at cartridge-memory address 0 and is 4096 or 8192 bytes
 * long, as its validity marker (bytes 5..7: 040001h or 080002h) says. The
 * report and its parts write through the sink only, one call per line (a
 * hex dump is one call of several lines); the text is valid only during the
 * call. Nothing is read past the image: a page table without an end entry in
 * it, a table or page that starts outside it, each stops with a notice line.
 */

/* Selectors of lto_decode_cm_contents and lto_cm_decode_pages; 000h..FFFh
 * selects the pages of that id. */
#define LTO_CM_ALL 0x10000
#define LTO_CM_PAGE_TABLES 0x10001
#define LTO_CM_PAGES 0x10002
#define LTO_CM_MFR_INFO 0x10003
#define LTO_CM_CMMA 0x20000

/* Page ids of the cartridge-memory pages. */
#define LTO_CM_PAGE_INVALID 0x000
#define LTO_CM_PAGE_CARTMFR 0x001
#define LTO_CM_PAGE_MEDIAMFR 0x002
#define LTO_CM_PAGE_INIT 0x101
#define LTO_CM_PAGE_TAPEWRPASS 0x102
#define LTO_CM_PAGE_TAPEDIR 0x103
#define LTO_CM_PAGE_EOD 0x104
#define LTO_CM_PAGE_CARTSTAT 0x105
#define LTO_CM_PAGE_MECH 0x106
#define LTO_CM_PAGE_SUSPAPP 0x107
#define LTO_CM_PAGE_USAGE0 0x108 /* to 10Bh: usage pages 0 to 3 */
#define LTO_CM_PAGE_FATALERROR 0x10C
#define LTO_CM_PAGE_CARTCONT 0x10D
#define LTO_CM_PAGE_EOD_PARTN1 0x10E
#define LTO_CM_PAGE_MECHSPEC0 0x180 /* to 184h */
#define LTO_CM_PAGE_APPSPEC 0x200
#define LTO_CM_PAGE_END 0xFFF /* ends a page table */

/* Image sizes, and where the CMMA area lies in an image. */
#define LTO_CM_SMALL_SIZE 4096
#define LTO_CM_LARGE_SIZE 8192
#define LTO_CM_CMMA_ADDRESS 0xF00
#define LTO_CM_CMMA_SIZE 148
/* Room lto_get_tape_number needs: 11 characters and a NUL. */
#define LTO_TAPE_NUMBER_SIZE 12

/* The whole report, or the part whichpart selects. 0 when written (for any
 * selector, known or not); -1 for a NULL image or sink (nothing written) or
 * an image whose validity marker is wrong (a notice and its first 64 bytes). */
int32 lto_decode_cm_contents(u_int8 *ltocm, int whichpart, pfvv output_handle);
/* The manufacturer's information of an image (its first 34 bytes). */
void lto_cm_decode_mfr_info(u_int8 *cm, pfvv output_handle);
/* The listing of the page table at table: its entries up to the end entry
 * and the CRC after it, reading at most LTO_CM_LARGE_SIZE bytes from table. */
void lto_cm_decode_page_table(u_int8 *table, char *label, pfvv output_handle);
/* Decodes the pages whichpage selects from the table at image offset
 * tableOffset; returns the start-address field of the table's end entry (the
 * offset of the next table), or -1 when the table has no end entry within the
 * image or an argument is NULL. The image size is what its marker says, 4096
 * bytes when the marker is wrong. */
int32 lto_cm_decode_pages(u_int8 *cm, int tableOffset, int whichpage, pfvv output_handle);

/* The cartridge serial number into tapeno (LTO_TAPE_NUMBER_SIZE bytes): the
 * drive's media serial number, else the one in the cartridge memory. 0, or -1
 * with tapeno untouched. */
int32 lto_get_tape_number(DRIVE *drv, char *tapeno);
/* The cartridge serial number (at most 10 characters and a NUL) from page
 * 001h, found through the protected page table in the first 256 bytes of an
 * image. 0, or -1 with tapeno untouched. */
int32 lto_cm_get_tape_number(u_int8 *cm, char *tapeno);

/* The CMMA area (148 bytes at cartridge-memory address F00h) in memory. */
typedef struct {
    struct {
        u_int8 revision;
        u_int8 state; /* 0 uninitialised, 1 usable, 2 unusable, 3 master reference tape */
        u_int8 station_flags;
        u_int8 pes_flags;
        u_int8 ref_level;
        u_int8 padding[3];
        u_int32 times_used;
        u_int32 times_failed;
        u_int32 tape_pass_count;
        u_int32 lifetime_tape_pass_count;
    } ctrl_area;
    struct {
        u_int32 date;     /* seconds since 1970 */
        char driveno[16]; /* 12 characters and a NUL */
        u_int16 count;
        u_int16 msrt_value;   /* 1/4096 units */
        int16 servoazi_value; /* 1/2048 units */
        struct {
            int16 fwd;
            int16 rev;
        } ert;
        struct {
            int16 fwd_std;
            int16 rev_std;
            int16 fwd_count;
            int16 rev_count;
            int16 wi_hh; /* 1/65000 units */
            int16 wi_fh; /* 1/65000 units */
        } pes;
        char grade;
        u_int8 reuse;
    } qual_area;
    struct {
        u_int32 date;
        char driveno[16];
        u_int32 errorcode;
    } last_test_area;
} LTOCMMAType;

/* The report of a 148-byte CMMA area; dates in local time. */
void lto_cm_decode_cmma(u_int8 *cm, pfvv output_handle);
/* Reads the CMMA area of the loaded cartridge; 0, or -1 with *cmma untouched. */
int32 lto_get_cmma(DRIVE *drv, LTOCMMAType *cmma);
/* Adds extras to the tape pass and lifetime tape pass counters. The counters
 * stop at FFFFFFFFh rather than wrap. 0, or -1. */
int32 lto_update_cmma_tapepasses(DRIVE *drv, u_int32 extras);
/* Writes the last test (now, serialno cut to 12 characters, errorcode), then
 * counts one use, and one failure when errorcode is not 0; with set_state
 * too the cartridge becomes unusable. 0, or -1 (the last test may be written
 * while the counters are not). */
int32 lto_update_cmma_drivelog(DRIVE *drv, char *serialno, u_int32 errorcode, boolean set_state);


/* ---- Maintenance commands and IP configuration ----
 *
 * MAINTENANCE IN (A3h) and OUT (A4h) with service action 1Fh; each returns
 * the bytes transferred, or -1 with the reason in the handle. A NULL buffer
 * with a nonzero length gives -1 and sends nothing.
 */

/* One entry of the firmware trace list. */
typedef struct {
    u_int8 lognum;
    u_int8 banknum;
    u_int32 logsize;
} LTOfwtlistType;

/* The drive's network settings; the read-only ones are filled by the reader
 * and not sent by the writer. IPv4 values are numbers, first byte highest. */
typedef struct {
    u_int8 iadtdisc;
    u_int8 disable;
    u_int8 ipv4acq;    /* 4 bits */
    u_int8 ipv6acq;    /* 4 bits */
    u_int8 macaddr[6]; /* read only */
    u_int32 mtusize;   /* 16 bits on the wire */
    u_int32 ipv4_static;
    u_int32 ipv4_netmask;
    u_int32 ipv4_gateway;
    u_int32 ipv4_dns1;
    u_int32 ipv4_dns2;
    u_int32 ipv4_assigned;     /* read only */
    u_int8 ipv6_linklocal[20]; /* read only */
    u_int8 ipv6_global[20];    /* read only */
    u_int8 ipv6_default_dns1[20];
    u_int8 ipv6_default_dns2[20];
    u_int8 ipv6_dns1[20]; /* read only */
    u_int8 ipv6_dns2[20]; /* read only */
} LTOIPConfigType;

/* Sizes of the IP configuration lists: what the reader allows, what the
 * writer sends. */
#define LTO_IP_CONFIG_REPLY_SIZE 1024
#define LTO_IP_CONFIG_LIST_SIZE 108

/* One firmware segment of length bytes at offset; last & 1 marks the final
 * one. Offset and length are 24-bit fields: anything outside 0..FFFFFFh is
 * refused unsent. */
int32 lto_download_fwsegment(DRIVE *drv, int32 offset, int32 length, u_int8 *data, int32 last);
int32 lto_reboot_fw(DRIVE *drv, int32 swap);
/* The allocation length carries the low 16 bits of length. */
int32 lto_report_fwinfo(DRIVE *drv, u_int8 *info, int32 length);
int32 lto_read_lih_table(DRIVE *drv, int32 report_type, u_int8 *table, int32 length);
int32 lto_get_ext_firmware_trace(DRIVE *drv, u_int8 whichlog, u_int8 whichbank, u_int8 *buffer, int32 length);
/* At most nelems entries of the trace list; returns how many, or the failed
 * trace command's result. */
int32 lto_get_fwtracelist(DRIVE *drv, LTOfwtlistType *tlist, int32 nelems);
/* Zeroes *pConfig and fills it from the drive's descriptors; the bytes
 * received, or -1. An unknown descriptor is logged and passed over. */
int32 lto_get_ip_config(DRIVE *drv, LTOIPConfigType *pConfig);
/* Sends the settable fields as the 108-byte list; the bytes sent, or -1. */
int32 lto_set_ip_config(DRIVE *drv, LTOIPConfigType *pConfig);


/* ---- LTO diagnostic logs: fault log, write-fault log, C1 counters ----
 *
 * The drives report these logs as text: a 4-byte page header, then hexadecimal
 * numbers separated by white space. The parsers read exactly len bytes of
 * diagres (stopping early at a NUL), never write into it, and give 0 for a len
 * of 4 or less. Tick sizes and channel counts follow the generation (as
 * lto_get_drive_generation or lto_set_drive_generation left it) and
 * lto_drive_hwconfig at the time of the call.
 */

/* Room of every time text: hours:minutes:seconds.fraction and a NUL. */
#define LTO_TIMESTAMP_SIZE 24
/* Most records one fault log reply holds: 65535 bytes of reply, six numbers a
 * record, each number but the first taking at least two characters. The
 * caller's fault log array holds this many. */
#define LTO_FAULT_LOG_MAX ((65535 - 4 + 1) / 12)
/* Records of the old fault log layout: 500 numbers, five a record. */
#define LTO_OLD_FAULT_LOG_MAX 100
/* The write-fault log array is indexed by wrap number and holds this many
 * records; a line for a wrap at or above it is skipped. */
#define LTO_WRFAULT_LOG_WRAPS 256
/* Channel records of LTOC1CountType; 8 or 16 are filled. */
#define LTO_C1_CHANNELS 16

typedef struct {
    char timestamp[LTO_TIMESTAMP_SIZE]; /* hhh:mm:ss.uuuuuu */
    u_int32 pwrcycount;                 /* 0 in the old layout */
    u_int32 errcode;
    u_int32 dataset;
    u_int32 wrapno;
    u_int32 tapepos_mm;
} LTOFaultLogType;

/* Write-fault counters of one wrap. */
typedef struct {
    u_int32 writecount;
    u_int32 offtrackfaults;
    u_int32 otherfaults;
    u_int32 dsetrewrites;
} LTOWrFaultLogType;

typedef struct {
    int32 chan_no;
    int32 c1_errs;
    int32 c1_uncorr;
    int32 hdr_errs;
    int32 wrpass_errs;
    int32 ccps;
    double c1_errate;
    double bit_errate;
} LTOC1ChannelType;

/* C1 error counters of one pass. The write layout (pages 88h and 34h) fills
 * ccqset_rewrites and unwritable_datasets, any other page the three read
 * counters; fields of the other layout keep what the caller put there. */
typedef struct {
    int32 datasets;
    int32 ccqsets;
    int32 ccqset_rewrites;
    int32 unwritable_datasets;
    int32 subds_c2_errs;
    int32 ds_c2_errs;
    int32 xchan_interps;
    double mean_c1_errate;
    double mean_bit_errate;
    LTOC1ChannelType channel[LTO_C1_CHANNELS];
} LTOC1CountType;

/* Page A5h (new layout) when the variant keeps it, else or when it fails page
 * 85h (old layout). -1 when no page could be read, else the records stored
 * into log (at most LTO_FAULT_LOG_MAX), sorted by lto_compare_faults. */
int32 lto_get_fault_log(DRIVE *drv, LTOFaultLogType *log);
/* The records of one reply, stored and sorted; at most LTO_FAULT_LOG_MAX, or
 * LTO_OLD_FAULT_LOG_MAX in the old layout. */
int32 lto_deasciify_fault_log(LTOFaultLogType *log, boolean is_old_style, u_int8 *diagres, int32 len);
/* count ticks as "hhh:mm:ss.uuuuuu" (milliseconds for 1000) into string, which
 * holds LTO_TIMESTAMP_SIZE bytes. us_per_tick is 16, 10, 9 (ticks of 9.99 us)
 * or 1000; any other, or a NULL string, gives NULL and writes nothing. Hours
 * above 4294967295 wrap. */
char *lto_translate_timestamp48(u_int64 count, char *string, u_int32 us_per_tick);
/* Page 89h into log, indexed by wrap (LTO_WRFAULT_LOG_WRAPS records); -1, or
 * the lines stored. */
int32 lto_get_writefault_log(DRIVE *drv, LTOWrFaultLogType *log);
/* C1 counters of pagecode; -1 when the page cannot be read, else 0. */
int32 lto_get_c1_counters(DRIVE *drv, int32 pagecode, LTOC1CountType *counts);
/* The numbers read (at most 128); numbers the reply lacks count as 0. */
int32 lto_deasciify_c1_counters(int32 pagecode, LTOC1CountType *counts, u_int8 *diagres, int32 len);
/* qsort order of LTOFaultLogType: power cycles, then the time text. */
int lto_compare_faults(const void *e1, const void *e2);


/* ---- LTO command histories and interface configurations ----
 *
 * Each fetch reads its page (up to 65535 bytes) and parses it into at most
 * maxdepth records, sorted by power-on count and time; -1 when the page cannot
 * be read. The parsers follow the rules of the diagnostic logs above and
 * return the records counted (0 for maxdepth 0 or less).
 */

/* Room of a WWN text: 16 characters in colon-separated pairs and a NUL. */
#define LTO_WWN_SIZE 24
/* The longest WWN token kept. */
#define LTO_WWN_DIGITS 16

typedef struct {
    u_int32 pwrOnCount;
    u_int32 extrCount;
    char timestamp[LTO_TIMESTAMP_SIZE];
    u_int32 exectime;
    char execstamp[LTO_TIMESTAMP_SIZE];
    u_int32 xid;
    u_int32 iterationCount;
    u_int8 layoutversion;
    u_int8 ASC;
    u_int8 ASCQ;
    u_int8 status;
    u_int8 lun;
    u_int8 cdblen;
    u_int8 port;
    u_int8 isTMF;
    u_int8 cdb[16];
    u_int32 initiator;
    u_int32 datalength;
    u_int8 entryCode;
    u_int8 target;
    u_int16 tag;
    u_int16 response;
    u_int8 sense[24];
} LTOScsiHistoryType;

typedef struct {
    u_int32 pwrOnCount;
    char timestamp[LTO_TIMESTAMP_SIZE];
    u_int8 entryType;
    u_int8 cmdSeqNo;
    u_int8 primitive;
    u_int8 payloadInUse;
    u_int8 payload[6];
} LTOAciHistoryType;

typedef struct {
    u_int32 pwrOnCount;
    char timestamp[LTO_TIMESTAMP_SIZE];
    u_int8 entryType;
    u_int8 payload[12]; /* bytes 0..10 filled */
} LTOAdiHistoryType;

typedef struct {
    u_int8 isDT;
    u_int8 isWide;
    u_int8 isDisc;
    u_int8 period;
    u_int8 offset;
    u_int8 hasTalked;
} LTOScsiInitiatorType;

typedef struct {
    u_int32 pwrOnCount;
    char timestamp[LTO_TIMESTAMP_SIZE];
    u_int8 address;
    u_int8 isLVD;
    u_int8 speedLimit;
    u_int8 reserved;
    LTOScsiInitiatorType initiator[16];
} LTOScsiConfigType;

typedef struct {
    u_int32 pwrOnCount;
    char timestamp[LTO_TIMESTAMP_SIZE];
    u_int32 baudrate;
    u_int8 stopbits;
    u_int8 autoflags;
    u_int8 notifyflags;
    u_int8 respPeriod;
} LTOAciConfigType;

typedef struct {
    u_int32 pwrOnCount;
    char timestamp[LTO_TIMESTAMP_SIZE];
    u_int8 adt_major;
    u_int8 adt_minor;
    u_int32 baudrate;
    u_int16 ackOffset;
    u_int16 maxPayload;
    u_int8 rmc_LU_b6;
    u_int8 rmc_LU_b7;
    u_int8 rmc_LU_b8;
    u_int8 smc_LU_b6;
    u_int8 adc_LU_b6;
    u_int8 pad;
} LTOAdiConfigType;

/* One Fibre Channel port; every field is text, cut to its room. */
typedef struct {
    char initialised[4];
    char loop_id[6];
    char alpa[6];
    char speed[12];
    char topology[20];
    char wwn[LTO_WWN_SIZE];
} LTOFcPortType;

typedef struct {
    u_int32 pwrOnCount;
    char timestamp[LTO_TIMESTAMP_SIZE];
    char device_wwn[LTO_WWN_SIZE];
    LTOFcPortType port[2];
} LTOFcConfigType;

/* Page AFh, or A6h when AFh fails or is empty: the page code in bits 16..23 and
 * the records in the low bits (0xAF0000 alone when AFh has no version header or
 * an unsupported layout, which is logged); -1 when neither page could be read. */
int32 lto_get_scsi_cmdhistory(DRIVE *drv, int32 maxdepth, LTOScsiHistoryType *histlog);
int32 lto_get_aci_cmdhistory(DRIVE *drv, int32 maxdepth, LTOAciHistoryType *histlog); /* A7h */
int32 lto_get_adi_cmdhistory(DRIVE *drv, int32 maxdepth, LTOAdiHistoryType *histlog); /* B5h */
int32 lto_get_ami_cmdhistory(DRIVE *drv, int32 maxdepth, LTOAdiHistoryType *histlog); /* BEh */
int32 lto_get_scsi_config(DRIVE *drv, int32 maxdepth, LTOScsiConfigType *histlog);    /* AAh */
int32 lto_get_aci_config(DRIVE *drv, int32 maxdepth, LTOAciConfigType *histlog);      /* ABh */
int32 lto_get_adi_config(DRIVE *drv, int32 maxdepth, LTOAdiConfigType *histlog);      /* B6h */
int32 lto_get_ami_config(DRIVE *drv, int32 maxdepth, LTOAdiConfigType *histlog);      /* BFh */
int32 lto_get_fc_config(DRIVE *drv, int32 maxdepth, LTOFcConfigType *histlog);        /* ACh */

/* Page A6h. */
int32 lto_deasciify_scsi_cmdhistory(LTOScsiHistoryType *histlog, int32 maxdepth, u_int8 *diagres, int32 len);
/* Page AFh: 0 without its version header, -2 for a version above 3.0 (or not a
 * number); layout 3 above 2.5, else layout 2. */
int32 lto_deasciify_new_scsi_cmdhistory(LTOScsiHistoryType *histlog, int32 maxdepth, u_int8 *diagres,
                                        int32 len);
int32 lto_deasciify_aci_cmdhistory(LTOAciHistoryType *histlog, int32 maxdepth, u_int8 *diagres, int32 len);
/* Pages B5h and BEh. */
int32 lto_deasciify_adi_cmdhistory(LTOAdiHistoryType *histlog, int32 maxdepth, u_int8 *diagres, int32 len);
int32 lto_deasciify_scsi_config(LTOScsiConfigType *histlog, int32 maxdepth, u_int8 *diagres, int32 len);
int32 lto_deasciify_aci_config(LTOAciConfigType *histlog, int32 maxdepth, u_int8 *diagres, int32 len);
/* Pages B6h and BFh. */
int32 lto_deasciify_adi_config(LTOAdiConfigType *histlog, int32 maxdepth, u_int8 *diagres, int32 len);
int32 lto_deasciify_fc_config(LTOFcConfigType *histlog, int32 maxdepth, u_int8 *diagres, int32 len);

/* instr with a ':' after every second character but the last, into outstr,
 * which holds strlen(instr) * 3 / 2 + 1 bytes (LTO_WWN_SIZE for 16 characters).
 * Returns 0. */
int32 lto_format_wwn(char *instr, char *outstr);

/* qsort orders, ascending: power-on count (then extrCount for the SCSI
 * history), then the time text. */
int lto_compare_scsihist(const void *e1, const void *e2);
int lto_compare_acihist(const void *e1, const void *e2);
int lto_compare_adihist(const void *e1, const void *e2);
int lto_compare_scsicfg(const void *e1, const void *e2);
int lto_compare_acicfg(const void *e1, const void *e2);
int lto_compare_adicfg(const void *e1, const void *e2);
int lto_compare_fccfg(const void *e1, const void *e2);
/* For an array of char *: strcmp of the texts its elements point at. */
int lto_compare_eventlog(const void *e1, const void *e2);


/* ---- LTO EEPROM log reports ----
 *
 * Each turns the raw bytes of one EEPROM log into text lines, one sink call per
 * line, by the layout of the generation (as lto_get_drive_generation or
 * lto_set_drive_generation left it) and the channel count of
 * lto_drive_hwconfig. 0 after the report; -1, and nothing written, when
 * output_handle is NULL. log holds the bytes below (fewer are read for the
 * smaller layouts of older generations and 8-channel drives).
 */
#define LTO_EE_FAULTLOG_SIZE 4802     /* 200 slots of 24 bytes, start offset */
#define LTO_EE_WRFLTLOG_SIZE 804      /* load count, up to 80 wraps of 10 bytes */
#define LTO_EE_WERTLOG_SIZE 340       /* summary, 16 channels of 20 bytes */
#define LTO_EE_RERTLOG_SIZE 344       /* summary, 16 channels of 20 bytes */
#define LTO_EE_TAPESUSEDLOG_SIZE 2688 /* four tapes of up to 672 bytes */

/* Also -1, with no output, when the start offset is above 4776. */
int32 lto_decode_ee_faultlog(u_int8 *log, pfvv output_handle);
int32 lto_decode_ee_wrfltlog(u_int8 *log, pfvv output_handle);
int32 lto_decode_ee_wertlog(u_int8 *log, pfvv output_handle);
int32 lto_decode_ee_rertlog(u_int8 *log, pfvv output_handle);
int32 lto_decode_ee_tapesusedlog(u_int8 *log, pfvv output_handle);


#endif
