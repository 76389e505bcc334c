// Process-wide settings and the setters whose effect is not a plain store.
#include <fcntl.h>

#include <cstring>

#include <gtest/gtest.h>

#include "scsilib.h"

namespace {

TEST(Settings, InitialValues)
{
    EXPECT_EQ(scsi_open_mode, O_RDWR);
    EXPECT_EQ(scsi_exception_handler, nullptr);
    EXPECT_EQ(datalog_level, 0);
    EXPECT_EQ(scsilib_log_fn, nullptr);
    EXPECT_STREQ(td_format, "|%H:%M:%S|%d/%m/%y|");
    EXPECT_STREQ(new_td_format, "");
}

TEST(Settings, DatalogLevelReturnsThePreviousLevel)
{
    EXPECT_EQ(scsi_set_datalog_level(20), 0);
    EXPECT_EQ(scsi_set_datalog_level(-3), 20);
    EXPECT_EQ(scsi_set_datalog_level(0), -3);
}

TEST(Settings, HandleSettersStoreTheRawValue)
{
    DRIVE d;
    memset(&d, 0, sizeof d);
    d.nego.flags = 0x5A;
    scsi_set_sili(&d, 2);
    EXPECT_EQ(d.sili, 2);  // stored as given; only 1 counts as set for the builders
    EXPECT_EQ(scsi_configure_negotiation(&d, 0x101, 0x225, 0x30F, -1), 0);
    EXPECT_EQ(d.nego.when, 0x01);
    EXPECT_EQ(d.nego.period, 0x25);
    EXPECT_EQ(d.nego.offset, 0x0F);
    EXPECT_EQ(d.nego.width, 0xFF);
    EXPECT_EQ(d.nego.flags, 0x5A);
    scsi_set_fixed_mode(&d);
    EXPECT_EQ(d.fixed, 1);
    scsi_set_variable_mode(&d);
    EXPECT_EQ(d.fixed, 0);
    EXPECT_EQ(d.fd, 0);  // nothing touches the drive
}

}  // namespace
