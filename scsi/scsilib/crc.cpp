// Reed-Solomon CRC of logical block protection, at the speed memory delivers
// the block.
//
// The register is a remainder modulo g(x) = x^4 + 38h x^3 + CFh x^2 + 38h x + 1
// over GF(2^8), its most significant byte the coefficient of x^3. Each byte b
// makes it R x + b x^4 mod g, so from register R a block b[0..n-1] leaves
//
//     CRC(R, b) = (R(x) x^n + B(x) x^4) mod g,   B(x) = sum of b[j] x^(n-1-j).
//
// The fold. The roots of g, alpha^126 .. alpha^129, are four distinct nonzero
// elements of GF(2^8); the nonzero elements form a group of order 255, so each
// root is also a root of x^255 - 1. A polynomial with distinct roots that all
// are roots of another divides it, so g divides x^255 - 1, that is
//
//     x^255 = 1 mod g,   and so   x^d = x^(d mod 255) mod g.
//
// Bytes whose distances from the block's end agree modulo 255 therefore weigh
// the same, and may be XORed together before any division: B(x) = F(x) mod g,
// where the fold F is 255 bytes, its byte i (the coefficient of x^(254-i))
// the XOR of every b[j] with n-1-j = 254-i mod 255. Put differently, the block
// cut into 255-byte pieces aligned on its end, the pieces XORed together. The
// starting register joins the block's first four bytes, since R x^n =
// (R x^(n-4)) x^4 and R x^(n-4) is R laid over b[0..3]. With that,
//
//     CRC(R, b) = CRC(0, F),
//
// the fold being 255 bytes long: an XOR pass over the block, then a short CRC.
// Both sides of this are checked against the byte-at-a-time CRC in the tests.
#include "scsilib.h"

#include <cstddef>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define SCSILIB_CRC_AVX2 1
#endif

#include "byte_order.h"
#include "crc.h"
#include "scan_crc_data.h"

namespace {

using scsilib::crcSlices;
using scsilib::get_be32;

constexpr size_t kPeriod = 255;
// The fold is read as whole 8-byte words: 255 residues and one spare byte.
constexpr size_t kFoldWords = 32;
constexpr size_t kFoldBytes = kFoldWords * 8;
// Below this the CRC of the 255-byte fold costs more than the fold saves
// (sliced, 255 bytes take as long as about 400).
constexpr size_t kFoldFrom = 512;

// Eight bytes a step: the register joins the first four, and slice s gives a
// byte's share of the result when s more bytes follow it.
u_int32 crc_sliced(u_int32 reg, const u_int8 *p, size_t n)
{
    const auto &t = crcSlices;
    for (; n >= 8; p += 8, n -= 8) {
        u_int32 hi = reg ^ get_be32(p);
        reg = t[7][hi >> 24] ^ t[6][(hi >> 16) & 0xFF] ^ t[5][(hi >> 8) & 0xFF] ^ t[4][hi & 0xFF] ^ t[3][p[4]] ^
              t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n > 0; ++p, --n)
        reg = (reg << 8) ^ t[0][(reg >> 24) ^ *p];
    return reg;
}

// XORs `periods` consecutive 255-byte pieces of p onto the fold. Each piece is
// read as 256 bytes, so one byte must be readable after the last piece; that
// spare byte lands in the fold's spare byte, which nothing reads.
void fold_portable(u_int64 *fold, const u_int8 *p, size_t periods)
{
    // A local copy: stores through `fold` might alias the block and would keep
    // the compiler from holding the fold in registers.
    u_int64 a[kFoldWords];
    std::memcpy(a, fold, sizeof a);
    for (; periods > 0; --periods, p += kPeriod) {
        for (size_t i = 0; i < kFoldWords; ++i) {
            u_int64 w;
            std::memcpy(&w, p + 8 * i, sizeof w);
            a[i] ^= w;
        }
    }
    std::memcpy(fold, a, sizeof a);
}

#ifdef SCSILIB_CRC_AVX2
// The same pass with the fold held in eight 32-byte registers.
__attribute__((target("avx2"))) void fold_avx2(u_int64 *fold, const u_int8 *p, size_t periods)
{
    __m256i a[8];
    for (int i = 0; i < 8; ++i)
        a[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(fold) + i);
    for (; periods > 0; --periods, p += kPeriod)
        for (int i = 0; i < 8; ++i)
            a[i] = _mm256_xor_si256(a[i], _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p) + i));
    for (int i = 0; i < 8; ++i)
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(fold) + i, a[i]);
}

bool cpu_has_avx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

using FoldPass = void (*)(u_int64 *, const u_int8 *, size_t);

bool vector_allowed = true;

FoldPass fold_pass()
{
#ifdef SCSILIB_CRC_AVX2
    static const bool available = cpu_has_avx2();
    if (available && vector_allowed)
        return fold_avx2;
#endif
    return fold_portable;
}

// XORs a piece of at most 255 bytes onto the fold, its last byte on the
// fold's byte 254.
void fold_short_piece(u_int64 *fold, const u_int8 *p, size_t n)
{
    u_int8 piece[kFoldBytes] = {};
    std::memcpy(piece + kPeriod - n, p, n);
    fold_portable(fold, piece, 1);
}

u_int32 crc_folded(u_int32 reg, const u_int8 *p, size_t n)
{
    u_int64 fold[kFoldWords] = {};
    // The first n mod 255 bytes fill the end of the fold; whole pieces follow.
    size_t head = n % kPeriod;
    size_t pieces = n / kPeriod;
    fold_short_piece(fold, p, head);
    const u_int8 *body = p + head;
    // Every piece but the last has a readable byte after it.
    fold_pass()(fold, body, pieces - 1);
    fold_short_piece(fold, body + (pieces - 1) * kPeriod, kPeriod);

    u_int8 bytes[kFoldBytes];
    std::memcpy(bytes, fold, sizeof bytes);
    // The starting register lies over the block's first four bytes.
    for (size_t j = 0; j < 4; ++j)
        bytes[(kPeriod - head + j) % kPeriod] ^= static_cast<u_int8>(reg >> (24 - 8 * j));
    return crc_sliced(0, bytes, kPeriod);
}

}  // namespace

namespace scsilib {

bool vector_fold_available()
{
#ifdef SCSILIB_CRC_AVX2
    return cpu_has_avx2();
#else
    return false;
#endif
}

void set_vector_fold(bool allowed) { vector_allowed = allowed; }

}  // namespace scsilib

u_int32 scsi_generate_CRC(u_int32 crc, u_int32 length, u_int8 *buffer)
{
    if (length < kFoldFrom)
        return crc_sliced(crc, buffer, length);
    return crc_folded(crc, buffer, length);
}
