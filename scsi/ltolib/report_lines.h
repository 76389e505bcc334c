// Shared by the cartridge-memory page decoders and the report that calls them:
// a bounded view of a page, the line conventions of the report (titles between
// separators, 24-character labels, text fields, the CRC line) and the layout
// rows that most pages are described by.
#ifndef LTOLIB_REPORT_LINES_H
#define LTOLIB_REPORT_LINES_H

#include <array>
#include <cstddef>

#include "scsi_io.h"

namespace ltolib {

// The bytes of one page, from its first byte to the end of what the caller
// has (the rest of the image, a record, a fuzz input). Decoders check that a
// layout fits before they read it; a read past the end yields 0 rather than
// touching memory that is not the page's.
class CmView {
public:
    CmView(const u_int8 *bytes, size_t size) : bytes_(bytes), size_(size) {}

    size_t size() const { return size_; }
    bool has(size_t end) const { return end <= size_; }
    const u_int8 *at(size_t offset) const { return bytes_ + offset; }

    // Big-endian unsigned field of 1 to 4 bytes.
    u_int32 be(size_t offset, size_t width) const;
    u_int32 u8(size_t offset) const { return be(offset, 1); }
    u_int32 be16(size_t offset) const { return be(offset, 2); }
    u_int32 be32(size_t offset) const { return be(offset, 4); }

    // The header word: version in bits 15..12, page id in bits 11..0. A view
    // too short for it has version 0 and the id the caller expected.
    unsigned version() const { return has(2) ? be16(0) >> 12 : 0; }
    unsigned id_or(unsigned expected) const { return has(2) ? be16(0) & 0xFFF : expected; }
    // The page length the header claims (header included); 0 without a header.
    size_t claimed_length() const { return has(4) ? be16(2) : 0; }

private:
    const u_int8 *bytes_;
    size_t size_;
};

// One line per sink call, built in this object's own buffer. Every line is
// cut to the buffer rather than overrun it.
class CmLines {
public:
    explicit CmLines(pfvv sink) : sink_(sink) {}
    CmLines(const CmLines &) = delete;
    CmLines &operator=(const CmLines &) = delete;

    // Hands text to the sink as it is.
    void put(const char *text);
    void line(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void separator();
    // Separator, title line, separator.
    void title(const char *title);
    // The label, then the field's bytes up to its width or a NUL, as they are.
    void text(const char *label, const CmView &page, size_t offset, size_t width);
    // The same text, right-aligned in the field's width ("%W.Ws" of the field).
    void text_right(const char *label, const CmView &page, size_t offset, size_t width);
    void crc(const CmView &page, size_t offset);
    // "n.abc (0xHHHHHHHH)" from a 4-byte identity field.
    void firmware_identity(const CmView &page, size_t offset);
    // Said instead of the fields when a page's layout runs past the bytes at hand.
    void overrun(unsigned page_id);
    // A hex dump of the bytes, several lines in one sink call.
    void dump(const u_int8 *bytes, size_t count);

private:
    pfvv sink_;
    std::array<char, 256> buffer_{};
};

// ---- Layout rows ----

// Where a field lies in one layout; a width of 0 means the layout lacks it.
struct Slot {
    size_t at;
    size_t width;
};

// How a row's field becomes its line. The generic forms are the first ones;
// the others belong to one page each.
enum class Show {
    text,         // label and the text field
    text_right,   // the same, right-aligned in the field's width
    hex,          // "0x%X"
    hex4,         // "0x%4.4X"
    hex8,         // "0x%8.8X"
    dec,          // "%d", 4-byte fields as signed
    dec_hex,      // "%d (0x%X)"
    hex_wide,     // a high part and a BE32 low part: "0x%X%8.8X"
    fw_ident,     // the firmware identity line
    cart_type,    // cartridge type text and code
    tape_length,  // quarter metres: "%d (%dm)"
    thickness,    // 1/1024 um
    inertia,      // 1/256000000 kg m2
    radius,       // 1/1024 mm
    speed,        // mm/s
    partitions,   // four wrap bytes, one or two partitions
    eod_validity,
    tapealert,  // four BE16 flag words
    cart_status,
    object,    // 48-bit object position, or Unknown / None
    ccq,       // 64-bit count printed as a floating value
    duration,  // seconds, as days, hours, minutes and seconds
    metres,
    celsius_256,  // 1/256 degree Celsius
    celsius,      // whole degrees Celsius
};

// One line of a page in each of its N layouts, in the order of the report.
template <size_t N>
struct Row {
    const char *label;
    Show show;
    std::array<Slot, N> slots;
};

// The first byte past the fields of one layout, all rows moved by shift.
template <size_t N, size_t M>
constexpr size_t layout_end(const std::array<Row<N>, M> &rows, size_t layout, size_t shift = 0)
{
    size_t end = 0;
    for (const Row<N> &row : rows) {
        const Slot &s = row.slots[layout];
        if (s.width != 0 && s.at + s.width + shift > end)
            end = s.at + s.width + shift;
    }
    return end;
}

void show_field(CmLines &out, const CmView &page, const char *label, Show show, Slot slot);

template <size_t N, size_t M>
void show_rows(CmLines &out, const CmView &page, const std::array<Row<N>, M> &rows, size_t layout,
               size_t shift = 0)
{
    for (const Row<N> &row : rows) {
        Slot s = row.slots[layout];
        if (s.width != 0)
            show_field(out, page, row.label, row.show, {s.at + shift, s.width});
    }
}

// True when the page holds end bytes; otherwise writes the overrun notice.
bool fits(CmLines &out, const CmView &page, size_t end, unsigned expected_id);

// The rows of one layout, or the overrun notice when the layout does not fit.
template <size_t N, size_t M>
void show_layout(CmLines &out, const CmView &page, const std::array<Row<N>, M> &rows, size_t layout,
                 unsigned expected_id)
{
    if (fits(out, page, layout_end(rows, layout), expected_id))
        show_rows(out, page, rows, layout);
}

// Runs body(page, out) over the bytes; a missing page or sink writes nothing.
template <typename Body>
void decode_page(const u_int8 *bytes, size_t available, pfvv sink, Body body)
{
    if (!bytes || !sink)
        return;
    const CmView page(bytes, available);
    CmLines out(sink);
    body(page, out);
}

// A whole page that is a title and the rows of the layout for its version.
template <size_t N, size_t M>
void decode_layout_page(const u_int8 *bytes, size_t available, pfvv sink, const char *title,
                        const std::array<Row<N>, M> &rows, size_t (*layout)(unsigned version),
                        unsigned expected_id)
{
    decode_page(bytes, available, sink, [&](const CmView &page, CmLines &out) {
        out.title(title);
        show_layout(out, page, rows, layout(page.version()), expected_id);
    });
}

}  // namespace ltolib

#endif
