// LTO drive generation and drive control through the emulated drive: the
// variant of page C1h, tape format, temperature, the clock of mode page 3Ch,
// timestamps, logical-block protection and the physical position.
#include <algorithm>
#include <string>
#include <vector>

#include "lto_drive.h"
#include "ltolib.h"
#include "ltolib/generation.h"

namespace {

using Lines = LtoDriveTest::Lines;
using kvemu::Bytes;

class LtoControl : public LtoDriveTest {};

// Vendor page C1h holding `text`.
std::string c1_page(const std::string &text)
{
    return LtoDriveTest::key("inquiry.c1", std::string("\x01\xC1\x00", 3) + char(text.size()) + text);
}

// NOT READY, MEDIUM NOT PRESENT.
const std::string kNoTape = "status=2 sense=700002000000000A000000003A0000000000";

TEST_F(LtoControl, GenerationFromTheVariant)
{
    struct Row {
        std::string text;
        int32 rc, hwconfig;
    };
    const Row rows[] = {
        {"xx Variant = 0x80110400", 4, int32(0x80110400)},  // not listed
        {"Variant = 0x4ABCDEF0", 153, 0x4ABCDEF0},          // the family with 4 in the top bits
        {"Variant = 0x80000300 Variant = 0x80000000", 3, int32(0x80000300)},
        // A page of 254 bytes, all that is asked for, ends with the last digit;
        // one byte longer, that digit is not received.
        {std::string(230, ' ') + "Variant = 0x80000300", 3, int32(0x80000300)},
        {std::string(231, ' ') + "Variant = 0x80000300", 4, 0x8000030},
        {"Variant = ", -1, 0x123},  // no number: both values stay
        {"Variant: 0x80000100", -1, 0x123},
    };
    for (const Row &r : rows) {
        open_drive(c1_page(r.text));
        scsi_set_link(&drv, 0x5A);
        lto_drive_hwconfig = 0x123;
        lto_set_drive_generation(77);
        EXPECT_EQ(lto_get_drive_generation(&drv), r.rc) << r.text.size();
        EXPECT_EQ(lto_drive_hwconfig, r.hwconfig) << r.text;
        EXPECT_EQ(ltolib::drive_generation(), r.rc < 0 ? 77 : r.rc) << r.text;
        EXPECT_EQ(commands(), (Lines{"cmd 12 01 C1 00 FE 5A"}));
    }
    open_drive("override = 12 " + std::string(kCheck) + "\n");
    EXPECT_EQ(lto_get_drive_generation(&drv), -1);
    EXPECT_EQ(ltolib::drive_generation(), 77);
}

// Every listed variant against its generation and head channels, and the
// variants either side of the family with 4 in the top bits.
TEST(LtoVariants, GenerationAndChannelsOfEachVariant)
{
    const std::vector<std::pair<int32, std::vector<u_int32>>> generations = {
        {0, {0x80000000, 0x80010000, 0x80040200}},
        {1, {0x80000100, 0x80020100, 0x80020200, 0x80050200}},
        {2, {0x80000200, 0x80030200, 0x80010200, 0x80070200, 0x80090200, 0x80030300}},
        {3, {0x80000300, 0x80010300, 0x80020300, 0x80060300, 0x80050300, 0x80070300}},
        {0x99, {0x40000000, 0x4FFFFFFF}},
        {4, {0x3FFFFFFF, 0x50000000, 0x80080200, 0}},
    };
    const std::vector<u_int32> eight = {0x80000000, 0x80010000, 0x80000100, 0x80020100, 0x80020200, 0x80050200};
    for (const auto &g : generations)
        for (u_int32 v : g.second) {
            EXPECT_EQ(ltolib::generation_of(v), g.first) << std::hex << v;
            lto_drive_hwconfig = static_cast<int32>(v);
            const bool listed = std::find(eight.begin(), eight.end(), v) != eight.end();
            EXPECT_EQ(ltolib::channel_count(), listed ? 8 : 16) << std::hex << v;
        }
}

TEST_F(LtoControl, TapeFormat)
{
    struct Row {
        std::string settings;
        int32 rc;
        u_int8 format;
    };
    const Row rows[] = {
        {"", 0, 0x46},
        {"tur = 02 3A 00\n", 0, 0},  // no tape
        {"override = 44 " + std::string(kCheck) + "\n", -1, 0},
        {"override = 44 short=10\n", -1, 0},
        // The sense of an earlier command says nothing of a reply cut short.
        {"override = 00 " + kNoTape + "\noverride = 44 short=10\n", -1, 0},
    };
    for (const Row &r : rows) {
        open_drive(r.settings);
        (void)scsi_test_unit_ready(&drv);
        kvemu::clear_trace();
        u_int8 format = 0xEE;
        EXPECT_EQ(lto_get_tape_format(&drv, &format), r.rc) << r.settings;
        EXPECT_EQ(format, r.format) << r.settings;
        EXPECT_EQ(commands(), (Lines{"cmd 44 01 00 00 00 00 00 00 38 00"}));
    }
}

TEST_F(LtoControl, Temperature)
{
    open_drive("log.0d.0 = 0x00C8\n");
    int32 t = 0;
    ASSERT_EQ(lto_get_drive_temperature(&drv, &t), 0);
    EXPECT_EQ(t, 200);
    EXPECT_EQ(commands(), (Lines{"cmd 4D 00 4D 00 00 00 00 00 10 00"}));
    open_drive("override = 4d short=7\n");  // ends before the temperature byte
    EXPECT_EQ(lto_get_drive_temperature(&drv, &t), -1);
    EXPECT_EQ(t, 255);
}

// Page 3Ch with each field its own value.
std::string clock_page(size_t size)
{
    Bytes p(size, 0);
    p[0] = 0x3C;
    p[1] = static_cast<uint8_t>(size - 2);
    p[2] = 0x03;  // both control bits
    kvemu::put_be_at(p, 6, 0x0102, 2);
    kvemu::put_be_at(p, 8, 0x03040506, 4);
    p[14] = 0x83;  // both option bits, and a bit that stays
    kvemu::put_be_at(p, 16, 0x0708090A, 4);
    if (size >= 36)
        kvemu::put_be_at(p, 32, 0x0B0C0D0E, 4);
    return LtoDriveTest::key("mode.3c", p);
}

TEST_F(LtoControl, DriveClock)
{
    open_drive(clock_page(36));
    u_int32 w = 0, p = 0, poc = 0, c = 0;
    int32 flags = 0;
    ASSERT_EQ(lto_get_drive_time(&drv, &w, &p, &poc, &c, &flags), 0);
    EXPECT_EQ(w, 0x0708090Au);
    EXPECT_EQ(p, 0x03040506u);
    EXPECT_EQ(poc, 0x0102u);
    EXPECT_EQ(c, 0x0B0C0D0Eu);
    EXPECT_EQ(flags, 0x1033);
    EXPECT_EQ(commands(), (Lines{"cmd 1A 00 3C 00 30 00"}));

    kvemu::clear_trace();
    ASSERT_EQ(lto_set_drive_time(&drv, 0xCAFEF00D, 0x20), 0);
    const Lines sent = commands();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], "cmd 15 10 00 00 30 00");
    EXPECT_EQ(sent[2],
              "out 00 00 10 08 46 00 00 00 00 00 00 00 3C 22 02 00 00 00 01 02 03 04 05 06 00 00 81 00 "
              "CA FE F0 0D 00 00 00 00 00 00 00 00 00 00 00 00 0B 0C 0D 0E");

    // A 40-byte reply carries no ctime, nor one of 47 bytes.
    for (const std::string &settings : {clock_page(28), clock_page(36) + "override = 1a short=1\n"}) {
        open_drive(settings);
        c = 5;
        ASSERT_EQ(lto_get_drive_time(&drv, &w, &p, &poc, &c, &flags), 0);
        EXPECT_EQ(c, 5u);
        EXPECT_EQ(flags, 0x33);
    }
}

TEST_F(LtoControl, ClockRepliesThatCannotBeEditedSendNothing)
{
    const std::string header = "reply.1a = 1B 00 10 08 46 00 00 00 00 00 00 00 ";
    const std::string rows[] = {
        "reply.1a = 1B 00 10 00 3C 1A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
        "00\n",
        header + "3D 1A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n",  // another page
        header + "3C 1A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n",     // 31 bytes
    };
    for (const std::string &r : rows) {
        open_drive(r);
        u_int32 w = 1, p = 1, poc = 1, c = 1;
        int32 flags = 1;
        EXPECT_EQ(lto_get_drive_time(&drv, &w, &p, &poc, &c, &flags), -1) << r;
        EXPECT_EQ(w + p + poc + c + u_int32(flags), 5u);
        EXPECT_EQ(lto_set_drive_time(&drv, 7, 0), -1) << r;
        EXPECT_EQ(commands().size(), 2u) << r;  // two MODE SENSE, no MODE SELECT
    }
}

TEST_F(LtoControl, Timestamps)
{
    open_drive("timestamp = 0xA1B2C3D4E5F6\ntimestamp_origin = 0x43\n");
    scsi_set_link(&drv, 0x5A);
    u_int64 ts = 0;
    u_int8 origin = 0;
    ASSERT_EQ(lto_report_timestamp(&drv, &ts, &origin), 0);
    EXPECT_EQ(ts, 0xA1B2C3D4E5F6u);  // all 48 bits
    EXPECT_EQ(origin, 0x43);         // the whole byte
    EXPECT_EQ(commands(), (Lines{"cmd A3 0F 00 00 00 00 00 00 00 0C 00 5A"}));

    kvemu::clear_trace();
    EXPECT_EQ(lto_set_timestamp(&drv, 0xFFFF010203040506ull), 12);
    EXPECT_EQ(commands(),
              (Lines{"cmd A4 0F 00 00 00 00 00 00 00 0C 00 5A", "out 00 00 00 00 01 02 03 04 05 06 00 00"}));

    open_drive("override = a3 short=1\n");
    ts = 9;
    origin = 9;
    EXPECT_EQ(lto_report_timestamp(&drv, &ts, &origin), -1);
    EXPECT_EQ(ts + origin, 18u);
    open_drive("override = a4 " + std::string(kCheck) + "\n");
    EXPECT_EQ(lto_set_timestamp(&drv, 1), -1);
}

TEST_F(LtoControl, ProtectionModes)
{
    const char *pages[] = {"4A F0 00 04 00 00 00 00", "4A F0 00 04 01 04 40 00", "4A F0 00 04 01 04 80 00",
                           "4A F0 00 04 01 04 C0 00"};
    open_drive();
    for (int32 type : {3, 2, 1, 0}) {
        kvemu::clear_trace();
        ASSERT_EQ(lto_set_protection_mode(&drv, type), 0) << type;
        EXPECT_EQ(drv.lblock_prot_type, type);
        EXPECT_EQ(commands(), (Lines{"cmd 1A 00 0A F0 14 00", "cmd 15 10 00 00 14 00",
                                     std::string("out 00 00 10 08 46 00 00 00 00 00 00 00 ") + pages[type]}));
    }
    kvemu::clear_trace();
    drv.lblock_prot_type = 9;
    EXPECT_EQ(lto_set_protection_mode(&drv, 4), -1);
    EXPECT_EQ(lto_set_protection_mode(&drv, -1), -1);
    EXPECT_TRUE(commands().empty());
    // Another subpage in the reply: nothing is sent.
    open_drive("reply.1a = 13 00 10 08 46 00 00 00 00 00 00 00 4A 01 00 04 00 00 00 00\n");
    drv.lblock_prot_type = 9;
    EXPECT_EQ(lto_set_protection_mode(&drv, 1), -1);
    EXPECT_EQ(commands().size(), 1u);
    EXPECT_EQ(drv.lblock_prot_type, 9);
}

std::string padded(const std::string &text, size_t total)
{
    return text + std::string(total - 4 - text.size(), ' ');
}

TEST_F(LtoControl, PhysicalPosition)
{
    struct Row {
        std::string wraps;
        int32 rc, fwrap, bwrap;
    };
    const Row rows[] = {
        {"1F 3 2", 0, 6, 5},   {"1F 0 0", 0, 36, 47},  {"1F 1 1", 0, 14, 21},
        {"1F 5 3", 0, 34, 25}, {"1F 3 4", -1, -9, -9},  // no band 4
        {"1F 3", -1, -9, -9},
    };
    for (const Row &r : rows) {
        open_drive(mech_key(0x200F, padded("ABC", 16), 2) + mech_key(0x2014, padded(r.wraps, 72)));
        int32 posn = -9, f = -9, b = -9;
        EXPECT_EQ(lto_get_phys_position(&drv, &posn, &f, &b), r.rc) << r.wraps;
        EXPECT_EQ(posn, r.rc == 0 ? 0xABC : -9) << r.wraps;
        EXPECT_EQ(f, r.fwrap) << r.wraps;
        EXPECT_EQ(b, r.bwrap) << r.wraps;
        EXPECT_EQ(commands(), (Lines{"cmd 1D 11 00 00 0C 00", "out 93 00 00 08 00 00 20 0F 00 00 00 02",
                                     "cmd 1C 01 93 00 10 00", "cmd 1D 11 00 00 08 00",
                                     "out 93 00 00 04 00 00 20 14", "cmd 1C 01 93 00 48 00"}));
    }
    open_drive(mech_key(0x200F, "ABC", 2));  // a reply shorter than 16 bytes
    int32 posn = -9, f = -9, b = -9;
    EXPECT_EQ(lto_get_phys_position(&drv, &posn, &f, &b), -1);
    EXPECT_EQ(commands().size(), 3u);
}

}  // namespace
