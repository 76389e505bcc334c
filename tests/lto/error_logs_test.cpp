// The fault log, write-fault log and C1 counter parsers and the tick
// conversion, on replies built from token lists.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lto_log_text.h"
#include "ltolib.h"
#include "ltolib/text_log_frame.h"

namespace {

using support::Bytes;
using support::log_reply;
using support::set_drive_kind;
using support::Tokens;
using Lines = std::vector<std::string>;

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
    const std::tuple<u_int64, u_int32, const char *> rows[] = {
        {62501, 16, "000:00:01.000016"},
        {1, 9, "000:00:00.000009"},  // 9.99 us, truncated
        {100099, 9, "000:00:00.999989"},
        {360360360, 9, "001:00:00.000000"},  // not 3600 times the ticks of a second
        {1, 10, "000:00:00.000010"},
        {3600000, 1000, "001:00:00.000"},
        // Any 64-bit count: the rest from the whole quotient, hours cut to 32 bits.
        {~0ull, 16, "381150592:29:12.825840"},
        {~0ull, 9, "3945074599:44:01.394115"},
    };
    for (const auto &r : rows) {
        char text[LTO_TIMESTAMP_SIZE];
        ASSERT_EQ(lto_translate_timestamp48(std::get<0>(r), text, std::get<1>(r)), text);
        EXPECT_STREQ(text, std::get<2>(r));
    }
    char kept[LTO_TIMESTAMP_SIZE] = "unchanged";
    EXPECT_EQ(lto_translate_timestamp48(1, kept, 15), nullptr);
    EXPECT_STREQ(kept, "unchanged");
    EXPECT_EQ(lto_translate_timestamp48(1, nullptr, 16), nullptr);
}

// The result, then each record as "power time code dataset wrap position".
constexpr int32 kWholeReply = 0x7FFFFFFF;

Lines faults(int32 generation, bool old, const std::string &text, int32 length = kWholeReply)
{
    set_drive_kind(0x80000300, generation);
    auto log = junk<LTOFaultLogType>(old ? LTO_OLD_FAULT_LOG_MAX : LTO_FAULT_LOG_MAX);
    Bytes reply = log_reply(old ? 0x85 : 0xA5, text);
    const Bytes sent = reply;
    reply.insert(reply.end(), {'9', '9'});  // bytes past the reply that would lengthen its last number
    const int32 n = lto_deasciify_fault_log(log.data(), old, reply.data(),
                                            length == kWholeReply ? len(sent) : length);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), reply.begin())) << "the reply was written";
    Lines out{std::to_string(n)};
    char line[80];
    for (int32 i = 0; i < n; ++i) {
        const LTOFaultLogType &f = log[static_cast<size_t>(i)];
        std::snprintf(line, sizeof line, "%u %s %X %X %X %X", f.pwrcycount, f.timestamp, f.errcode, f.dataset,
                      f.wrapno, f.tapepos_mm);
        out.push_back(line);
    }
    return out;
}

TEST(LtoFaultLog, BothLayoutsSortedByPowerCycleThenTime)
{
    // New layout; the last byte of the reply is the last digit of 1F4.
    EXPECT_EQ(faults(3, false, "3 1234567 2A0 5 7 1F4"), (Lines{"1", "3 000:05:05.419888 2A0 5 7 1F4"}));
    EXPECT_EQ(faults(4, false, "1 18704 1 2 3 4"),
              (Lines{"1", "1 000:00:01.000000 1 2 3 4"}));  // 9.99 us ticks
    EXPECT_EQ(faults(3, false, "2 10 A 0 0 0  1 FFFFFFFFFFFF B 0 0 0  1 20 C 0 0 0  4 4 4 4"),
              (Lines{"3", "1 000:00:00.000512 C 0 0 0", "1 1250999:53:47.370480 B 0 0 0",
                     "2 000:00:00.000256 A 0 0 0"}));
    // Old layout: five numbers a record, no power cycles; nine numbers make
    // two records, the second without a position of its own.
    EXPECT_EQ(faults(3, true, "A 3E8 1 2 3  B 64 4 5 6"),
              (Lines{"2", "0 000:00:00.001600 B 4 5 6", "0 000:00:00.016000 A 1 2 3"}));
    EXPECT_EQ(faults(3, true, "A 3E8 1 2 3  B 64 4 5"),
              (Lines{"2", "0 000:00:00.001600 B 4 5 0", "0 000:00:00.016000 A 1 2 3"}));
    EXPECT_EQ(faults(3, true, "1 2 3 4 1F4"), (Lines{"1", "0 000:00:00.000032 1 3 4 1F4"}));
    // A reply of the header alone, or less, holds nothing.
    for (int32 n : {4, 3, -1}) {
        EXPECT_EQ(faults(3, false, "1 1 1 1 1 1", n), Lines{"0"}) << n;
        EXPECT_EQ(faults(3, true, "1 1 1 1 1", n), Lines{"0"}) << n;
    }
}

TEST(LtoFaultLog, StoresAtMostWhatTheCallersArrayHolds)
{
    // The densest reply of 65535 bytes: single digits, one blank between.
    const std::string dense = support::join(Tokens((65535 - 4 + 1) / 2, "0"));
    const Bytes reply = log_reply(0xA5, dense), more = log_reply(0xA5, dense + " " + dense);
    ASSERT_EQ(reply.size(), 65535u);
    std::unique_ptr<LTOFaultLogType[]> log(new LTOFaultLogType[LTO_FAULT_LOG_MAX]);
    EXPECT_EQ(lto_deasciify_fault_log(log.get(), 0, const_cast<u_int8 *>(reply.data()), len(reply)),
              LTO_FAULT_LOG_MAX);
    EXPECT_EQ(lto_deasciify_fault_log(log.get(), 0, const_cast<u_int8 *>(more.data()), len(more)),
              LTO_FAULT_LOG_MAX);
    std::unique_ptr<LTOFaultLogType[]> old(new LTOFaultLogType[LTO_OLD_FAULT_LOG_MAX]);
    EXPECT_EQ(lto_deasciify_fault_log(old.get(), 1, const_cast<u_int8 *>(more.data()), len(more)),
              LTO_OLD_FAULT_LOG_MAX);
}

TEST(LtoWriteFaultLog, LinesFillTheRecordsOfTheirWraps)
{
    const std::tuple<const char *, int32, std::vector<std::pair<size_t, LTOWrFaultLogType>>> cases[] = {
        {"3 10 1 2 4", 1, {{3, {0x10, 1, 2, 4}}}},
        // The last line of a wrap named twice wins; both lines count.
        {"3 1 1 1 1\n3 2 2 2 2\n0 5 6 7 8", 3, {{3, {2, 2, 2, 2}}, {0, {5, 6, 7, 8}}}},
        // Wraps past the array are skipped, uncounted; the parse goes on.
        {"FF 1 2 3 4 100 9 9 9 9 FFFFFFFF 9 9 9 9 1 5 5 5 5", 2, {{255, {1, 2, 3, 4}}, {1, {5, 5, 5, 5}}}},
        {"1 2 3 4", 0, {}},
    };
    for (const auto &c : cases) {
        auto log = junk<LTOWrFaultLogType>(LTO_WRFAULT_LOG_WRAPS);
        auto expected = log;
        for (const auto &w : std::get<2>(c))
            expected[w.first] = w.second;
        Bytes reply = log_reply(0x89, std::get<0>(c));
        EXPECT_EQ(ltolib::decode_writefault_log(reply.data(), len(reply), log.data()), std::get<1>(c));
        EXPECT_EQ(std::memcmp(log.data(), expected.data(), log.size() * sizeof log[0]), 0) << std::get<0>(c);
    }
}

TEST(LtoC1Counters, LayoutsRatesAndMeans)
{
    // Header counters, then per channel c1_errs, c1_uncorr, hdr_errs,
    // wrpass_errs, ccps: channel 0 without errors in 100 CCPs (half an error
    // counts), channel 1 without CCPs (no rate, yet in the means), the rest
    // 10 errors in 50 CCPs.
    const std::tuple<u_int32, int32, Tokens, int> cases[] = {
        {0x80020100, 0x88, {"100", "200", "3", "4"}, 8},
        {0, 0x89, {"100", "200", "3", "4", "5"}, 16},
        {0x80050200, 0x34, {"100", "200", "3", "4"}, 8},  // the other write-layout page
    };
    for (const auto &c : cases) {
        set_drive_kind(std::get<0>(c), 1);
        const int channels = std::get<3>(c);
        Tokens tokens = std::get<2>(c);
        for (int ch = 0; ch < channels; ++ch)
            for (const char *v : {ch == 0 ? "0" : "A", "1", "2", "3", ch == 0 ? "64" : ch == 1 ? "0" : "32"})
                tokens.push_back(v);
        auto counts = junk<LTOC1CountType>(1);
        const LTOC1CountType before = counts[0];
        Bytes reply = log_reply(0, tokens);
        ASSERT_EQ(lto_deasciify_c1_counters(std::get<1>(c), counts.data(), reply.data(), len(reply)),
                  static_cast<int32>(tokens.size()));
        const LTOC1CountType &r = counts[0];
        const bool write = std::get<2>(c).size() == 4;
        EXPECT_EQ((std::vector<int32>{r.datasets, r.ccqsets, r.ccqset_rewrites, r.unwritable_datasets,
                                      r.subds_c2_errs, r.ds_c2_errs, r.xchan_interps}),
                  write ? (std::vector<int32>{0x100, 0x200, 3, 4, before.subds_c2_errs, before.ds_c2_errs,
                                              before.xchan_interps})
                        : (std::vector<int32>{0x100, 0x200, before.ccqset_rewrites, before.unwritable_datasets,
                                              3, 4, 5}));
        EXPECT_DOUBLE_EQ(r.channel[0].c1_errate, 0.0025);
        EXPECT_DOUBLE_EQ(r.channel[0].bit_errate, 0.0025 / 1920);
        EXPECT_EQ(r.channel[1].c1_errate + r.channel[1].bit_errate, 0.0);
        EXPECT_EQ((std::vector<int32>{r.channel[2].chan_no, r.channel[2].c1_errs, r.channel[2].c1_uncorr,
                                      r.channel[2].hdr_errs, r.channel[2].wrpass_errs, r.channel[2].ccps}),
                  (std::vector<int32>{2, 10, 1, 2, 3, 0x32}));
        const double mean = (0.0025 + (channels - 2) * 0.1) / channels;
        EXPECT_DOUBLE_EQ(r.mean_c1_errate, mean);
        EXPECT_DOUBLE_EQ(r.mean_bit_errate, mean / 1920);
        EXPECT_EQ(std::memcmp(&r.channel[channels], &before.channel[channels],
                              (LTO_C1_CHANNELS - channels) * sizeof r.channel[0]),
                  0);
    }
}

TEST(LtoC1Counters, MissingNumbersReadAsZeroAndAtMost128AreKept)
{
    set_drive_kind(0, 4);
    auto counts = junk<LTOC1CountType>(1);
    Bytes cut = log_reply(0x88, Tokens{"1", "2", "3", "4", "5", "6"});
    ASSERT_EQ(lto_deasciify_c1_counters(0x88, counts.data(), cut.data(), len(cut)), 6);
    EXPECT_EQ((std::vector<int32>{counts[0].channel[0].c1_errs, counts[0].channel[0].c1_uncorr,
                                  counts[0].channel[0].ccps, counts[0].channel[15].c1_errs}),
              (std::vector<int32>{5, 6, 0, 0}));
    EXPECT_EQ(counts[0].mean_c1_errate, 0.0);

    Bytes big = log_reply(0x88, Tokens(300, "7"));
    EXPECT_EQ(lto_deasciify_c1_counters(0x88, counts.data(), big.data(), len(big)), 128);
    EXPECT_EQ(counts[0].channel[15].ccps, 7);
    EXPECT_EQ(lto_deasciify_c1_counters(0x88, counts.data(), big.data(), 4), 0);
    EXPECT_EQ(counts[0].datasets, 0);
    EXPECT_EQ(lto_deasciify_c1_counters(0x88, counts.data(), big.data(), 5), 1);  // one byte of text
    EXPECT_EQ(counts[0].datasets, 7);
}

}  // namespace
