// The cartridge-memory report: checks that the image is one, writes the
// banner, the manufacturer's information and the two page tables, and hands
// each selected page to its decoder, or the CMMA area to its own.
//
// Every walk stays inside the view, the image size the validity marker gives
// (or fewer bytes when the caller has fewer): a table entry, a next-table
// offset or a CRC outside it is not read, and a page starting outside it gets
// the bytes that are there, none, which its decoder reports.
#include <algorithm>

#include "cm_image_layout.h"
#include "cm_layout_rows.h"
#include "cm_report.h"
#include "scsilib/byte_order.h"

namespace ltolib {
namespace {

constexpr char kTableCut[] = "Page table runs past the end of the image\n";

bool selects(int whichpage, unsigned id)
{
    return whichpage == LTO_CM_ALL || whichpage == LTO_CM_PAGES || whichpage == static_cast<int>(id);
}

// The bytes of a view from offset on: none when the offset lies outside.
const u_int8 *from(const u_int8 *image, size_t view, size_t offset) { return image + std::min(offset, view); }
size_t left(size_t view, size_t offset) { return offset < view ? view - offset : 0; }

void dispatch(const u_int8 *image, size_t view, unsigned id, size_t start, pfvv sink)
{
    for (const image::Route &r : image::kRoutes) {
        if (id < r.first || id > r.last)
            continue;
        if (r.decode != nullptr) {
            r.decode(from(image, view, start), left(view, start), id, sink);
        } else if (r.notice != nullptr) {
            CmLines out(sink);
            out.separator();
            out.put(r.notice);
        }
        return;
    }
    CmLines out(sink);
    out.separator();
    out.line(image::kUnknownPage, id);
}

void banner(CmLines &out)
{
    out.put("\n");
    out.put("####################################\n");
    out.put("#                                  #\n");
    out.put("#          LTO-CM Contents         #\n");
    out.put("#                                  #\n");
    out.put("####################################\n");
    out.put("\n");
}

void invalid_image(CmLines &out, const u_int8 *image, size_t count)
{
    out.put("\n");
    out.put("#################################\n");
    out.put("CM contents appear to be invalid!\n");
    out.put("#################################\n");
    out.put("Decoding cancelled. First 64 bytes follow...\n");
    if (count > 0)
        out.dump(image, std::min(count, image::kInvalidDump));
    out.put("\n");
}

}  // namespace

size_t cm_marked_size(const u_int8 *image, size_t count)
{
    if (image == nullptr || count < image::kMarkerEnd)
        return 0;
    const u_int32 marker = CmView(image, count).be(image::kMarker, 3);
    for (const image::Marker &m : image::kMarkers)
        if (m.value == marker)
            return m.image_size;
    return 0;
}

void cm_decode_mfr_info(const u_int8 *image, size_t count, pfvv sink)
{
    if (image == nullptr || sink == nullptr)
        return;
    const CmView cm(image, count);
    CmLines out(sink);
    out.title("Manufacturer's Information\n");
    if (!cm.has(image::kMfrInfoEnd)) {
        out.put("Manufacturer's information runs past the end of the image\n");
        return;
    }
    const u_int32 serial = static_cast<u_int32>(scsilib::get_le32(cm.at(image::kChipSerial)));
    out.line("Serial Number   : 0x%8.8X\n", serial);
    out.line("Check byte      : 0x%X\n", cm.u8(image::kCheckByte));
    out.line("Size            : 0x%X\n", cm.u8(image::kSizeKiB) * 1024);
    out.line("Transponder type: 0x%X\n", cm.be16(image::kTransponder));
    out.title("Write Protect Information\n");
    out.line("Last WPrt block : 0x%X\n", cm.u8(image::kLastProtectedBlock));
    out.line("Block 1 protflag: 0x%X\n", cm.u8(image::kBlock1Protect));
}

void cm_decode_page_table(const u_int8 *table, size_t available, const char *label, pfvv sink)
{
    if (table == nullptr || label == nullptr || sink == nullptr)
        return;
    const CmView t(table, available);
    CmLines out(sink);
    out.separator();
    out.line("%s page table\n", label);
    out.separator();
    out.put("Page  Ver StartAddress\n");
    for (size_t at = 0; t.has(at + image::kEntrySize); at += image::kEntrySize) {
        const u_int32 word = t.be16(at);
        const unsigned id = word & 0xFFF;
        out.line("0x%3.3X  %X  0x%X\n", id, word >> 12, t.be16(at + 2));
        if (id != image::kEndId)
            continue;
        if (t.has(at + image::kEntrySize + image::kCrcSize))
            out.line("CRC = 0x%X\n", t.be32(at + image::kEntrySize));
        else
            out.put(kTableCut);
        return;
    }
    out.put(kTableCut);
}

int32 cm_decode_pages(const u_int8 *image, size_t view, size_t table_offset, int whichpage, pfvv sink,
                      bool note_cut)
{
    if (image == nullptr || sink == nullptr)
        return -1;
    const CmView cm(image, view);
    for (size_t at = table_offset; at < view && cm.has(at + image::kEntrySize); at += image::kEntrySize) {
        const unsigned id = cm.be16(at) & 0xFFF;
        const size_t start = cm.be16(at + 2);
        if (selects(whichpage, id))
            dispatch(image, view, id, start, sink);
        if (id == image::kEndId)
            return static_cast<int32>(start);
    }
    if (note_cut)
        CmLines(sink).put(kTableCut);
    return -1;
}

int32 cm_report(const u_int8 *image, size_t count, int whichpart, pfvv sink)
{
    if (image == nullptr || sink == nullptr)
        return -1;
    CmLines out(sink);
    const size_t marked = cm_marked_size(image, count);
    if (marked == 0) {
        invalid_image(out, image, count);
        return -1;
    }
    const size_t view = std::min(count, marked);
    if (whichpart == LTO_CM_CMMA) {
        cm_decode_cmma(from(image, view, LTO_CM_CMMA_ADDRESS), left(view, LTO_CM_CMMA_ADDRESS), sink);
        return 0;
    }

    banner(out);
    if (whichpart == LTO_CM_ALL || whichpart == LTO_CM_MFR_INFO)
        cm_decode_mfr_info(image, view, sink);
    // A listed table says itself where it is cut short; the walk says it otherwise.
    const bool listed = whichpart == LTO_CM_ALL || whichpart == LTO_CM_PAGE_TABLES;
    const size_t first = image::kProtectedTable;
    if (listed)
        cm_decode_page_table(from(image, view, first), left(view, first), "Protected", sink);
    const int32 next = cm_decode_pages(image, view, first, whichpart, sink, !listed);
    if (next >= 0 && static_cast<size_t>(next) < view) {
        const size_t second = static_cast<size_t>(next);
        if (listed)
            cm_decode_page_table(image + second, view - second, "Unprotected", sink);
        cm_decode_pages(image, view, second, whichpart, sink, !listed);
    } else if (next >= 0) {
        out.line("Unprotected page table at 0x%X lies outside the image\n", static_cast<unsigned>(next));
    }
    out.separator();
    return 0;
}

}  // namespace ltolib

using namespace ltolib;

namespace {

// What the public forms may read of an image: the size its marker gives; for
// a wrong marker, the first bytes the invalid-image notice dumps, or the
// smaller image for a walk that does not test the marker.
size_t public_view(u_int8 *image, size_t unmarked)
{
    const size_t marked = cm_marked_size(image, image::kMarkerEnd);
    return marked != 0 ? marked : unmarked;
}

}  // namespace

int32 lto_decode_cm_contents(u_int8 *ltocm, int whichpart, pfvv output_handle)
{
    if (ltocm == nullptr || output_handle == nullptr)
        return -1;
    return cm_report(ltocm, public_view(ltocm, image::kInvalidDump), whichpart, output_handle);
}

void lto_cm_decode_mfr_info(u_int8 *cm, pfvv output_handle)
{
    cm_decode_mfr_info(cm, image::kMfrInfoEnd, output_handle);
}

void lto_cm_decode_page_table(u_int8 *table, char *label, pfvv output_handle)
{
    cm_decode_page_table(table, LTO_CM_LARGE_SIZE, label, output_handle);
}

int32 lto_cm_decode_pages(u_int8 *cm, int tableOffset, int whichpage, pfvv output_handle)
{
    if (cm == nullptr || output_handle == nullptr)
        return -1;
    const size_t view = public_view(cm, LTO_CM_SMALL_SIZE);
    const size_t offset = tableOffset < 0 ? view : static_cast<size_t>(tableOffset);
    return cm_decode_pages(cm, view, offset, whichpage, output_handle, true);
}
