// Cartridge-memory pages 102h, 103h, 104h/10Eh and 105h, through their text.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "ltolib.h"

namespace {

using cmtest::Page;

const std::string kSep = "------------------------------------\n";

std::vector<std::string> decode(void (*decoder)(u_int8 *, pfvv), Page page)
{
    auto calls = cmtest::capture([&](pfvv sink) { decoder(page.data(), sink); });
    EXPECT_TRUE(cmtest::one_line_per_call(calls));
    return calls;
}

TEST(CmTapePages, WritePass)
{
    Page page(0, 0x102, 48);
    for (u_int32 n = 0; n < 8; n++)
        page.be32(16 + 4 * n, 0x100 + n);
    auto lines = decode(lto_cm_decode_tapewrpass_page, page);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[1], "Tape Write Pass Data\n");
    EXPECT_EQ(lines[3], "Write pass field 0    : 0x100\n");
    EXPECT_EQ(lines[10], "Write pass field 7    : 0x107\n");
}

TEST(CmTapePages, TapeDirectoryByVersion)
{
    const std::string head12 =
        "Wrap WritePass   DatasetID   HOW RecCnt  EOW RecCnt  HOW FMCnt   EOW FMCnt    FM Map    CRC\n";
    struct Case {
        unsigned version;
        size_t entries, entry_size, fields;
        std::vector<std::pair<size_t, std::string>> lines;  // index after the title
    };
    const Case cases[] = {
        {0, 96, 16, 4,
         {{0, "Wrap       DatasetID   RecordCount FilemarkCount CRC\n"},
          {1, " 0 [even]  0x00000000  0x00000001  0x00000002   0x00000003\n"},
          {2, " 0 [odd ]  0x00000010  0x00000011  0x00000012   0x00000013\n"},
          {96, "47 [odd ]  0x000005F0  0x000005F1  0x000005F2   0x000005F3\n"}}},
        {1, 64, 28, 7,
         {{0, "Wrap WritePass   DatasetID   HOW RecCnt  EOW RecCnt  HOW FMCnt   EOW FMCnt    CRC\n"},
          {64, "63   0x000003F0  0x000003F1  0x000003F2  0x000003F3  0x000003F4  0x000003F5   0x000003F6\n"}}},
        {2, 44, 32, 8,
         {{0, head12},
          {44, "43   0x000002B0  0x000002B1  0x000002B2  0x000002B3  0x000002B4  0x000002B5  0x000002B6  "
               "0x000002B7\n"}}},
        {3, 56, 32, 8, {{56, "55   0x00000370  0x00000371  0x00000372  0x00000373  0x00000374  0x00000375  "
                             "0x00000376  0x00000377\n"}}},
        {4, 80, 32, 8,
         {{0, "FID Tape Write Pass Partn0 : 0xF1D0\n"},
          {1, "FID Tape Write Pass Partn1 : 0xF1D1\n"},
          {2, head12},
          {43, "40   -------------- Guard wrap between partitions --------------\n"},
          {82, "79   0x000004F0  0x000004F1  0x000004F2  0x000004F3  0x000004F4  0x000004F5  0x000004F6  "
               "0x000004F7\n"}}},
        {5, 0, 0, 0, {{0, "Unknown page version 5!  Page id is 5103\n"}}},
    };
    for (const Case &c : cases) {
        Page page(c.version, 0x103, 16 + c.entries * c.entry_size);
        for (u_int32 n = 0; n < c.entries; n++)
            for (u_int32 i = 0; i < c.fields; i++)
                page.be32(16 + n * c.entry_size + 4 * i, n << 4 | i);
        if (c.version == 4)
            page.be32(4, 0xF1D0).be32(8, 0xF1D1).be32(16 + 40 * 32 + 4, 0xFFFFFFFE);
        auto lines = decode(lto_cm_decode_tapedir_page, page);
        ASSERT_EQ(lines.size(), 3 + c.lines.back().first + 1) << "version " << c.version;
        EXPECT_EQ(lines[1], "Tape Directory\n");
        for (const auto &l : c.lines)
            EXPECT_EQ(lines[3 + l.first], l.second) << "version " << c.version;
    }
}

TEST(CmTapePages, EodByVersionAndPartition)
{
    const std::string common = "Tape write pass       : 0x4050607\n"
                               "Thread count          : 0x8090A0B\n"
                               "Record count @ EOD    : 0x100000005\n"
                               "Filemark count @ EOD  : 0x121314151617\n"
                               "EOD data set no.      : 0x18191A1B\n"
                               "EOD wrap section no.  : 0x1C1D1E1F\n";
    const std::string tail = "First EOD CQ set ACN  : 0x2223\n"
                             "EOD at LPOS value     : 0x24252627\n";
    struct Case {
        unsigned version, id, validity;
        std::string title, validity_text, drive;
    };
    const Case cases[] = {
        {0, 0x104, 0, "EOD Information", "position unknown", "CRC                   : 0x3C3D3E3F\n"},
        {1, 0x10E, 3, "EOD Information", "failed to write EOD",
         "Last drive mfr        : KVDR\n"
         "Last drive serialno   : SN12345678\n"
         "Last drive generation : 0x3637\n"
         "Last drive f/w ident  : 0x38393A3B\n"
         "CRC                   : 0x3C3D3E3F\n"},
        {2, 0x10E, 7, "EOD Information Partition 1", "Unknown status",
         "Last drive mfr        : KVDRIVE2\n"
         "Last drive serialno   : SN12345678901234\n"
         "Last drive generation : 0x4041\n"
         "Last drive f/w ident  : 0x42434445\n"
         "CRC                   : 0x5C5D5E5F\n"},
        {2, 0x104, 1, "EOD Information Partition 0", "per this area", ""},
        {3, 0x10E, 2, "EOD Information Partition 1", "backup in progress - no EOD", ""},
    };
    for (const Case &c : cases) {
        Page page = Page(c.version, c.id, 96).ramp().be16(12, 1).be32(14, 5).be16(32, c.validity);
        if (c.version == 1)
            page.text(40, "KVDRSN12345678");
        if (c.version == 2)
            page.text(40, "KVDRIVE2SN12345678901234");
        std::string text = cmtest::joined(decode(lto_cm_decode_eod_page, page));
        if (c.drive.empty()) {
            text = text.substr(0, text.find("Last drive"));
            text = text.substr(0, text.find("CRC"));
        }
        EXPECT_EQ(text, kSep + c.title + "\n" + kSep + common + "EOD validity          : " + c.validity_text + "\n" +
                            tail + c.drive)
            << "version " << c.version;
    }
    // Version 3 and above end at the EOD position.
    auto v3 = decode(lto_cm_decode_eod_page, Page(3, 0x104, 96).ramp());
    EXPECT_EQ(v3.back(), "EOD at LPOS value     : 0x24252627\n");
}

TEST(CmTapePages, CartridgeStatusByVersion)
{
    const std::string head = kSep + "Cartridge Status / Tape Alert flags\n" + kSep +
                             "Tape Alert flags      : 0001 8000 00F0 1234\n"
                             "Thread count          : -1 (0xFFFFFFFF)\n";
    auto page = [](unsigned version, u_int32 status) {
        return Page(version, 0x105, 64)
            .be32(4, 0x00018000)
            .be32(8, 0x00F01234)
            .be32(12, 0xFFFFFFFF)
            .be16(16, status)
            .be16(18, 3)
            .be16(20, 0x105)
            .be32(22, 0xFFFFFFFF)
            .be16(26, 0xFFFE);
    };
    EXPECT_EQ(cmtest::joined(decode(lto_cm_decode_cartstat_page, page(0, 1).be32(28, 0x28282828))),
              head + "Cartridge status      : Loaded\nCRC                   : 0x28282828\n");
    EXPECT_EQ(cmtest::joined(decode(lto_cm_decode_cartstat_page, page(2, 7).be32(28, 0x28282828))),
              head +
                  "Cartridge status      : Unknown\n"
                  "CM corrected count    : 3 (0x3)\n"
                  "Last corrected page   : 261 (0x105)\n"
                  "First encr object partn0: Unknown\n"
                  "CRC                   : 0x28282828\n");
    Page v3 = page(3, 2)
                  .be16(26, 0xFFFF)
                  .be32(28, 0xFFFFFFFF)
                  .be16(32, 0)
                  .be32(34, 1)
                  .be16(38, 2)
                  .be32(40, 0x12345678)
                  .be16(44, 0x9ABC)
                  .be32(60, 0x60606060);
    EXPECT_EQ(cmtest::joined(decode(lto_cm_decode_cartstat_page, v3)),
              head +
                  "Cartridge status      : Being written\n"
                  "CM corrected count    : 3 (0x3)\n"
                  "Last corrected page   : 261 (0x105)\n"
                  "First encr object partn0: None\n"
                  "First encr object partn1: 0xFFFFFFFF0000\n"
                  "First unencr object after First encr object partn0: 0x000000010002\n"
                  "First unencr object after First encr object partn1: 0x123456789ABC\n"
                  "CRC                   : 0x60606060\n");
}

}  // namespace
