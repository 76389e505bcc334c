// Inside the LTO library: the cartridge-memory report over a bounded view.
// Each form takes the bytes and how many of them may be read; nothing past
// that count is read. The public forms in ltolib.h work out the count from
// the image's validity marker and call these.
#ifndef LTOLIB_CARTRIDGE_MEMORY_CM_REPORT_H
#define LTOLIB_CARTRIDGE_MEMORY_CM_REPORT_H

#include <cstddef>

#include "ltolib.h"

namespace ltolib {

// 4096 or 8192 as the validity marker of the image says, 0 when the marker is
// wrong or the image too short to hold it.
size_t cm_marked_size(const u_int8 *image, size_t count);

// The whole report, or the part whichpart selects, over count bytes of image;
// the view is the smaller of count and the marked size.
int32 cm_report(const u_int8 *image, size_t count, int whichpart, pfvv sink);

void cm_decode_mfr_info(const u_int8 *image, size_t count, pfvv sink);

// The listing of the table at table, available bytes from there.
void cm_decode_page_table(const u_int8 *table, size_t available, const char *label, pfvv sink);

// Walks the table at table_offset of a view of `view` bytes and decodes the
// pages whichpage selects. Returns the start-address field of the end entry,
// or -1 when the table has no end entry within the view; then, when
// note_cut is set, one notice line says so.
int32 cm_decode_pages(const u_int8 *image, size_t view, size_t table_offset, int whichpage, pfvv sink,
                      bool note_cut);

// The CMMA report of the area at `area`, available bytes from there.
void cm_decode_cmma(const u_int8 *area, size_t available, pfvv sink);
// The record of a whole area (LTO_CM_CMMA_SIZE bytes).
void cmma_from_area(const u_int8 *area, LTOCMMAType *cmma);

// The cartridge serial number from page 001h, found through the protected
// table within count bytes; 0, or -1 with tapeno untouched.
int32 cm_tape_number(const u_int8 *cm, size_t count, char *tapeno);

}  // namespace ltolib

#endif
