// Cartridge-memory pages that describe what is written on the tape and the
// cartridge's state (102h, 103h, 104h/10Eh, 105h).
#include "cm_layout_rows.h"
#include "cm_layouts.h"
#include "cm_pages.h"
#include "ltolib.h"

namespace ltolib {

namespace {

// One line per tape directory entry; each version has its own columns.
void show_tapedir_entry(CmLines &out, const CmView &page, unsigned version, size_t n, size_t entry)
{
    auto field = [&](size_t i) { return page.be32(entry + 4 * i); };
    const int number = static_cast<int>(n);
    switch (version) {
    case 0:
        // Each wrap has an even and an odd entry.
        out.line("%2d [%s]  0x%8.8X  0x%8.8X  0x%8.8X   0x%8.8X\n", number / 2, n % 2 ? "odd " : "even",
                 field(0), field(1), field(2), field(3));
        break;
    case 1:
        out.line("%2d   0x%8.8X  0x%8.8X  0x%8.8X  0x%8.8X  0x%8.8X  0x%8.8X   0x%8.8X\n", number, field(0),
                 field(1), field(2), field(3), field(4), field(5), field(6));
        break;
    default:
        if (version == 4 && page.be32(entry + kTapeDirDatasetId) == kGuardWrapDatasetId)
            out.line("%2d   -------------- Guard wrap between partitions --------------\n", number);
        else
            out.line("%2d   0x%8.8X  0x%8.8X  0x%8.8X  0x%8.8X  0x%8.8X  0x%8.8X  0x%8.8X  0x%8.8X\n", number,
                     field(0), field(1), field(2), field(3), field(4), field(5), field(6), field(7));
        break;
    }
}

}  // namespace

void cm_decode_tapewrpass_page(const u_int8 *bytes, size_t available, pfvv sink)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        out.title("Tape Write Pass Data\n");
        if (!fits(out, page, kWritePassEnd, 0x102))
            return;
        for (size_t n = 0; n < kWritePassFields; n++)
            out.line("Write pass field %d    : 0x%X\n", static_cast<int>(n),
                     page.be32(kWritePassFirst + 4 * n));
    });
}

void cm_decode_tapedir_page(const u_int8 *bytes, size_t available, pfvv sink)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        out.title("Tape Directory\n");
        if (!fits(out, page, 2, 0x103))
            return;
        const unsigned version = page.version();
        if (version >= kTapeDirVersions.size()) {
            out.line("Unknown page version %d!  Page id is %4.4X\n", static_cast<int>(version), page.be16(0));
            return;
        }
        const TapeDirGeometry &g = kTapeDirVersions[version];
        if (!fits(out, page, tape_dir_end(g), 0x103))
            return;

        if (version == 4) {
            out.line("FID Tape Write Pass Partn0 : 0x%X\n", page.be32(kTapeDirFidPartn0));
            out.line("FID Tape Write Pass Partn1 : 0x%X\n", page.be32(kTapeDirFidPartn1));
        }
        if (version == 0)
            out.put("Wrap       DatasetID   RecordCount FilemarkCount CRC\n");
        else if (version == 1)
            out.put("Wrap WritePass   DatasetID   HOW RecCnt  EOW RecCnt  HOW FMCnt   EOW FMCnt    CRC\n");
        else
            out.put("Wrap WritePass   DatasetID   HOW RecCnt  EOW RecCnt  HOW FMCnt   EOW FMCnt    FM Map    "
                    "CRC\n");
        for (size_t n = 0; n < g.entries; n++)
            show_tapedir_entry(out, page, version, n, kTapeDirFirstEntry + n * g.entry_size);
    });
}

void cm_decode_eod_page(const u_int8 *bytes, size_t available, pfvv sink)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        const unsigned version = page.version();
        if (version < 2)
            out.title("EOD Information\n");
        else if (page.id_or(0x104) == kEodPartition1Id)
            out.title("EOD Information Partition 1\n");
        else
            out.title("EOD Information Partition 0\n");
        show_layout(out, page, kEodRows, eod_layout(version), 0x104);
    });
}

void cm_decode_cartstat_page(const u_int8 *page, size_t available, pfvv sink)
{
    decode_layout_page(page, available, sink, "Cartridge Status / Tape Alert flags\n", kCartStatRows,
                       cart_stat_layout, 0x105);
}

}  // namespace ltolib

static_assert(LTO_CM_TAPEWRPASS_PAGE_MAX == ltolib::kWritePassEnd &&
                  LTO_CM_TAPEDIR_PAGE_MAX == ltolib::kTapeDirMax && LTO_CM_EOD_PAGE_MAX == ltolib::kEodMax &&
                  LTO_CM_CARTSTAT_PAGE_MAX == ltolib::kCartStatMax,
              "the documented page sizes are the largest layouts");

void lto_cm_decode_tapewrpass_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_tapewrpass_page(page, LTO_CM_TAPEWRPASS_PAGE_MAX, output_handle);
}

void lto_cm_decode_tapedir_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_tapedir_page(page, LTO_CM_TAPEDIR_PAGE_MAX, output_handle);
}

void lto_cm_decode_eod_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_eod_page(page, LTO_CM_EOD_PAGE_MAX, output_handle);
}

void lto_cm_decode_cartstat_page(u_int8 *page, pfvv output_handle)
{
    ltolib::cm_decode_cartstat_page(page, LTO_CM_CARTSTAT_PAGE_MAX, output_handle);
}
