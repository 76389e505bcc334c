// The layout rows most cartridge-memory pages are described by, how a row's
// field becomes its line, and the frame each page decoder runs in.
#ifndef LTOLIB_CARTRIDGE_MEMORY_CM_LAYOUT_ROWS_H
#define LTOLIB_CARTRIDGE_MEMORY_CM_LAYOUT_ROWS_H

#include <array>
#include <cstddef>

#include "../report_lines.h"

namespace ltolib {

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
