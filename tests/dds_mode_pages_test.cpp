// DDS mode-page setters, write protection and product identification, through
// the emulated drive: exact CDBs and parameter lists, clamps, log texts, and
// replies the setters must not edit.
#include <algorithm>
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

using kvemu::Bytes;

const char *kDrive = R"(
host = 0
target = 3
type = 1
model = dds_pages
vendor = KV
product = DDS DEMO
buffered = 1
density = 0x26
)";

// Pages the setters edit, with bits set and clear around the ones they change.
const char *kPages = R"(
mode.0f = 0F 0E C0 80 00 00 00 20 00 00 00 20 00 00 00 00
mode.10 = 10 0E 18 01 00 00 00 00 21 00 00 00 00 00 00 00
mode.11 = 11 0A 01 01 10 00 03 00 00 00 00 00
mode.3e = 3E 02 01 00
)";

class DdsModePages : public ::testing::Test {
protected:
    // The drive's cartridge is write-protected unless `protect` is false.
    void open_drive(const std::string &extra = "", bool protect = true)
    {
        // The first of repeated keys counts: the test's own settings come first.
        kvemu::load_bus_text("[device]\n" + extra + kDrive + kPages + (protect ? "write_protect = 1\n" : ""));
        drv = DRIVE{};
        drv.card_id = 0;
        drv.bus_addr = 3;
        ASSERT_EQ(scsi_open_device(&drv), 0);
        kvemu::clear_trace();
    }

    void log_to_memory(log_level_type level)
    {
        logfp = open_memstream(&logbuf, &loglen);
        scsi_set_timedate_format("T");
        scsi_configure_logging(&drv, logfp, level);
    }

    std::string log_text()
    {
        if (!logfp)
            return "";
        std::fflush(logfp);
        return std::string(logbuf, loglen);
    }

    void TearDown() override
    {
        if (drv.fd >= 0 && kvemu::bus_loaded())
            scsi_close_device(&drv);
        if (logfp)
            std::fclose(logfp);
        std::free(logbuf);
        logfp = nullptr;
        logbuf = nullptr;
        kvemu::unload_bus();
    }

    // Command and data lines of the trace, without opens and closes.
    std::vector<std::string> commands() const
    {
        std::vector<std::string> out;
        for (const auto &l : kvemu::trace())
            if (l.rfind("cmd ", 0) == 0 || l.rfind("out ", 0) == 0)
                out.push_back(l);
        return out;
    }

    bool sent_mode_select() const
    {
        for (const auto &l : kvemu::trace())
            if (l.rfind("cmd sg0 15", 0) == 0)
                return true;
        return false;
    }

    DRIVE drv{};
    FILE *logfp = nullptr;
    char *logbuf = nullptr;
    size_t loglen = 0;
};

// Reply of the emulated drive above for `page`: header with write protect and
// buffered mode 1, block descriptor with density 26h, then the page.
Bytes sensed(const std::string &page_hex)
{
    Bytes page = kvemu::parse_hex(page_hex);
    Bytes r(12 + page.size(), 0);
    r[0] = static_cast<uint8_t>(r.size() - 1);
    r[2] = 0x90;
    r[3] = 8;
    r[4] = 0x26;
    std::copy(page.begin(), page.end(), r.begin() + 12);
    return r;
}

struct Edit {
    const char *name;
    std::function<int32(DRIVE *)> op;
    const char *sense_cdb;
    const char *page;                          // page as the drive holds it
    std::vector<std::pair<int, uint8_t>> set;  // reply byte -> value sent back
};

TEST_F(DdsModePages, EachSetterSendsThePageBackWithOnlyItsChange)
{
    const char *p10 = "10 0E 18 01 00 00 00 00 21 00 00 00 00 00 00 00";
    const char *p0f = "0F 0E C0 80 00 00 00 20 00 00 00 20 00 00 00 00";
    const char *p11 = "11 0A 01 01 10 00 03 00 00 00 00 00";
    const char *p3e = "3E 02 01 00";
    const std::vector<Edit> edits = {
        {"rsm on", [](DRIVE *d) { return dds_set_rsm(d, 1); }, "1A 00 10 00 1C 00", p10, {}},
        {"rsm off", [](DRIVE *d) { return dds_set_rsm(d, 0); }, "1A 00 10 00 1C 00", p10, {{20, 0x01}}},
        {"rsm nonzero", [](DRIVE *d) { return dds_set_rsm(d, 2); }, "1A 00 10 00 1C 00", p10, {}},
        {"rew on", [](DRIVE *d) { return dds_set_rew(d, 1); }, "1A 00 10 00 1C 00", p10, {}},
        {"rew off", [](DRIVE *d) { return dds_set_rew(d, 0); }, "1A 00 10 00 1C 00", p10, {{20, 0x20}}},
        {"compression off", [](DRIVE *d) { return dds_set_compression(d, 0); }, "1A 00 0F 00 1C 00", p0f,
         {{14, 0x40}}},
        {"compression on", [](DRIVE *d) { return dds_set_compression(d, 1); }, "1A 00 0F 00 1C 00", p0f, {}},
        {"vuma off", [](DRIVE *d) { return dds_set_vuma_mode(d, 0); }, "1A 00 3E 00 10 00", p3e, {{14, 0x00}}},
        {"vuma on", [](DRIVE *d) { return dds_set_vuma_mode(d, 1); }, "1A 00 3E 00 10 00", p3e, {}},
        {"partition 0", [](DRIVE *d) { return dds_change_partition(d, 0); }, "1A 00 10 00 1C 00", p10,
         {{14, 0x58}, {15, 0x00}}},
        {"partition clamp", [](DRIVE *d) { return dds_change_partition(d, 300); }, "1A 00 10 00 1C 00", p10,
         {{14, 0x58}, {15, 0xFF}}},
        {"ecc set all", [](DRIVE *d) { return dds_config_ecc(d, 1, 1, 5); }, "1A 00 10 00 1C 00", p10,
         {{14, 0x3D}}},
        {"ecc clear all", [](DRIVE *d) { return dds_config_ecc(d, 0, 0, 0); }, "1A 00 10 00 1C 00", p10,
         {{14, 0x20}}},
        {"ecc leave all", [](DRIVE *d) { return dds_config_ecc(d, 2, 2, 8); }, "1A 00 10 00 1C 00", p10,
         {{14, 0x38}}},
        {"ecc negative group", [](DRIVE *d) { return dds_config_ecc(d, -1, 1, -1); }, "1A 00 10 00 1C 00", p10,
         {{14, 0x38}}},
        {"two partitions", [](DRIVE *d) { return dds_modify_partitions(d, 1, 0x1234); }, "1A 00 11 00 18 00",
         p11, {{15, 0x01}, {16, 0x30}, {22, 0x12}, {23, 0x34}}},
        {"partition clamps", [](DRIVE *d) { return dds_modify_partitions(d, 999, 70000); },
         "1A 00 11 00 18 00", p11, {{15, 0xFF}, {16, 0x30}, {22, 0xFF}, {23, 0xFF}}},
    };
    for (const auto &e : edits) {
        SCOPED_TRACE(e.name);
        open_drive();
        ASSERT_EQ(e.op(&drv), 0);
        Bytes out = sensed(e.page);
        out[0] = 0;
        out[2] = 0x10;
        for (auto [at, v] : e.set)
            out[static_cast<size_t>(at)] = v;
        char select[40];
        std::snprintf(select, sizeof select, "cmd sg0 15 10 00 00 %02X 00", static_cast<unsigned>(out.size()));
        EXPECT_EQ(commands(), (std::vector<std::string>{std::string("cmd sg0 ") + e.sense_cdb, select,
                                                        "out sg0 " + kvemu::to_hex(out.data(), out.size())}));
        TearDown();
    }
}

TEST_F(DdsModePages, PartitionSizeGoesWhereTheShortPageKeepsIt)
{
    // Page length 08h: a 22-byte reply, the size in page bytes 8..9.
    open_drive("mode.11 = 11 08 01 01 00 10 03 00 00 00\n");
    ASSERT_EQ(dds_modify_partitions(&drv, 0, 0x0102), 0);
    Bytes out = sensed("11 08 01 00 20 10 03 00 01 02");
    out[0] = 0;
    out[2] = 0x10;
    EXPECT_EQ(commands().back(), "out sg0 " + kvemu::to_hex(out.data(), out.size()));
}

TEST_F(DdsModePages, ReplyShorterThanThePageIsEditedWhenItHoldsTheByte)
{
    open_drive("override = 1a short=10\n");
    ASSERT_EQ(dds_set_compression(&drv, 0), 0);
    Bytes out = sensed("0F 0E C0 80 00 00 00 20 00 00 00 20 00 00 00 00");
    out.resize(18);
    out[0] = 0;
    out[2] = 0x10;
    out[14] = 0x40;
    EXPECT_EQ(commands()[1], "cmd sg0 15 10 00 00 12 00");
    EXPECT_EQ(commands()[2], "out sg0 " + kvemu::to_hex(out.data(), out.size()));
}

TEST_F(DdsModePages, RepliesThatCannotHoldTheEditSendNoModeSelect)
{
    struct Case {
        const char *name;
        std::string bus;
        std::function<int32(DRIVE *)> op;
    };
    // A reply carrying another page, or a header without a block descriptor.
    const std::string wrong_page = "reply.1a0010 = 1B 00 10 08 26 00 00 00 00 00 00 00 0F 0E 00 00 00 00 00 00 "
                                   "00 00 00 00 00 00 00 00\n";
    const std::string no_descriptor = "reply.1a000f = 13 00 10 00 0F 0E C0 80 00 00 00 20 00 00 00 20 00 00 00 "
                                      "00\n";
    const std::string long_descriptor = "reply.1a0000 = 0F 00 10 10 26 00 00 00 00 00 00 00 00 00 00 00\n";
    const std::vector<Case> cases = {
        {"rsm short of page byte 8", "override = 1a short=8\n", [](DRIVE *d) { return dds_set_rsm(d, 1); }},
        {"rew short of page byte 8", "override = 1a short=8\n", [](DRIVE *d) { return dds_set_rew(d, 1); }},
        {"compression header only", "override = 1a short=16\n",
         [](DRIVE *d) { return dds_set_compression(d, 1); }},
        {"vuma short", "override = 1a short=2\n", [](DRIVE *d) { return dds_set_vuma_mode(d, 1); }},
        {"partition short", "override = 1a short=13\n", [](DRIVE *d) { return dds_change_partition(d, 1); }},
        {"ecc short", "override = 1a short=14\n", [](DRIVE *d) { return dds_config_ecc(d, 1, 1, 1); }},
        {"partitions short of size", "override = 1a short=3\n",
         [](DRIVE *d) { return dds_modify_partitions(d, 1, 5); }},
        {"wrong page code", wrong_page, [](DRIVE *d) { return dds_set_rsm(d, 1); }},
        {"no block descriptor", no_descriptor, [](DRIVE *d) { return dds_set_compression(d, 1); }},
        {"record size short reply", "override = 1a short=1\n",
         [](DRIVE *d) { return dds_set_fixed_record_size(d, 512); }},
        {"record size descriptor length", long_descriptor,
         [](DRIVE *d) { return dds_set_fixed_record_size(d, 512); }},
        {"mode sense fails", "override = 1a status=2 sense=700005000000000A00000000240000000000\n",
         [](DRIVE *d) { return dds_set_rsm(d, 1); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        open_drive(c.bus);
        drv.fixed = 0;
        drv.fixed_rec_size = 77;
        EXPECT_EQ(c.op(&drv), -1);
        EXPECT_FALSE(sent_mode_select());
        EXPECT_EQ(drv.fixed_rec_size, 77);
        EXPECT_EQ(drv.fixed, 0);
        TearDown();
    }
}

TEST_F(DdsModePages, NegativeArgumentsAreRefusedBeforeAnyCommand)
{
    open_drive();
    log_to_memory(LOG_EVERYTHING);
    EXPECT_EQ(dds_change_partition(&drv, -1), -1);
    EXPECT_EQ(dds_modify_partitions(&drv, -1, 10), -1);
    EXPECT_EQ(dds_modify_partitions(&drv, 1, -10), -1);
    EXPECT_EQ(dds_set_fixed_record_size(&drv, -512), -1);
    EXPECT_EQ(dds_set_buffering(&drv, -1), -1);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(log_text(), "");
}

TEST_F(DdsModePages, FixedRecordSizeSetsTheDescriptorAndTheHandle)
{
    struct Case {
        int32 asked;
        const char *length_bytes;
        int32 size;
        boolean fixed;
    };
    const Case cases[] = {{512, "00 02 00", 512, 1}, {0, "00 00 00", 0, 0}, {0x20000000, "FF FF FF", 0xFFFFFF, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.asked);
        open_drive("block_length = 1024\n");
        drv.fixed = 1;
        drv.fixed_rec_size = 1024;
        ASSERT_EQ(dds_set_fixed_record_size(&drv, c.asked), 0);
        EXPECT_EQ(commands(), (std::vector<std::string>{"cmd sg0 1A 00 00 00 0C 00", "cmd sg0 15 10 00 00 0C 00",
                                                        std::string("out sg0 00 00 10 08 26 00 00 00 00 ") +
                                                            c.length_bytes}));
        EXPECT_EQ(drv.fixed_rec_size, c.size);
        EXPECT_EQ(drv.fixed, c.fixed);
        TearDown();
    }
}

TEST_F(DdsModePages, FixedRecordSizeKeepsTheHandleWhenModeSelectFails)
{
    open_drive("override = 15 status=2 sense=700005000000000A00000000260000000000\n");
    drv.fixed_rec_size = 4;
    EXPECT_EQ(dds_set_fixed_record_size(&drv, 512), -1);
    EXPECT_EQ(drv.fixed_rec_size, 4);
    EXPECT_EQ(drv.fixed, 0);
}

TEST_F(DdsModePages, BufferingSendsTheHeaderOnly)
{
    struct Case {
        int32 mode;
        const char *out;
    };
    for (const Case &c : {Case{9, "out sg0 00 00 70 00"}, Case{0, "out sg0 00 00 00 00"}, Case{3, "out sg0 00 00 30 00"}}) {
        SCOPED_TRACE(c.mode);
        open_drive();
        ASSERT_EQ(dds_set_buffering(&drv, c.mode), 0);
        EXPECT_EQ(commands(), (std::vector<std::string>{"cmd sg0 15 10 00 00 04 00", c.out}));
        TearDown();
    }
}

TEST_F(DdsModePages, LogTextsAppearOnlyAtLogEverything)
{
    struct Case {
        std::function<int32(DRIVE *)> op;
        const char *text;
    };
    const std::vector<Case> cases = {
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
        SCOPED_TRACE(c.text);
        for (log_level_type level : {LOG_NOTHING, LOG_ERRORS_ONLY, LOG_EVERYTHING}) {
            open_drive();
            log_to_memory(level);
            ASSERT_EQ(c.op(&drv), 0);
            std::string log = log_text();
            if (level == LOG_EVERYTHING) {
                char line[96];
                std::snprintf(line, sizeof line, "T Sys | %-20s|\n", c.text);
                EXPECT_EQ(log.substr(0, log.find('\n') + 1), line);
            } else {
                EXPECT_EQ(log, "");
            }
            TearDown();
        }
    }
}

TEST_F(DdsModePages, LogTextIsWrittenEvenWhenTheModeSenseFails)
{
    open_drive("override = 1a status=2 sense=700005000000000A00000000240000000000\n");
    log_to_memory(LOG_ERRORS_ONLY);
    EXPECT_EQ(dds_set_compression(&drv, 1), -1);
    std::string log = log_text();
    // No own text below LOG_EVERYTHING, but the failed command is logged.
    EXPECT_EQ(log.find("compression"), std::string::npos);
    EXPECT_NE(log.find("AutoRequestSense"), std::string::npos);
}

TEST_F(DdsModePages, WriteProtectStateFromTheHeader)
{
    open_drive();
    wpstate wp = write_enabled;
    ASSERT_EQ(dds_get_WP(&drv, &wp), 0);
    EXPECT_EQ(wp, write_protected);
    EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 1A 00 00 00 04 00"});
    TearDown();

    open_drive("", false);
    wp = write_protected;
    ASSERT_EQ(dds_get_WP(&drv, &wp), 0);
    EXPECT_EQ(wp, write_enabled);
}

TEST_F(DdsModePages, WriteProtectNeedsTheDeviceSpecificByte)
{
    open_drive("override = 1a short=2\n");
    // The drive protects its cartridge; an untouched output still says enabled.
    wpstate wp = write_enabled;
    EXPECT_EQ(dds_get_WP(&drv, &wp), -1);
    EXPECT_EQ(wp, write_enabled);
}

TEST_F(DdsModePages, ProductIdIsAlwaysTerminated)
{
    open_drive("product = ABCDEFGHIJKLMNOP\n");
    char id[DDS_PRODUCT_ID_SIZE + 4];
    std::memset(id, 'x', sizeof id);
    ASSERT_EQ(dds_get_product_id(&drv, id), 0);
    EXPECT_STREQ(id, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(id[DDS_PRODUCT_ID_SIZE], 'x');
    EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 12 00 00 00 20 00"});
}

TEST_F(DdsModePages, ProductIdStopsAtANulAndNeedsTheWholeField)
{
    open_drive("inquiry = 01 80 03 02 5B 00 00 00 \"KV      \" \"DDS\" 00 \"ABCDEFGHIJKL\" \"V100\"\n");
    char id[DDS_PRODUCT_ID_SIZE] = "untouched";
    ASSERT_EQ(dds_get_product_id(&drv, id), 0);
    EXPECT_STREQ(id, "DDS");
    TearDown();

    open_drive("override = 12 short=1\n");
    std::strcpy(id, "untouched");
    EXPECT_EQ(dds_get_product_id(&drv, id), -1);
    EXPECT_STREQ(id, "untouched");
}

TEST_F(DdsModePages, ModeSelectFailureIsReported)
{
    open_drive("override = 15 status=2 sense=700005000000000A00000000260000000000\n");
    EXPECT_EQ(dds_set_rew(&drv, 1), -1);
    EXPECT_TRUE(sent_mode_select());
}

}  // namespace
