// Cartridge-memory pages 001h, 002h, 101h and 10Dh, through their text.
#include <string>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "ltolib.h"

namespace {

using cmtest::Page;

const std::string kSep = "------------------------------------\n";

std::string decode(void (*decoder)(u_int8 *, pfvv), Page page)
{
    auto calls = cmtest::capture([&](pfvv sink) { decoder(page.data(), sink); });
    EXPECT_TRUE(cmtest::one_line_per_call(calls));
    return cmtest::joined(calls);
}

TEST(CmIdentityPages, CartridgeManufacturer)
{
    Page page = Page(0, 0x001, 64)
                    .text(4, "KVTAPES1")
                    .text(12, std::string("AB1\0XYZ123", 10))  // a NUL ends the serial
                    .be16(22, 0x0020)
                    .text(24, "20240131")
                    .be16(32, 3202)
                    .be16(34, 6554)
                    .be16(36, 1234)
                    .be16(38, 11264)
                    .be16(40, 22016)
                    .be16(42, 7000)
                    .text(44, "LC42")
                    .text(48, "INFO56789ABC")
                    .be32(60, 0xDEADBEEF);
    EXPECT_EQ(decode(lto_cm_decode_cartmfr_page, page),
              kSep + "Cartridge Manufacturer's Information\n" + kSep +
                  "Cartr manufacturer    : KVTAPES1\n"
                  "Serial number         : AB1\n"
                  "Cartridge type        : Not yet decoded (0x0020)\n"
                  "Manufacture date      : 20240131\n"
                  "Tape length           : 3202 (800m)\n"
                  "Tape thickness        : 6554 (6.4um)\n"
                  "Empty reel inertia    : 1234 (4.8E-06 kg/m2)\n"
                  "Hub radius            : 11264 (11.0mm)\n"
                  "Full reel pack radius : 22016 (21.5mm)\n"
                  "Maximum media speed   : 7000 mm/sec\n"
                  "License Code          : LC42\n"
                  "Manufacturer's info   : INFO56789ABC\n"
                  "CRC                   : 0xDEADBEEF\n");

    page.be16(22, 0x2008);
    EXPECT_NE(decode(lto_cm_decode_cartmfr_page, page).find("Cartridge type        : WORM Ultrium-4 (0x2008)\n"),
              std::string::npos);
}

TEST(CmIdentityPages, MediaManufacturerByVersion)
{
    const std::string servo = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuv";  // 48 characters
    const std::string head = kSep + "Media Manufacturer's Information\n" + kSep;
    EXPECT_EQ(decode(lto_cm_decode_mediamfr_page, Page(0, 0x002, 64).text(4, servo).be32(60, 0x11223344)),
              head + "Servowriter mfr       : " + servo + "\nCRC                   : 0x11223344\n");
    EXPECT_EQ(decode(lto_cm_decode_mediamfr_page, Page(1, 0x002, 64).text(4, servo).be32(60, 0x11223344)),
              head + "Servowriter mfr       : " + servo.substr(0, 44) +
                  "\nServowriter ident/csum: 0x73747576\n"
                  "CRC                   : 0x11223344\n");
}

TEST(CmIdentityPages, InitialisationByVersion)
{
    const std::string head = kSep + "Initialisation Data\n" + kSep + "Initialising drive mfr: KVDRIVE1\n";
    auto early = [](unsigned version) {
        return Page(version, 0x101, 64)
            .text(4, "KVDRIVE1")
            .text(12, "0123456789")
            .be16(22, 0x4C54)
            .be32(24, 0x11)
            .be32(28, 0x22)
            .be32(32, 0x33)
            .be32(36, 0x44)
            .be32(40, 0x55)
            .be32(44, 0x66)
            .text(48, "2a5c")
            .be32(60, 0xC0FFEE);
    };
    const std::string id10 = "Drive id              : 0123456789\n";
    const std::string lp123 = "Format type           : 0x4C54\n"
                              "LP1 position          : 0x11\n"
                              "LP2 position          : 0x22\n"
                              "LP3 position          : 0x33\n";
    const std::string lp56 = "LP5 position          : 0x55\n"
                             "LP6 position          : 0x66\n";
    EXPECT_EQ(decode(lto_cm_decode_init_page, early(1)),
              head + id10 + lp123 + "LP4 position          : 0x44\n" + lp56 + "CRC                   : 0xC0FFEE\n");
    EXPECT_EQ(decode(lto_cm_decode_init_page, early(2)),
              head + id10 + lp123 + lp56 + "Firmware identity     : 2.a5c (0x32613563)\nCRC                   : 0xC0FFEE\n");

    Page v3 = Page(3, 0x101, 72)
                  .text(4, "KVDRIVE1")
                  .text(12, "0123456789ABCDEF")
                  .be16(28, 0x4C54)
                  .be32(32, 0x11)
                  .be32(36, 0x22)
                  .be32(40, 0x33)
                  .be32(44, 0x44)  // no LP4 from version 2 on
                  .be32(48, 0x55)
                  .be32(52, 0x66)
                  .text(56, std::string("B12\0", 4))  // 'B' counts as its code, 66
                  .be32(68, 0xFEEDF00D);
    EXPECT_EQ(decode(lto_cm_decode_init_page, v3),
              head + "Drive id              : 0123456789ABCDEF\n" + lp123 + lp56 +
                  "Firmware identity     : 66. 12 (0x42313200)\nCRC                   : 0xFEEDF00D\n");
}

TEST(CmIdentityPages, CartridgeContentPartitionForms)
{
    struct Case {
        unsigned version;
        u_int32 wraps;  // partition 0 first, last, partition 1 first, last
        std::string lines;
    };
    const Case cases[] = {
        {0, 0x01021E37,
         "Drive id              : SERIAL0001\n"
         "Cartridge content     : 0x102\n"},
        {1, 0x001B0000,
         "Drive id              : SERIAL0001234567\n"
         "Cartridge content     : 0x102\n"
         "Partition Location    : Partn 0 wraps 0 to 27\n"},
        {1, 0x011B0000 | 30 << 8 | 55,
         "Drive id              : SERIAL0001234567\n"
         "Cartridge content     : 0x102\n"
         "Partition Location    : Partn 0 wraps 1 to 27, Partn1 wraps 30 to 55\n"},
    };
    for (const Case &c : cases) {
        Page page = Page(c.version, 0x10D, 64)
                        .text(4, "KVLAST01")
                        .text(12, "SERIAL0001234567")
                        .be16(c.version == 0 ? 22 : 28, 0x102)
                        .be32(32, c.wraps)
                        .be32(36, 0x777)
                        .text(48, "a123")
                        .be32(60, 0xABCD);
        EXPECT_EQ(decode(lto_cm_decode_cartcont_page, page),
                  kSep + "Cartridge Content Data\n" + kSep + "Last updated drive mfr: KVLAST01\n" + c.lines +
                      "LP4 position          : 0x777\n"
                      "Firmware identity     : 10.123 (0x61313233)\n"
                      "CRC                   : 0xABCD\n")
            << "version " << c.version;
    }
}

}  // namespace
