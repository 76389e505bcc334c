// The one set of byte-order helpers: big- and little-endian fields of 1 to 8
// bytes in caller buffers.
//
// Contract, the same for every helper: `p` points at `width` bytes that the
// caller owns (readable for get, writable for put) and `width` is 1..8. Nothing
// is checked beyond that: the caller bounds the field against its buffer. A get
// returns the field zero-extended; a put writes the low `width` bytes of the
// value and drops the rest. A width of 0 or less reads 0 and writes nothing.
#ifndef SCSILIB_BYTE_ORDER_H
#define SCSILIB_BYTE_ORDER_H

#include <cstdint>

namespace scsilib {

constexpr uint64_t get_be(const unsigned char *p, int width)
{
    uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | p[i];
    return value;
}

constexpr uint64_t get_le(const unsigned char *p, int width)
{
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

constexpr void put_be(unsigned char *p, uint64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(value & 0xFF);
        value >>= 8;
    }
}

constexpr void put_le(unsigned char *p, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i) {
        p[i] = static_cast<unsigned char>(value & 0xFF);
        value >>= 8;
    }
}

// The common fixed widths, for fields whose width is part of their name.
constexpr uint16_t get_be16(const unsigned char *p) { return static_cast<uint16_t>(get_be(p, 2)); }
constexpr uint32_t get_be24(const unsigned char *p) { return static_cast<uint32_t>(get_be(p, 3)); }
constexpr uint32_t get_be32(const unsigned char *p) { return static_cast<uint32_t>(get_be(p, 4)); }
constexpr uint64_t get_be64(const unsigned char *p) { return get_be(p, 8); }
constexpr uint16_t get_le16(const unsigned char *p) { return static_cast<uint16_t>(get_le(p, 2)); }
constexpr uint32_t get_le32(const unsigned char *p) { return static_cast<uint32_t>(get_le(p, 4)); }
constexpr void put_be16(unsigned char *p, uint16_t v) { put_be(p, v, 2); }
constexpr void put_be24(unsigned char *p, uint32_t v) { put_be(p, v, 3); }
constexpr void put_be32(unsigned char *p, uint32_t v) { put_be(p, v, 4); }
constexpr void put_be64(unsigned char *p, uint64_t v) { put_be(p, v, 8); }
constexpr void put_le16(unsigned char *p, uint16_t v) { put_le(p, v, 2); }
constexpr void put_le32(unsigned char *p, uint32_t v) { put_le(p, v, 4); }

}  // namespace scsilib

#endif
