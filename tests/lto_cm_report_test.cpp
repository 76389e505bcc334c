// The cartridge-memory report over whole images laid out field by field: the
// validity test, the selectors, the dispatch of each page id, the walks'
// bounds, the CMMA area and the tape-number scan.
// KV_UPDATE_GOLDEN=1 rewrites the golden files from what the report wrote.
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "ddslib.h"
#include "ltolib.h"
#include "ltolib/cm_report.h"
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

Lines report(Image &image, int which)
{
    return cmtest::capture([&](pfvv sink) { EXPECT_EQ(lto_decode_cm_contents(image.data(), which, sink), 0); });
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

TEST(CmReport, ValidityMarker)
{
    struct Case {
        u_int8 b5, b6, b7;
        size_t size;  // 0: refused
    };
    const Case cases[] = {
        {0x04, 0x00, 0x01, 0x1000}, {0x08, 0x00, 0x02, 0x2000}, {0x04, 0x00, 0x02, 0},
        {0x08, 0x00, 0x01, 0},      {0x00, 0x00, 0x00, 0},
    };
    for (const Case &c : cases) {
        Image image = tables({}, {}, 8192);
        image.u8(5, c.b5).u8(6, c.b6).u8(7, c.b7);
        for (int which : {LTO_CM_ALL, LTO_CM_MFR_INFO, LTO_CM_CMMA}) {
            int32 result = 0;
            auto lines = cmtest::capture(
                [&](pfvv s) { result = lto_decode_cm_contents(image.data(), which, s); });
            if (c.size == 0) {
                char *dump = dds_sdump_buffer(image.data(), 64);
                EXPECT_EQ(lines,
                          (Lines{"\n", "#################################\n",
                                 "CM contents appear to be invalid!\n", "#################################\n",
                                 "Decoding cancelled. First 64 bytes follow...\n", dump, "\n"}));
                std::free(dump);
                EXPECT_EQ(result, -1);
            } else {
                EXPECT_EQ(result, 0);
                char size_line[40];
                std::snprintf(size_line, sizeof size_line, "Size            : 0x%zX\n", c.size);
                EXPECT_EQ(has(lines, size_line), which != LTO_CM_CMMA) << std::hex << c.size;
            }
        }
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
                      unprot = "Unprotected page table\n";
    struct Case {
        int which;
        std::vector<std::pair<std::string, size_t>> counts;
    };
    const Case cases[] = {
        {LTO_CM_ALL, {{mfr, 1}, {prot, 1}, {unprot, 1}, {usage, 2}, {cartmfr, 2}, {eod, 1}, {unknown, 1}}},
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

TEST(CmReport, EachPageIdGoesToItsDecoder)
{
    struct Case {
        unsigned version, id;
        const char *first;  // the line after the first separator; nullptr: nothing at all
    };
    const Case cases[] = {
        {0, 0x000, "Invalid Page (000)\n"},
        {0, 0x001, "Cartridge Manufacturer's Information\n"},
        {0, 0x002, "Media Manufacturer's Information\n"},
        {0, 0x101, "Initialisation Data\n"},
        {0, 0x102, "Tape Write Pass Data\n"},
        {0, 0x103, "Tape Directory\n"},
        {2, 0x104, "EOD Information Partition 0\n"},
        {0, 0x105, "Cartridge Status / Tape Alert flags\n"},
        {0, 0x106, "Mechanism Related Data\n"},
        {0, 0x107, "Suspended Appends\n"},
        {0, 0x108, "Usage Page 0\n"},
        {0, 0x10B, "Usage Page 3\n"},
        {0, 0x10C, "Fatal Error Usage (R/W)\n"},
        {0, 0x10D, "Cartridge Content Data\n"},
        {2, 0x10E, "EOD Information Partition 1\n"},
        {0, 0x180, "KV Mechanism-specific page: no decoder\n"},
        {0, 0x184, "Licensee #2 Mechanism-specific page: no decoder\n"},
        {0, 0x200, "App-specific page (0x200): no decoder\n"},
        {0, 0x109 + 0x100, "Unknown or undecoded page 0x209\n"},
        {0, 0x185, "Unknown or undecoded page 0x185\n"},
        {0, 0xFFB, "Unknown or undecoded page 0xFFB\n"},
        {0, 0xFFC, nullptr},
        {0, 0xFFE, nullptr},
    };
    for (const Case &c : cases) {
        Image image = tables({}, {{c.version, c.id, 0x200}});
        image.place(0x200, Page(c.version, c.id, 2576));
        Lines lines = report(image, LTO_CM_PAGES);
        if (c.first == nullptr) {
            EXPECT_EQ(lines.size(), kBanner.size() + 1) << std::hex << c.id;
            continue;
        }
        ASSERT_GT(lines.size(), 9u) << std::hex << c.id;
        EXPECT_EQ(lines[7], kSep) << std::hex << c.id;
        EXPECT_EQ(lines[8], c.first) << std::hex << c.id;
    }
}

TEST(CmReport, TableListing)
{
    // A table holding only its end entry: one line and the CRC, no page.
    Image image = tables({}, {{1, 0x101, 0x1234}});
    Lines lines = report(image, LTO_CM_ALL);
    const Lines prot = {kSep,
                        "Protected page table\n",
                        kSep,
                        "Page  Ver StartAddress\n",
                        "0xFFF  0  0x100\n",
                        "CRC = 0x11111111\n"};
    EXPECT_NE(std::search(lines.begin(), lines.end(), prot.begin(), prot.end()), lines.end());
    const Lines unprot = {"Page  Ver StartAddress\n", "0x101  1  0x1234\n", "0xFFF  0  0x0\n",
                          "CRC = 0x22222222\n"};
    EXPECT_NE(std::search(lines.begin(), lines.end(), unprot.begin(), unprot.end()), lines.end());

    // The public walk returns the next table's offset.
    const int32 next = lto_cm_decode_pages(image.data(), 36, LTO_CM_PAGES, [](void *) {});
    EXPECT_EQ(next, 0x100);
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

    // The end entry in the last four bytes: listed, its CRC is not read.
    Image last(4096);
    for (size_t at = 36; at < 4092; at += 4)
        last.be16(at, 0xFFC);
    last.be16(4092, 0xFFF).be16(4094, 0x100);
    Lines end_only = report(last, LTO_CM_PAGE_TABLES);
    EXPECT_TRUE(has(end_only, "0xFFF  0  0x100\n"));
    // The unprotected table at 100h runs into the same end entry.
    EXPECT_EQ(count_of(end_only, "0xFFF  0  0x100\n"), 2u);
    EXPECT_EQ(count_of(end_only, cut), 2u);
    EXPECT_FALSE(has(end_only, "CRC = 0x0\n"));

    // A next-table offset at or past the image's end: not listed, not walked.
    for (u_int32 next : {0x1000u, 0xFFFFu}) {
        Image outside = Image(4096).table(36, {}, next, 0);
        Lines lines = report(outside, LTO_CM_ALL);
        char notice[80];
        std::snprintf(notice, sizeof notice, "Unprotected page table at 0x%X lies outside the image\n", next);
        EXPECT_TRUE(has(lines, notice));
        EXPECT_FALSE(has(lines, "Unprotected page table\n"));
    }
    // The table just inside: its one entry, then the notice.
    Lines inside = report_cut(Image(4096).table(36, {}, 0xFFC, 0).be16(0xFFC, 0x101), 4096, LTO_CM_ALL);
    EXPECT_TRUE(has(inside, "0x101  0  0x0\n"));
    EXPECT_EQ(count_of(inside, cut), 1u);

    // A page starting outside the image: its decoder has no bytes and says so.
    Image page_out = tables({}, {{0, 0x101, 0xFFF0}});
    EXPECT_TRUE(has(report(page_out, LTO_CM_PAGES), "Page 0x101 runs past the end of the image\n"));

    // A shorter buffer than the marker claims: the view is what there is.
    Image image = cmtest::full_image(8192);
    for (size_t count : {8191u, 4096u, 3000u, 40u, 36u, 8u}) {
        Lines lines = report_cut(image, count, LTO_CM_ALL);
        EXPECT_EQ(lines.back(), kSep) << count;
    }
    EXPECT_TRUE(has(report_cut(image, 3900, LTO_CM_CMMA), "CMMA area runs past the end of the image\n"));
    EXPECT_TRUE(has(report_cut(image, 20, LTO_CM_MFR_INFO),
                    "Manufacturer's information runs past the end of the image\n"));
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
}

// The CMMA area: every field where the table puts it.
Block cmma_area()
{
    return Block(148)
        .u8(0, 3)
        .u8(1, 7)
        .be32(2, 0xFFFFFFFF)
        .be32(6, 0x7FFFFFFF)
        .u8(10, 0x0A)
        .u8(11, 0xF0)
        .bytes_at(16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF, 0x10})
        .be32(32, 100)
        .be32(36, 0x80000000)
        .be32(64, 0)
        .text(68, "QUALDRIVE123XYZ")
        .be16(80, 0xFFFF)
        .be16(82, 0xFF38)
        .be16(84, 65535)
        .be16(100, 0x8000)
        .be16(102, 0x7FFF)
        .be32(128, 86399)
        .text(132, std::string("LAST\0DRIVE", 10))
        .be32(144, 0x1F);
}

TEST(CmmaArea, Report)
{
    utc();
    Block area = cmma_area();
    auto lines = cmtest::capture([&](pfvv sink) { lto_cm_decode_cmma(area.data(), sink); });
    EXPECT_TRUE(cmtest::one_line_per_call(lines));
    EXPECT_EQ(lines, (Lines{"\n",
                            "####################################\n",
                            "#                                  #\n",
                            "#           CMMA Contents          #\n",
                            "#                                  #\n",
                            "####################################\n",
                            "\n",
                            "CMMA format revision : 3\n",
                            "Cartridge state      : 7 (Illegal)\n",
                            "Total # uses         : -1\n",
                            "Total # failures     : 2147483647\n",
                            "Station Flags        : 0x0A\n",
                            "PES Flags            : 0xF0\n",
                            "Test pattern area    : 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 \n",
                            "Tape pass count      : 100\n",
                            "Life tape pass count : -2147483648\n",
                            "\n",
                            "Qual date            : 0x0 (00:00:00 1970/01/01)\n",
                            "Qual drive           : QUALDRIVE123\n",
                            "Qual count           : 65535\n",
                            "MSRT value           : 0xFFFF (16.000)\n",
                            "Servo tape azimuth   : 0xFF38 (-0.098)\n",
                            "Written-in PES (HH)  : 0x8000 (-0.504)\n",
                            "Written-in PES (FH)  : 0x7FFF (0.504)\n",
                            "\n",
                            "Last test date       : 0x1517F (23:59:59 1970/01/01)\n",
                            "Last tested drive    : LAST        \n",
                            "Last test errorcode  : 0x0000001F\n",
                            kSep}));

    // The states 0 to 3 by name; the report of an image starts at F00h.
    const char *names[] = {"Uninitialised", "Usable", "Unusable", "Master StdRef Tape"};
    Image image(4096);
    for (u_int8 s = 0; s < 4; s++) {
        image.place(0xF00, area.u8(1, s));
        auto l = report(image, LTO_CM_CMMA);
        ASSERT_GT(l.size(), 8u);
        EXPECT_EQ(l[8], "Cartridge state      : " + std::to_string(s) + " (" + names[s] + ")\n");
    }
}

// The fields the report does not show; the others reach it through the record.
TEST(CmmaArea, Record)
{
    Block area = cmma_area().u8(12, 0x5C).u8(86, 'B').be16(87, 0xFFFE).be16(89, 2).be16(91, 3).be16(93, 4);
    area.be16(96, 0x8001).be16(98, 6).u8(112, 0xEE);
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

TEST(TapeNumber, FromTheCartridgeMemory)
{
    struct Case {
        const char *name;
        std::vector<cmtest::Entry> entries;
        int32 result;
        const char *serial;
    };
    const Case cases[] = {
        {"at 234, the last that fits", {{0, 0x002, 0x80}, {1, 0x001, 234}}, 0, "KV12345678"},
        {"a NUL ends it", {{0, 0x001, 96}}, 0, "AB"},
    };
    for (const Case &c : cases) {
        Image image = Image(4096).table(36, c.entries, 0x100, 0).table(48, {{0, 0x001, 64}}, 0, 0);
        image.text(76, "KV12345678").text(234 + 12, "KV12345678").text(96 + 12, std::string("AB\0CD", 5));
        char tapeno[LTO_TAPE_NUMBER_SIZE] = "untouched";
        EXPECT_EQ(lto_cm_get_tape_number(image.data(), tapeno), c.result) << c.name;
        EXPECT_STREQ(tapeno, c.serial ? c.serial : "untouched") << c.name;
    }
    // No page 001h and no end entry within the 256 bytes.
    Image none(4096);
    for (size_t at = 36; at < 300; at += 4)
        none.be16(at, 0x101);
    none.be16(256, 0x001).be16(258, 64);
    char tapeno[LTO_TAPE_NUMBER_SIZE] = "untouched";
    EXPECT_EQ(lto_cm_get_tape_number(none.data(), tapeno), -1);
    EXPECT_EQ(lto_cm_get_tape_number(nullptr, tapeno), -1);
    EXPECT_EQ(lto_cm_get_tape_number(none.data(), nullptr), -1);
    EXPECT_STREQ(tapeno, "untouched");
}

}  // namespace
