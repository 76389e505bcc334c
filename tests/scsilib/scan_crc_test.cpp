// The adapter scan over an emulated bus, and the logical block protection CRC
// checked against the field arithmetic it is built on.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crc_reference.h"
#include "kvemu.h"
#include "scsilib.h"
#include "scsilib/crc.h"

namespace {

const char *kAdapter = R"(
[device]
host = 1
target = 0
type = 1
removable = 1
vendor = KV
product = ULTRIUM 4 DRIVE!
[device]
host = 1
target = 1
type = 31
product = NOTHING
[device]
host = 1
target = 2
type = 0x14
product = ODD ONE
[device]
host = 1
target = 3
type = 1
override = 12 host=3
[device]
host = 1
target = 4
type = 1
open_fails = 1
[device]
host = 1
target = 5
type = 8
inquiry = 08 80 00
[device]
host = 0
target = 6
type = 1
[device]
host = 1
target = 7
type = 1
)";

devicetype sentinel()
{
    devicetype d;
    std::memset(&d, 0, sizeof d);
    d.raw_devtype = 0xEE;
    d.removable = 0xEE;
    std::snprintf(d.devtype, sizeof d.devtype, "untouched");
    std::snprintf(d.product_id, sizeof d.product_id, "untouched");
    return d;
}

TEST(Scan, FillsOneRowPerTarget)
{
    kvemu::load_bus_text(kAdapter);
    devicetype rows[16];
    for (auto &r : rows)
        r = sentinel();

    EXPECT_EQ(scsi_find_devices(1, rows), 4);

    struct Expect {
        int target;
        uint8_t raw;
        uint8_t removable;
        const char *devtype;
        const char *product;
    };
    const Expect expect[] = {
        {0, 0x01, 1, "Tape drive", "ULTRIUM 4 DRIVE!"},
        {1, 0x1F, 0, "unknown/no device", "NOTHING         "},
        {2, 0x14, 0, "<reserved>", "ODD ONE         "},
        {3, 0xFF, 0xEE, "No response", "untouched"},   // INQUIRY timed out
        {4, 0xFF, 0xEE, "Inaccessible", "untouched"},  // node will not open
        {5, 0x08, 1, "Medium changer", ""},            // three-byte answer
        {6, 0xFF, 0xEE, "Inaccessible", "untouched"},  // only on another adapter
        {7, 0xEE, 0xEE, "untouched", "untouched"},     // the adapter's own id
        {8, 0xFF, 0xEE, "Inaccessible", "untouched"},
        {15, 0xFF, 0xEE, "Inaccessible", "untouched"},
    };
    for (const Expect &e : expect) {
        SCOPED_TRACE(e.target);
        const devicetype &r = rows[e.target];
        EXPECT_EQ(r.raw_devtype, e.raw);
        EXPECT_EQ(r.removable, e.removable);
        EXPECT_STREQ(r.devtype, e.devtype);
        EXPECT_STREQ(r.product_id, e.product);
    }

    // Every opened node was closed again, the adapter's own id was never tried,
    // and INQUIRY went out as 255 bytes with a one-second timeout.
    EXPECT_EQ(kvemu::open_descriptors(), 0);
    EXPECT_EQ(kvemu::node(7)->opens, 0);
    ASSERT_EQ(kvemu::node(0)->commands.size(), 1u);
    const kvemu::Command &c = kvemu::node(0)->commands[0];
    EXPECT_EQ(kvemu::to_hex(c.cdb.data(), c.cdb.size()), "12 00 00 00 FF 00");
    EXPECT_EQ(c.timeout_ms, 1000u);
    kvemu::unload_bus();
}

TEST(Scan, EmptyAdapterMarksEveryTargetInaccessible)
{
    kvemu::load_bus_text(kAdapter);
    devicetype rows[16];
    for (auto &r : rows)
        r = sentinel();
    EXPECT_EQ(scsi_find_devices(9, rows), 0);
    for (int t = 0; t < 16; ++t) {
        SCOPED_TRACE(t);
        if (t == 7) {
            EXPECT_STREQ(rows[t].devtype, "untouched");
            continue;
        }
        EXPECT_EQ(rows[t].raw_devtype, 0xFF);
        EXPECT_STREQ(rows[t].devtype, "Inaccessible");
    }
    kvemu::unload_bus();
}

using crc_reference::gf_mul;

uint8_t gf_pow(uint8_t a, int n)
{
    uint8_t r = 1;
    while (n-- > 0)
        r = gf_mul(r, a);
    return r;
}

u_int32 crc(u_int32 start, const std::vector<uint8_t> &bytes)
{
    return scsi_generate_CRC(start, static_cast<u_int32>(bytes.size()), const_cast<u_int8 *>(bytes.data()));
}

TEST(Crc, CheckPolynomialHasTheFourConsecutiveRoots)
{
    // x^4 + 38h x^3 + CFh x^2 + 38h x + 1 vanishes at alpha^126 .. alpha^129.
    for (int k = 126; k <= 129; ++k) {
        uint8_t x = gf_pow(2, k);
        uint8_t v = static_cast<uint8_t>(gf_pow(x, 4) ^ gf_mul(0x38, gf_pow(x, 3)) ^
                                         gf_mul(0xCF, gf_pow(x, 2)) ^ gf_mul(0x38, x) ^ 1);
        EXPECT_EQ(v, 0) << "k=" << k;
    }
    EXPECT_EQ(gf_pow(2, 201), 0x38);
    EXPECT_EQ(gf_pow(2, 246), 0xCF);
}

TEST(Crc, EveryTableEntryFollowsTheFieldRule)
{
    // From a zero register one byte i yields table entry i.
    for (unsigned i = 0; i < 256; ++i) {
        uint8_t b = static_cast<uint8_t>(i);
        u_int32 want = static_cast<u_int32>(gf_mul(b, 0x38)) << 24 |
                       static_cast<u_int32>(gf_mul(b, 0xCF)) << 16 |
                       static_cast<u_int32>(gf_mul(b, 0x38)) << 8 | b;
        ASSERT_EQ(scsi_generate_CRC(0, 1, &b), want) << "entry " << i;
    }
}

TEST(Crc, KnownValues)
{
    EXPECT_EQ(crc(0, {0x01}), 0x38CF3801u);
    EXPECT_EQ(crc(0, {0x02}), 0x70837002u);
    EXPECT_EQ(crc(0, {0x61, 0x62, 0x63}), 0x7C27E0AEu);
    EXPECT_EQ(crc(0xDEADBEEF, {}), 0xDEADBEEFu);
    EXPECT_EQ(scsi_generate_CRC(0x12345678, 0, nullptr), 0x12345678u);
}

std::vector<uint8_t> random_block(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v)
        b = static_cast<uint8_t>(gen());
    return v;
}

TEST(Crc, PiecewiseEqualsWhole)
{
    std::vector<uint8_t> block = random_block(4099, 7);
    u_int32 whole = crc(0, block);
    for (size_t cut : {size_t{0}, size_t{1}, size_t{3}, size_t{512}, size_t{4098}, size_t{4099}}) {
        SCOPED_TRACE(cut);
        u_int32 first = scsi_generate_CRC(0, static_cast<u_int32>(cut), block.data());
        u_int32 both = scsi_generate_CRC(first, static_cast<u_int32>(block.size() - cut), block.data() + cut);
        EXPECT_EQ(both, whole);
    }
}

TEST(Crc, BlockFollowedByItsCheckBytesGivesZero)
{
    for (size_t n : {size_t{1}, size_t{3}, size_t{64}, size_t{4096}, size_t{65536}}) {
        SCOPED_TRACE(n);
        std::vector<uint8_t> block = random_block(n, static_cast<unsigned>(n));
        u_int32 check = crc(0, block);
        block.push_back(static_cast<uint8_t>(check >> 24));
        block.push_back(static_cast<uint8_t>(check >> 16));
        block.push_back(static_cast<uint8_t>(check >> 8));
        block.push_back(static_cast<uint8_t>(check));
        EXPECT_EQ(crc(0, block), 0u);
        // A single flipped bit no longer checks.
        block[n / 2] ^= 0x10;
        EXPECT_NE(crc(0, block), 0u);
    }
}

u_int32 reference(u_int32 reg, const uint8_t *p, size_t n) { return crc_reference::crc(reg, p, n); }

// The fold rests on x^255 = 1 modulo the check polynomial; shown here with the
// reference alone, so the identity does not lean on the code it justifies.
TEST(CrcFold, IdentityHoldsForTheReference)
{
    std::mt19937 gen(255);
    const std::vector<uint8_t> zeros(255 * 3, 0);
    for (int round = 0; round < 100; ++round) {
        u_int32 reg = static_cast<u_int32>(gen());
        // 255 zero bytes multiply the register by x^255: it comes back unchanged.
        EXPECT_EQ(reference(reg, zeros.data(), 255), reg);
        EXPECT_EQ(reference(reg, zeros.data(), 255 * 3), reg);
    }
    // A block equals its fold: the XOR of its 255-byte pieces aligned on its
    // end, the starting register laid over its first four bytes.
    for (size_t n :
         {size_t{4}, size_t{254}, size_t{255}, size_t{256}, size_t{258}, size_t{1000}, size_t{65537}}) {
        SCOPED_TRACE(n);
        std::vector<uint8_t> block = random_block(n, static_cast<unsigned>(n));
        u_int32 reg = static_cast<u_int32>(gen());
        uint8_t fold[255] = {};
        for (size_t j = 0; j < n; ++j)
            fold[254 - (n - 1 - j) % 255] ^= block[j];
        for (size_t j = 0; j < 4; ++j)
            fold[254 - (n - 1 - j) % 255] ^= static_cast<uint8_t>(reg >> (24 - 8 * j));
        EXPECT_EQ(reference(0, fold, 255), reference(reg, block.data(), n));
    }
}

// Runs `check` with the vector pass on (where this processor has one) and off.
template <typename Check>
void on_both_passes(Check check)
{
    for (bool vector : {true, false}) {
        if (vector && !scsilib::vector_fold_available())
            continue;
        SCOPED_TRACE(vector ? "vector pass" : "portable pass");
        scsilib::set_vector_fold(vector);
        check();
    }
    scsilib::set_vector_fold(true);
}

TEST(CrcFast, EqualsTheReferenceAtEveryLengthTo1600)
{
    // From 512 bytes the fold takes over; to 1,600 it meets every length of
    // the block's first partial piece. Offsets 0..7 into the buffer put the
    // block at every alignment.
    std::vector<uint8_t> buffer = random_block(1600 + 8, 1);
    std::mt19937 gen(2);
    on_both_passes([&] {
        for (size_t n = 0; n <= 1600; ++n) {
            size_t offset = n % 8;
            u_int32 reg = static_cast<u_int32>(gen());
            u_int8 *p = buffer.data() + offset;
            ASSERT_EQ(scsi_generate_CRC(reg, static_cast<u_int32>(n), p), reference(reg, p, n))
                << "length " << n << " offset " << offset;
        }
    });
}

TEST(CrcFast, EqualsTheReferenceOnLargeBlocksAndInPieces)
{
    const size_t kMax = size_t{16} << 20;
    std::vector<uint8_t> buffer = random_block(kMax + 8, 3);
    std::mt19937 gen(4);
    // Lengths around the switch to the fold and its period, then random ones.
    std::vector<size_t> lengths = {511,         512,         513,  255 * 5, 255 * 5 + 1,
                                   255 * 5 + 3, 255 * 5 + 4, 4096, 262144,  kMax};
    for (int i = 0; i < 6; ++i)
        lengths.push_back(gen() % kMax);
    on_both_passes([&] {
        for (size_t n : lengths) {
            size_t offset = gen() % 8;
            u_int32 reg = static_cast<u_int32>(gen());
            u_int8 *p = buffer.data() + offset;
            u_int32 want = reference(reg, p, n);
            ASSERT_EQ(scsi_generate_CRC(reg, static_cast<u_int32>(n), p), want)
                << "length " << n << " offset " << offset;
            // The same block in three pieces of random sizes, each result
            // carried into the next call.
            size_t a = n ? gen() % n : 0;
            size_t b = a + (n - a ? gen() % (n - a) : 0);
            u_int32 r = scsi_generate_CRC(reg, static_cast<u_int32>(a), p);
            r = scsi_generate_CRC(r, static_cast<u_int32>(b - a), p + a);
            r = scsi_generate_CRC(r, static_cast<u_int32>(n - b), p + b);
            ASSERT_EQ(r, want) << "length " << n << " cut at " << a << " and " << b;
        }
    });
}

}  // namespace
