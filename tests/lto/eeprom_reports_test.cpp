// The EEPROM log reports through their exact lines, by generation and channel
// count, and the bounded forms on bytes that are too few.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "lto_log_text.h"
#include "ltolib.h"
#include "ltolib/eeprom_reports/reports.h"
#include "scsilib/byte_order.h"

namespace {

using support::Bytes;
using support::set_drive_kind;
using Lines = std::vector<std::string>;

constexpr u_int32 kNa = 0xFFFFFFFF;
constexpr u_int32 kEightChannels = 0x80020100;

// One line per sink call: it ends in a newline, and any other newline is a
// blank line before or after it.
bool whole_lines(const Lines &calls)
{
    for (const std::string &c : calls) {
        const size_t first = c.find_first_not_of('\n'), last = c.find_last_not_of('\n');
        if (c.empty() || c.back() != '\n' || (first != std::string::npos && c.find('\n', first) != last + 1))
            return false;
    }
    return true;
}

Lines report(int32 (*decode)(u_int8 *, pfvv), Bytes &log, int32 expect = 0)
{
    int32 result = -7;
    Lines lines = cmtest::capture([&](pfvv sink) { result = decode(log.data(), sink); });
    EXPECT_EQ(result, expect);
    EXPECT_TRUE(whole_lines(lines));
    return lines;
}

// Lines from the first that equals `first`, `count` of them.
Lines from(const Lines &lines, const std::string &first, size_t count)
{
    auto at = std::find(lines.begin(), lines.end(), first);
    if (at == lines.end())
        return {};
    return Lines(at, at + static_cast<std::ptrdiff_t>(std::min<size_t>(count, lines.end() - at)));
}

// A fault slot at any ring offset; bytes past the ring's end go to its start.
void put_slot(Bytes &log, size_t at, std::vector<u_int32> fields)
{
    u_int8 slot[24];
    for (size_t i = 0; i < 6; ++i)
        scsilib::put_be32(slot + 4 * i, fields[i]);
    for (size_t i = 0; i < 24; ++i)
        log[(at + i) % 4800] = slot[i];
}

Bytes fault_ring(u_int16 start)
{
    Bytes log(LTO_EE_FAULTLOG_SIZE, 0xFF);  // every slot erased
    scsilib::put_le16(log.data() + 4800, start);
    return log;
}

TEST(LtoEeFaultLog, RingFromItsStartWithUnrecordedFields)
{
    Bytes log = fault_ring(4776);
    // load count, error code, 16 us ticks, data set, wrap, position (mm)
    put_slot(log, 4776, {5, 0x2A0, 225000000, 0x10, 7, 1234});
    put_slot(log, 0, {kNa, 1, 62501, kNa, kNa, kNa});
    put_slot(log, 24, {1, 2, kNa, 3, 4, 5});  // no time: left out
    put_slot(log, 48, {1, kNa, 3, 3, 4, 5});  // no error code: left out
    put_slot(log, 72, {0xFFFFFFFE, 3, 0, 0xFFFFFFFF - 1, 0xFFFFFFFE, static_cast<u_int32>(-1500)});
    EXPECT_EQ(report(lto_decode_ee_faultlog, log),
              (Lines{"Timestamp        LoadCount  Errorcode  DataSetNo  Wrap Posn(m)\n",
                     "---------------- ---------- ---------- ---------- ---- -------\n",
                     "001:00:00.000000        5 0x000002A0 0x00000010    7   1.234  \n",
                     "000:00:01.000016    n/a     0x00000001    n/a      n/a   n/a    \n",
                     "000:00:00.000000       -2 0x00000003 0xFFFFFFFE   -2  -1.500  \n"}));

    // A start that is not a multiple of the slot size walks whole slots of
    // ring bytes, the one across the end taking its tail from the start.
    Bytes odd = fault_ring(4770);
    put_slot(odd, 4794, {1, 0xAB, 16, 2, 3, 4});
    const Lines lines = report(lto_decode_ee_faultlog, odd);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "000:00:00.000256        1 0x000000AB 0x00000002    3   0.004  \n");

    Bytes past = fault_ring(4777);
    EXPECT_TRUE(report(lto_decode_ee_faultlog, past, -1).empty());
}

TEST(LtoEeWriteFaultLog, WrapsByGeneration)
{
    const std::pair<int32, size_t> rows[] = {{0, 48}, {1, 64},   {2, 44}, {3, 56}, {4, 80},
                                             {5, 48}, {153, 48}, {7, 48}, {-1, 48}};
    for (const auto &r : rows) {
        set_drive_kind(0, r.first);
        Bytes log(LTO_EE_WRFLTLOG_SIZE, 0);
        scsilib::put_be32(log.data(), 12);
        for (size_t w = 0; w < 80; ++w)
            for (size_t k = 0; k < 5; ++k)
                scsilib::put_be16(log.data() + 4 + 10 * w + 2 * k, static_cast<u_int16>(w + k));
        const Lines lines = report(lto_decode_ee_wrfltlog, log);
        ASSERT_EQ(lines.size(), 3 + r.second) << r.first;
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4),
                  (Lines{"Log written after 12 Load/Unload cycles\n\n",
                         "Wrap  Times written  NumOfftrk  NumOther  DSrewrites\n",
                         "----  -------------  ---------  --------  ----------\n",
                         "  0         1             2         3          4\n"}));
    }
}

// An error-rate log: load count, summary counters from 4, then per channel
// c1cwe, c1unc, c1hdr, wpers, nccps.
Bytes error_rate_log(size_t first_channel, const std::vector<u_int32> &summary,
                     const std::vector<std::vector<u_int32>> &channels, size_t size)
{
    Bytes log(size, 0);
    scsilib::put_be32(log.data(), 3);
    for (size_t i = 0; i < summary.size(); ++i)
        scsilib::put_be32(log.data() + 4 + 4 * i, summary[i]);
    for (size_t c = 0; c < channels.size(); ++c)
        for (size_t k = 0; k < 5; ++k)
            scsilib::put_be32(log.data() + first_channel + 20 * c + 4 * k, channels[c][k]);
    return log;
}

const std::vector<std::vector<u_int32>> kChannels = {
    {0, 0, 0, 0, 1000},   // no C1 errors: half an error counts
    {50, 4, 1, 2, 1000},  // errors and uncorrectables
    {0, 3, 0, 0, 0},      // no CCPs: every rate 0
};

TEST(LtoEeErrorRate, WriteAndReadLogsByGenerationAndChannels)
{
    const std::string head =
        "|      |  No. of  |C1codeword|C1codewd| Header | WrPass | C1 codeword |BitErrate|BlocksPer|\n";
    const std::string rule =
        "|------|----------|----------|--------|--------|--------|-------------|---------|---------|\n";
    const std::string idle =
        "|        0 |        0 |      0 |      0 |      0 |  0.000E+00  |   0.00  |     0.0 |\n";
    set_drive_kind(kEightChannels, 3);
    Bytes write = error_rate_log(20, {100, 200, 3, 4}, kChannels, LTO_EE_WERTLOG_SIZE);
    EXPECT_EQ(
        report(lto_decode_ee_wertlog, write),
        (Lines{"Log written after 3 Load/Unload cycles\n\n",
               "----------------------------------\n",
               "|    Write Error Rate Results    |\n",
               "----------------------------------\n",
               "| Summary counters (decimal)     |\n",
               "|--------------------------------|\n",
               "| Datasets written    :      100 |\n",
               "| CCQ sets written    :      200 |\n",
               "| CCQ set rewrites    :        3 |\n",
               "| Unwritable datasets :        4 |\n",
               "|-------------------------------------|----------------------------------------------------\n",
               head,
               "| Chan |   CCPs   |  errors  | uncorr | errors | errors | error rate  | (log10) | uncorr. |\n",
               rule,
               "|  0   |     1000 |        0 |      0 |      0 |      0 |  2.500E-04  |  -6.89  |     0.0 |\n",
               "|  1   |     1000 |       50 |      4 |      1 |      2 |  2.500E-02  |  -4.89  |   500.0 |\n",
               "|  2   |        0 |        0 |      3 |      0 |      0 |  0.000E+00  |   0.00  |     0.0 |\n",
               "|  3   " + idle,
               "|  4   " + idle,
               "|  5   " + idle,
               "|  6   " + idle,
               "|  7   " + idle,
               "|-----------------------------------------------------------------------------------------|"
               "\n\n"}));
    // Later units (generation 4 on) hold four codewords and count blocks
    // twice; no errors still counts half of one. Sixteen channels, the last
    // rows a column wider.
    for (int32 generation : {4, 153}) {
        SCOPED_TRACE(generation);
        set_drive_kind(0, generation);
        Bytes log = error_rate_log(24, {100, kNa, 5, 6, 7}, kChannels, LTO_EE_RERTLOG_SIZE);
        const Lines lines = report(lto_decode_ee_rertlog, log);
        ASSERT_EQ(lines.size(), 32u);
        EXPECT_EQ(Lines(lines.begin() + 2, lines.begin() + 11),
                  (Lines{"|    Read Error Rate Results     |\n", "----------------------------------\n",
                         "| Summary counters (decimal)     |\n", "|--------------------------------|\n",
                         "| Datasets read       :      100 |\n", "| CCQ sets read       :  invalid |\n",
                         "| Subdataset C2 errs  :        5 |\n", "| Dataset C2 errors   :        6 |\n",
                         "| X-chan interpltions :        7 |\n"}));
        EXPECT_EQ(
            Lines(lines.begin() + 13, lines.begin() + 17),
            (Lines{
                "| Chan |  CWI4s   |  errors  | uncorr | errors | errors | error rate  | (log10) | uncorr. |\n",
                rule,
                "|  0   |     1000 |        0 |      0 |      0 |      0 |  2.500E-04  |  -6.89  |     0.0 |\n",
                "|  1   |     1000 |       50 |      4 |      1 |      2 |  1.250E-02  |  -5.19  |  1000.0 "
                "|\n"}));
        EXPECT_EQ(lines[30], "|  15   " + idle);
    }
}

// A tape record of the tapes-used log with its usage page 0 and mechanism
// subpage 0 marked, at the places the usage page size puts them.
Bytes tapes_used(size_t usage)
{
    const size_t record = 18 + 4 * usage + 4 * 64 + 14;
    Bytes log(LTO_EE_TAPESUSEDLOG_SIZE, 0);
    u_int8 *tape = log.data() + record;  // tape 1
    scsilib::put_be32(tape, 7);
    // The serial fills its ten bytes; the type after it is not a NUL.
    std::copy_n("ABCDEFGHIJKL", 10, tape + 4);
    scsilib::put_be16(tape + 14, 0x2008);
    scsilib::put_be16(tape + 16, 3202);
    cmtest::Page page(0, 0x108, 64);
    page.text(12, "DRIVE01234");
    std::copy_n(page.data(), 64, tape + 18);
    scsilib::put_be32(tape + 18 + 4 * usage, 1);
    scsilib::put_be32(tape + 18 + 4 * usage + 4, 0x80000000);
    return log;
}

TEST(LtoEeTapesUsed, RecordsByUsagePageSize)
{
    for (const auto &gen : {std::make_pair(3, size_t{64}), std::make_pair(153, size_t{96})}) {
        SCOPED_TRACE(gen.first);
        set_drive_kind(0, gen.first);
        Bytes log = tapes_used(gen.second);
        const Lines lines = report(lto_decode_ee_tapesusedlog, log);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "----------\n"), 4);
        EXPECT_EQ(from(lines, "Tape Log 1\n", 6),
                  (Lines{"Tape Log 1\n", "----------\n", "Mechanism load count : 7\n",
                         "Cartridge serial no  : ABCDEFGHIJ\n", "Cartridge type       : 0x2008\n",
                         "Tape length          : 800m\n"}));
        const Lines tape1 = from(lines, "Tape Log 1\n", lines.size());
        EXPECT_EQ(from(tape1, "Drive id              : DRIVE01234\n", 1).size(), 1u);
        EXPECT_EQ(from(tape1, "Total CCQ write fails : 6442450944\n", 1).size(), 1u);
        EXPECT_EQ(from(tape1, "Tape Log 2\n", 1).size(), 1u);
    }
}

TEST(LtoEeReports, RefuseWithoutASinkOrEnoughBytes)
{
    set_drive_kind(0, 4);
    Bytes log(LTO_EE_TAPESUSEDLOG_SIZE, 0);
    for (auto decode : {lto_decode_ee_faultlog, lto_decode_ee_wrfltlog, lto_decode_ee_wertlog,
                        lto_decode_ee_rertlog, lto_decode_ee_tapesusedlog})
        EXPECT_EQ(decode(log.data(), nullptr), -1);

    // Each bounded form at the size its layout needs, and one byte short.
    using Decode = int32 (*)(const u_int8 *, size_t, pfvv);
    const std::pair<Decode, size_t> forms[] = {
        {ltolib::ee_decode_faultlog, 4802},     {ltolib::ee_decode_wrfltlog, 804},
        {ltolib::ee_decode_wertlog, 340},       {ltolib::ee_decode_rertlog, 344},
        {ltolib::ee_decode_tapesusedlog, 2688},
    };
    for (const auto &f : forms) {
        Bytes exact(f.second, 0);
        int32 result = -7;
        EXPECT_FALSE(
            cmtest::capture([&](pfvv sink) { result = f.first(exact.data(), exact.size(), sink); }).empty());
        EXPECT_EQ(result, 0) << f.second;
        EXPECT_TRUE(cmtest::capture([&](pfvv sink) {
                        result = f.first(exact.data(), exact.size() - 1, sink);
                    }).empty());
        EXPECT_EQ(result, -1) << f.second;
    }
}

}  // namespace
