// Cartridge-memory pages that identify the cartridge, its media and the
// drives that initialised and last updated it (001h, 002h, 101h, 10Dh).
#include "cm_layout_rows.h"
#include "cm_layouts.h"
#include "cm_pages.h"
#include "ltolib.h"

namespace ltolib {

namespace {

constexpr size_t one_layout(unsigned) { return 0; }

}  // namespace

void cm_decode_cartmfr_page(const u_int8 *page, size_t available, pfvv sink)
{
    decode_layout_page(page, available, sink, "Cartridge Manufacturer's Information\n", kCartMfrRows,
                       one_layout, 0x001);
}

void cm_decode_mediamfr_page(const u_int8 *page, size_t available, pfvv sink)
{
    decode_layout_page(page, available, sink, "Media Manufacturer's Information\n", kMediaMfrRows,
                       media_mfr_layout, 0x002);
}

void cm_decode_init_page(const u_int8 *page, size_t available, pfvv sink)
{
    decode_layout_page(page, available, sink, "Initialisation Data\n", kInitRows, init_layout, 0x101);
}

void cm_decode_cartcont_page(const u_int8 *page, size_t available, pfvv sink)
{
    decode_layout_page(page, available, sink, "Cartridge Content Data\n", kCartContRows, cart_cont_layout,
                       0x10D);
}

}  // namespace ltolib

static_assert(LTO_CM_CARTMFR_PAGE_MAX == ltolib::kCartMfrMax &&
                  LTO_CM_MEDIAMFR_PAGE_MAX == ltolib::kMediaMfrMax &&
                  LTO_CM_INIT_PAGE_MAX == ltolib::kInitMax && LTO_CM_CARTCONT_PAGE_MAX == ltolib::kCartContMax,
              "the documented page sizes are the largest layouts");

void lto_cm_decode_cartmfr_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_cartmfr_page(page, LTO_CM_CARTMFR_PAGE_MAX, output_handle);
}

void lto_cm_decode_mediamfr_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_mediamfr_page(page, LTO_CM_MEDIAMFR_PAGE_MAX, output_handle);
}

void lto_cm_decode_init_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_init_page(page, LTO_CM_INIT_PAGE_MAX, output_handle);
}

void lto_cm_decode_cartcont_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_cartcont_page(page, LTO_CM_CARTCONT_PAGE_MAX, output_handle);
}
