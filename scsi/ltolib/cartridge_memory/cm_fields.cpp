// How one field of a cartridge-memory page becomes its report line, and the
// check that a page holds its layout.
#include <cstdio>

#include "cm_layout_rows.h"
#include "cm_layouts.h"
#include "ltolib.h"

namespace ltolib {

namespace {

const char *cart_type_text(u_int32 code)
{
    for (const CartType &t : kCartTypes)
        if (t.code == code)
            return t.text;
    return kCartTypeUnknown;
}

template <size_t N>
const char *code_text(const std::array<const char *, N> &texts, u_int32 code, const char *unknown)
{
    return code < N ? texts[code] : unknown;
}

void show_object(CmLines &out, const char *label, u_int32 high, u_int32 low)
{
    if (high == kObjectHighUnset && low == kObjectUnknown)
        out.line("%sUnknown\n", label);
    else if (high == kObjectHighUnset && low == kObjectNone)
        out.line("%sNone\n", label);
    else
        out.line("%s0x%8.8X%4.4X\n", label, high, low);
}

}  // namespace

void show_field(CmLines &out, const CmView &page, const char *label, Show show, Slot slot)
{
    const size_t at = slot.at;
    // Most forms show one big-endian number as wide as the slot.
    const u_int32 value = slot.width <= 4 ? page.be(at, slot.width) : 0;
    // The "%d" forms print 32-bit values as signed.
    const int32 signed_value = static_cast<int32>(value);

    switch (show) {
    case Show::text:
        out.text(label, page, at, slot.width);
        break;
    case Show::text_right:
        out.text_right(label, page, at, slot.width);
        break;
    case Show::hex:
        out.line("%s0x%X\n", label, value);
        break;
    case Show::hex4:
        out.line("%s0x%4.4X\n", label, value);
        break;
    case Show::hex8:
        out.line("%s0x%8.8X\n", label, value);
        break;
    case Show::dec:
        out.line("%s%d\n", label, signed_value);
        break;
    case Show::dec_hex:
        out.line("%s%d (0x%X)\n", label, signed_value, value);
        break;
    case Show::hex_wide: {
        const size_t high_width = slot.width - 4;
        out.line("%s0x%X%8.8X\n", label, page.be(at, high_width), page.be32(at + high_width));
        break;
    }
    case Show::fw_ident:
        out.firmware_identity(page, at);
        break;
    case Show::cart_type:
        out.line("%s%s (0x%4.4X)\n", label, cart_type_text(value), value);
        break;
    case Show::tape_length:
        out.line("%s%d (%dm)\n", label, signed_value, signed_value / 4);
        break;
    case Show::thickness:
        out.line("%s%d (%1.1fum)\n", label, signed_value, value / 1024.0);
        break;
    case Show::inertia:
        out.line("%s%d (%2.1E kg/m2)\n", label, signed_value, value / 256000000.0);
        break;
    case Show::radius:
        out.line("%s%d (%2.1fmm)\n", label, signed_value, value / 1024.0);
        break;
    case Show::speed:
        out.line("%s%d mm/sec\n", label, signed_value);
        break;
    case Show::partitions: {
        const int p0_first = static_cast<int>(page.u8(at)), p0_last = static_cast<int>(page.u8(at + 1));
        const int p1_first = static_cast<int>(page.u8(at + 2)), p1_last = static_cast<int>(page.u8(at + 3));
        if (p1_first != 0 || p1_last != 0)
            out.line("%sPartn 0 wraps %d to %d, Partn1 wraps %d to %d\n", label, p0_first, p0_last, p1_first,
                     p1_last);
        else
            out.line("%sPartn 0 wraps %d to %d\n", label, p0_first, p0_last);
        break;
    }
    case Show::eod_validity:
        out.line("%s%s\n", label, code_text(kEodValidity, value, kEodValidityUnknown));
        break;
    case Show::tapealert:
        out.line("%s%4.4X %4.4X %4.4X %4.4X\n", label, page.be16(at), page.be16(at + 2), page.be16(at + 4),
                 page.be16(at + 6));
        break;
    case Show::cart_status:
        out.line("%s%s\n", label, code_text(kCartStatus, value, kCartStatusUnknown));
        break;
    case Show::object:
        show_object(out, label, page.be32(at), page.be16(at + 4));
        break;
    case Show::ccq: {
        // The low half counts as unsigned, so the sum never goes negative.
        const u_int64 count = (static_cast<u_int64>(page.be32(at)) << 32) + page.be32(at + 4);
        out.line("%s%3.0f\n", label, static_cast<double>(count));
        break;
    }
    case Show::duration:
        out.put(lto_break_time(label, value));
        break;
    case Show::metres:
        out.line("%s%d metres\n", label, signed_value);
        break;
    case Show::celsius_256:
        out.line("%s%3.1f deg C\n", label, value / 256.0);
        break;
    case Show::celsius:
        out.line("%s%d deg C\n", label, signed_value);
        break;
    }
}

bool fits(CmLines &out, const CmView &page, size_t end, unsigned expected_id)
{
    if (page.has(end))
        return true;
    out.overrun(page.id_or(expected_id));
    return false;
}

}  // namespace ltolib
