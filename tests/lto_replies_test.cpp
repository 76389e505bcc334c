// The LTO reply decoders on bytes alone: log pages, texts, inquiry and mode
// pages, timestamps, sense data and the generation rules.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ltolib.h"
#include "ltolib/generation.h"
#include "ltolib/replies.h"
#include "scsilib/byte_order.h"

namespace {

using namespace ltolib;
using Bytes = std::vector<u_int8>;

void put(Bytes &b, size_t at, u_int64 v, int n) { scsilib::put_be(b.data() + at, v, n); }

// A text reply: the 4-byte header, then the text, without a terminator.
Bytes text_reply(const std::string &text)
{
    Bytes b(4 + text.size(), 0);
    b[0] = 0x93;
    b[3] = static_cast<u_int8>(text.size());
    std::copy(text.begin(), text.end(), b.begin() + 4);
    return b;
}

int32 len(const Bytes &b) { return static_cast<int32>(b.size()); }

TEST(LtoLogPages, FieldsAtTheirOffsets)
{
    Bytes e(60, 0);
    put(e, 32, 0x01020304, 4);
    put(e, 40, 0x05060708, 4);
    put(e, 48, 0x090A0B0C, 4);
    put(e, 56, 0x0D0E0F10, 4);
    int32 s = 0, c = 0, d = 0, h = 0;
    ASSERT_EQ(decode_errcounters(e.data(), 60, &s, &c, &d, &h), 0);
    EXPECT_EQ((std::vector<int32>{s, c, d, h}),
              (std::vector<int32>{0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10}));
    s = -7;
    EXPECT_EQ(decode_errcounters(e.data(), 59, &s, &c, &d, &h), -1);
    EXPECT_EQ(s, -7);

    // Low words with their top bit set: the 64-bit counters stay unsigned.
    Bytes t(76, 0);
    put(t, 8, 0x11, 4);
    put(t, 16, 0x00000001, 4);
    put(t, 20, 0x80000002, 4);
    put(t, 28, 0x33, 4);
    put(t, 36, 0x4444, 2);
    put(t, 42, 0x5555, 2);
    put(t, 48, 0x6666, 2);
    put(t, 54, 0, 4);
    put(t, 58, 0xFFFFFFFF, 4);
    put(t, 66, 0x77, 4);
    put(t, 74, 0x8888, 2);
    LTOTapelogtype log{};
    ASSERT_EQ(decode_tape_log(t.data(), 76, &log), 0);
    EXPECT_EQ(log.loadCount, 0x11);
    EXPECT_EQ(log.writtenSets, 6442450946.0);  // 1_80000002h
    EXPECT_EQ(log.writeRetries, 0x33);
    EXPECT_EQ(log.unrecoveredWrites, 0x4444);
    EXPECT_EQ(log.suspendedWrites, 0x5555);
    EXPECT_EQ(log.fatalSuspWrites, 0x6666);
    EXPECT_EQ(log.readSets, 4294967295.0);
    EXPECT_EQ(log.readRetries, 0x77);
    EXPECT_EQ(log.unrecoveredReads, 0x8888);
    log.loadCount = -7;
    EXPECT_EQ(decode_tape_log(t.data(), 75, &log), -1);
    EXPECT_EQ(log.loadCount, -7);

    Bytes p(80, 0);
    put(p, 8, 250, 2);
    put(p, 14, 175, 2);
    put(p, 20, 1, 4);
    put(p, 28, 2, 4);
    put(p, 36, 3, 4);
    put(p, 44, 4, 4);
    put(p, 52, 0x80000000, 4);  // megabytes past 2^31: unsigned
    put(p, 60, 6, 4);
    put(p, 68, 7, 4);
    put(p, 76, 0xFFFFFFFF, 4);
    LTODCtfrtype perf{};
    ASSERT_EQ(decode_dc_performance(p.data(), 80, &perf), 0);
    EXPECT_DOUBLE_EQ(perf.read_compression, 2.5);
    EXPECT_DOUBLE_EQ(perf.write_compression, 1.75);
    EXPECT_EQ(perf.bytes_to_host, 1048576.0 + 2);
    EXPECT_EQ(perf.bytes_from_tape, 3 * 1048576.0 + 4);
    EXPECT_EQ(perf.bytes_from_host, 2147483648.0 * 1048576.0 + 6);
    EXPECT_EQ(perf.bytes_to_tape, 7 * 1048576.0 + 4294967295.0);
    perf.read_compression = -1;
    EXPECT_EQ(decode_dc_performance(p.data(), 79, &perf), -1);
    EXPECT_EQ(perf.read_compression, -1);

    Bytes temp(16, 0);
    temp[9] = 0xC8;
    int32 deg = 0;
    EXPECT_EQ(decode_temperature(temp.data(), 10, &deg), 0);
    EXPECT_EQ(deg, 200);  // unsigned
    EXPECT_EQ(decode_temperature(temp.data(), 9, &deg), -1);
}

TEST(LtoTexts, NumbersUpToTheRoomGiven)
{
    Bytes r = text_reply(" 1 ffffffff\n2a 7");  // the last byte is a number too
    int32 data[4] = {-1, -1, -1, -1};
    EXPECT_EQ(decode_hex_values(r.data(), len(r), data, 4), 4);
    EXPECT_EQ((std::vector<int32>(data, data + 4)), (std::vector<int32>{1, -1, 0x2A, 7}));
    int32 two[3] = {0, 0, -5};
    EXPECT_EQ(decode_hex_values(r.data(), len(r), two, 2), 2);
    EXPECT_EQ(two[2], -5);
    EXPECT_EQ(decode_hex_values(r.data(), 4, two, 2), 0);  // header only
    EXPECT_EQ(decode_hex_values(r.data(), 2, two, 2), 0);

    struct Row {
        int32 wsize;
        std::vector<u_int32> want;
    };
    const Bytes m = text_reply("12345678 ABCD 1FF zz 9");
    const Row rows[] = {
        {32, {0x12345678, 0xABCD, 0x1FF}},
        {16, {0x5678, 0xABCD, 0x1FF}},
        {8, {0x78, 0xCD, 0xFF}},
        {12, {0x78, 0xCD, 0xFF}},  // any other width stores bytes
    };
    for (const Row &row : rows) {
        u_int8 raw[32];
        std::memset(raw, 0xEE, sizeof raw);
        ASSERT_EQ(decode_memory_text(m.data(), len(m), row.wsize, raw, 8), 3) << row.wsize;
        for (size_t i = 0; i < row.want.size(); ++i) {
            u_int32 got = row.wsize == 32   ? reinterpret_cast<u_int32 *>(raw)[i]
                          : row.wsize == 16 ? reinterpret_cast<u_int16 *>(raw)[i]
                                            : raw[i];
            EXPECT_EQ(got, row.want[i]) << row.wsize << " word " << i;
        }
    }
    u_int8 two_bytes[3] = {0, 0, 0xEE};
    EXPECT_EQ(decode_memory_text(m.data(), len(m), 8, two_bytes, 2), 2);
    EXPECT_EQ(two_bytes[2], 0xEE);
}

TEST(LtoTexts, PositionLp0AndWraps)
{
    int32 lp0 = 0;
    boolean valid = 9;
    Bytes r = text_reply("1F40 1");
    ASSERT_EQ(decode_lp0(r.data(), len(r), &lp0, &valid), 0);
    EXPECT_EQ(lp0, 0x1F40);
    EXPECT_EQ(valid, 1);
    r = text_reply("1F40 0");
    ASSERT_EQ(decode_lp0(r.data(), len(r), &lp0, &valid), 0);
    EXPECT_EQ(valid, 0);
    r = text_reply("77");
    lp0 = -5;
    EXPECT_EQ(decode_lp0(r.data(), len(r), &lp0, &valid), -1);
    EXPECT_EQ(lp0, -5);

    int32 posn = 0;
    r = text_reply("  ABC");
    ASSERT_EQ(decode_position(r.data(), len(r), &posn), 0);
    EXPECT_EQ(posn, 0xABC);
    r = text_reply("none");
    EXPECT_EQ(decode_position(r.data(), len(r), &posn), -1);

    struct Row {
        const char *text;
        int32 rc, fwrap, bwrap;
    };
    const Row rows[] = {
        {"99 3 2", 0, 6, 5}, {"0 0 0", 0, 36, 47},       {"0 1 1", 0, 14, 21}, {"0 5 3", 0, 34, 25},
        {"0 0 4", -1, 0, 0}, {"0 3 FFFFFFFF", -1, 0, 0}, {"0 3", -1, 0, 0},    {"x 3 2", -1, 0, 0},
    };
    for (const Row &row : rows) {
        r = text_reply(row.text);
        int32 f = -99, b = -99;
        ASSERT_EQ(decode_wraps(r.data(), len(r), &f, &b), row.rc) << row.text;
        if (row.rc == 0) {
            EXPECT_EQ(f, row.fwrap) << row.text;
            EXPECT_EQ(b, row.bwrap) << row.text;
        } else {
            EXPECT_EQ(f, -99) << row.text;
        }
    }
}

TEST(LtoIdentity, VariantAndSerialNumber)
{
    struct Row {
        const char *page;
        int32 rc;
        u_int32 variant;
    };
    const Row rows[] = {
        {"xxxxVariant = 0x80040200 more", 0, 0x80040200},
        {"Variant = 0x1 Variant = 0x2", 0, 1},  // the first label counts
        {"Variant = ", -1, 0},                  // no number after the label
        {"Variant = zz", -1, 0},
        {"Variant=0x5", -1, 0},  // not the label searched for
        {"", -1, 0},
    };
    for (const Row &row : rows) {
        Bytes b(row.page, row.page + std::strlen(row.page));
        u_int32 v = 7;
        EXPECT_EQ(decode_variant(b.data(), len(b), &v), row.rc) << row.page;
        EXPECT_EQ(v, row.rc == 0 ? row.variant : 7u) << row.page;
    }

    char sn[LTO_DRIVE_NUMBER_SIZE + 4];
    Bytes p(20, 0);
    p[3] = 20;
    for (int i = 0; i < 16; ++i)
        p[4 + i] = static_cast<u_int8>('A' + i);
    std::memset(sn, 'z', sizeof sn);
    ASSERT_EQ(decode_drive_number(p.data(), 20, sn), 0);
    EXPECT_STREQ(sn, "ABCDEFGHIJKLMNO");  // 15 characters at most
    p[3] = 6;
    p[7] = 0;
    ASSERT_EQ(decode_drive_number(p.data(), 20, sn), 0);
    EXPECT_STREQ(sn, "ABC");
    p[3] = 10;
    std::strcpy(sn, "keep");
    EXPECT_EQ(decode_drive_number(p.data(), 13, sn), -1);  // the reply ends inside the text
    EXPECT_STREQ(sn, "keep");
    p[4] = 0xFF;
    ASSERT_EQ(decode_drive_number(p.data(), 5, sn), 0);
    EXPECT_STREQ(sn, "UnknownSN");
    EXPECT_EQ(decode_drive_number(p.data(), 3, sn), -1);
}

TEST(LtoGeneration, VariantsAndTheRulesDerived)
{
    struct Row {
        u_int32 variant;
        int32 generation, channels;
        u_int32 tick;
        bool new_fault_log;
    };
    const Row rows[] = {
        {0x80000000, 0, 8, 16, false},   {0x80040200, 0, 16, 16, true}, {0x80020200, 1, 8, 16, true},
        {0x80090200, 2, 16, 16, true},   {0x80070300, 3, 16, 16, true}, {0x4ABCDEF0, 153, 16, 9, true},
        {0x40000000, 153, 16, 9, false}, {0x80110400, 4, 16, 9, true},  {0, 4, 16, 9, false},
    };
    for (const Row &r : rows) {
        lto_drive_hwconfig = static_cast<int32>(r.variant);
        lto_drive_gen = generation_of(r.variant);
        EXPECT_EQ(lto_drive_gen, r.generation) << std::hex << r.variant;
        EXPECT_EQ(channel_count(), r.channels) << std::hex << r.variant;
        EXPECT_EQ(tick_code(), r.tick) << std::hex << r.variant;
        EXPECT_EQ(new_style_fault_log(), r.new_fault_log) << std::hex << r.variant;
    }
    lto_drive_hwconfig = static_cast<int32>(0x80000100);
    lto_drive_gen = 1;
    EXPECT_EQ(lto_set_drive_generation(7), 1);
    EXPECT_EQ(tick_code(), 9u);
    EXPECT_EQ(channel_count(), 8);  // the variant decides the channels
    EXPECT_EQ(lto_set_drive_generation(-3), 7);
    EXPECT_EQ(tick_code(), 16u);

    const int32 bases[] = {36, 12, 0, 24, -1};
    for (u_int32 band = 0; band < 5; ++band)
        EXPECT_EQ(wrap_base(band), bases[band]);
    EXPECT_EQ(wrap_base(0xFFFFFFFF), -1);
}

// A MODE SENSE(6) reply: header, block descriptor, then the page from byte 12.
Bytes mode_reply(size_t size, u_int8 page, u_int8 second)
{
    Bytes b(size, 0);
    b[0] = static_cast<u_int8>(size - 1);
    b[2] = 0x90;
    b[3] = 8;
    b[12] = page;
    b[13] = second;
    return b;
}

TEST(LtoModePages, DriveClock)
{
    Bytes r = mode_reply(48, 0x3C, 0x22);
    r[14] = 0x03;
    put(r, 18, 0x1234, 2);
    put(r, 20, 0x89ABCDEF, 4);
    r[26] = 0x03;
    put(r, 28, 0x00C0FFEE, 4);
    put(r, 44, 0xFEEDF00D, 4);
    u_int32 w = 0, p = 0, poc = 0, c = 0;
    int32 flags = -1;
    ASSERT_EQ(decode_drive_time(r.data(), 48, &w, &p, &poc, &c, &flags), 0);
    EXPECT_EQ(w, 0x00C0FFEEu);
    EXPECT_EQ(p, 0x89ABCDEFu);
    EXPECT_EQ(poc, 0x1234u);
    EXPECT_EQ(c, 0xFEEDF00Du);
    EXPECT_EQ(flags, 0x1033);

    c = 5;
    ASSERT_EQ(decode_drive_time(r.data(), 47, &w, &p, &poc, &c, &flags), 0);
    EXPECT_EQ(c, 5u);  // ctime not sent whole
    EXPECT_EQ(flags, 0x33);

    const Bytes bad[] = {mode_reply(48, 0x3D, 0), mode_reply(31, 0x3C, 0)};
    for (Bytes b : bad) {
        flags = -1;
        EXPECT_EQ(decode_drive_time(b.data(), len(b), &w, &p, &poc, &c, &flags), -1);
        EXPECT_EQ(edit_drive_time(b.data(), len(b), 1, 0), -1);
        EXPECT_EQ(flags, -1);
    }
    Bytes no_descriptor = r;
    no_descriptor[3] = 0;
    EXPECT_EQ(edit_drive_time(no_descriptor.data(), 48, 1, 0), -1);

    Bytes e = mode_reply(40, 0x3C, 0x22);
    e[14] = 0xFF;
    e[26] = 0xF1;  // option bit 0 set, bit 1 clear, others kept
    ASSERT_EQ(edit_drive_time(e.data(), 40, 0x01020304, 0x10), 0);
    EXPECT_EQ(e[0], 0);
    EXPECT_EQ(e[2], 0x10);
    EXPECT_EQ(e[14], 0x02);
    EXPECT_EQ(e[26], 0xF2);
    EXPECT_EQ(e[28], 1);
    EXPECT_EQ(e[31], 4);
}

TEST(LtoModePages, ProtectionTypes)
{
    struct Row {
        int32 type;
        u_int8 method, length, bits;
    };
    const Row rows[] = {{0, 0, 0, 0x00}, {1, 1, 4, 0x40}, {2, 1, 4, 0x80}, {3, 1, 4, 0xC0}};
    for (const Row &row : rows) {
        Bytes r = mode_reply(20, 0x4A, 0xF0);
        r[16] = 0x55;
        r[17] = 0x55;
        r[18] = 0x3F;
        ASSERT_EQ(edit_protection(r.data(), 20, row.type), 0);
        EXPECT_EQ(r[0], 0);
        EXPECT_EQ(r[2], 0x10);
        EXPECT_EQ(r[16], row.method);
        EXPECT_EQ(r[17], row.length);
        EXPECT_EQ(r[18], row.bits);
    }
    Bytes r = mode_reply(20, 0x4A, 0xF0);
    EXPECT_EQ(edit_protection(r.data(), 20, 4), -1);
    EXPECT_EQ(edit_protection(r.data(), 20, -1), -1);
    EXPECT_EQ(edit_protection(r.data(), 18, 1), -1);  // ends before the LBP bits
    Bytes other = mode_reply(20, 0x4A, 0x01);
    EXPECT_EQ(edit_protection(other.data(), 20, 1), -1);
    EXPECT_EQ(other[0], 19);  // untouched
}

TEST(LtoReplies, TimestampAndSense)
{
    Bytes t(12, 0);
    t[2] = 0x43;
    put(t, 4, 0x000001020304, 6);
    u_int64 ts = 0;
    u_int8 origin = 0;
    ASSERT_EQ(decode_timestamp(t.data(), 12, &ts, &origin), 0);
    EXPECT_EQ(ts, 16909060u);
    EXPECT_EQ(origin, 0x43);
    put(t, 4, 0xFFFFFFFFFFFF, 6);
    ASSERT_EQ(decode_timestamp(t.data(), 12, &ts, &origin), 0);
    EXPECT_EQ(ts, 0xFFFFFFFFFFFFu);

    u_int8 sense[18] = {0x70};
    sense[16] = 0x12;
    sense[17] = 0x34;
    EXPECT_STREQ(lto_decode_error(sense), "Drive error = 0x1234 (module 0x4 code 0x234)");
    EXPECT_EQ(lto_get_errorcode(sense), 0x1234);
    sense[16] = 0;
    sense[17] = 0x0A;
    EXPECT_STREQ(lto_decode_error(sense), "Drive error = 0x000A (module 0x0 code 0xA)");
    sense[15] = 0x80;
    EXPECT_STREQ(lto_decode_error(sense), "Field pointer = 0xA");
    EXPECT_EQ(lto_get_errorcode(sense), 0);
    sense[15] = 0x00;
    sense[16] = 0xFF;
    sense[17] = 0xFF;
    EXPECT_STREQ(lto_decode_error(sense), "Drive error = 0xFFFF (module 0x3F code 0x3FF)");
}

}  // namespace
