// Test fixture for the drive-family identification probes: one emulated drive
// of the model a test attaches at adapter 0, target 0, opened read-write, and
// the CDBs it received.
#ifndef TESTS_SUPPORT_PROBE_DRIVE_H
#define TESTS_SUPPORT_PROBE_DRIVE_H

#include <fcntl.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bus_text.h"
#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

class Probe : public ::testing::Test {
protected:
    void SetUp() override
    {
        scsi_open_mode = O_RDWR;
        std::memset(&drv, 0, sizeof drv);
        drv.fd = -1;
    }
    void TearDown() override
    {
        if (drv.fd >= 0)
            scsi_close_device(&drv);
        kvemu::unload_bus();
    }

    // One drive of the given model at host 0, target 0, opened.
    void attach(const std::string &model, const std::string &settings)
    {
        if (drv.fd >= 0)
            scsi_close_device(&drv);
        kvemu::load_bus_text(bus_text::device({{"host", 0}, {"target", 0}, {"type", 1}, {"model", model}}) +
                             settings);
        drv.card_id = 0;
        drv.bus_addr = 0;
        drv.lun = 0;
        ASSERT_EQ(scsi_open_device(&drv), 0);
        kvemu::clear_trace();
    }

    std::vector<std::string> commands() const
    {
        std::vector<std::string> out;
        for (const auto &line : kvemu::trace())
            if (line.compare(0, 4, "cmd ") == 0)
                out.push_back(line);
        return out;
    }

    DRIVE drv{};
};

#endif
