// Drive tables and the firmware configuration file reader.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config.h"
#include "scratch.h"

namespace {

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(table_, 0xA5, sizeof table_);  // the reader must clear it
    }
    void write_cfg(const std::string &text)
    {
        mkdir("fwimage", 0755);
        scratch::write_file("fwimage/firmware.cfg", text);
    }
    int read(const std::string &text)
    {
        write_cfg(text);
        return read_firmware_config_file(table_);
    }
    void expect_free_from(int first)
    {
        static const driveinfo zero{};
        for (int i = first; i < MAX_DRIVES; ++i)
            EXPECT_EQ(std::memcmp(&table_[i], &zero, sizeof zero), 0) << "record " << i;
    }
    scratch::Dir dir_{true};
    driveinfo table_[MAX_DRIVES];
};

struct Entry {
    u_int32 id;
    const char *file;
    double version;
};

const std::string kName127(127, 'N');
// An entry padded with blanks to the longest line read whole.
const std::string kLine254 = "A|X|1.0" + std::string(247, ' ');

struct FileCase {
    const char *name;
    std::string text;
    std::vector<Entry> entries;
};

TEST_F(ConfigFile, EntryLines)
{
    const FileCase cases[] = {
        {"plain", "1a2b|lto5.fmw|2.50\n3C|dds.img|2.5\n", {{0x1A2B, "LTO5.FMW", 2.5}, {0x3C, "DDS.IMG", 2.5}}},
        {"comments and empty lines", "$ header\n\n0x10|A|1\n$10|B|2\n", {{0x10, "A", 1.0}}},
        {"dollar after blanks is data", "  $10|B|2\n", {{0, "B", 2.0}}},
        {"blank line is an entry", "   \n7|X|3\n", {{0, "", 0.0}, {7, "X", 3.0}}},
        {"blanks around fields", " 0x20 | img.bin |  4.10  \n", {{0x20, " IMG.BIN ", 4.1}}},
        {"runs and ends of bars", "||0x30|||f|1.5||extra|\n", {{0x30, "F", 1.5}}},
        {"CRLF keeps CR in last field", "1|a|2.0\r\n2|b\r\n", {{1, "A", 2.0}, {2, "B\r", 0.0}}},
        {"no final newline", "5|e|9", {{5, "E", 9.0}}},
        {"fields that are no numbers", "zz|f|v1\n", {{0, "F", 0.0}}},
        {"id only", "AB\n", {{0xAB, "", 0.0}}},
        {"empty file", "", {}},
        {"comments only", "$ one\n$two\n", {}},
        // A name that FwFile cannot hold whole, or a piece of a line longer than
        // one read, names no image: cut, it would name another file.
        {"name of 127", "1|" + std::string(127, 'n') + "|2\n", {{1, kName127.c_str(), 2.0}}},
        {"name of 128", "1|" + std::string(128, 'n') + "|2\n", {{1, "", 2.0}}},
        {"line of 254", kLine254 + "\nB|y|2\n", {{0xA, "X", 1.0}, {0xB, "Y", 2.0}}},
        {"line of 254 ending the file", kLine254, {{0xA, "X", 1.0}}},
        {"line of 255 is 254 and a piece",
         kLine254 + "B\n7|z|3\n",
         {{0xA, "", 1.0}, {0xB, "", 0.0}, {7, "Z", 3.0}}},
        {"line of 255 ending the file", kLine254 + "B", {{0xA, "", 1.0}, {0xB, "", 0.0}}},
    };
    for (const FileCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(read(c.text), static_cast<int>(c.entries.size()));
        EXPECT_EQ(count(table_), static_cast<int>(c.entries.size()));
        for (size_t i = 0; i < c.entries.size(); ++i) {
            const driveinfo &r = table_[i];
            EXPECT_EQ(r.Configured, 1) << i;
            EXPECT_EQ(r.DriveID, c.entries[i].id) << i;
            EXPECT_STREQ(r.FwFile, c.entries[i].file) << i;
            EXPECT_DOUBLE_EQ(r.FwVersion, c.entries[i].version) << i;
            EXPECT_EQ(r.Type, Ultrium) << i;
            EXPECT_STREQ(r.VendorID, "") << i;
        }
        expect_free_from(static_cast<int>(c.entries.size()));
    }
}

TEST_F(ConfigFile, MissingFileGivesMinusOneAndEmptyTable)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_firmware_config_file(table_), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    expect_free_from(0);
}

// A FIFO without a writer would block the reader for ever, a link to a device
// such as /dev/zero feed it for ever: neither is a configuration.
TEST_F(ConfigFile, OnlyARegularFileIsRead)
{
    const struct {
        const char *what;
        int (*make)(const char *path);
    } cases[] = {
        {"fifo", [](const char *p) { return mkfifo(p, 0600); }},
        {"link to /dev/zero", [](const char *p) { return symlink("/dev/zero", p); }},
        {"directory", [](const char *p) { return mkdir(p, 0755); }},
    };
    ASSERT_EQ(mkdir("fwimage", 0755), 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.make("fwimage/firmware.cfg"), 0);
        std::memset(table_, 0xA5, sizeof table_);
        alarm(60);  // a reader that blocks ends the test program, not the run
        EXPECT_EQ(read_firmware_config_file(table_), -1);
        alarm(0);
        expect_free_from(0);
        remove("fwimage/firmware.cfg");
    }
}

TEST_F(ConfigFile, LongLinesAreReadInPiecesOf254)
{
    // 300 characters: the first 254 form one entry, the remaining 46 another;
    // neither names an image.
    std::string line = "1|" + std::string(252, 'f') + std::string(40, 'g') + "|2|3.0";
    ASSERT_EQ(line.size(), 300u);
    ASSERT_EQ(read(line + "\n9|n|1\n"), 3);
    EXPECT_EQ(table_[0].DriveID, 1u);
    EXPECT_STREQ(table_[0].FwFile, "");
    EXPECT_EQ(table_[1].DriveID, 0u);  // "GGG...|2|3.0"
    EXPECT_STREQ(table_[1].FwFile, "");
    EXPECT_DOUBLE_EQ(table_[1].FwVersion, 3.0);
    EXPECT_EQ(table_[2].DriveID, 9u);
}

TEST_F(ConfigFile, LineOf254CharactersAndItsNewline)
{
    std::string line = "A|" + std::string(248, 'x') + "|1.0";
    ASSERT_EQ(line.size(), 254u);
    ASSERT_EQ(read(line + "\nB|y|2\n"), 2);  // the lone newline left over is an empty line
    EXPECT_EQ(table_[0].DriveID, 0xAu);
    EXPECT_DOUBLE_EQ(table_[0].FwVersion, 1.0);
    EXPECT_EQ(table_[1].DriveID, 0xBu);
}

TEST_F(ConfigFile, StopsFillingAtTwentyThreeEntries)
{
    std::string text;
    for (int i = 1; i <= 30; ++i)
        text += std::to_string(i) + "|f" + std::to_string(i) + "|1.0\n";
    ASSERT_EQ(read(text), MAX_DRIVES);
    EXPECT_EQ(count(table_), MAX_DRIVES);
    EXPECT_EQ(table_[22].DriveID, 0x23u);
    EXPECT_STREQ(table_[22].FwFile, "F23");
}

TEST_F(ConfigFile, BinaryBytesGiveADefinedEntry)
{
    std::string text("\x01\xff|\x00zz|1\n2|\xfe\x80|3\n", 17);
    ASSERT_EQ(read(text), 2);
    EXPECT_EQ(table_[0].DriveID, 0u);
    EXPECT_STREQ(table_[0].FwFile, "");  // the field ends at the NUL
    EXPECT_EQ(table_[1].DriveID, 2u);
    EXPECT_STREQ(table_[1].FwFile, "\xfe\x80");
    EXPECT_DOUBLE_EQ(table_[1].FwVersion, 3.0);
}

TEST_F(ConfigFile, TraceLines)
{
    debug_config = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_firmware_config_file(table_), -1);
    std::string text;
    for (int i = 1; i <= 24; ++i)
        text += i == 1 ? "5a01|img|2.50|x|y\n" : "1|f|1\n";
    EXPECT_EQ(read(text), MAX_DRIVES);
    std::string out = testing::internal::GetCapturedStdout();
    debug_config = 0;
    std::string expected = "Unable to open configuration file 'fwimage/firmware.cfg'"
                           "Record 0 =>\n\t(1) 5A01\n\t(2) IMG\n\t(3) 2.5\n"
                           "\tUnexpected syntax\tUnexpected syntax";
    for (int i = 1; i < MAX_DRIVES; ++i)
        expected += "Record " + std::to_string(i) + " =>\n\t(1) 1\n\t(2) F\n\t(3) 1\n";
    expected += "\tMax number of entries [23] exceeded in config file\n";
    EXPECT_EQ(out, expected);
}

class Tables : public ::testing::Test {
protected:
    driveinfo t_[MAX_DRIVES] = {};
};

TEST_F(Tables, FindDriveAndCount)
{
    EXPECT_EQ(count(t_), 0);
    EXPECT_EQ(find_drive(0, t_), &t_[0]);  // a free record has DriveID 0
    t_[0] = driveinfo{};
    t_[0].Configured = 1;
    t_[0].DriveID = 0x10;
    t_[3].Configured = 1;
    t_[3].DriveID = 0x20;
    t_[5].Configured = 2;
    t_[5].DriveID = 0x20;
    t_[22].Configured = 1;
    t_[22].DriveID = 0x77;
    EXPECT_EQ(count(t_), 4);
    EXPECT_EQ(find_drive(0x77, t_), &t_[22]);  // the last record is searched too
    EXPECT_EQ(find_drive(0x20, t_), &t_[3]);
    EXPECT_EQ(find_drive(0x10, t_), &t_[0]);
    EXPECT_EQ(find_drive(0, t_), &t_[1]);
    EXPECT_EQ(find_drive(0x30, t_), nullptr);
    EXPECT_EQ(concatenate(t_, t_), 0);
}

TEST_F(Tables, PrintConfigEmpty)
{
    testing::internal::CaptureStdout();
    print_config(t_);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "None\n");
}

TEST_F(Tables, PrintConfigExactLines)
{
    driveinfo &a = t_[0];
    a.Configured = 1;
    a.DriveID = 0x1a2b;
    a.PeripheralQualifier = 0;
    a.PeripheralDeviceType = 1;
    std::strcpy(a.VendorID, "KV");
    std::strcpy(a.ProductID, "Ultrium 5-SCSI");
    a.FwVersion = 2.5;
    std::strcpy(a.FwFile, "LTO5.FMW");
    std::strcpy(a.Action, "  upgrade ");
    driveinfo &b = t_[2];
    b.Configured = 1;
    b.DriveID = 0x5;
    b.FwVersion = 10;
    std::strcpy(b.Action, "   ");
    t_[4].Configured = 2;  // in use for count, not printed
    std::memset(t_[5].Action, 'x', sizeof t_[5].Action);
    t_[5].Configured = 1;
    std::memset(t_[5].FwFile, 'y', sizeof t_[5].FwFile);  // no NUL: printed bounded

    testing::internal::CaptureStdout();
    print_config(t_);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "i = 0, Drive ID = 0x001a2b\n"
                   "\tPeripheral Qualifier = 0, Peripheral Device Type = 1 \n"
                   "\tVendorID = KV, ProductID = Ultrium 5-SCSI\n"
                   "\tFw Version = 2.5 Fw File = LTO5.FMW\n"
                   "\tAction = upgrade\n"
                   "i = 2, Drive ID = 0x000005\n"
                   "\tPeripheral Qualifier = 0, Peripheral Device Type = 0 \n"
                   "\tVendorID = , ProductID = \n"
                   "\tFw Version = 10 Fw File = \n"
                   "i = 5, Drive ID = 00000000\n"
                   "\tPeripheral Qualifier = 0, Peripheral Device Type = 0 \n"
                   "\tVendorID = , ProductID = \n"
                   "\tFw Version = 0 Fw File = " +
                       std::string(128, 'y') + "\n\tAction = " + std::string(127, 'x') + "\n");
    EXPECT_STREQ(a.Action, "  upgrade ");  // printing changes nothing
}

}  // namespace
