// The DDS identification probe against emulated KV drives: the hardware and
// firmware codes from each source, the platform names, and replies cut short.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bus_text.h"
#include "ddslib.h"
#include "probe_drive.h"

namespace {

const char kInquiryC0[] = "cmd sg0 12 01 C0 00 FF 00";
const char kReadBuffer1[] = "cmd sg0 3C 01 01 00 01 00 00 00 30 00";

struct DdsCase {
    const char *what;
    const char *settings;
    int32 hw, fw;
    const char *name;
    bool reads_buffer;
};

TEST_F(Probe, DdsCodesFromEachSource)
{
    const DdsCase cases[] = {
        {"fixed layout", "c0 = fixed\nhw_conf = 0x80013\nfw_conf = 2\n", 0x80013, 2, "Thimble-USB", false},
        {"fixed layout, no firmware text", "c0 = fixed\nhw_conf = 0x90003\nfw_conf = none\n", 0x90003, -1,
         "Icefield-4-SCSI", false},
        {"free layout", "c0 = free\nhw_conf = 0x40003\nfw_conf = none\n", 0x40003, -1, "Bramble", false},
        {"free layout, both codes", "c0 = free\nconf_at = 200\nhw_conf = 0x0B0013\nfw_conf = 0x1F\n", 0x0B0013,
         0x1F, "Foothill-USB", false},
        {"buffer 1, tagged words", "c0 = bare\nbuffer1 = 1 1\nhw_conf = 0x0C0023\nfw_conf = 7\n", 0x0C0023, 7,
         "Oyster-SAS", true},
        {"buffer 1, zero words", "c0 = bare\nbuffer1 = 0 0\nhw_conf = 0x20003\nfw_conf = 9\n", 0x20003, 9,
         "Copper", true},
        {"buffer 1, unequal words", "c0 = bare\nbuffer1 = 2 3\nhw_conf = 0x70001\nfw_conf = 4\n", 0x70001, 4,
         "Sorrel", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        attach("kv_dds", c.settings);
        int32 hw = 111, fw = 222;
        char name[20] = "preset";
        EXPECT_EQ(dds_read_config_codes(&drv, &hw, &fw, name), 0);
        EXPECT_EQ(hw, c.hw);
        EXPECT_EQ(fw, c.fw);
        EXPECT_STREQ(name, c.name);
        EXPECT_EQ(dds_drive_hwconfig, c.hw);
        std::vector<std::string> want = {kInquiryC0};
        if (c.reads_buffer) {
            want.push_back(kReadBuffer1);
        }
        EXPECT_EQ(commands(), want);
    }
}

TEST_F(Probe, DdsCodeNames)
{
    // clang-format off
    const struct {
        uint32_t code;
        const char *name;
    } rows[] = {
        {0x00000000, "Granite"},        {0x00000001, "Walnut"},          {0x00020001, "Harvest"},
        {0x00020003, "Copper"},         {0x00030000, "Maple"},           {0x00030001, "MapleDC"},
        {0x00040001, "Kelp"},           {0x01040001, "Kelp"},            {0xFF040003, "Bramble"},
        {0x00050001, "Lighthouse"},     {0x00060001, "Pillar"},          {0x00060003, "Woodpecker"},
        {0x00070001, "Sorrel"},         {0x00080003, "Thimble-SCSI"},    {0x00080013, "Thimble-USB"},
        {0x00080023, "Thimble-SAS"},    {0x00090003, "Icefield-4-SCSI"}, {0x00090013, "Icefield-4-USB"},
        {0x000A0003, "Icefield-5-SCSI"}, {0x000A0013, "Icefield-5-USB"}, {0x000B0003, "Foothill-SCSI"},
        {0x000B0013, "Foothill-USB"},   {0x000C0003, "Oyster-SCSI"},     {0x000C0013, "Oyster-USB"},
        {0x020C0023, "Oyster-SAS"},
        // Only the older platforms must match in all 32 bits.
        {0x01020001, "Unknown(DC)"},    {0x01000000, "Unknown"},         {0x80000001, "Unknown(DC)"},
        {0x00000005, "Unknown(DC)"},    {0x00000003, "Unknown(DC)(AC)"}, {0x00000002, "Unknown(AC)"},
        {0x00090023, "Unknown(DC)(AC)"}, {0x000D0003, "Unknown(DC)(AC)"}, {0xFFFFFFFF, "Unknown(DC)(AC)"},
    };
    // clang-format on
    for (const auto &r : rows) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", r.code);
        SCOPED_TRACE(hex);
        attach("kv_dds", bus_text::keys({{"c0", "bare"}, {"buffer1", "0 0"}, {"hw_conf", hex}}));
        int32 hw = 0, fw = 0;
        char name[20];
        std::memset(name, 'x', sizeof name);
        ASSERT_EQ(dds_read_config_codes(&drv, &hw, &fw, name), 0);
        EXPECT_EQ(static_cast<uint32_t>(hw), r.code);
        EXPECT_STREQ(name, r.name);
    }
}

TEST_F(Probe, DdsFailureKeepsOutputsAndClearsHwconfig)
{
    attach("kv_dds", "hw_conf = 0x80003\n");
    int32 hw = 0, fw = 0;
    char name[20] = "";
    ASSERT_EQ(dds_read_config_codes(&drv, &hw, &fw, name), 0);
    ASSERT_EQ(dds_drive_hwconfig, 0x80003);

    struct {
        const char *what;
        const char *settings;
        std::vector<std::string> sent;
    } failures[] = {
        {"page C0h refused", "c0 = none\nbuffer1 = 1 1\n", {kInquiryC0}},
        {"no code texts, buffer refused", "c0 = bare\n", {kInquiryC0, kReadBuffer1}},
        {"buffer cut before the hardware code",
         "c0 = bare\nbuffer1 = 1 1\noverride = 3c short=30\n",
         {kInquiryC0, kReadBuffer1}},
        {"not a tape drive at all", "", {kInquiryC0}},
    };
    for (const auto &f : failures) {
        SCOPED_TRACE(f.what);
        attach(std::string(f.what) == "not a tape drive at all" ? "generic" : "kv_dds", f.settings);
        dds_drive_hwconfig = 0x12345;
        int32 hw = 111, fw = 222;
        char name[20] = "preset";
        EXPECT_EQ(dds_read_config_codes(&drv, &hw, &fw, name), -1);
        EXPECT_EQ(hw, 111);
        EXPECT_EQ(fw, 222);
        EXPECT_STREQ(name, "preset");
        EXPECT_EQ(dds_drive_hwconfig, 0);
        EXPECT_EQ(commands(), f.sent);
    }
}

// Bytes the transport reports as not received must not count, even when the
// buffer happens to hold them.
TEST_F(Probe, DdsShortAndGarbledReplies)
{
    struct {
        const char *what;
        const char *settings;
        int32 result, hw, fw;
        const char *name;
        bool reads_buffer;
    } cases[] = {
        // 160-byte page cut to 78 bytes: "HW_CONF" at 73 did not arrive whole.
        {"fixed page cut inside HW_CONF",
         "c0 = fixed\nhw_conf = 0x80013\nbuffer1 = 0 0\noverride = 12 short=82\n", 0, 0x80013, 1, "Thimble-USB",
         true},
        // Cut to exactly 80 bytes: "HW_CONF" at 73 is whole, so the fixed layout
        // holds even though no number follows it.
        {"fixed page ending at HW_CONF",
         "c0 = fixed\nhw_conf = 0x80013\nbuffer1 = 0 0\noverride = 12 short=80\n", 0, 0, -1, "Unknown", false},
        // Cut to 100 bytes: the firmware text at 94 is incomplete.
        {"fixed page cut inside FW_CONF",
         "c0 = fixed\nhw_conf = 0x80023\nfw_conf = 0x1234\noverride = 12 short=60\n", 0, 0x80023, -1,
         "Thimble-SAS", false},
        {"free layout text cut",
         "c0 = free\nconf_at = 150\nhw_conf = 0x80003\nbuffer1 = 1 1\noverride = 12 short=40\n", 0, 0x80003, 1,
         "Thimble-SCSI", true},
        {"buffer cut before the firmware code",
         "c0 = bare\nbuffer1 = 1 1\nhw_conf = 0x60003\nfw_conf = 5\noverride = 3c short=20\n", 0, 0x60003, -1,
         "Woodpecker", true},
        {"hardware text without 0x", "inquiry.c0 = 01 C0 00 20 \"xxHW_CONF = 12 FW_CONF = 0x3\"\n", 0, 0, 3,
         "Unknown", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        attach("kv_dds", c.settings);
        int32 hw = 111, fw = 222;
        char name[20] = "preset";
        EXPECT_EQ(dds_read_config_codes(&drv, &hw, &fw, name), c.result);
        EXPECT_EQ(hw, c.hw);
        EXPECT_EQ(fw, c.fw);
        EXPECT_STREQ(name, c.name);
        EXPECT_EQ(dds_drive_hwconfig, c.hw);
        EXPECT_EQ(commands().size(), c.reads_buffer ? 2u : 1u);
    }
}

TEST_F(Probe, DdsFixedLabelsWithoutNumbers)
{
    kvemu::Bytes page(120, 0);
    page[0] = 0x01;
    page[1] = 0xC0;
    page[3] = 116;
    std::memcpy(&page[73], "HW_CONF = 0x", 12);
    std::memcpy(&page[94], "FW_CONF = 0xZ", 13);
    attach("kv_dds", bus_text::bytes_key("inquiry.c0", page));
    int32 hw = 111, fw = 222;
    char name[20] = "preset";
    EXPECT_EQ(dds_read_config_codes(&drv, &hw, &fw, name), 0);
    EXPECT_EQ(hw, 0);
    EXPECT_EQ(fw, -1);
    EXPECT_STREQ(name, "Unknown");
    EXPECT_EQ(dds_drive_hwconfig, 0);
    EXPECT_EQ(commands(), std::vector<std::string>{kInquiryC0});
}

}  // namespace
