// The CMMA area and the tape number of a loaded cartridge through the
// emulated KV LTO drive: the memory pages sent, the bytes that land in its
// cartridge memory, and each step that fails.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "kvemu.h"
#include "lto_drive.h"
#include "ltolib.h"

namespace {

using cmtest::Image;
using Lines = std::vector<std::string>;

constexpr const char *kFailReceive = "override = 1c status=2 sense=70000500000000000000000024000000\n";

class LtoCmDrive : public LtoDriveTest {
protected:
    // A drive with `image` as its cartridge memory.
    void load(const Image &image, const std::string &settings = "")
    {
        open_drive(settings + key("cm", image.bytes()));
    }
    kvemu::Bytes &cm() { return memories().cartridge(); }
    u_int32 be32(size_t at) { return static_cast<u_int32>(kvemu::be_at(cm(), at, 4)); }
    // The SEND DIAGNOSTIC pages sent, as hex.
    static Lines pages() { return commands_of("out"); }
};

TEST_F(LtoCmDrive, GetCmma)
{
    load(cmtest::full_image(4096));
    LTOCMMAType c;
    ASSERT_EQ(lto_get_cmma(&drv, &c), 0);
    // One read of 148 bytes at F00h of memory 16, 8-bit words.
    EXPECT_EQ(pages(), Lines{"B0 00 00 10 00 00 0F 00 00 00 00 94 00 00 00 10 00 00 00 08"});
    EXPECT_EQ(c.ctrl_area.times_used, 1000u);
    EXPECT_EQ(c.last_test_area.errorcode, 0xDEADBEEFu);

    // A failed read leaves the record as it was.
    load(cmtest::full_image(4096), kFailReceive);
    c.ctrl_area.times_used = 7;
    EXPECT_EQ(lto_get_cmma(&drv, &c), -1);
    EXPECT_EQ(c.ctrl_area.times_used, 7u);
    EXPECT_EQ(lto_get_cmma(&drv, nullptr), -1);
}

// The cartridge memory is read in halves of 4096 bytes: exactly one half is
// one read, one byte more a second read of that byte.
TEST_F(LtoCmDrive, ReadCmByHalves)
{
    const Image image = cmtest::full_image(8192);
    const std::string first = "B0 00 00 10 00 00 00 00 00 00 10 00 00 00 00 10 00 00 00 08";
    const std::pair<int32, Lines> cases[] = {
        {4096, {first}},
        {4097, {first, "B0 00 00 10 00 00 10 00 00 00 00 01 00 00 00 10 00 00 00 08"}},
    };
    for (const auto &c : cases) {
        load(image);
        std::vector<u_int8> got(8192, 0xEE);
        EXPECT_EQ(lto_read_cm(&drv, got.data(), c.first), c.first);
        EXPECT_EQ(pages(), c.second);
        const auto len = static_cast<std::ptrdiff_t>(c.first);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + len, image.bytes().begin()));
        EXPECT_EQ(got[static_cast<size_t>(len)], 0xEE);
    }
}

TEST_F(LtoCmDrive, TapePasses)
{
    struct Case {
        u_int32 passes, lifetime, extras, want_passes, want_lifetime;
    };
    const Case cases[] = {
        {1234, 5678, 5, 1239, 5683},
        {1234, 5678, 0, 1234, 5678},
        // The counters only grow: they stop at their largest value.
        {0xFFFFFFF0, 0xFFFFFFFE, 0x10, 0xFFFFFFFF, 0xFFFFFFFF},
        {0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const Case &c : cases) {
        load(cmtest::full_image(4096).be32(0xF20, c.passes).be32(0xF24, c.lifetime));
        const kvemu::Bytes before = cm();
        EXPECT_EQ(lto_update_cmma_tapepasses(&drv, c.extras), 0);
        EXPECT_EQ(be32(0xF20), c.want_passes);
        EXPECT_EQ(be32(0xF24), c.want_lifetime);
        // Nothing but the eight bytes changed.
        kvemu::Bytes after = cm();
        std::copy(before.begin() + 0xF20, before.begin() + 0xF28, after.begin() + 0xF20);
        EXPECT_EQ(after, before);
        const Lines sent = pages();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0], "B0 00 00 10 00 00 0F 20 00 00 00 08 00 00 00 10 00 00 00 08");
        EXPECT_EQ(sent[1].substr(0, 59), "B1 00 00 30 00 00 0F 20 00 00 00 08 00 00 00 10 00 00 00 08");
    }
    load(cmtest::full_image(4096), kFailReceive);
    EXPECT_EQ(lto_update_cmma_tapepasses(&drv, 1), -1);
    EXPECT_EQ(pages().size(), 1u);  // nothing written
}

TEST_F(LtoCmDrive, DriveLog)
{
    struct Case {
        const char *serial;
        u_int32 error;
        boolean set_state;
        u_int32 uses, failures;
        u_int8 state;
        std::string stored;  // the 12 serial bytes
    };
    const Case cases[] = {
        // 15 characters: the first 12, without a terminator.
        {"ABCDEFGHIJKLMNO", 0x1234, 1, 1001, 4, 2, "ABCDEFGHIJKL"},
        {"ABCDEFGHIJKLMNO", 0x1234, 0, 1001, 4, 1, "ABCDEFGHIJKL"},
        // Error code 0 counts a use only, whatever set_state says.
        {"KV1", 0, 1, 1001, 3, 1, std::string("KV1\0\0\0\0\0\0\0\0\0", 12)},
    };
    for (const Case &c : cases) {
        load(cmtest::full_image(4096));
        kvemu::step_clock(0x60000000);
        EXPECT_EQ(lto_update_cmma_drivelog(&drv, const_cast<char *>(c.serial), c.error, c.set_state), 0);
        kvemu::real_clock();
        EXPECT_EQ(be32(0xF80), 0x60000000u) << c.serial;
        EXPECT_EQ(std::string(cm().begin() + 0xF84, cm().begin() + 0xF90), c.stored);
        EXPECT_EQ(be32(0xF90), c.error);
        EXPECT_EQ(be32(0xF02), c.uses);
        EXPECT_EQ(be32(0xF06), c.failures);
        EXPECT_EQ(cm()[0xF01], c.state);
        EXPECT_EQ(cm()[0xF00], 2);  // the revision stays
    }
    // The pages: the last test in two writes (16 and 4 bytes), then the
    // control bytes read and written back.
    const Lines sent = pages();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].substr(0, 35), "B1 00 00 50 00 00 0F 80 00 00 00 10");
    EXPECT_EQ(sent[1].substr(0, 35), "B1 00 00 20 00 00 0F 90 00 00 00 04");
    EXPECT_EQ(sent[2], "B0 00 00 10 00 00 0F 00 00 00 00 0A 00 00 00 10 00 00 00 08");
    EXPECT_EQ(sent[3].substr(0, 35), "B1 00 00 38 00 00 0F 00 00 00 00 0A");

    // The counters stop at their largest value.
    load(cmtest::full_image(4096).be32(0xF02, 0xFFFFFFFF).be32(0xF06, 0xFFFFFFFF));
    EXPECT_EQ(lto_update_cmma_drivelog(&drv, const_cast<char *>("X"), 1, 0), 0);
    EXPECT_EQ(be32(0xF02), 0xFFFFFFFFu);
    EXPECT_EQ(be32(0xF06), 0xFFFFFFFFu);

    // A failed read of the counters: the last test stays written, the counters as they were.
    load(cmtest::full_image(4096), kFailReceive);
    EXPECT_EQ(lto_update_cmma_drivelog(&drv, const_cast<char *>("KV9"), 5, 1), -1);
    EXPECT_EQ(be32(0xF90), 5u);
    EXPECT_EQ(be32(0xF02), 1000u);
    EXPECT_EQ(cm()[0xF01], 1);

    // A failed write of the last test: nothing more is sent.
    load(cmtest::full_image(4096), "override = 1d status=2 sense=70000500000000000000000026000000\n");
    EXPECT_EQ(lto_update_cmma_drivelog(&drv, const_cast<char *>("KV9"), 5, 1), -1);
    EXPECT_EQ(pages().size(), 1u);
    EXPECT_EQ(be32(0xF02), 1000u);

    EXPECT_EQ(lto_update_cmma_drivelog(&drv, nullptr, 5, 1), -1);
}

TEST_F(LtoCmDrive, TapeNumber)
{
    // Page 001h at 64 holds "KV12345678" at 76..85.
    Image at64 = Image(4096).table(36, {{0, 0x002, 0x80}, {0, 0x001, 64}}, 0x100, 0).text(76, "KV12345678XY");
    Image at235 = Image(4096).table(36, {{0, 0x001, 235}}, 0x100, 0);
    // The serial of page 001h at 234 ends at byte 255, the last of the 256 scanned.
    Image at234 = Image(4096).table(36, {{0, 0x001, 234}}, 0x100, 0).text(246, "KV12345678");
    Image nul = Image(4096).table(36, {{0, 0x001, 64}}, 0x100, 0).text(76, std::string("AB\0CD", 5));
    Image ended = Image(4096).table(36, {}, 0x100, 0).be16(44, 0x001).be16(46, 64).text(76, "KV12345678");
    // No end entry before byte 256, page 001h's entry just past it.
    Image unended = Image(4096).be16(256, 0x001).be16(258, 64).text(76, "KV12345678");
    for (size_t at = 36; at < 256; at += 4)
        unended.be16(at, 0x101);
    const std::string serial = key("reply.ab01",
                                   kvemu::Bytes{0,   0,   0,   16,  'S', 'E', 'R', 'I', 'A', 'L',
                                                'N', 'U', 'M', 'B', 'E', 'R', '0', '1', '2', '3'});
    struct Case {
        const char *name;
        Image image;
        std::string settings;
        int32 result;
        const char *tapeno;
        size_t commands;  // CDBs sent
    };
    const Case cases[] = {
        {"media serial number", at64, serial, 0, "SERIALNUMBE", 1},
        {"a short one", at64, key("reply.ab01", kvemu::Bytes{0, 0, 0, 3, 'A', 'B', 'C'}), 0, "ABC", 1},
        {"refused: the cartridge memory", at64, "", 0, "KV12345678", 3},
        {"a reply of the header alone", at64, key("reply.ab01", kvemu::Bytes{0, 0, 0, 0}), 0, "KV12345678", 3},
        {"page 001h at 234", at234, "", 0, "KV12345678", 3},
        {"page 001h at 235", at235, "", -1, "untouched", 3},
        {"a NUL ends it", nul, "", 0, "AB", 3},
        {"the end entry first", ended, "", -1, "untouched", 3},
        {"no end entry in the bytes scanned", unended, "", -1, "untouched", 3},
        {"no cartridge memory", at64, kFailReceive, -1, "untouched", 3},
    };
    for (const Case &c : cases) {
        load(c.image, c.settings);
        char tapeno[LTO_TAPE_NUMBER_SIZE] = "untouched";
        EXPECT_EQ(lto_get_tape_number(&drv, tapeno), c.result) << c.name;
        EXPECT_STREQ(tapeno, c.tapeno) << c.name;
        Lines sent = commands();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent[0], "cmd AB 01 00 00 00 00 00 00 01 00 00 00") << c.name;
        EXPECT_EQ(commands_of("cmd").size(), c.commands) << c.name;
    }
    EXPECT_EQ(lto_get_tape_number(&drv, nullptr), -1);
}

}  // namespace
