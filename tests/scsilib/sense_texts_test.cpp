// Status and sense texts: exact wording, lookups over the whole code space.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "ddslib.h"

namespace {

std::string status_text(unsigned driver, unsigned scsi)
{
    DRIVE d{};
    d.driver_status = static_cast<u_int8>(driver);
    d.scsi_status = static_cast<u_int8>(scsi);
    char text[DDS_STATUS_TEXT_SIZE];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(dds_print_status(&d, text), text);
    return text;
}

std::string sense_text(unsigned byte2, unsigned asc, unsigned ascq)
{
    unsigned char sense[18] = {0x70};
    sense[2] = static_cast<unsigned char>(byte2);
    sense[12] = static_cast<unsigned char>(asc);
    sense[13] = static_cast<unsigned char>(ascq);
    char text[DDS_SENSE_TEXT_SIZE];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(dds_decode_sense(sense, text), text);
    return text;
}

// What follows " : " in a decoded text.
std::string detail_of(unsigned asc, unsigned ascq)
{
    std::string t = sense_text(0, asc, ascq);
    return t.substr(std::strlen("No Sense (00) : "));
}

TEST(StatusText, NamesBothStatuses)
{
    struct Row {
        unsigned driver, scsi;
        const char *text;
    } rows[] = {
        {0, 2, "Driver status = Good, SCSI status = Check condition"},
        {0xFF, 0xFF, "Driver status = Illegal command or operation, SCSI status = No status phase"},
        {1, 8, "Driver status = Timed out, SCSI status = Busy"},
        {3, 4, "Driver status = BusFree error, SCSI status = Condition met"},
        {5, 16, "Driver status = Tfr Length error, SCSI status = Intermediate"},
        {9, 24, "Driver status = Selection timeout, SCSI status = Reservation conflict"},
        {16, 34, "Driver status = Bus phase error, SCSI status = Command terminated"},
        {32, 40, "Driver status = AutoReqSense err, SCSI status = Queue full"},
        {0x42, 0, "Driver status = Unknown (42), SCSI status = Good"},
        {2, 0x0A, "Driver status = Unknown (2), SCSI status = Unknown (a)"},
        {0xFE, 0x14, "Driver status = Unknown (fe), SCSI status = Intermediate condition met"},
        // The longest text: 86 characters.
        {0xFF, 0x14, "Driver status = Illegal command or operation, SCSI status = Intermediate condition met"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(status_text(r.driver, r.scsi), r.text) << r.driver << "/" << r.scsi;
}

TEST(SenseText, KeyNamesUseTheLowNibbleOfByte2)
{
    const char *names[16] = {
        "No Sense (00)",       "Recovered Error (01)", "Not Ready (02)",      "Medium Error (03)",
        "Hardware Error (04)", "Illegal Request (05)", "Unit Attention (06)", "Data Protect (07)",
        "Blank Check (08)",    "Vendor Specific (09)", "Copy Aborted (0A)",   "Aborted Command (0B)",
        "Equal (0C)",          "Volume Overflow (0D)", "Miscompare (0E)",     "Reserved (0F)",
    };
    for (unsigned key = 0; key < 16; ++key) {
        // The FILEMARK, EOM and ILI bits above the key never change the name.
        for (unsigned high : {0x00u, 0x20u, 0x60u, 0xE0u}) {
            std::string t = sense_text(high | key, 0, 0);
            EXPECT_EQ(t, std::string(names[key]) + " : No addl sense (00 00)") << std::hex << (high | key);
        }
    }
    EXPECT_EQ(sense_text(0x63, 0x11, 0x00), "Medium Error (03) : Unrecovered Read Error (11 00)");
}

TEST(SenseText, ExactWordingOfSelectedCodes)
{
    struct Row {
        unsigned asc, ascq;
        const char *text;
    } rows[] = {
        {0x04, 0x0C, "LUN not accessible, port unavail(04 0C)"},
        {0x30, 0x01, "Cant read - Unknown Format (30 01)"},
        {0x30, 0x02, "Cant read - Incompatible Format (30 02)"},
        {0x30, 0x04, "Cant write Medium (30 04)"},
        {0x30, 0x05, "Cant write: Incompatible Format (30 05)"},
        {0x2B, 0x00, "Can't Copy - no disconnects (2B 00)"},
        {0x04, 0x02, "Initialising cmd required (04 02)"},
        {0x00, 0x02, "End of medium/partition (00 02)"},
        {0x10, 0x00, "ID CRC / ECC error (10 00)"},
        {0x11, 0x12, "MAM read Error (11 12)"},
        {0x26, 0x12, "VendorSpecific KeyRef not found (26 12)"},
        {0x29, 0x00, "PowerOn / Reset (29 00)"},
        {0x29, 0x07, "I_T Nexus loss occurred (29 07)"},
        {0x2A, 0x12, "Encrypt params changed VenSpec (2A 12)"},
        {0x3A, 0x04, "Med not present, MAM accessible (3A 04)"},
        {0x3B, 0x0E, "Medium Src Element Empty (3B 0E)"},
        {0x4B, 0x90, "Bad data length (4B 90)"},
        {0x5D, 0xFF, "Failure prediction false (5D FF)"},
        {0x74, 0x08, "Digital signature validation failure (74 08)"},
        {0x74, 0x6E, "External encryption control timeout (74 6E)"},
        {0x74, 0x80, "Key-associated descriptors changed (74 80)"},
        {0x82, 0x83, "Bad microcode (82 83)"},
        {0xA3, 0x01, "Invalid LogEOT posn requested (A3 01)"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(detail_of(r.asc, r.ascq), r.text);
}

// Every code of the list names itself in parentheses at the end of its text;
// everything else is either an overlapped-command tag or not decoded.
TEST(SenseText, WholeCodeSpace)
{
    const std::set<unsigned> expected_ascs = {0x00, 0x04, 0x09, 0x0B, 0x0C, 0x10, 0x11, 0x14, 0x15, 0x17, 0x18,
                                              0x1A, 0x20, 0x21, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B,
                                              0x2C, 0x30, 0x31, 0x33, 0x35, 0x37, 0x3A, 0x3B, 0x3D, 0x3E, 0x3F,
                                              0x43, 0x44, 0x45, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4E, 0x50, 0x51,
                                              0x52, 0x53, 0x55, 0x5D, 0x74, 0x82, 0xA3};
    int known = 0;
    std::set<unsigned> ascs;
    for (unsigned asc = 0; asc < 256; ++asc) {
        for (unsigned ascq = 0; ascq < 256; ++ascq) {
            std::string d = detail_of(asc, ascq);
            char code[16];
            if (asc == 0x4D) {
                char want[64];
                std::snprintf(want, sizeof want, "Overlapped tagged commands, tag %X (4D %02X)", ascq, ascq);
                EXPECT_EQ(d, want);
                continue;
            }
            std::snprintf(code, sizeof code, "(%02X%02X)", asc, ascq);
            if (d == std::string("Not yet decoded ") + code)
                continue;
            ++known;
            ascs.insert(asc);
            std::snprintf(code, sizeof code, "(%02X %02X)", asc, ascq);
            ASSERT_GT(d.size(), 8u);
            EXPECT_EQ(d.substr(d.size() - 7), code) << d;
            EXPECT_LE(d.size(), 44u) << d;  // the key name and " : " leave 44 of 67
        }
    }
    EXPECT_EQ(known, 156);
    EXPECT_EQ(ascs, expected_ascs);
}

TEST(SenseText, FallbackTexts)
{
    EXPECT_EQ(detail_of(0x4D, 0x05), "Overlapped tagged commands, tag 5 (4D 05)");
    EXPECT_EQ(detail_of(0x4D, 0x00), "Overlapped tagged commands, tag 0 (4D 00)");
    EXPECT_EQ(detail_of(0x00, 0x06), "Not yet decoded (0006)");
    EXPECT_EQ(detail_of(0x3F, 0x03), "Not yet decoded (3F03)");
    EXPECT_EQ(detail_of(0xFF, 0xFF), "Not yet decoded (FFFF)");
    EXPECT_EQ(sense_text(0x05, 0x4D, 0xAB),
              "Illegal Request (05) : Overlapped tagged commands, tag AB (4D AB)");
}

TEST(SenseText, LongestTextFitsTheBuffer)
{
    std::string t = sense_text(0x01, 0x74, 0x08);
    EXPECT_EQ(t, "Recovered Error (01) : Digital signature validation failure (74 08)");
    EXPECT_EQ(t.size(), 67u);
}

}  // namespace
