// The KV drive models answer the identity data that discovery reads.
#include <fcntl.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bus_text.h"
#include "kvemu.h"
#include "models/download.h"
#include "scsilib.h"
#include "stlsg.h"

namespace {

const char kBus[] = R"(
[device]
host = 0
target = 1
type = 1
model = kv_lto
product = Ultrium 5
vuma = 3
component = LTO5 DRIVE
firmware = 2.50
drive_id = 1A2B
[device]
host = 0
target = 2
type = 1
model = kv_dds
firmware = 1.25
hw_conf = 0x80013
[device]
host = 0
target = 3
type = 1
model = kv_dds
c0 = free
hw_conf = 0x40003
drive_id = 0x77
)";

class KvModels : public ::testing::Test {
protected:
    void SetUp() override
    {
        scsi_open_mode = O_RDWR;
        kvemu::load_bus_text(kBus);
    }
    void TearDown() override
    {
        if (drv.fd >= 0)
            scsi_close_device(&drv);
        kvemu::unload_bus();
    }

    // The text of bytes [from, to] of an INQUIRY reply of 96 bytes asked.
    std::string field(int target, int evpd, int page, int from, int to)
    {
        if (drv.fd >= 0)
            scsi_close_device(&drv);
        std::memset(&drv, 0, sizeof drv);
        drv.bus_addr = target;
        EXPECT_EQ(scsi_open_device(&drv), 0);
        unsigned char reply[96] = {};
        EXPECT_EQ(scsi_evpd_inquiry(&drv, evpd, page, reply, sizeof reply), 96);
        std::string s(reinterpret_cast<char *>(reply) + from, static_cast<size_t>(to - from + 1));
        return s.substr(0, s.find_last_not_of(' ') + 1);
    }

    DRIVE drv{};
};

TEST_F(KvModels, LtoIdentity)
{
    EXPECT_EQ(field(1, 0, 0, 0, 0), std::string(1, '\x01'));
    EXPECT_EQ(field(1, 0, 0, 8, 15), "KV");
    EXPECT_EQ(field(1, 0, 0, 16, 31), "Ultrium 5");
    EXPECT_EQ(field(1, 0, 0, 47, 47), "3");
    EXPECT_EQ(field(1, 1, 0xC0, 0, 3), std::string("\x01\xC0\x00\x5C", 4));
    EXPECT_EQ(field(1, 1, 0xC0, 4, 29), "LTO5 DRIVE");
    EXPECT_EQ(field(1, 1, 0xC0, 30, 48), "FIRMWARE=2.50");
    EXPECT_EQ(field(1, 1, 0xC1, 4, 29), "LTO5 DRIVE");
    EXPECT_EQ(field(1, 1, 0xC1, 73, 95), "DRIVE_ID=1A2B");
}

TEST_F(KvModels, DdsIdentity)
{
    EXPECT_EQ(field(2, 0, 0, 8, 15), "KV");
    EXPECT_EQ(field(2, 1, 0xC0, 5, 29), "FIRMWARE = 1.25");
    EXPECT_EQ(field(2, 1, 0xC0, 73, 93), "HW_CONF = 0x80013");
    EXPECT_EQ(field(3, 1, 0xC0, 73, 93), "DRIVE_ID = 0x77");
}

// A download kept without its record holds one chunk however long it runs, and
// still knows its image by CRC-32 when an installs line asks for that.
TEST_F(KvModels, DownloadWithoutRecord)
{
    std::vector<unsigned char> image(3000);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 7);
    for (int record : {1, 0}) {
        SCOPED_TRACE(record);
        kvemu::load_bus_text(bus_text::device({{"model", "kv_lto"},
                                               {"record", record},
                                               {"installs", "crc32:" + bus_text::crc32(image) + " 2.00"}}));
        drv = DRIVE{};
        ASSERT_EQ(scsi_open_device(&drv), 0);
        for (int32 at = 0; at < 3000; at += 1000)
            ASSERT_EQ(scsi_write_buffer(&drv, image.data() + at, 0, 4, 0, 1000), 1000);
        kvemu::FirmwareDownload *d = kvemu::download_of(kvemu::node(0));
        EXPECT_EQ(d->chunks().size(), record ? 3u : 1u);
        EXPECT_EQ(d->received(), 3000u);
        EXPECT_EQ(scsi_write_buffer(&drv, nullptr, 0, 5, 0, 0), 0);  // commit
        EXPECT_EQ(d->installed(), std::optional<std::string>("2.00"));
        scsi_close_device(&drv);
        kvemu::unload_bus();
    }
}

}  // namespace
