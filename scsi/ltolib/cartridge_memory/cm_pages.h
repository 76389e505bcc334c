// The cartridge-memory page decoders over a bounded view: page points at the
// page's first byte and available counts the bytes from there that may be
// read (the rest of an image, a record, a fuzz input). A page whose layout for
// its version does not fit gets its title and one notice line, and no fields;
// a vendor page dump covers at most the bytes available. A NULL page or sink
// writes nothing. The public forms in ltolib.h call these.
#ifndef LTOLIB_CARTRIDGE_MEMORY_CM_PAGES_H
#define LTOLIB_CARTRIDGE_MEMORY_CM_PAGES_H

#include <cstddef>

#include "scsi_io.h"

namespace ltolib {

void cm_decode_cartmfr_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_mediamfr_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_init_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_cartcont_page(const u_int8 *page, size_t available, pfvv sink);

void cm_decode_tapewrpass_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_tapedir_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_eod_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_cartstat_page(const u_int8 *page, size_t available, pfvv sink);

void cm_decode_mech_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_mech_subpage(const u_int8 *page, size_t available, int which, pfvv sink);
void cm_decode_suspapp_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_usage_page(const u_int8 *page, size_t available, int which, pfvv sink);
void cm_decode_fatalerror_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_mechspec_page(const u_int8 *page, size_t available, pfvv sink);
void cm_decode_appspec_page(const u_int8 *page, size_t available, pfvv sink);

}  // namespace ltolib

#endif
