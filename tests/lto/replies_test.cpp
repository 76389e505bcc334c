// The LTO reply decoders on bytes alone, where the emulated drive cannot reach:
// replies ending one byte before their last field, word widths and sense data.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ltolib.h"
#include "ltolib/replies.h"

namespace {

using namespace ltolib;
using Bytes = std::vector<u_int8>;

TEST(LtoReplies, AReplyEndingBeforeItsLastFieldLeavesTheOutputs)
{
    int32 i[4] = {-7, -7, -7, -7};
    LTOTapelogtype log{};
    LTODCtfrtype perf{};
    u_int32 u[4] = {7, 7, 7, 7};
    u_int64 ts = 7;
    u_int8 origin = 7;
    Bytes mode(48, 0);
    mode[3] = 8;
    mode[12] = 0x3C;
    Bytes protection(20, 0);
    protection[3] = 8;
    protection[12] = 0x4A;
    protection[13] = 0xF0;
    // Each decoder with the length that just holds its last field.
    const std::pair<int32, std::function<int32(const u_int8 *, int32)>> rows[] = {
        {60, [&](const u_int8 *p, int32 n) { return decode_errcounters(p, n, &i[0], &i[1], &i[2], &i[3]); }},
        {76, [&](const u_int8 *p, int32 n) { return decode_tape_log(p, n, &log); }},
        {80, [&](const u_int8 *p, int32 n) { return decode_dc_performance(p, n, &perf); }},
        {10, [&](const u_int8 *p, int32 n) { return decode_temperature(p, n, &i[0]); }},
        {10, [&](const u_int8 *p, int32 n) { return decode_timestamp(p, n, &ts, &origin); }},
        {32, [&](const u_int8 *,
                 int32 n) { return decode_drive_time(mode.data(), n, &u[0], &u[1], &u[2], &u[3], &i[0]); }},
        // The edits for MODE SELECT: the clock, and the protection bits in byte 18.
        {32, [&](const u_int8 *, int32 n) { return edit_drive_time(mode.data(), n, 5, 0); }},
        {19, [&](const u_int8 *, int32 n) { return edit_protection(protection.data(), n, 1); }},
    };
    const Bytes page(80, 0);
    for (const auto &r : rows) {
        log.loadCount = -7;
        perf.read_compression = -7;
        EXPECT_EQ(r.second(page.data(), r.first - 1), -1) << r.first;
        EXPECT_EQ(i[0] + log.loadCount + perf.read_compression, -21) << r.first;
        EXPECT_EQ(u[0] + ts + origin, 21u) << r.first;
        EXPECT_EQ(r.second(page.data(), r.first), 0) << r.first;
        i[0] = -7;
        u[0] = ts = origin = 7;
    }
}

TEST(LtoReplies, MemoryTextOfOtherWidthsStoresBytesUpToTheRoom)
{
    const char text[] = "\xB0\x00\x00\x10"
                        "12345678 ABCD 1FF zz 9";
    const int32 n = sizeof text - 1;
    u_int8 bytes[3] = {0, 0, 0xEE};
    EXPECT_EQ(decode_memory_text(reinterpret_cast<const u_int8 *>(text), n, 12, bytes, 2), 2);
    EXPECT_EQ(Bytes(bytes, bytes + 3), (Bytes{0x78, 0xCD, 0xEE}));
    EXPECT_EQ(decode_memory_text(reinterpret_cast<const u_int8 *>(text), 3, 8, bytes, 2), 0);  // no header
}

TEST(LtoReplies, DriveErrorOrFieldPointer)
{
    struct Row {
        u_int8 b15, b16, b17;
        const char *text;
        int32 code;
    };
    const Row rows[] = {
        {0x00, 0x12, 0x34, "Drive error = 0x1234 (module 0x4 code 0x234)", 0x1234},
        {0x00, 0x00, 0x0A, "Drive error = 0x000A (module 0x0 code 0xA)", 0x0A},
        {0x7F, 0xFF, 0xFF, "Drive error = 0xFFFF (module 0x3F code 0x3FF)", 0xFFFF},
        {0x80, 0x12, 0x34, "Field pointer = 0x1234", 0},
    };
    for (const Row &r : rows) {
        u_int8 sense[18] = {0x70};
        sense[15] = r.b15;
        sense[16] = r.b16;
        sense[17] = r.b17;
        EXPECT_STREQ(lto_decode_error(sense), r.text);
        EXPECT_EQ(lto_get_errorcode(sense), r.code);
    }
}

}  // namespace
