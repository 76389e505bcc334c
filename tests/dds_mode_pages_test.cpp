// DDS mode-page setters, write protection and product identification through
// the emulated drive: exact CDBs and parameter lists, clamps, log texts, and
// replies the setters must refuse to edit.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ddslib.h"
#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

namespace {

using Op = std::function<int32(DRIVE *)>;
using Lines = std::vector<std::string>;

// Pages with bits set and clear around the ones the setters change. The
// cartridge is write-protected, so every MODE SELECT must clear that bit.
const char *kDrive = R"(host = 0
target = 3
type = 1
model = kv_dds
product = DDS DEMO
buffered = 1
density = 0x26
mode.0f = 0F 0E C0 80 00 00 00 20 00 00 00 20 00 00 00 00
mode.10 = 10 0E 18 01 00 00 00 00 21 00 00 00 00 00 00 00
mode.11 = 11 0A 01 01 10 00 03 00 00 00 00 00
mode.3e = 3E 02 01 00
write_protect = 1
)";
const char *kCheck = "status=2 sense=700005000000000A00000000240000000000";
// Header as sent back (mode data length 0, write protect clear) and descriptor.
const std::string kHead = "00 00 10 08 26 00 00 00 00 00 00 00 ";

class DdsModePages : public ::testing::Test {
protected:
    // The first of repeated keys counts, so a test's own settings go first.
    void open_drive(const std::string &extra = "")
    {
        TearDown();
        kvemu::load_bus_text("[device]\n" + extra + kDrive);
        drv = DRIVE{};
        drv.bus_addr = 3;
        ASSERT_EQ(scsi_open_device(&drv), 0);
        kvemu::clear_trace();
    }

    void log_at(log_level_type level)
    {
        logfp = open_memstream(&logbuf, &loglen);
        scsi_set_timedate_format("T");
        scsi_configure_logging(&drv, logfp, level);
    }

    std::string log_text()
    {
        std::fflush(logfp);
        return std::string(logbuf, loglen);
    }

    void TearDown() override
    {
        if (drv.fd > 0 && kvemu::bus_loaded())
            scsi_close_device(&drv);
        if (logfp)
            std::fclose(logfp);
        std::free(logbuf);
        logfp = nullptr;
        logbuf = nullptr;
        kvemu::unload_bus();
    }

    // Command and data lines of the trace, without the "sg0" node name.
    static Lines commands()
    {
        Lines out;
        for (const auto &l : kvemu::trace())
            if (l.rfind("cmd ", 0) == 0 || l.rfind("out ", 0) == 0)
                out.push_back(l.substr(0, 4) + l.substr(8));
        return out;
    }

    DRIVE drv{};
    FILE *logfp = nullptr;
    char *logbuf = nullptr;
    size_t loglen = 0;
};

TEST_F(DdsModePages, EachSetterSendsThePageBackWithOnlyItsChange)
{
    struct Case {
        const char *name, *bus;
        Op op;
        Lines expect;
    };
    const std::string p10 = "cmd 1A 00 10 00 1C 00", s10 = "cmd 15 10 00 00 1C 00";
    const std::string p11 = "cmd 1A 00 11 00 18 00", s11 = "cmd 15 10 00 00 18 00";
    const char *kClear = "mode.10 = 10 0E 18 01 00 00 00 00 00 00 00 00 00 00 00 00\n";
    auto page10 = [&](const char *bytes) { return Lines{p10, s10, "out " + kHead + "10 0E " + bytes}; };
    const Case cases[] = {
        {"rsm on", kClear, [](DRIVE *d) { return dds_set_rsm(d, 2); }, page10("18 01 00 00 00 00 20 00 00 00 00 00 00 00")},
        {"rew on", kClear, [](DRIVE *d) { return dds_set_rew(d, 1); }, page10("18 01 00 00 00 00 01 00 00 00 00 00 00 00")},
        {"rsm off", "", [](DRIVE *d) { return dds_set_rsm(d, 0); }, page10("18 01 00 00 00 00 01 00 00 00 00 00 00 00")},
        {"rew off", "", [](DRIVE *d) { return dds_set_rew(d, 0); }, page10("18 01 00 00 00 00 20 00 00 00 00 00 00 00")},
        {"partition", "", [](DRIVE *d) { return dds_change_partition(d, 0); },
         page10("58 00 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"partition clamp", "", [](DRIVE *d) { return dds_change_partition(d, 300); },
         page10("58 FF 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"ecc set", "", [](DRIVE *d) { return dds_config_ecc(d, 1, 1, 5); }, page10("3D 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"ecc clear", "", [](DRIVE *d) { return dds_config_ecc(d, 0, 0, 0); }, page10("20 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"ecc leave", "", [](DRIVE *d) { return dds_config_ecc(d, 2, -1, 8); }, page10("38 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"ecc negative group", "", [](DRIVE *d) { return dds_config_ecc(d, 2, 2, -1); },
         page10("38 01 00 00 00 00 21 00 00 00 00 00 00 00")},
        {"compression off", "", [](DRIVE *d) { return dds_set_compression(d, 0); },
         {"cmd 1A 00 0F 00 1C 00", s10, "out " + kHead + "0F 0E 40 80 00 00 00 20 00 00 00 20 00 00 00 00"}},
        {"compression short", "override = 1a short=10\n", [](DRIVE *d) { return dds_set_compression(d, 0); },
         {"cmd 1A 00 0F 00 1C 00", "cmd 15 10 00 00 12 00", "out " + kHead + "0F 0E 40 80 00 00"}},
        {"residue claims more", "override = 1a resid=-100\n", [](DRIVE *d) { return dds_set_compression(d, 0); },
         {"cmd 1A 00 0F 00 1C 00", s10, "out " + kHead + "0F 0E 40 80 00 00 00 20 00 00 00 20 00 00 00 00"}},
        {"vuma off", "", [](DRIVE *d) { return dds_set_vuma_mode(d, 0); },
         {"cmd 1A 00 3E 00 10 00", "cmd 15 10 00 00 10 00", "out " + kHead + "3E 02 00 00"}},
        {"two partitions", "", [](DRIVE *d) { return dds_modify_partitions(d, 1, 0x1234); },
         {p11, s11, "out " + kHead + "11 0A 01 01 30 00 03 00 00 00 12 34"}},
        {"partition clamps", "", [](DRIVE *d) { return dds_modify_partitions(d, 999, 70000); },
         {p11, s11, "out " + kHead + "11 0A 01 FF 30 00 03 00 00 00 FF FF"}},
        {"short partition page", "mode.11 = 11 08 01 01 00 10 03 00 00 00\n",
         [](DRIVE *d) { return dds_modify_partitions(d, 0, 0x0102); },
         {p11, "cmd 15 10 00 00 16 00", "out " + kHead + "11 08 01 00 20 10 03 00 01 02"}},
        {"record size", "", [](DRIVE *d) { return dds_set_fixed_record_size(d, 512); },
         {"cmd 1A 00 00 00 0C 00", "cmd 15 10 00 00 0C 00", "out 00 00 10 08 26 00 00 00 00 00 02 00"}},
        {"buffering clamp", "", [](DRIVE *d) { return dds_set_buffering(d, 9); },
         {"cmd 15 10 00 00 04 00", "out 00 00 70 00"}},
        {"unbuffered", "", [](DRIVE *d) { return dds_set_buffering(d, 0); }, {"cmd 15 10 00 00 04 00", "out 00 00 00 00"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        open_drive(c.bus);
        EXPECT_EQ(c.op(&drv), 0);
        EXPECT_EQ(commands(), c.expect);
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
        {"compression header only", "override = 1a short=16\n", [](DRIVE *d) { return dds_set_compression(d, 1); }},
        {"vuma short", "override = 1a short=2\n", [](DRIVE *d) { return dds_set_vuma_mode(d, 1); }},
        {"partition short", "override = 1a short=13\n", [](DRIVE *d) { return dds_change_partition(d, 1); }},
        {"ecc short", "override = 1a short=14\n", [](DRIVE *d) { return dds_config_ecc(d, 1, 1, 1); }},
        {"partition size short", "override = 1a short=3\n", [](DRIVE *d) { return dds_modify_partitions(d, 1, 5); }},
        {"record size short", "override = 1a short=1\n", [](DRIVE *d) { return dds_set_fixed_record_size(d, 512); }},
        {"wrong page code", "reply.1a0010 = 1B 00 10 08 26 00 00 00 00 00 00 00 0F 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n",
         [](DRIVE *d) { return dds_set_rew(d, 1); }},
        {"no block descriptor", "reply.1a000f = 13 00 10 00 0F 0E C0 80 00 00 00 20 00 00 00 20 00 00 00 00\n",
         [](DRIVE *d) { return dds_set_compression(d, 1); }},
        {"long block descriptor", "reply.1a0000 = 0F 00 10 10 26 00 00 00 00 00 00 00 00 00 00 00\n",
         [](DRIVE *d) { return dds_set_fixed_record_size(d, 512); }},
        {"mode sense fails", std::string("override = 1a ") + kCheck + "\n", [](DRIVE *d) { return dds_set_rsm(d, 1); }},
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
    struct Case {
        int32 asked, size;
        boolean fixed;
        const char *sent;
    };
    for (const Case &c : {Case{0x20000000, 0xFFFFFF, 1, "FF FF FF"}, Case{0, 0, 0, "00 00 00"}}) {
        open_drive("block_length = 1024\n");
        drv.fixed = 1;
        ASSERT_EQ(dds_set_fixed_record_size(&drv, c.asked), 0);
        EXPECT_EQ(commands().back(), "out " + kHead.substr(0, 27) + c.sent);
        EXPECT_EQ(drv.fixed_rec_size, c.size);
        EXPECT_EQ(drv.fixed, c.fixed);
    }
    open_drive(std::string("override = 15 ") + kCheck + "\n");
    drv.fixed_rec_size = 4;
    EXPECT_EQ(dds_set_fixed_record_size(&drv, 512), -1);
    EXPECT_EQ(drv.fixed_rec_size, 4);
    EXPECT_EQ(drv.fixed, 0);
}

TEST_F(DdsModePages, LogTextsAppearOnlyAtLogEverything)
{
    struct Case {
        Op op;
        const char *text;
    };
    const Case cases[] = {
        {[](DRIVE *d) { return dds_set_rsm(d, 1); }, "Enable RSmk"},
        {[](DRIVE *d) { return dds_set_rsm(d, 0); }, "Disable RSmk"},
        {[](DRIVE *d) { return dds_set_rew(d, 1); }, "Report EWEOM"},
        {[](DRIVE *d) { return dds_set_rew(d, 0); }, "Don't report EWEOM"},
        {[](DRIVE *d) { return dds_set_compression(d, 1); }, "Enable compression"},
        {[](DRIVE *d) { return dds_set_compression(d, 0); }, "Disable compression"},
        {[](DRIVE *d) { return dds_set_vuma_mode(d, 1); }, "Enable VUMA mode"},
        {[](DRIVE *d) { return dds_set_vuma_mode(d, 0); }, "Disable VUMA mode"},
        {[](DRIVE *d) { return dds_change_partition(d, 300); }, "Change Active Partition to 255"},
        {[](DRIVE *d) { return dds_config_ecc(d, 1, 1, 1); }, "config error correction"},
        {[](DRIVE *d) { return dds_modify_partitions(d, 0, 1); }, "Initialize single partition tape"},
        {[](DRIVE *d) { return dds_modify_partitions(d, 7, 1); }, "Initialize two partition tape"},
        {[](DRIVE *d) { return dds_set_fixed_record_size(d, 0x20000000); }, "Set fixed recsize = 16777215 bytes"},
        {[](DRIVE *d) { return dds_set_buffering(d, 9); }, "Set Buffered mode"},
        {[](DRIVE *d) { return dds_set_buffering(d, 0); }, "Set Unbuffered mode"},
    };
    for (const auto &c : cases) {
        for (log_level_type level : {LOG_NOTHING, LOG_ERRORS_ONLY, LOG_EVERYTHING}) {
            SCOPED_TRACE(std::string(c.text) + " at " + std::to_string(level));
            open_drive();
            log_at(level);
            ASSERT_EQ(c.op(&drv), 0);
            char line[96] = "";
            if (level == LOG_EVERYTHING)
                std::snprintf(line, sizeof line, "T Sys | %-20s|\n", c.text);
            std::string log = log_text();
            EXPECT_EQ(log.substr(0, log.find('\n') + 1), line);
        }
    }
}

TEST_F(DdsModePages, WriteProtectState)
{
    struct Case {
        const char *bus;
        int32 result;
        wpstate wp;
    };
    // With the header cut short the output keeps its old value.
    const Case cases[] = {{"", 0, write_protected}, {"write_protect = 0\n", 0, write_enabled},
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
