/* LTO drive library. */
#ifndef LTOLIB_H
#define LTOLIB_H

#include "scsi_io.h"

/* ---- LTO identification probe ---- */

/* 1 when the drive's first supported density is assigned by "LTO-CVE". */
boolean lto_drive_is_lto(DRIVE *drv);


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
