#include "crc_reference.h"

#include <array>

namespace crc_reference {

uint8_t gf_mul(uint8_t a, uint8_t b)
{
    unsigned r = 0, x = a;
    for (; b; b >>= 1) {
        if (b & 1)
            r ^= x;
        x <<= 1;
        if (x & 0x100)
            x ^= 0x11D;
    }
    return static_cast<uint8_t>(r);
}

namespace {

// Entry i: i times the check polynomial's coefficients 38h, CFh, 38h, 01h.
std::array<uint32_t, 256> make_table()
{
    std::array<uint32_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        uint8_t b = static_cast<uint8_t>(i);
        t[i] = uint32_t{gf_mul(b, 0x38)} << 24 | uint32_t{gf_mul(b, 0xCF)} << 16 |
               uint32_t{gf_mul(b, 0x38)} << 8 | b;
    }
    return t;
}

}  // namespace

uint32_t crc(uint32_t reg, const uint8_t *p, size_t n)
{
    static const std::array<uint32_t, 256> table = make_table();
    for (size_t i = 0; i < n; ++i)
        reg = (reg << 8) ^ table[(reg >> 24) ^ p[i]];
    return reg;
}

}  // namespace crc_reference
