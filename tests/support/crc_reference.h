// The protection CRC as first defined: one table lookup per byte, with a table
// built from the field arithmetic rather than taken from the library. Tests and
// benchmarks hold the library's fast CRC against it.
#ifndef CRC_REFERENCE_H
#define CRC_REFERENCE_H

#include <cstddef>
#include <cstdint>

namespace crc_reference {

// Product in GF(2^8) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1.
uint8_t gf_mul(uint8_t a, uint8_t b);

// The register after the n bytes at p, from the register reg.
uint32_t crc(uint32_t reg, const uint8_t *p, size_t n);

}  // namespace crc_reference

#endif
