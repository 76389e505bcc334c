// Cartridge-memory pages that record how drives have used the cartridge:
// mechanism data and its subpages (106h), suspended appends (107h), the usage
// pages (108h to 10Bh) and fatal error usage (10Ch).
#include "cm_layout_rows.h"
#include "cm_layouts.h"
#include "cm_pages.h"
#include "ltolib.h"

namespace ltolib {

namespace {

void show_mech_subpage(CmLines &out, const CmView &subpage, int which)
{
    out.line("\nMech Usage subpage %d\n", which);
    out.put("--------------------\n");
    if (!subpage.has(kMechSubpageEnd)) {
        out.line("Subpage %d runs past the end of the image\n", which);
        return;
    }
    show_rows(out, subpage, kMechSubpageRows, 0);
}

}  // namespace

void cm_decode_mech_page(const u_int8 *bytes, size_t available, pfvv sink)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        out.title("Mechanism Related Data\n");
        if (!fits(out, page, kMechEnd, 0x106))
            return;
        out.text("Last drive mfr        : ", page, kMechMfr, kMechMfrWidth);
        for (size_t i = 0; i < kMechSubpages.size(); i++)
            show_mech_subpage(out, CmView(page.at(kMechSubpages[i]), kMechSubpageSize), static_cast<int>(i));
        out.line("\nCRC                   : 0x%X\n", page.be32(kMechCrc));
    });
}

void cm_decode_mech_subpage(const u_int8 *bytes, size_t available, int which, pfvv sink)
{
    decode_page(bytes, available, sink,
                [&](const CmView &page, CmLines &out) { show_mech_subpage(out, page, which); });
}

void cm_decode_suspapp_page(const u_int8 *bytes, size_t available, pfvv sink)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        out.title("Suspended Appends\n");
        if (!fits(out, page, 2, 0x107))
            return;
        const unsigned version = page.version();
        // Later versions have no entries of a known layout.
        const size_t entries = version < kSuspAppEntries.size() ? kSuspAppEntries[version] : 0;
        if (entries != 0 && !fits(out, page, susp_app_end(entries), 0x107))
            return;
        out.put("Entry  DatasetID  WritePass\n");
        for (size_t n = 0; n < entries; n++) {
            const size_t entry = kSuspAppFirst + n * kSuspAppEntrySize;
            const u_int32 dataset = page.be32(entry), write_pass = page.be32(entry + 4);
            if (version == 1 && dataset == kPartitionSeparatorDatasetId && write_pass == 0)
                out.line(" %2d --------- Partition separator ---------\n", static_cast<int>(n));
            else
                out.line(" %2d    0x%8.8X 0x%8.8X\n", static_cast<int>(n), dataset, write_pass);
        }
    });
}

void cm_decode_usage_page(const u_int8 *bytes, size_t available, int which, pfvv sink)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        out.separator();
        out.line("Usage Page %d\n", which);
        out.separator();
        const unsigned expected_id = which >= 0 && which <= 3 ? 0x108 + static_cast<unsigned>(which) : 0x108;
        show_layout(out, page, kUsageRows, usage_layout(page.version()), expected_id);
    });
}

void cm_decode_fatalerror_page(const u_int8 *bytes, size_t available, pfvv sink)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        const size_t layout = fatal_layout(page.version());
        out.title(fatal_is_worm(layout) ? "Fatal Error Usage (WORM)\n" : "Fatal Error Usage (R/W)\n");
        if (!fits(out, page, kFatalCrc[layout] + 4, 0x10C))
            return;
        out.put("Write Error:\n");
        show_rows(out, page, kFatalBlockRows, layout);
        out.put("Read Error:\n");
        show_rows(out, page, kFatalBlockRows, layout, kFatalReadShift[layout]);
        out.crc(page, kFatalCrc[layout]);
    });
}

}  // namespace ltolib

static_assert(LTO_CM_MECH_PAGE_MAX == ltolib::kMechEnd && LTO_CM_MECH_SUBPAGE_MAX == ltolib::kMechSubpageEnd &&
                  LTO_CM_SUSPAPP_PAGE_MAX == ltolib::kSuspAppMax &&
                  LTO_CM_USAGE_PAGE_MAX == ltolib::kUsageMax && LTO_CM_FATALERROR_PAGE_MAX == ltolib::kFatalMax,
              "the documented page sizes are the largest layouts");

void lto_cm_decode_mech_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_mech_page(page, LTO_CM_MECH_PAGE_MAX, output_handle);
}

void lto_cm_decode_mech_subpage(u_int8 *page, int which, pfvv output_handle)
{
    ltolib::cm_decode_mech_subpage(page, LTO_CM_MECH_SUBPAGE_MAX, which, output_handle);
}

void lto_cm_decode_suspapp_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_suspapp_page(page, LTO_CM_SUSPAPP_PAGE_MAX, output_handle);
}

void lto_cm_decode_usage_page(u_int8 *page, int which, pfvv output_handle)
{
    ltolib::cm_decode_usage_page(page, LTO_CM_USAGE_PAGE_MAX, which, output_handle);
}

void lto_cm_decode_fatalerror_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_fatalerror_page(page, LTO_CM_FATALERROR_PAGE_MAX, output_handle);
}
