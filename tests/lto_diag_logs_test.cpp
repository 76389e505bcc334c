// The fault log, write-fault log and C1 counter parsers and the tick
// conversion, on replies built from token lists.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lto_log_text.h"
#include "ltolib.h"
#include "ltolib/diag_logs.h"

namespace {

using support::Bytes;
using support::log_reply;
using support::LtoDriveKind;
using support::Tokens;

int32 len(const Bytes &b) { return static_cast<int32>(b.size()); }

// Records filled with a byte no parser writes, to see what it left alone.
template <typename T>
std::vector<T> junk(size_t n)
{
    std::vector<T> v(n);
    std::memset(static_cast<void *>(v.data()), 0xEE, n * sizeof(T));
    return v;
}

TEST(LtoTicks, CountsAsTimeText)
{
    struct Row {
        u_int64 count;
        u_int32 tick;
        const char *text;
    };
    const Row rows[] = {
        {0x1234567, 16, "000:05:05.419888"},
        {225000000, 16, "001:00:00.000000"},
        {62501, 16, "000:00:01.000016"},
        {100100, 9, "000:00:01.000000"},
        {1, 9, "000:00:00.000009"},  // 9.99 us, truncated
        {100099, 9, "000:00:00.999989"},
        {1, 10, "000:00:00.000010"},
        {3600000, 1000, "001:00:00.000"},
        {0xFFFFFFFFFFFFull, 16, "1250999:53:47.370480"},
        // Any 64-bit count: minutes and seconds below 60, hours cut to 32 bits.
        {~0ull, 16, "381150592:29:12.825840"},
        {~0ull, 9, "3945125738:18:36.000149"},
    };
    for (const Row &r : rows) {
        char text[LTO_TIMESTAMP_SIZE];
        std::memset(text, 'x', sizeof text);
        ASSERT_EQ(lto_translate_timestamp48(r.count, text, r.tick), text) << r.text;
        EXPECT_STREQ(text, r.text);
    }
    char kept[LTO_TIMESTAMP_SIZE] = "unchanged";
    EXPECT_EQ(lto_translate_timestamp48(1, kept, 15), nullptr);
    EXPECT_STREQ(kept, "unchanged");
    EXPECT_EQ(lto_translate_timestamp48(1, nullptr, 16), nullptr);
}

struct Fault {
    u_int32 pwr;
    const char *time;
    u_int32 code, dataset, wrap, pos;
};

void expect_faults(const LTOFaultLogType *log, const std::vector<Fault> &want)
{
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log[i].pwrcycount, want[i].pwr);
        EXPECT_STREQ(log[i].timestamp, want[i].time);
        EXPECT_EQ(log[i].errcode, want[i].code);
        EXPECT_EQ(log[i].dataset, want[i].dataset);
        EXPECT_EQ(log[i].wrapno, want[i].wrap);
        EXPECT_EQ(log[i].tapepos_mm, want[i].pos);
    }
}

TEST(LtoFaultLog, NewLayoutRecordsSortedByPowerCycleThenTime)
{
    struct Case {
        int32 generation;
        Tokens tokens;
        std::vector<Fault> want;
    };
    const Case cases[] = {
        {3, {"3", "1234567", "2A0", "5", "7", "1F4"}, {{3, "000:05:05.419888", 0x2A0, 5, 7, 500}}},
        // Later generations count ticks of 9.99 us.
        {4, {"1", "18704", "1", "2", "3", "4"}, {{1, "000:00:01.000000", 1, 2, 3, 4}}},
        {3,
         {"2", "10", "A", "0", "0", "0", /**/ "1", "FFFFFFFFFFFF", "B", "0", "0", "0", /**/ "1", "20", "C", "0",
          "0", "0"},
         {{1, "000:00:00.000512", 0xC, 0, 0, 0},
          {1, "1250999:53:47.370480", 0xB, 0, 0, 0},
          {2, "000:00:00.000256", 0xA, 0, 0, 0}}},
        // A record the text cuts short does not count.
        {3, {"1", "1", "1", "1", "1", "1", "2", "2", "2"}, {{1, "000:00:00.000016", 1, 1, 1, 1}}},
        {3, {"zz"}, {}},
    };
    for (const Case &c : cases) {
        LtoDriveKind kind(0x80000300, c.generation);
        auto log = junk<LTOFaultLogType>(LTO_FAULT_LOG_MAX);
        Bytes reply = log_reply(0xA5, c.tokens);
        EXPECT_EQ(lto_deasciify_fault_log(log.data(), 0, reply.data(), len(reply)),
                  static_cast<int32>(c.want.size()));
        expect_faults(log.data(), c.want);
    }
}

TEST(LtoFaultLog, OldLayoutFiveNumbersARecordWithoutPowerCycles)
{
    auto log = junk<LTOFaultLogType>(LTO_OLD_FAULT_LOG_MAX);
    // errcode, 16 us ticks, data set, wrap, position; the second record is older.
    Bytes ten = log_reply(0x85, Tokens{"A", "3E8", "1", "2", "3", "B", "64", "4", "5", "6"});
    ASSERT_EQ(lto_deasciify_fault_log(log.data(), 1, ten.data(), len(ten)), 2);
    expect_faults(log.data(), {{0, "000:00:00.001600", 0xB, 4, 5, 6}, {0, "000:00:00.016000", 0xA, 1, 2, 3}});

    // Nine numbers still make two records; the last has no position of its own.
    log = junk<LTOFaultLogType>(LTO_OLD_FAULT_LOG_MAX);
    Bytes nine = log_reply(0x85, Tokens{"A", "3E8", "1", "2", "3", "B", "64", "4", "5"});
    ASSERT_EQ(lto_deasciify_fault_log(log.data(), 1, nine.data(), len(nine)), 2);
    expect_faults(log.data(), {{0, "000:00:00.001600", 0xB, 4, 5, 0}, {0, "000:00:00.016000", 0xA, 1, 2, 3}});
}

TEST(LtoFaultLog, ReadsExactlyTheReplyAndNeverWritesIntoIt)
{
    // The last byte of the reply is the last digit of 1F4; the bytes after the
    // reply would extend the number if they were read.
    Bytes reply = log_reply(0xA5, "3 1234567 2A0 5 7 1F4");
    const Bytes before = reply;
    reply.push_back('9');
    reply.push_back('9');
    LTOFaultLogType log[2] = {};
    ASSERT_EQ(lto_deasciify_fault_log(log, 0, reply.data(), len(before)), 1);
    EXPECT_EQ(log[0].tapepos_mm, 0x1F4u);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), reply.begin()));

    Bytes old = log_reply(0x85, "1 2 3 4 1F4");
    ASSERT_EQ(lto_deasciify_fault_log(log, 1, old.data(), len(old)), 1);
    EXPECT_EQ(log[0].tapepos_mm, 0x1F4u);

    // A reply of the header alone, or less, holds nothing.
    for (int32 n : {4, 3, 0, -1, -65536}) {
        log[0].errcode = 77;
        EXPECT_EQ(lto_deasciify_fault_log(log, 0, reply.data(), n), 0) << n;
        EXPECT_EQ(lto_deasciify_fault_log(log, 1, reply.data(), n), 0) << n;
        EXPECT_EQ(log[0].errcode, 77u);
    }
}

TEST(LtoFaultLog, StoresAtMostWhatTheCallersArrayHolds)
{
    // The densest reply of 65535 bytes: single digits, one blank between.
    const std::string dense = support::join(Tokens((65535 - 4 + 1) / 2, "0"));
    Bytes reply = log_reply(0xA5, dense);
    ASSERT_EQ(reply.size(), 65535u);
    std::unique_ptr<LTOFaultLogType[]> log(new LTOFaultLogType[LTO_FAULT_LOG_MAX]);
    EXPECT_EQ(lto_deasciify_fault_log(log.get(), 0, reply.data(), len(reply)), LTO_FAULT_LOG_MAX);

    // A longer text handed in directly still stops at the array's end.
    Bytes more = log_reply(0xA5, dense + " " + dense);
    EXPECT_EQ(lto_deasciify_fault_log(log.get(), 0, more.data(), len(more)), LTO_FAULT_LOG_MAX);

    // The old layout keeps 500 numbers: 100 records.
    std::unique_ptr<LTOFaultLogType[]> old(new LTOFaultLogType[LTO_OLD_FAULT_LOG_MAX]);
    EXPECT_EQ(lto_deasciify_fault_log(old.get(), 1, more.data(), len(more)), LTO_OLD_FAULT_LOG_MAX);
}

TEST(LtoWriteFaultLog, LinesFillTheRecordsOfTheirWraps)
{
    struct Case {
        const char *text;
        int32 lines;
        std::vector<std::pair<size_t, LTOWrFaultLogType>> want;  // records written
    };
    const Case cases[] = {
        {"3 10 1 2 4", 1, {{3, {0x10, 1, 2, 4}}}},
        // The last line of a wrap named twice wins; both lines count.
        {"3 1 1 1 1\n3 2 2 2 2\n0 5 6 7 8", 3, {{3, {2, 2, 2, 2}}, {0, {5, 6, 7, 8}}}},
        // Wraps past the array are skipped, uncounted; the parse goes on.
        {"FF 1 2 3 4 100 9 9 9 9 FFFFFFFF 9 9 9 9 1 5 5 5 5", 2, {{255, {1, 2, 3, 4}}, {1, {5, 5, 5, 5}}}},
        {"1 2 3 4", 0, {}},
    };
    for (const Case &c : cases) {
        auto log = junk<LTOWrFaultLogType>(LTO_WRFAULT_LOG_WRAPS);
        auto expected = log;
        for (const auto &w : c.want)
            expected[w.first] = w.second;
        Bytes reply = log_reply(0x89, c.text);
        EXPECT_EQ(ltolib::decode_writefault_log(reply.data(), len(reply), log.data()), c.lines) << c.text;
        EXPECT_EQ(std::memcmp(log.data(), expected.data(), log.size() * sizeof log[0]), 0) << c.text;
    }
}

// Header counters, then channels of c1_errs, c1_uncorr, hdr_errs, wrpass_errs, ccps.
Tokens c1_tokens(const Tokens &header, int channels)
{
    Tokens t = header;
    for (int c = 0; c < channels; ++c) {
        const bool first = c == 0, second = c == 1;
        for (const char *v : {first ? "0" : "A", "1", "2", "3", first ? "64" : second ? "0" : "32"})
            t.push_back(v);
    }
    return t;
}

TEST(LtoC1Counters, WriteAndReadLayoutsWithRatesAndMeans)
{
    struct Case {
        u_int32 variant;
        int32 page;
        Tokens header;
        int channels;
    };
    const Case cases[] = {
        {0x80020100, 0x88, {"100", "200", "3", "4"}, 8},
        {0x80020100, 0x34, {"100", "200", "3", "4"}, 8},
        {0, 0x89, {"100", "200", "5", "6", "7"}, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.page);
        LtoDriveKind kind(c.variant, 1);
        auto counts = junk<LTOC1CountType>(1);
        const LTOC1CountType before = counts[0];
        Bytes reply = log_reply(static_cast<u_int8>(c.page), c1_tokens(c.header, c.channels));
        const int32 tokens = static_cast<int32>(c.header.size()) + 5 * c.channels;
        ASSERT_EQ(lto_deasciify_c1_counters(c.page, counts.data(), reply.data(), len(reply)), tokens);
        const LTOC1CountType &r = counts[0];
        EXPECT_EQ(r.datasets, 0x100);
        EXPECT_EQ(r.ccqsets, 0x200);
        if (c.header.size() == 4) {
            EXPECT_EQ(r.ccqset_rewrites, 3);
            EXPECT_EQ(r.unwritable_datasets, 4);
            EXPECT_EQ(r.subds_c2_errs, before.subds_c2_errs);
            EXPECT_EQ(r.xchan_interps, before.xchan_interps);
        } else {
            EXPECT_EQ(r.subds_c2_errs, 5);
            EXPECT_EQ(r.ds_c2_errs, 6);
            EXPECT_EQ(r.xchan_interps, 7);
            EXPECT_EQ(r.ccqset_rewrites, before.ccqset_rewrites);
        }
        // Channel 0: no errors in 100 CCPs counts half an error.
        EXPECT_DOUBLE_EQ(r.channel[0].c1_errate, 0.0025);
        EXPECT_DOUBLE_EQ(r.channel[0].bit_errate, 0.0025 / 1920);
        // Channel 1: no CCPs, no rate, yet it counts in the means.
        EXPECT_EQ(r.channel[1].c1_errate, 0.0);
        EXPECT_EQ(r.channel[1].bit_errate, 0.0);
        EXPECT_EQ(r.channel[2].chan_no, 2);
        EXPECT_EQ(r.channel[2].c1_errs, 10);
        EXPECT_EQ(r.channel[2].ccps, 0x32);
        EXPECT_DOUBLE_EQ(r.channel[2].c1_errate, 0.1);
        const double mean = (0.0025 + (c.channels - 2) * 0.1) / c.channels;
        EXPECT_DOUBLE_EQ(r.mean_c1_errate, mean);
        EXPECT_DOUBLE_EQ(r.mean_bit_errate, mean / 1920);
        if (c.channels == 8) {
            EXPECT_EQ(std::memcmp(&r.channel[8], &before.channel[8], 8 * sizeof r.channel[0]), 0);
        }
    }
}

TEST(LtoC1Counters, MissingNumbersReadAsZeroAndAtMost128AreKept)
{
    LtoDriveKind kind(0, 4);
    auto counts = junk<LTOC1CountType>(1);
    Bytes cut = log_reply(0x88, Tokens{"1", "2", "3", "4", "5", "6"});
    ASSERT_EQ(lto_deasciify_c1_counters(0x88, counts.data(), cut.data(), len(cut)), 6);
    EXPECT_EQ(counts[0].channel[0].c1_errs, 5);
    EXPECT_EQ(counts[0].channel[0].c1_uncorr, 6);
    EXPECT_EQ(counts[0].channel[0].ccps, 0);
    EXPECT_EQ(counts[0].channel[15].c1_errs, 0);
    EXPECT_EQ(counts[0].mean_c1_errate, 0.0);

    Tokens many(300, "7");
    Bytes big = log_reply(0x88, many);
    EXPECT_EQ(lto_deasciify_c1_counters(0x88, counts.data(), big.data(), len(big)), 128);
    EXPECT_EQ(counts[0].channel[15].ccps, 7);

    counts = junk<LTOC1CountType>(1);
    EXPECT_EQ(lto_deasciify_c1_counters(0x88, counts.data(), big.data(), 4), 0);
    EXPECT_EQ(counts[0].datasets, 0);
}

}  // namespace
