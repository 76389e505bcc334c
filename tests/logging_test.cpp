// Text and command log lines, byte for byte, on a stream and through the
// logging callback.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scsilib.h"

namespace {

using Strings = std::vector<std::string>;

Strings received;
void collect(void *text) { received.push_back(static_cast<const char *>(text)); }

class Logging : public ::testing::Test {
protected:
    void SetUp() override
    {
        scsi_set_timedate_format("|T|");
        scsi_set_logging_fn(nullptr);
        scsi_set_datalog_level(0);
        received.clear();
        memset(&drv, 0, sizeof drv);
        fp = open_memstream(&buf, &len);
        scsi_configure_logging(&drv, fp, LOG_EVERYTHING);
        memset(&io, 0, sizeof io);
        io.drv = &drv;
        for (int i = 0; i < 96; i++)
            data[i] = static_cast<unsigned char>(i);
    }
    void TearDown() override
    {
        fclose(fp);
        free(buf);
        scsi_set_logging_fn(nullptr);
    }
    std::string text()
    {
        fflush(fp);
        return std::string(buf, len);
    }
    // An INQUIRY as the transport leaves it after the command.
    void inquiry(int32 got, u_int8 driver_status = 0, u_int8 scsi_status = 0)
    {
        const unsigned char cdb[6] = {0x12, 0, 0, 0, 0xFF, 0};
        memcpy(io.cdb, cdb, sizeof cdb);
        io.cdb_length = 6;
        io.data = data;
        io.data_length = 255;
        io.data_direction = HOST_READ;
        io.actual_data_length = got;
        drv.driver_status = driver_status;
        drv.scsi_status = scsi_status;
    }
    void set_sense(int written, int additional)
    {
        for (int i = 0; i < 256; i++)
            drv.sense_data[i] = static_cast<u_int8>(0xA0 + i);
        drv.sense_data[7] = static_cast<u_int8>(additional);
        drv.sense_length = static_cast<u_int8>(written);
    }

    DRIVE drv;
    scsi_io_type io;
    unsigned char data[96];
    FILE *fp = nullptr;
    char *buf = nullptr;
    size_t len = 0;
};

TEST_F(Logging, CommandLineWithDataAsInTheUsualLayout)
{
    scsi_set_datalog_level(16);
    inquiry(96);
    EXPECT_EQ(scsi_log_cmd(&io), 0);
    scsi_log(&drv, "Sys", "sg revision 3.5.36");
    EXPECT_EQ(text(),
              "|T| Sys | Inquiry             |12 00 00 00 FF 00 |00060|00|00|\n"
              "|T| Sys |             Data In |00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F |\n"
              "|T| Sys | sg revision 3.5.36  |\n");
}

TEST_F(Logging, DataLinesAreCutByTheLevelAndTheTransfer)
{
    struct Case {
        int32 level, got;
        direction dir;
        bool with_data;
        Strings data_lines;
    };
    const std::string a = "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ";
    const Case cases[] = {
        {20, 96, HOST_READ, true,
         {"|T| Sys |             Data In |" + a + "|\n", "|T| Sys |             Data In |10 11 12 13 |\n"}},
        {100, 3, HOST_WRITE, true, {"|T| Sys |            Data Out |00 01 02 |\n"}},
        {4, 96, NO_TRANSFER, true, {"|T| Sys |            Data Out |00 01 02 03 |\n"}},
        {16, 0, HOST_READ, true, {}},
        {16, 96, HOST_READ, false, {}},
        {0, 96, HOST_READ, true, {}},
        {-5, 96, HOST_READ, true, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.level);
        rewind(fp);
        fflush(fp);
        scsi_set_datalog_level(c.level);
        inquiry(c.got);
        io.data_direction = c.dir;
        if (!c.with_data)
            io.data = nullptr;
        scsi_set_logging_fn(collect);
        received.clear();
        scsi_log_cmd(&io);
        ASSERT_EQ(received.size(), c.data_lines.size() + 1);
        Strings data_lines(received.begin() + 1, received.end());
        EXPECT_EQ(data_lines, c.data_lines);
    }
}

TEST_F(Logging, ErrorsOnlyLevel)
{
    scsi_configure_logging(&drv, fp, LOG_ERRORS_ONLY);
    inquiry(96);
    scsi_log_cmd(&io);
    EXPECT_EQ(text(), "");
    scsi_log(&drv, "Sys", "text lines still show");
    inquiry(0, 0x00, 0x02);
    set_sense(18, 10);
    scsi_log_cmd(&io);
    inquiry(0, 0x42, 0xFF);
    scsi_log_cmd(&io);
    EXPECT_EQ(text(),
              "|T| Sys | text lines still show|\n"
              "|T| Sys | Inquiry             |12 00 00 00 FF 00 |00000|00|02|\n"
              "|T| Sys | AutoRequestSense    |A0 A1 A2 A3 A4 A5 A6 0A A8 A9 AA AB AC AD AE AF B0 B1 |\n"
              "|T| Sys | Inquiry             |12 00 00 00 FF 00 |00000|42|FF|\n");
}

TEST_F(Logging, NothingLevelWritesNothing)
{
    scsi_configure_logging(&drv, fp, LOG_NOTHING);
    scsi_set_logging_fn(collect);
    inquiry(0, 0x42, 0xFF);
    EXPECT_EQ(scsi_log_cmd(&io), 0);
    EXPECT_EQ(scsi_log(&drv, "Sys", "hidden"), 0);
    EXPECT_EQ(text(), "");
    EXPECT_TRUE(received.empty());
}

TEST_F(Logging, SenseLineShowsWhatWasWrittenAndAnnounced)
{
    struct Case {
        int written, additional, shown;
    };
    const Case cases[] = {
        {18, 10, 18}, {14, 10, 14}, {18, 2, 10}, {0, 10, 0}, {255, 255, 255}, {200, 150, 158},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.written);
        inquiry(0, 0, 2);
        set_sense(c.written, c.additional);
        scsi_set_logging_fn(collect);
        received.clear();
        scsi_log_cmd(&io);
        ASSERT_EQ(received.size(), 2u);
        std::string expected = "|T| Sys | AutoRequestSense    |";
        for (int i = 0; i < c.shown; i++) {
            char hex[4];
            snprintf(hex, sizeof hex, "%02X ", drv.sense_data[i]);
            expected += hex;
        }
        EXPECT_EQ(received[1], expected + "|\n");
    }
}

TEST_F(Logging, CommandLineFields)
{
    unsigned char cdb[16] = {0x88, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    memcpy(io.cdb, cdb, 16);
    io.cdb_length = 99;  // never read past the CDB array
    io.actual_data_length = 0x123456;
    drv.driver_status = 0;
    drv.scsi_status = 0;
    scsi_log_cmd(&io);
    io.cdb[0] = 0x06;
    io.cdb_length = 6;
    io.actual_data_length = 0;
    scsi_log_cmd(&io);
    io.cdb[0] = 0x02;
    io.cdb_length = 0;
    scsi_log_cmd(&io);
    EXPECT_EQ(text(),
              "|T| Sys | Read(16)            |88 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F |123456|00|00|\n"
              "|T| Sys | CommandName         |06 01 02 03 04 05 |00000|00|00|\n"
              "|T| Sys | RequestBlkAddr      ||00000|00|00|\n");
}

TEST_F(Logging, TextLinesOnTheStreamAndThroughTheCallback)
{
    scsi_log(&drv, "Sys", "short");
    scsi_log(&drv, "LongTag", "a text longer than twenty characters");
    scsi_log(&drv, "", "");
    EXPECT_EQ(text(),
              "|T| Sys | short               |\n"
              "|T| Long| a text longer than twenty characters|\n"
              "|T|     |                     |\n");
    EXPECT_EQ(scsi_set_logging_fn(collect), nullptr);
    scsi_log(&drv, "STL", "short");
    EXPECT_EQ(received, (Strings{"|T| STL | ", "short", "|\n"}));
    EXPECT_EQ(text().size(), 112u);  // nothing more on the stream
}

TEST_F(Logging, CallbackTakesWholeCommandLines)
{
    scsi_set_logging_fn(collect);
    scsi_set_datalog_level(2);
    inquiry(96);
    scsi_log_cmd(&io);
    EXPECT_EQ(received, (Strings{"|T| Sys | Inquiry             |12 00 00 00 FF 00 |00060|00|00|\n",
                                 "|T| Sys |             Data In |00 01 |\n"}));
    EXPECT_EQ(text(), "");
}

TEST_F(Logging, LoggingCallbackSetterReturnsThePrevious)
{
    EXPECT_EQ(scsi_get_logging_fn(), nullptr);
    EXPECT_EQ(scsi_set_logging_fn(collect), nullptr);
    EXPECT_EQ(scsi_get_logging_fn(), reinterpret_cast<void *>(collect));
    EXPECT_EQ(scsi_set_logging_fn(nullptr), reinterpret_cast<void *>(collect));
    EXPECT_EQ(scsi_get_logging_fn(), nullptr);
}

TEST_F(Logging, StreamlessHandleIsSilent)
{
    scsi_configure_logging(&drv, nullptr, LOG_EVERYTHING);
    inquiry(96);
    EXPECT_EQ(scsi_log_cmd(&io), 0);
    EXPECT_EQ(scsi_log(&drv, "Sys", "nowhere"), 0);
}

TEST_F(Logging, TimestampFormats)
{
    char mine[] = "%H:%M";
    scsi_set_timedate_format(mine);
    EXPECT_EQ(scsi_get_timedate_format(), new_td_format);
    EXPECT_STREQ(scsi_get_timedate_format(), "%H:%M");
    mine[0] = 'X';
    EXPECT_STREQ(scsi_get_timedate_format(), "%H:%M");  // a copy, not the caller's text

    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char expect[16];
    strftime(expect, sizeof expect, "%H:%M", &local);
    scsi_log(&drv, "Sys", "x");
    std::string line = text();
    // The minute may turn between the two readings of the clock.
    EXPECT_EQ(line.size(), strlen("hh:mm Sys | x                   |\n"));
    EXPECT_EQ(line.substr(5), " Sys | x                   |\n");
    EXPECT_EQ(line[2], ':');

    // A format longer than the store keeps its first 39 characters.
    std::string long_format(50, 'a');
    scsi_set_timedate_format(long_format.c_str());
    EXPECT_EQ(std::string(scsi_get_timedate_format()), std::string(39, 'a'));
    // Output longer than the stamp keeps its first 39 characters.
    scsi_set_timedate_format("%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y");
    EXPECT_EQ(strlen(scsi_timedate()), 39u);
    scsi_set_timedate_format("");
    EXPECT_STREQ(scsi_timedate(), "");
}

TEST_F(Logging, DefaultTimestampShape)
{
    // A fresh process still has the initial format only when nothing set it,
    // so restore it the way a caller would.
    scsi_set_timedate_format("|%H:%M:%S|%d/%m/%y|");
    const char *stamp = scsi_timedate();
    ASSERT_EQ(strlen(stamp), 19u);
    const char *shape = "|99:99:99|99/99/99|";
    for (int i = 0; i < 19; i++) {
        if (shape[i] == '9')
            EXPECT_TRUE(stamp[i] >= '0' && stamp[i] <= '9') << stamp;
        else
            EXPECT_EQ(stamp[i], shape[i]) << stamp;
    }
}

}  // namespace
