// The sg transport through the emulator: device-list lookup, the open checks,
// the outcome mapping of one command, resets, close and their log lines.
#include <fcntl.h>
#include <scsi/sg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

namespace {

// Collects what the library writes to a handle's stream.
struct LogCapture {
    char *buf = nullptr;
    size_t len = 0;
    FILE *fp = open_memstream(&buf, &len);
    ~LogCapture()
    {
        fclose(fp);
        free(buf);
    }
    std::string text()
    {
        fflush(fp);
        return std::string(buf, len);
    }
};

class Transport : public ::testing::Test {
protected:
    void SetUp() override
    {
        scsi_set_timedate_format("|T|");
        scsi_set_datalog_level(0);
        scsi_set_exception_handler(nullptr);
        scsi_open_mode = O_RDWR;
        memset(&drv, 0, sizeof drv);
        drv.fd = -1;
    }
    void TearDown() override { kvemu::unload_bus(); }

    void open_at(int host, int target, int lun = 0)
    {
        drv.card_id = host;
        drv.bus_addr = target;
        drv.lun = lun;
        ASSERT_EQ(scsi_open_device(&drv), 0);
    }

    int32 run(std::vector<unsigned char> cdb, unsigned char *data, int32 len, direction dir)
    {
        scsi_io_type io{};
        io.drv = &drv;
        memcpy(io.cdb, cdb.data(), cdb.size());
        io.cdb_length = static_cast<int32>(cdb.size());
        io.data = data;
        io.data_length = len;
        io.data_direction = dir;
        int32 rc = scsi_exec(&io);
        last_io = io;
        return rc;
    }

    DRIVE drv;
    scsi_io_type last_io{};
};

TEST_F(Transport, OpensByAddressRunsInquiryAndCloses)
{
    kvemu::load_bus_text("[device]\nhost = 1\ntarget = 4\nvendor = KV\nproduct = DEMO\n");
    open_at(1, 4);
    EXPECT_GE(drv.fd, 0);
    unsigned char data[96] = {};
    EXPECT_EQ(run({0x12, 0, 0, 0, 96, 0}, data, 96, HOST_READ), 96);
    EXPECT_EQ(memcmp(data + 8, "KV      DEMO", 12), 0);
    EXPECT_EQ(drv.scsi_status, 0);
    EXPECT_EQ(drv.driver_status, 0);
    EXPECT_EQ(drv.actual_data_length, 96);
    EXPECT_EQ(scsi_close_device(&drv), 0);
    EXPECT_EQ(drv.fd, -1);
    EXPECT_EQ(kvemu::open_descriptors(), 0);
}

}  // namespace
