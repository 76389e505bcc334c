// DDS mode-page setters, write protection and product identification through
// the emulated drive: exact CDBs and parameter lists, clamps, log texts, and
// replies the setters must refuse to edit.
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "dds_drive.h"
#include "ddslib.h"

namespace {

using Op = std::function<int32(DRIVE *)>;
using Lines = DdsDriveTest::Lines;

// Pages with bits set and clear around the ones the setters change. The
// cartridge is write-protected, so every MODE SELECT must clear that bit.
const char *kPages = R"(product = DDS DEMO
buffered = 1
density = 0x26
mode.0f = 0F 0E C0 80 00 00 00 20 00 00 00 20 00 00 00 00
mode.10 = 10 0E 18 01 00 00 00 00 21 00 00 00 00 00 00 00
mode.11 = 11 0A 01 01 10 00 03 00 00 00 00 00
mode.3e = 3E 02 01 00
write_protect = 1
)";
// Header as sent back (mode data length 0, write protect clear) and descriptor.
const std::string kHead = "00 00 10 08 26 00 00 00 00 00 00 00 ";

class DdsModePages : public DdsDriveTest {
protected:
    void open_drive(const std::string &settings = "") { DdsDriveTest::open_drive(settings, kPages); }
};

// Each case runs at each log level: the commands never change, the setter's
// own text appears first at LOG_EVERYTHING only.
TEST_F(DdsModePages, EachSetterSendsThePageBackWithOnlyItsChange)
{
    struct Case {
        const char *bus;
        Op op;
        const char *text;
        Lines expect;
    };
    const std::string p10 = "cmd 1A 00 10 00 1C 00", s10 = "cmd 15 10 00 00 1C 00";
    const std::string p11 = "cmd 1A 00 11 00 18 00", s11 = "cmd 15 10 00 00 18 00";
    const std::string p0f = "cmd 1A 00 0F 00 1C 00", s16 = "cmd 15 10 00 00 10 00";
    const std::string s0c = "cmd 15 10 00 00 0C 00", s04 = "cmd 15 10 00 00 04 00";
    const char *clear10 = "mode.10 = 10 0E 18 01 00 00 00 00 00 00 00 00 00 00 00 00\n";
    auto page10 = [&](const char *bytes) { return Lines{p10, s10, "out " + kHead + "10 0E " + bytes}; };
    // clang-format off
    const Case cases[] = {
        {clear10, [](DRIVE *d) { return dds_set_rsm(d, 2); }, "Enable RSmk", page10("18 01 00 00 00 00 20 00 00 00 00 00 00 00")},
        {clear10, [](DRIVE *d) { return dds_set_rew(d, 1); }, "Report EWEOM", page10("18 01 00 00 00 00 01 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_set_rsm(d, 0); }, "Disable RSmk", page10("18 01 00 00 00 00 01 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_set_rew(d, 0); }, "Don't report EWEOM", page10("18 01 00 00 00 00 20 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_change_partition(d, 0); }, "Change Active Partition to 0",
         page10("58 00 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_change_partition(d, 300); }, "Change Active Partition to 255",
         page10("58 FF 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_config_ecc(d, 1, 1, 5); }, "config error correction",
         page10("3D 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_config_ecc(d, 0, 0, 0); }, "config error correction",
         page10("20 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_config_ecc(d, 2, -1, 8); }, "config error correction",
         page10("38 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        // Only counts above 7 leave the group field; a negative one keeps its low bits.
        {"", [](DRIVE *d) { return dds_config_ecc(d, 2, 2, -1); }, "config error correction",
         page10("3F 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_config_ecc(d, 2, 2, -6); }, "config error correction",
         page10("3A 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_config_ecc(d, 1, 0, 7); }, "config error correction",
         page10("2F 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"", [](DRIVE *d) { return dds_set_compression(d, 0); }, "Disable compression",
         {p0f, s10, "out " + kHead + "0F 0E 40 80 00 00 00 20 00 00 00 20 00 00 00 00"}},
        // A reply shorter than the page but holding the byte goes back as short.
        {"mode.0f = 0F 0E 40 80 00 00 00 20 00 00 00 20 00 00 00 00\noverride = 1a short=10\n",
         [](DRIVE *d) { return dds_set_compression(d, 1); }, "Enable compression",
         {p0f, "cmd 15 10 00 00 12 00", "out " + kHead + "0F 0E C0 80 00 00"}},
        // A residue claiming more than was asked sends no more than was read.
        {"override = 1a resid=-100\n", [](DRIVE *d) { return dds_set_compression(d, 0); }, "Disable compression",
         {p0f, s10, "out " + kHead + "0F 0E 40 80 00 00 00 20 00 00 00 20 00 00 00 00"}},
        {"", [](DRIVE *d) { return dds_set_vuma_mode(d, 0); }, "Disable VUMA mode",
         {"cmd 1A 00 3E 00 10 00", s16, "out " + kHead + "3E 02 00 00"}},
        {"mode.3e = 3E 02 00 00\n", [](DRIVE *d) { return dds_set_vuma_mode(d, 1); }, "Enable VUMA mode",
         {"cmd 1A 00 3E 00 10 00", s16, "out " + kHead + "3E 02 01 00"}},
        {"", [](DRIVE *d) { return dds_modify_partitions(d, 1, 0x1234); }, "Initialize two partition tape",
         {p11, s11, "out " + kHead + "11 0A 01 01 30 00 03 00 00 00 12 34"}},
        {"", [](DRIVE *d) { return dds_modify_partitions(d, 999, 70000); }, "Initialize two partition tape",
         {p11, s11, "out " + kHead + "11 0A 01 FF 30 00 03 00 00 00 FF FF"}},
        {"mode.11 = 11 08 01 01 00 10 03 00 00 00\n", [](DRIVE *d) { return dds_modify_partitions(d, 0, 0x0102); },
         "Initialize single partition tape", {p11, "cmd 15 10 00 00 16 00", "out " + kHead + "11 08 01 00 20 10 03 00 01 02"}},
        {"", [](DRIVE *d) { return dds_set_fixed_record_size(d, 512); }, "Set fixed recsize = 512 bytes",
         {"cmd 1A 00 00 00 0C 00", s0c, "out 00 00 10 08 26 00 00 00 00 00 02 00"}},
        {"", [](DRIVE *d) { return dds_set_fixed_record_size(d, 0x20000000); }, "Set fixed recsize = 16777215 bytes",
         {"cmd 1A 00 00 00 0C 00", s0c, "out 00 00 10 08 26 00 00 00 00 FF FF FF"}},
        {"", [](DRIVE *d) { return dds_set_buffering(d, 9); }, "Set Buffered mode", {s04, "out 00 00 70 00"}},
        {"", [](DRIVE *d) { return dds_set_buffering(d, 0); }, "Set Unbuffered mode", {s04, "out 00 00 00 00"}},
    };
    // clang-format on
    for (const auto &c : cases) {
        for (log_level_type level : {LOG_NOTHING, LOG_ERRORS_ONLY, LOG_EVERYTHING}) {
            SCOPED_TRACE(std::string(c.text) + " " + c.bus + " at level " + std::to_string(level));
            open_drive(c.bus);
            log_at(level);
            EXPECT_EQ(c.op(&drv), 0);
            EXPECT_EQ(commands(), c.expect);
            char line[96] = "";
            if (level == LOG_EVERYTHING)
                std::snprintf(line, sizeof line, "T Sys | %-20s|\n", c.text);
            std::string log = log_text();
            EXPECT_EQ(log.substr(0, log.find('\n') + 1), line);
        }
    }
}

TEST_F(DdsModePages, RepliesThatCannotHoldTheEditSendNoModeSelect)
{
    struct Case {
        const char *name;
        std::string bus;
        Op op;
    };
    const Case cases[] = {
        {"rsm short of its byte", "override = 1a short=8\n", [](DRIVE *d) { return dds_set_rsm(d, 1); }},
        {"compression header only", "override = 1a short=16\n",
         [](DRIVE *d) { return dds_set_compression(d, 1); }},
        {"vuma short", "override = 1a short=2\n", [](DRIVE *d) { return dds_set_vuma_mode(d, 1); }},
        {"partition short", "override = 1a short=13\n", [](DRIVE *d) { return dds_change_partition(d, 1); }},
        {"ecc short", "override = 1a short=14\n", [](DRIVE *d) { return dds_config_ecc(d, 1, 1, 1); }},
        {"partition size short", "override = 1a short=3\n",
         [](DRIVE *d) { return dds_modify_partitions(d, 1, 5); }},
        {"record size short", "override = 1a short=1\n",
         [](DRIVE *d) { return dds_set_fixed_record_size(d, 512); }},
        {"wrong page code",
         "reply.1a0010 = 1B 00 10 08 26 00 00 00 00 00 00 00 0F 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n",
         [](DRIVE *d) { return dds_set_rew(d, 1); }},
        {"no block descriptor", "reply.1a000f = 13 00 10 00 0F 0E C0 80 00 00 00 20 00 00 00 20 00 00 00 00\n",
         [](DRIVE *d) { return dds_set_compression(d, 1); }},
        {"long block descriptor", "reply.1a0000 = 0F 00 10 10 26 00 00 00 00 00 00 00 00 00 00 00\n",
         [](DRIVE *d) { return dds_set_fixed_record_size(d, 512); }},
        {"mode sense fails", std::string("override = 1a ") + kCheck + "\n",
         [](DRIVE *d) { return dds_set_rsm(d, 1); }},
        {"negative partition", "", [](DRIVE *d) { return dds_change_partition(d, -1); }},
        {"negative partitions", "", [](DRIVE *d) { return dds_modify_partitions(d, -1, 10); }},
        {"negative partition size", "", [](DRIVE *d) { return dds_modify_partitions(d, 1, -10); }},
        {"negative record size", "", [](DRIVE *d) { return dds_set_fixed_record_size(d, -512); }},
        {"negative buffering", "", [](DRIVE *d) { return dds_set_buffering(d, -1); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        open_drive(c.bus);
        drv.fixed_rec_size = 77;
        EXPECT_EQ(c.op(&drv), -1);
        for (const auto &line : commands())
            EXPECT_NE(line.substr(0, 6), "cmd 15");
        EXPECT_EQ(drv.fixed_rec_size, 77);
        EXPECT_EQ(drv.fixed, 0);
    }
}

TEST_F(DdsModePages, FixedRecordSizeSetsTheHandleOnlyAfterModeSelect)
{
    for (auto [asked, size] : {std::pair{0x20000000, 0xFFFFFF}, {0, 0}}) {
        open_drive("block_length = 1024\n");
        drv.fixed = 1;
        ASSERT_EQ(dds_set_fixed_record_size(&drv, asked), 0);
        EXPECT_EQ(drv.fixed_rec_size, size);
        EXPECT_EQ(drv.fixed, size != 0);
    }
    open_drive(std::string("override = 15 ") + kCheck + "\n");
    drv.fixed_rec_size = 4;
    EXPECT_EQ(dds_set_fixed_record_size(&drv, 512), -1);
    EXPECT_EQ(drv.fixed_rec_size, 4);
    EXPECT_EQ(drv.fixed, 0);
}

// Changeable values show which bits a setter may flip; MODE SELECT refuses
// any other change and keeps the page as it was.
TEST_F(DdsModePages, ChangeableValuesBoundWhatModeSelectTakes)
{
    open_drive();
    unsigned char mask[28] = {};
    ASSERT_EQ(scsi_ext_mode_sense_subpage(&drv, 0, 1, 0x10, 0, mask, sizeof mask), 28);
    EXPECT_EQ(kvemu::to_hex(mask + 12, 16), "10 0E 7F FF FF FF FF FF 21 00 08 00 00 00 FF 00");
    EXPECT_EQ(dds_set_rsm(&drv, 1), 0);

    unsigned char page[28] = {};
    ASSERT_EQ(scsi_ext_mode_sense_subpage(&drv, 0, 0, 0x10, 0, page, sizeof page), 28);
    page[0] = 0;
    page[12 + 9] = 0x01;  // gap size: the drive's own
    EXPECT_EQ(scsi_mode_select(&drv, page, sizeof page), -1);
    EXPECT_EQ(drv.addl_sense, 0x2600);
    ASSERT_EQ(scsi_ext_mode_sense_subpage(&drv, 0, 0, 0x10, 0, page, sizeof page), 28);
    EXPECT_EQ(kvemu::to_hex(page + 12, 16), "10 0E 18 01 00 00 00 00 21 00 00 00 00 00 00 00");
}

TEST_F(DdsModePages, WriteProtectState)
{
    struct Case {
        const char *bus;
        int32 result;
        wpstate wp;
    };
    // Three bytes hold the write-protect bit; with fewer the output keeps its old value.
    const Case cases[] = {{"", 0, write_protected},
                          {"write_protect = 0\n", 0, write_enabled},
                          {"override = 1a short=1\n", 0, write_protected},
                          {"override = 1a short=2\n", -1, write_enabled}};
    for (const auto &c : cases) {
        open_drive(c.bus);
        wpstate wp = write_enabled;
        EXPECT_EQ(dds_get_WP(&drv, &wp), c.result);
        EXPECT_EQ(wp, c.wp);
        EXPECT_EQ(commands(), Lines{"cmd 1A 00 00 00 04 00"});
    }
}

TEST_F(DdsModePages, ProductIdIsAlwaysTerminated)
{
    struct Case {
        const char *bus;
        int32 result;
        const char *id;
    };
    const Case cases[] = {
        {"product = ABCDEFGHIJKLMNOP\n", 0, "ABCDEFGHIJKLMNOP"},
        {"inquiry = 01 80 03 02 5B 00 00 00 \"KV      \" \"DDS\" 00 \"ABCDEFGHIJKL\" \"V100\"\n", 0, "DDS"},
        {"override = 12 short=1\n", -1, "untouched"},
    };
    for (const auto &c : cases) {
        open_drive(c.bus);
        char id[DDS_PRODUCT_ID_SIZE + 1];
        std::memset(id, 'x', sizeof id);
        std::strcpy(id, "untouched");
        EXPECT_EQ(dds_get_product_id(&drv, id), c.result);
        EXPECT_STREQ(id, c.id);
        EXPECT_EQ(id[DDS_PRODUCT_ID_SIZE], 'x');
        EXPECT_EQ(commands(), Lines{"cmd 12 00 00 00 20 00"});
    }
}

}  // namespace
