// The emulator itself: the served device list, node opens and the sg ioctls.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

#include "kvemu.h"

namespace {

const char *kBus = R"(
[device]
host = 2
target = 5
type = 1
vendor = KV
product = DEMO
override = 00 times=1 status=8
[raw]
line = 9 9 9 9
[device]
host = 0
target = 1
type = 0
model = none
)";

TEST(Emulator, ServesDeviceListAndAnswersSgIo)
{
    kvemu::load_bus_text(kBus);
    FILE *fp = fopen("/proc/scsi/sg/devices", "rb");
    ASSERT_NE(fp, nullptr);
    char buf[256] = {};
    size_t n = fread(buf, 1, sizeof buf - 1, fp);
    fclose(fp);
    EXPECT_EQ(std::string(buf, n), "2\t0\t5\t0\t1\t1\t2\t0\t1\n9 9 9 9\n0\t0\t1\t0\t0\t1\t2\t0\t1\n");

    EXPECT_EQ(open("/dev/sg2", O_RDWR), -1);  // listed, but no node answers
    int fd = open("/dev/sg0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    int version = -1;
    ASSERT_EQ(ioctl(fd, SG_GET_VERSION_NUM, &version), 0);
    EXPECT_EQ(version, 30536);

    unsigned char cdb[6] = {0x12, 0, 0, 0, 0x60, 0};
    unsigned char data[0x60] = {};
    unsigned char sense[32] = {};
    sg_io_hdr_t h{};
    h.interface_id = 'S';
    h.dxfer_direction = SG_DXFER_FROM_DEV;
    h.cmdp = cdb;
    h.cmd_len = 6;
    h.dxferp = data;
    h.dxfer_len = sizeof data;
    h.sbp = sense;
    h.mx_sb_len = sizeof sense;
    ASSERT_EQ(ioctl(fd, SG_IO, &h), 0);
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.resid, 0);
    EXPECT_EQ(std::memcmp(data + 8, "KV      DEMO", 12), 0);

    unsigned char tur[6] = {};
    h.cmdp = tur;
    h.dxfer_direction = SG_DXFER_NONE;
    h.dxfer_len = 0;
    ASSERT_EQ(ioctl(fd, SG_IO, &h), 0);
    EXPECT_EQ(h.status, 8);  // the override, once
    ASSERT_EQ(ioctl(fd, SG_IO, &h), 0);
    EXPECT_EQ(h.status, 0);

    unsigned char bad[6] = {0x3b, 0, 0, 0, 0, 0};
    h.cmdp = bad;
    ASSERT_EQ(ioctl(fd, SG_IO, &h), 0);
    EXPECT_EQ(h.status, 2);
    EXPECT_EQ(h.sb_len_wr, 18);
    EXPECT_EQ(h.driver_status, 0x08);
    EXPECT_EQ(sense[2], 0x05);
    EXPECT_EQ(sense[12], 0x20);

    EXPECT_EQ(close(fd), 0);
    std::vector<std::string> expected = {"open sg2 failed",
                                         "open sg0",
                                         "cmd sg0 12 00 00 00 60 00",
                                         "cmd sg0 00 00 00 00 00 00",
                                         "cmd sg0 00 00 00 00 00 00",
                                         "cmd sg0 3B 00 00 00 00 00",
                                         "close sg0"};
    EXPECT_EQ(kvemu::trace(), expected);
    kvemu::unload_bus();
}

TEST(Emulator, OtherPathsPassThroughAndSleepIsRecorded)
{
    kvemu::load_bus_text("[device]\nhost = 0\n");
    FILE *fp = fopen("/dev/null", "r");
    ASSERT_NE(fp, nullptr);
    fclose(fp);
    EXPECT_EQ(sleep(150), 0u);
    EXPECT_EQ(kvemu::sleeps(), std::vector<unsigned>{150});
    kvemu::unload_bus();
}

TEST(Emulator, OwnsTheClock)
{
    kvemu::load_bus_text(kBus);
    kvemu::step_clock(1000);
    EXPECT_EQ(time(nullptr), 1000);
    std::time_t out = 0;
    EXPECT_EQ(time(&out), 1001);
    EXPECT_EQ(out, 1001);
    sleep(150);  // a sleep moves the stepped clock on instead of waiting
    EXPECT_EQ(time(nullptr), 1152);
    kvemu::unload_bus();
    EXPECT_GT(time(nullptr), 1600000000);  // the system's clock again
}

}  // namespace
