// Cartridge-memory vendor pages (180h to 184h, 200h): no decoder, so they are
// shown as a hex dump of the page length the header gives.
#include <algorithm>

#include "cm_layout_rows.h"
#include "cm_layouts.h"
#include "cm_pages.h"
#include "ltolib.h"

namespace ltolib {

namespace {

// The dump stops at the bytes available, and then says so.
void dump_page(CmLines &out, const CmView &page, unsigned expected_id)
{
    if (!fits(out, page, 4, expected_id))
        return;
    const size_t length = page.claimed_length();
    const size_t count = std::min(length, page.size());
    out.dump(page.at(0), count);
    if (count < length)
        out.overrun(page.id_or(expected_id));
}

}  // namespace

void cm_decode_mechspec_page(const u_int8 *bytes, size_t available, pfvv sink)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        out.separator();
        if (page.has(2)) {
            const unsigned id = page.id_or(0);
            for (const MechSpecOwner &owner : kMechSpecOwners)
                if (owner.id == id)
                    out.put(owner.line);
        }
        out.separator();
        dump_page(out, page, 0x180);
    });
}

void cm_decode_appspec_page(const u_int8 *bytes, size_t available, pfvv sink)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        out.title("App-specific page (0x200): no decoder\n");
        dump_page(out, page, 0x200);
    });
}

}  // namespace ltolib

static_assert(LTO_CM_VENDOR_PAGE_MAX == ltolib::kVendorPageMax, "the longest page length");

void lto_cm_decode_mechspec_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_mechspec_page(page, LTO_CM_VENDOR_PAGE_MAX, output_handle);
}

void lto_cm_decode_appspec_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_appspec_page(page, LTO_CM_VENDOR_PAGE_MAX, output_handle);
}
