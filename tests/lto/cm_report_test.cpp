// The cartridge-memory report over whole images laid out field by field: the
// validity test, the selectors, the dispatch past its routes, the walks'
// bounds and the CMMA area.
// KV_UPDATE_GOLDEN=1 rewrites the golden files from what the report wrote.
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "ddslib.h"
#include "ltolib.h"
#include "ltolib/cartridge_memory/cm_report.h"
#include "scratch.h"

namespace {

using cmtest::Block;
using cmtest::Image;
using cmtest::Page;
using Lines = std::vector<std::string>;

const std::string kGolden = KV_SOURCE_DIR "/tests/golden/lto_cm/";
const std::string kSep = "------------------------------------\n";
const Lines kBanner = {"\n",
                       "####################################\n",
                       "#                                  #\n",
                       "#          LTO-CM Contents         #\n",
                       "#                                  #\n",
                       "####################################\n",
                       "\n"};

// Dates in the reports are local time.
void utc()
{
    setenv("TZ", "UTC", 1);
    tzset();
}

Lines report(Image &image, int which, int32 expect = 0)
{
    return cmtest::capture(
        [&](pfvv sink) { EXPECT_EQ(lto_decode_cm_contents(image.data(), which, sink), expect); });
}

// The report over exactly `count` bytes of the image, in a buffer of that size.
Lines report_cut(const Image &image, size_t count, int which, int32 expect = 0)
{
    std::vector<u_int8> bytes(image.bytes().begin(),
                              image.bytes().begin() + static_cast<std::ptrdiff_t>(count));
    return cmtest::capture(
        [&](pfvv sink) { EXPECT_EQ(ltolib::cm_report(bytes.data(), bytes.size(), which, sink), expect); });
}

size_t count_of(const Lines &lines, const std::string &line)
{
    size_t n = 0;
    for (const std::string &l : lines)
        n += l == line;
    return n;
}

bool has(const Lines &lines, const std::string &line) { return count_of(lines, line) > 0; }

// A small image: the protected table at 36 with `first`, pointing at the
// unprotected table at 100h with `second`; pages go where the entries say.
Image tables(std::vector<cmtest::Entry> first, std::vector<cmtest::Entry> second, size_t size = 4096)
{
    return Image(size).table(36, first, 0x100, 0x11111111).table(0x100, second, 0, 0x22222222);
}

TEST(CmReport, WholeImageGolden)
{
    utc();
    Image image = cmtest::full_image(8192);
    auto calls = report(image, LTO_CM_ALL);
    EXPECT_TRUE(cmtest::one_line_per_call(Lines(calls.begin(), calls.begin() + 60)));
    scratch::expect_golden(kGolden + "report_8k_all.txt", cmtest::joined(calls));
    Image small = cmtest::full_image(4096);
    scratch::expect_golden(kGolden + "report_4k_cmma.txt", cmtest::joined(report(small, LTO_CM_CMMA)));
}

// A wrong marker refuses every selector, CMMA included, with the first 64
// bytes dumped. The right ones are in every other image here.
TEST(CmReport, ValidityMarker)
{
    const u_int8 markers[][3] = {{0x04, 0x00, 0x02}, {0x08, 0x00, 0x01}, {0x00, 0x00, 0x00}};
    for (const auto &m : markers) {
        Image image = tables({}, {}, 8192).u8(5, m[0]).u8(6, m[1]).u8(7, m[2]);
        char *dump = dds_sdump_buffer(image.data(), 64);
        const Lines refused = {"\n",
                               "#################################\n",
                               "CM contents appear to be invalid!\n",
                               "#################################\n",
                               "Decoding cancelled. First 64 bytes follow...\n",
                               dump,
                               "\n"};
        std::free(dump);
        for (int which : {LTO_CM_ALL, LTO_CM_MFR_INFO, LTO_CM_CMMA})
            EXPECT_EQ(report(image, which, -1), refused) << std::hex << which;
    }
    // Too short to hold a marker: refused with what there is dumped.
    Image image(4096);
    auto lines = report_cut(image, 7, LTO_CM_ALL, -1);
    ASSERT_EQ(lines.size(), 7u);
    char *dump = dds_sdump_buffer(image.data(), 7);
    EXPECT_EQ(lines[5], dump);
    std::free(dump);
}

TEST(CmReport, Selectors)
{
    Image image = tables({{0, 0x108, 0x200}, {0, 0x001, 0x300}},
                         {{2, 0x10E, 0x400}, {0, 0x108, 0x200}, {0, 0x001, 0x300}, {0, 0x150, 0x500}});
    image.place(0x200, Page(0, 0x108, 64)).place(0x300, Page(0, 0x001, 64)).place(0x400, Page(2, 0x10E, 96));
    const std::string usage = "Usage Page 0\n", cartmfr = "Cartridge Manufacturer's Information\n",
                      eod = "EOD Information Partition 1\n", unknown = "Unknown or undecoded page 0x150\n",
                      mfr = "Manufacturer's Information\n", prot = "Protected page table\n",
                      unprot = "Unprotected page table\n", size = "Size            : 0x1000\n";
    struct Case {
        int which;
        std::vector<std::pair<std::string, size_t>> counts;
    };
    const Case cases[] = {
        {LTO_CM_ALL,
         {{mfr, 1}, {size, 1}, {prot, 1}, {unprot, 1}, {usage, 2}, {cartmfr, 2}, {eod, 1}, {unknown, 1}}},
        {LTO_CM_PAGE_TABLES, {{mfr, 0}, {prot, 1}, {unprot, 1}, {usage, 0}, {cartmfr, 0}, {unknown, 0}}},
        {LTO_CM_PAGES, {{mfr, 0}, {prot, 0}, {unprot, 0}, {usage, 2}, {cartmfr, 2}, {eod, 1}, {unknown, 1}}},
        {LTO_CM_MFR_INFO, {{mfr, 1}, {prot, 0}, {usage, 0}, {cartmfr, 0}, {unknown, 0}}},
        {0x108, {{mfr, 0}, {prot, 0}, {usage, 2}, {cartmfr, 0}, {eod, 0}}},
        {0x10E, {{usage, 0}, {eod, 1}}},
        {0x150, {{unknown, 1}, {usage, 0}}},
    };
    for (const Case &c : cases) {
        Lines lines = report(image, c.which);
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + 7), kBanner) << std::hex << c.which;
        EXPECT_EQ(lines.back(), kSep) << std::hex << c.which;
        for (const auto &want : c.counts)
            EXPECT_EQ(count_of(lines, want.first), want.second) << std::hex << c.which << " " << want.first;
    }
    // A selector that matches nothing, known or not: the banner and the closing line.
    Lines only = kBanner;
    only.push_back(kSep);
    for (int which : {0x103, 0x30000, -1})
        EXPECT_EQ(report(image, which), only) << std::hex << which;
}

// Ids just past the routes (the golden report holds every routed id): an
// unknown page gets one line, FFCh-FFFh none.
TEST(CmReport, UnroutedPageIds)
{
    const std::pair<unsigned, const char *> cases[] = {
        {0x003, "Unknown or undecoded page 0x3\n"},   {0x100, "Unknown or undecoded page 0x100\n"},
        {0x10F, "Unknown or undecoded page 0x10F\n"}, {0x17F, "Unknown or undecoded page 0x17F\n"},
        {0x185, "Unknown or undecoded page 0x185\n"}, {0x1FF, "Unknown or undecoded page 0x1FF\n"},
        {0x201, "Unknown or undecoded page 0x201\n"}, {0x209, "Unknown or undecoded page 0x209\n"},
        {0xFFB, "Unknown or undecoded page 0xFFB\n"}, {0xFFE, nullptr},
    };
    for (const auto &c : cases) {
        Image image = tables({}, {{0, c.first, 0x200}});
        Lines want = kBanner;
        if (c.second != nullptr)
            want.insert(want.end(), {kSep, c.second});
        want.push_back(kSep);
        EXPECT_EQ(report(image, LTO_CM_PAGES), want) << std::hex << c.first;
    }
}

// The faults of an untrusted image: nothing outside the view is read, and the
// report says where it stopped.
TEST(CmReport, WalksStayInsideTheImage)
{
    const std::string cut = "Page table runs past the end of the image\n";

    // A protected table without an end entry: listed up to the image's end,
    // one notice, no unprotected table.
    Image endless(4096);
    for (size_t at = 36; at < 4096; at += 4)
        endless.be16(at, 0x150).be16(at + 2, 0x100);
    Lines all = report(endless, LTO_CM_ALL);
    EXPECT_EQ(count_of(all, cut), 1u);
    EXPECT_EQ(count_of(all, "0x150  0  0x100\n"), (4096u - 36) / 4);
    EXPECT_EQ(count_of(all, "Unknown or undecoded page 0x150\n"), (4096u - 36) / 4);
    EXPECT_FALSE(has(all, "Unprotected page table\n"));
    Lines pages = report(endless, LTO_CM_PAGES);
    EXPECT_EQ(count_of(pages, cut), 1u);
    EXPECT_EQ(pages.back(), kSep);
    EXPECT_EQ(lto_cm_decode_pages(endless.data(), 36, LTO_CM_PAGES, [](void *) {}), -1);
    // With its end entry, the public walk returns the next table's offset.
    EXPECT_EQ(lto_cm_decode_pages(tables({}, {}).data(), 36, LTO_CM_PAGES, [](void *) {}), 0x100);

    // The end entry in the last four bytes: listed, its CRC is not read.
    Image last(4096);
    for (size_t at = 36; at < 4092; at += 4)
        last.be16(at, 0xFFC);
    last.be16(4092, 0xFFF).be16(4094, 0x100);
    Lines end_only = report(last, LTO_CM_PAGE_TABLES);
    // The unprotected table at 100h runs into the same end entry.
    EXPECT_EQ(count_of(end_only, "0xFFF  0  0x100\n"), 2u);
    EXPECT_EQ(count_of(end_only, cut), 2u);
    EXPECT_FALSE(has(end_only, "CRC = 0x0\n"));
    // One entry earlier, the CRC fills the last four bytes and is listed.
    Image crc_last(4096);
    for (size_t at = 36; at < 4088; at += 4)
        crc_last.be16(at, 0xFFC);
    crc_last.be16(4088, 0xFFF).be16(4090, 0x1000).be32(4092, 0xC3C3C3C3);
    Lines crc_listed = report(crc_last, LTO_CM_PAGE_TABLES);
    EXPECT_TRUE(has(crc_listed, "CRC = 0xC3C3C3C3\n"));
    EXPECT_FALSE(has(crc_listed, cut));

    // A next-table offset at the image's end: not listed, not walked.
    Lines outside = report(Image(4096).table(36, {}, 0x1000, 0), LTO_CM_ALL);
    EXPECT_TRUE(has(outside, "Unprotected page table at 0x1000 lies outside the image\n"));
    EXPECT_FALSE(has(outside, "Unprotected page table\n"));
    // The table just inside: its one entry, then the notice.
    Lines inside = report_cut(Image(4096).table(36, {}, 0xFFC, 0).be16(0xFFC, 0x101), 4096, LTO_CM_ALL);
    EXPECT_TRUE(has(inside, "0x101  0  0x0\n"));
    EXPECT_EQ(count_of(inside, cut), 1u);

    // A page starting outside the image: its decoder has no bytes and says so.
    Image page_out = tables({}, {{0, 0x101, 0xFFF0}});
    EXPECT_TRUE(has(report(page_out, LTO_CM_PAGES), "Page 0x101 runs past the end of the image\n"));

    // A view shorter than the marker claims: the CMMA area (F00h..F93h) and
    // the manufacturer's bytes (0..33) at its end and one byte past it.
    Image image = cmtest::full_image(8192);
    const std::string cmma_cut = "CMMA area runs past the end of the image\n",
                      mfr_cut = "Manufacturer's information runs past the end of the image\n";
    EXPECT_FALSE(has(report_cut(image, 0xF94, LTO_CM_CMMA), cmma_cut));
    EXPECT_TRUE(has(report_cut(image, 0xF93, LTO_CM_CMMA), cmma_cut));
    EXPECT_FALSE(has(report_cut(image, 34, LTO_CM_MFR_INFO), mfr_cut));
    EXPECT_TRUE(has(report_cut(image, 33, LTO_CM_MFR_INFO), mfr_cut));
}

TEST(CmReport, NullArguments)
{
    Image image = cmtest::full_image(4096);
    auto none = cmtest::capture([&](pfvv sink) {
        EXPECT_EQ(lto_decode_cm_contents(nullptr, LTO_CM_ALL, sink), -1);
        EXPECT_EQ(lto_cm_decode_pages(nullptr, 36, LTO_CM_ALL, sink), -1);
        lto_cm_decode_mfr_info(nullptr, sink);
        lto_cm_decode_page_table(nullptr, const_cast<char *>("x"), sink);
        lto_cm_decode_page_table(image.data() + 36, nullptr, sink);
        lto_cm_decode_cmma(nullptr, sink);
    });
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(lto_decode_cm_contents(image.data(), LTO_CM_ALL, nullptr), -1);
    EXPECT_EQ(lto_cm_decode_pages(image.data(), 36, LTO_CM_ALL, nullptr), -1);
    lto_cm_decode_mfr_info(image.data(), nullptr);
    lto_cm_decode_cmma(image.data() + 0xF00, nullptr);
    char tapeno[LTO_TAPE_NUMBER_SIZE] = "untouched";
    EXPECT_EQ(lto_cm_get_tape_number(nullptr, tapeno), -1);
    EXPECT_EQ(lto_cm_get_tape_number(image.data(), nullptr), -1);
    EXPECT_STREQ(tapeno, "untouched");
}

// The golden report holds every line of the area; here each state by name
// and the first value past them.
TEST(CmmaArea, States)
{
    const char *names[] = {"Uninitialised", "Usable", "Unusable", "Master StdRef Tape", "Illegal"};
    Block area(148);
    for (u_int8 s = 0; s < 5; s++) {
        auto lines = cmtest::capture([&](pfvv sink) { lto_cm_decode_cmma(area.u8(1, s).data(), sink); });
        EXPECT_TRUE(cmtest::one_line_per_call(lines));
        ASSERT_GT(lines.size(), 8u);
        EXPECT_EQ(lines[8], "Cartridge state      : " + std::to_string(s) + " (" + names[s] + ")\n");
    }
}

// The fields the report does not show reach the record from their offsets.
TEST(CmmaArea, Record)
{
    Block area = Block(148).u8(12, 0x5C).u8(86, 'B').be16(87, 0xFFFE).be16(89, 2).be16(91, 3).be16(93, 4);
    area.be16(96, 0x8001).be16(98, 6).u8(112, 0xEE).text(68, "QUALDRIVE123XYZ");
    area.text(132, std::string("LAST\0DRIVE", 10));
    LTOCMMAType c;
    ltolib::cmma_from_area(area.data(), &c);
    EXPECT_EQ(c.ctrl_area.ref_level, 0x5C);
    EXPECT_EQ(c.qual_area.grade, 'B');
    EXPECT_EQ((std::vector<int>{c.qual_area.ert.fwd, c.qual_area.ert.rev, c.qual_area.pes.fwd_std,
                                c.qual_area.pes.rev_std, c.qual_area.pes.fwd_count, c.qual_area.pes.rev_count}),
              (std::vector<int>{-2, 2, 3, 4, -32767, 6}));
    EXPECT_EQ(c.qual_area.reuse, 0xEE);
    // Twelve characters and a NUL, whatever follows in the area.
    EXPECT_STREQ(c.qual_area.driveno, "QUALDRIVE123");
    EXPECT_EQ(std::string(c.last_test_area.driveno, 16), std::string("LAST\0DRIVE\0\0\0\0\0\0", 16));
}

}  // namespace
