// Text and command log lines, byte for byte, on a stream and through the
// logging callback.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
        memset(&drv, 0, sizeof drv);
        fp = open_memstream(&buf, &len);
        scsi_configure_logging(&drv, fp, LOG_EVERYTHING);
        for (int i = 0; i < 96; i++)
            data[i] = static_cast<unsigned char>(i);
        for (int i = 0; i < 256; i++)
            drv.sense_data[i] = static_cast<u_int8>(0xA0 + i);
    }
    void TearDown() override
    {
        fclose(fp);
        free(buf);
    }
    std::string text()
    {
        fflush(fp);
        return std::string(buf, len);
    }
    // An INQUIRY as the transport leaves it after the command.
    scsi_io_type *inquiry(int32 got, u_int8 driver_status = 0, u_int8 scsi_status = 0)
    {
        memset(&io, 0, sizeof io);
        const unsigned char cdb[6] = {0x12, 0, 0, 0, 0xFF, 0};
        memcpy(io.cdb, cdb, sizeof cdb);
        io.drv = &drv;
        io.cdb_length = 6;
        io.data = data;
        io.data_length = 255;
        io.data_direction = HOST_READ;
        io.actual_data_length = got;
        drv.driver_status = driver_status;
        drv.scsi_status = scsi_status;
        return &io;
    }

    DRIVE drv;
    scsi_io_type io;
    unsigned char data[96];
    FILE *fp = nullptr;
    char *buf = nullptr;
    size_t len = 0;
};

TEST_F(Logging, CommandAndTextLinesOnTheStreamAndThroughTheCallback)
{
    scsi_set_datalog_level(16);
    EXPECT_EQ(scsi_log_cmd(inquiry(96)), 0);
    EXPECT_EQ(scsi_log(&drv, "Sys", "sg revision 3.5.36"), 0);
    scsi_log(&drv, "LongTag", "a text longer than twenty characters");
    const std::string lines =
        "|T| Sys | Inquiry             |12 00 00 00 FF 00 |00060|00|00|\n"
        "|T| Sys |             Data In |00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F |\n";
    EXPECT_EQ(text(), lines + "|T| Sys | sg revision 3.5.36  |\n"
                              "|T| Long| a text longer than twenty characters|\n");

    // The callback wins over the stream: command lines whole, text lines in
    // three unpadded pieces.
    EXPECT_EQ(scsi_set_logging_fn(collect), nullptr);
    EXPECT_EQ(scsi_get_logging_fn(), reinterpret_cast<void *>(collect));
    size_t before = text().size();
    scsi_log_cmd(inquiry(96));
    scsi_log(&drv, "STL", "short");
    EXPECT_EQ(received, (Strings{lines.substr(0, lines.find('\n') + 1), lines.substr(lines.find('\n') + 1),
                                 "|T| STL | ", "short", "|\n"}));
    EXPECT_EQ(text().size(), before);
    EXPECT_EQ(scsi_set_logging_fn(nullptr), reinterpret_cast<void *>(collect));
}

TEST_F(Logging, DataLinesAreCutByTheLevelAndTheTransfer)
{
    struct Case {
        int32 level, got;
        direction dir;
        bool with_data;
        Strings data_lines;
    };
    const Case cases[] = {
        {20,
         96,
         HOST_READ,
         true,
         {"|T| Sys |             Data In |00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F |\n",
          "|T| Sys |             Data In |10 11 12 13 |\n"}},
        {100, 3, HOST_WRITE, true, {"|T| Sys |            Data Out |00 01 02 |\n"}},
        {4, 96, NO_TRANSFER, true, {"|T| Sys |            Data Out |00 01 02 03 |\n"}},
        {16, 0, HOST_READ, true, {}},
        {16, 96, HOST_READ, false, {}},
        {0, 96, HOST_READ, true, {}},
    };
    scsi_set_logging_fn(collect);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.level);
        scsi_set_datalog_level(c.level);
        inquiry(c.got);
        io.data_direction = c.dir;
        if (!c.with_data)
            io.data = nullptr;
        received.clear();
        scsi_log_cmd(&io);
        ASSERT_EQ(received.size(), c.data_lines.size() + 1);
        EXPECT_EQ(Strings(received.begin() + 1, received.end()), c.data_lines);
    }
}

TEST_F(Logging, LevelsDecideWhatIsWritten)
{
    scsi_configure_logging(&drv, fp, LOG_ERRORS_ONLY);
    scsi_log_cmd(inquiry(96));
    scsi_log(&drv, "Sys", "text lines still show");
    drv.sense_data[7] = 10;
    drv.sense_length = 18;
    scsi_log_cmd(inquiry(0, 0x00, 0x02));
    scsi_log_cmd(inquiry(0, 0x42, 0xFF));
    EXPECT_EQ(text(), "|T| Sys | text lines still show|\n"
                      "|T| Sys | Inquiry             |12 00 00 00 FF 00 |00000|00|02|\n"
                      "|T| Sys | AutoRequestSense    |A0 A1 A2 A3 A4 A5 A6 0A A8 A9 AA AB AC AD AE AF B0 B1 |\n"
                      "|T| Sys | Inquiry             |12 00 00 00 FF 00 |00000|42|FF|\n");

    size_t before = text().size();
    scsi_configure_logging(&drv, fp, LOG_NOTHING);
    scsi_log_cmd(inquiry(0, 0x42, 0xFF));
    scsi_log(&drv, "Sys", "hidden");
    EXPECT_EQ(text().size(), before);

    // A handle without a stream and no callback logs nothing rather than crash.
    scsi_configure_logging(&drv, nullptr, LOG_EVERYTHING);
    EXPECT_EQ(scsi_log_cmd(inquiry(96)), 0);
    EXPECT_EQ(scsi_log(&drv, "Sys", "nowhere"), 0);
}

TEST_F(Logging, SenseLineShowsWhatWasWrittenAndAnnounced)
{
    struct Case {
        int written, additional, shown;
    };
    // Beyond 85 bytes every byte the buffer holds is still shown.
    const Case cases[] = {{18, 10, 18}, {14, 10, 14},    {18, 2, 10},
                          {0, 10, 0},   {255, 255, 255}, {200, 150, 158}};
    scsi_set_logging_fn(collect);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.written);
        drv.sense_data[7] = static_cast<u_int8>(c.additional);
        drv.sense_length = static_cast<u_int8>(c.written);
        received.clear();
        scsi_log_cmd(inquiry(0, 0, 2));
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
    io.drv = &drv;
    io.cdb_length = 99;  // never read past the CDB array
    io.actual_data_length = 0x123456;
    scsi_log_cmd(&io);
    io.cdb[0] = 0x06;
    io.cdb_length = 6;
    io.actual_data_length = 0;
    scsi_log_cmd(&io);
    io.cdb_length = 0;
    scsi_log_cmd(&io);
    EXPECT_EQ(text(),
              "|T| Sys | Read(16)            |88 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F |123456|00|00|\n"
              "|T| Sys | CommandName         |06 01 02 03 04 05 |00000|00|00|\n"
              "|T| Sys | CommandName         ||00000|00|00|\n");
}

TEST_F(Logging, TimestampFormats)
{
    scsi_set_timedate_format("|%H:%M:%S|%d/%m/%y|");
    std::string stamp = scsi_timedate();
    ASSERT_EQ(stamp.size(), 19u);
    for (int i = 0; i < 19; i++)
        EXPECT_EQ(isdigit(stamp[i]) != 0, strchr("|:/", "|99:99:99|99/99/99|"[i]) == nullptr) << stamp;

    char mine[] = "<%%>";
    scsi_set_timedate_format(mine);
    mine[1] = 'X';
    EXPECT_EQ(scsi_get_timedate_format(), new_td_format);  // a copy, not the caller's text
    scsi_log(&drv, "Sys", "x");
    EXPECT_EQ(text(), "<%> Sys | x                   |\n");

    // Formats and stamps longer than their stores keep their first 39 characters.
    scsi_set_timedate_format(std::string(50, 'a').c_str());
    EXPECT_EQ(std::string(scsi_get_timedate_format()), std::string(39, 'a'));
    scsi_set_timedate_format("%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y");
    EXPECT_EQ(strlen(scsi_timedate()), 39u);
    scsi_set_timedate_format("");
    EXPECT_STREQ(scsi_timedate(), "");
}

}  // namespace
