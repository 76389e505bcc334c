// Cartridge-memory pages 106h to 10Ch, the vendor pages and lto_break_time,
// through their text.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "ddslib.h"
#include "ltolib.h"

namespace {

using cmtest::Page;

const std::string kSep = "------------------------------------\n";

std::vector<std::string> decode(const std::function<void(u_int8 *, pfvv)> &decoder, Page page)
{
    auto calls = cmtest::capture([&](pfvv sink) { decoder(page.data(), sink); });
    EXPECT_TRUE(cmtest::one_line_per_call(calls));
    return calls;
}

TEST(CmUsagePages, BreakTime)
{
    const std::pair<u_int32, const char *> cases[] = {
        {90061, "L: 1 day 1 hr 1 min 1 sec\n"},
        {3600, "L: 1 hr 0 mins 0 secs\n"},
        {0, "L: 0 secs\n"},
        {61, "L: 1 min 1 sec\n"},
        {180122, "L: 2 days 2 hrs 2 mins 2 secs\n"},
        {0xFFFFFFFF, "L: 49710 days 6 hrs 28 mins 15 secs\n"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(lto_break_time("L: ", c.first), c.second);
}

// A subpage whose every field differs, with the CCQ halves 1 and 80000000h.
Page subpage(Page page, size_t at)
{
    page.be32(at, 1).be32(at + 4, 0x80000000).be32(at + 8, 0xFFFFFFFE).be32(at + 12, 3).be32(at + 16, 4);
    page.be32(at + 20, 0x05060708).be32(at + 24, 9).be32(at + 28, 90061).be32(at + 32, 1234);
    page.be32(at + 36, 10).be32(at + 40, 11).be32(at + 44, 12).be16(at + 48, 0x2D80).be16(at + 50, 0x0A80);
    return page;
}

const char kSubpageLines[] = "--------------------\n"
                             "Total CCQ write fails : 6442450944\n"
                             "Total C2 recoverables : -2\n"
                             "Odd wrap write faults : 3\n"
                             "Even wrap write faults: 4\n"
                             "Odd wrap wr CCP ratio : 5\n"
                             "Even wrap wr CCP ratio: 6\n"
                             "Odd wrap rd CCP ratio : 7\n"
                             "Even wrap rd CCP ratio: 8\n"
                             "Num direction changes : 9\n"
                             "Tape pulling time     : 1 day 1 hr 1 min 1 sec\n"
                             "Total tape pulled     : 1234 metres\n"
                             "Total repositions     : 10\n"
                             "Total load/unloads    : 11\n"
                             "Total streamfails     : 12\n"
                             "Max drive temperature : 45.5 deg C\n"
                             "Min drive temperature : 10.5 deg C\n";

TEST(CmUsagePages, MechanismPageAndSubpages)
{
    auto one = decode([](u_int8 *p, pfvv sink) { lto_cm_decode_mech_subpage(p, 2, sink); },
                      subpage(Page(0, 0, 64), 0));
    EXPECT_EQ(cmtest::joined(one), std::string("\nMech Usage subpage 2\n") + kSubpageLines);

    Page mech = Page(0, 0x106, 384).text(4, "KVMECH01").be32(380, 0xC5C5);
    for (size_t i = 0; i < 4; i++)
        mech = subpage(mech, 12 + 64 * i);
    std::string expected = kSep + "Mechanism Related Data\n" + kSep + "Last drive mfr        : KVMECH01\n";
    for (int i = 0; i < 4; i++)
        expected += "\nMech Usage subpage " + std::to_string(i) + "\n" + kSubpageLines;
    EXPECT_EQ(cmtest::joined(decode(lto_cm_decode_mech_page, mech)), expected + "\nCRC                   : 0xC5C5\n");
}

TEST(CmUsagePages, SuspendedAppendsByVersion)
{
    const std::string head = kSep + "Suspended Appends\n" + kSep + "Entry  DatasetID  WritePass\n";
    for (unsigned version : {0u, 1u, 2u}) {
        Page page(version, 0x107, 184);
        for (u_int32 n = 0; n < 22; n++)
            page.be32(8 + 8 * n, 0x100 + n).be32(12 + 8 * n, n);
        page.be32(8 + 8 * 3, 0xFFFFFFFE).be32(12 + 8 * 3, 0);
        auto lines = decode(lto_cm_decode_suspapp_page, page);
        const std::vector<size_t> counts = {14, 22, 0};
        ASSERT_EQ(lines.size(), 4 + counts[version]) << "version " << version;
        EXPECT_EQ(cmtest::joined({lines.begin(), lines.begin() + 4}), head);
        if (version == 2)
            continue;
        EXPECT_EQ(lines[4 + 2], "  2    0x00000102 0x00000002\n");
        EXPECT_EQ(lines[4 + 3], version == 0 ? "  3    0xFFFFFFFE 0x00000000\n"
                                              : "  3 --------- Partition separator ---------\n");
        EXPECT_EQ(lines.back(), version == 0 ? " 13    0x0000010D 0x0000000D\n" : " 21    0x00000115 0x00000015\n");
    }
}

TEST(CmUsagePages, UsageByVersion)
{
    auto usage3 = [](u_int8 *p, pfvv sink) { lto_cm_decode_usage_page(p, 3, sink); };
    const std::string head = kSep + "Usage Page 3\n" + kSep + "Last drive mfr        : KVUSAGE0\n";
    // Version 2 has no layout of its own: it reads as version 0.
    EXPECT_EQ(cmtest::joined(decode(usage3, Page(2, 0x10B, 64).ramp().text(4, "KVUSAGE0").text(12, "DRIVEID012"))),
              head +
                  "Drive id              : DRIVEID012\n"
                  "Suspended appends     : 0x1617\n"
                  "Thread count          : 0x18191A1B\n"
                  "Total Datasets written: 0x1C1D1E1F20212223\n"
                  "Total Datasets read   : 0x2425262728292A2B\n"
                  "Total Write retries   : 0x2C2D2E2F\n"
                  "Total Read retries    : 0x30313233\n"
                  "Unrecovered write errs: 0x3435\n"
                  "Unrecovered read errs : 0x3637\n"
                  "Total suspended writes: 0x3839\n"
                  "Fatal suspended writes: 0x3A3B\n"
                  "CRC                   : 0x3C3D3E3F\n");
    Page v1 = Page(1, 0x10B, 96).ramp().text(4, "KVUSAGE0").text(12, "DRIVEID012345678").be32(36, 0).be32(40, 5);
    EXPECT_EQ(cmtest::joined(decode(usage3, v1)),
              head +
                  "Drive id              : DRIVEID012345678\n"
                  "Suspended appends     : 0x1C1D\n"
                  "Thread count          : 0x20212223\n"
                  "Total Datasets written: 0x000000005\n"
                  "Total Datasets read   : 0x2C2D2E2F30313233\n"
                  "Total Write retries   : 0x34353637\n"
                  "Total Read retries    : 0x38393A3B\n"
                  "Unrecovered write errs: 0x3C3D\n"
                  "Unrecovered read errs : 0x3E3F\n"
                  "Total suspended writes: 0x4041\n"
                  "Fatal suspended writes: 0x4243\n"
                  "LP3 passes            : 0x44454647\n"
                  "LP3-5 midpoint passes : 0x48494A4B\n"
                  "Max tape path temp    : 76 deg C\n"
                  "CRC                   : 0x5C5D5E5F\n");
}

TEST(CmUsagePages, FatalErrorLayouts)
{
    // Every number shows the offset it was read from (see Page::ramp).
    const std::string short_block = "  Last drive gen      : 0x1213\n"
                                    "  Last drive f/w ident: 0x14151617\n"
                                    "  Suspended writes    : 0x1819\n"
                                    "  Thread count        : 0x1A1B1C1D\n"
                                    "  Data sets written   : 0x1E1F2021\n"
                                    "  Data sets read      : 0x22232425\n"
                                    "  Write retries       : 0x2627\n"
                                    "  Read retries        : 0x2829\n"
                                    "  Unrecovered writes  : 0x2A2B\n"
                                    "  Unrecovered reads   : 0x2C2D\n"
                                    "  Suspended writes    : 0x2E2F\n"
                                    "  Fatal suspended wrts: 0x3031\n"
                                    "  Write pass          : 0x32333435\n"
                                    "  Data Set id         : 0x36373839\n"
                                    "  Phys position LPOS  : 0x3A3B3C3D\n";
    const std::string short_read = "  Last drive gen      : 0x4E4F\n"
                                   "  Last drive f/w ident: 0x50515253\n"
                                   "  Suspended writes    : 0x5455\n"
                                   "  Thread count        : 0x56575859\n"
                                   "  Data sets written   : 0x5A5B5C5D\n"
                                   "  Data sets read      : 0x5E5F6061\n"
                                   "  Write retries       : 0x6263\n"
                                   "  Read retries        : 0x6465\n"
                                   "  Unrecovered writes  : 0x6667\n"
                                   "  Unrecovered reads   : 0x6869\n"
                                   "  Suspended writes    : 0x6A6B\n"
                                   "  Fatal suspended wrts: 0x6C6D\n"
                                   "  Write pass          : 0x6E6F7071\n"
                                   "  Data Set id         : 0x72737475\n"
                                   "  Phys position LPOS  : 0x76777879\n";
    Page v0 = Page(0, 0x10C, 128).ramp().text(4, "WMFRWSERIAL001").text(64, "RMFRRSERIAL001");
    EXPECT_EQ(cmtest::joined(decode(lto_cm_decode_fatalerror_page, v0)),
              kSep + "Fatal Error Usage (R/W)\n" + kSep + "Write Error:\n" +
                  "  Last drive mfr      : WMFR\n  Last drive serialno : WSERIAL001\n" + short_block +
                  "  Wrap number         : 0x3E3F\nRead Error:\n" +
                  "  Last drive mfr      : RMFR\n  Last drive serialno : RSERIAL001\n" + short_read +
                  "  Wrap number         : 0x7A7B\nCRC                   : 0x7C7D7E7F\n");

    Page v3 = Page(3, 0x10C, 160).ramp().text(4, "WMFRLONG").text(12, "WSERIAL000000001");
    v3.text(80, "RMFRLONGRSERIAL000000001");
    auto lines = decode(lto_cm_decode_fatalerror_page, v3);
    ASSERT_EQ(lines.size(), 3u + 2 * 19 + 1);
    const std::vector<std::pair<size_t, std::string>> expected = {
        {1, "Fatal Error Usage (WORM)\n"},
        {4, "  Last drive mfr      : WMFRLONG\n"},
        {5, "  Last drive serialno : WSERIAL000000001\n"},
        {6, "  Last drive gen      : 0x1C1D\n"},
        {13, "  Read retries        : 0x3637\n"},
        {20, "  Phys position LPOS  : 0x48494A4B\n"},
        {21, "  ASC/Q sent to host  : 0x4C4D\n"},
        {23, "  Last drive mfr      : RMFRLONG\n"},
        {24, "  Last drive serialno : RSERIAL000000001\n"},
        {25, "  Last drive gen      : 0x6869\n"},
        {39, "  Phys position LPOS  : 0x94959697\n"},
        {40, "  ASC/Q sent to host  : 0x9899\n"},
        {41, "CRC                   : 0x9C9D9E9F\n"},
    };
    for (const auto &e : expected)
        EXPECT_EQ(lines[e.first], e.second);

    // Version 1 is the short WORM layout, version 2 the long R/W one.
    // (Text fields copy their bytes as they are, so they get letters here.)
    auto v1 = decode(lto_cm_decode_fatalerror_page, Page(1, 0x10C, 128).ramp().text(4, "WMFRWSERIAL001").text(64, "RMFRRSERIAL001"));
    EXPECT_EQ(v1[1], "Fatal Error Usage (WORM)\n");
    EXPECT_EQ(v1[21], "  ASC/Q sent to host  : 0x3E3F\n");
    auto v2 = decode(lto_cm_decode_fatalerror_page, v3.be16(0, 0x210C));
    EXPECT_EQ(v2[1], "Fatal Error Usage (R/W)\n");
    EXPECT_EQ(v2[21], "  Wrap number         : 0x4C4D\n");
}

TEST(CmUsagePages, VendorPagesDumpTheirLength)
{
    auto dump64 = [](Page &page) {
        char *text = dds_sdump_buffer(page.data(), 64);
        std::string s = text;
        std::free(text);
        return s;
    };
    struct Case {
        void (*decoder)(u_int8 *, pfvv);
        unsigned id;
        std::vector<std::string> head;
    };
    const Case cases[] = {
        {lto_cm_decode_mechspec_page, 0x182, {kSep, "Partner #2 Mechanism-specific page: no decoder\n", kSep}},
        {lto_cm_decode_mechspec_page, 0x181, {kSep, "Partner #1 Mechanism-specific page: no decoder\n", kSep}},
        {lto_cm_decode_mechspec_page, 0x185, {kSep, kSep}},  // no owner line outside 180h..184h
        {lto_cm_decode_appspec_page, 0x200, {kSep, "App-specific page (0x200): no decoder\n", kSep}},
    };
    for (const Case &c : cases) {
        Page page = Page(0, c.id, 80).ramp().length(64);
        std::vector<std::string> expected = c.head;
        expected.push_back(dump64(page));
        EXPECT_EQ(cmtest::capture([&](pfvv sink) { c.decoder(page.data(), sink); }), expected);
    }
}

}  // namespace
