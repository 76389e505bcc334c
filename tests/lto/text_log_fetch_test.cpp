// The fetches of the drive's text logs through the emulated drive: the exact
// RECEIVE DIAGNOSTIC RESULTS each sends, the page choices and fallbacks, and
// what a failing page leaves.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lto_drive.h"
#include "lto_log_text.h"
#include "ltolib.h"

namespace {

using support::set_drive_kind;

constexpr char kHeader[] = "FFFF Primary Port CDB Log Version ";

class LtoDiagFetch : public LtoDriveTest {
protected:
    // RECEIVE DIAGNOSTIC RESULTS, page code valid, of `page` with `length`.
    static std::string receive(unsigned page, unsigned length = 0xFFFF)
    {
        char cdb[40];
        std::snprintf(cdb, sizeof cdb, "cmd 1C 01 %02X %02X %02X 00", page, length >> 8, length & 0xFF);
        return cdb;
    }
};

TEST_F(LtoDiagFetch, FaultLogPageByVariant)
{
    const std::string a5 = diag_text_key(0xA5, "3 1234567 2A0 5 7 1F4\n");
    const std::string old = diag_text_key(0x85, "A 3E8 1 2 3 B 64 4 5 6\n");
    struct Case {
        u_int32 variant;
        std::string keys;
        int32 result;
        Lines sent;
    };
    const Case cases[] = {
        {0x80000000, a5 + old, 2, {receive(0x85)}},
        {0x80000100, a5 + old, 1, {receive(0xA5)}},
        // Bits 8..15 of the variant choose: the top one alone, and none with
        // the bits either side of them set.
        {0x80008000, a5 + old, 1, {receive(0xA5)}},
        {0x800100FF, a5 + old, 2, {receive(0x85)}},
        {0x80000100, old, 2, {receive(0xA5), receive(0x85)}},  // A5h fails: 85h
        {0x80000100, "", -1, {receive(0xA5), receive(0x85)}},
    };
    for (const Case &c : cases) {
        set_drive_kind(c.variant, 3);
        open_drive(c.keys);
        std::vector<LTOFaultLogType> log(LTO_FAULT_LOG_MAX);
        log[0].errcode = 77;
        EXPECT_EQ(lto_get_fault_log(&drv, log.data()), c.result) << std::hex << c.variant;
        EXPECT_EQ(commands(), c.sent) << std::hex << c.variant;
        EXPECT_EQ(log[0].errcode == 77, c.result < 0) << "records left alone only on failure";
        if (c.result == 1) {
            EXPECT_STREQ(log[0].timestamp, "000:05:05.419888");  // the new layout
        }
    }
}

TEST_F(LtoDiagFetch, WriteFaultLogAndC1Counters)
{
    open_drive(diag_text_key(0x89, "3 10 1 2 4\n") + diag_text_key(0x88, "1 2 3 4"));
    std::vector<LTOWrFaultLogType> wraps(LTO_WRFAULT_LOG_WRAPS);
    EXPECT_EQ(lto_get_writefault_log(&drv, wraps.data()), 1);
    EXPECT_EQ(wraps[3].writecount, 0x10u);
    LTOC1CountType counts{};
    EXPECT_EQ(lto_get_c1_counters(&drv, 0x88, &counts), 0);
    EXPECT_EQ(counts.unwritable_datasets, 4);
    EXPECT_EQ(commands(), (Lines{receive(0x89, 8192), receive(0x88, 1024)}));

    // A reply without numbers still gives 0; a page that cannot be read -1.
    open_drive(diag_text_key(0x34, ""));
    EXPECT_EQ(lto_get_c1_counters(&drv, 0x34, &counts), 0);
    EXPECT_EQ(lto_get_c1_counters(&drv, 0x35, &counts), -1);
    EXPECT_EQ(lto_get_writefault_log(&drv, wraps.data()), -1);
}

TEST_F(LtoDiagFetch, ScsiHistoryPagesAndResults)
{
    const std::string entries3 = "1 1 0 0 0 0 0 0 0 0 2 1 0 0 0 0 0 0 0 0 3 1 0 0 0 0 0 0 0 0";
    struct Case {
        std::string keys;
        int32 result;
        Lines sent;
        bool logged;
    };
    const Case cases[] = {
        {diag_text_key(0xAF, kHeader + std::string("3.0 1 1 FF 0 0 0 0 0 0 0 0 0 0")),
         0xAF0001,
         {receive(0xAF)},
         false},
        // AFh failing: A6h with three entries.
        {diag_text_key(0xA6, entries3), 0xA60003, {receive(0xAF), receive(0xA6)}, false},
        // An empty AFh counts as none.
        {"diag.af = \n" + diag_text_key(0xA6, entries3), 0xA60003, {receive(0xAF), receive(0xA6)}, false},
        // No version header: AFh stands, without A6h.
        {diag_text_key(0xAF, "1 1 0") + diag_text_key(0xA6, entries3), 0xAF0000, {receive(0xAF)}, false},
        {diag_text_key(0xAF, kHeader + std::string("3.1 1 1 FF")), 0xAF0000, {receive(0xAF)}, true},
        {"", -1, {receive(0xAF), receive(0xA6)}, false},
    };
    for (const Case &c : cases) {
        open_drive(c.keys);
        log_at(LOG_EVERYTHING);
        std::vector<LTOScsiHistoryType> hist(8);
        EXPECT_EQ(lto_get_scsi_cmdhistory(&drv, 8, hist.data()), c.result) << c.keys;
        EXPECT_EQ(commands(), c.sent) << c.keys;
        EXPECT_EQ(log_text().find("Unsupported layout revision encountered") != std::string::npos, c.logged);
    }
}

TEST_F(LtoDiagFetch, InterfaceHistoriesAndConfigurations)
{
    set_drive_kind(0, 3);
    const std::string i16 = " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
    open_drive(diag_text_key(0xA7, "1 1 0 0 0 0 0 0 0 0 0 0") + diag_text_key(0xB5, "1 1 7") +
               diag_text_key(0xBE, "1 1 8 1 2 3 4 5 6 7 8 9 A B 2 2 9") + diag_text_key(0xAA, "1 1 5" + i16) +
               diag_text_key(0xAB, "1 1 2580 1 2 3 4") + diag_text_key(0xB6, "1 1 1 2 3 4 5 6 7 8 9 A") +
               diag_text_key(0xBF, "") + diag_text_key(0xAC, "1 1 0 0 0 0 0 0 0 0 0 0 A B C"));
    LTOAciHistoryType aci[4];
    LTOAdiHistoryType adi[4];
    LTOScsiConfigType scsi[4];
    LTOAciConfigType acic[4];
    LTOAdiConfigType adic[4];
    LTOFcConfigType fc[4];
    EXPECT_EQ(lto_get_aci_cmdhistory(&drv, 4, aci), 1);
    EXPECT_EQ(lto_get_adi_cmdhistory(&drv, 4, adi), 1);
    EXPECT_EQ(adi[0].entryType, 7);
    EXPECT_EQ(lto_get_ami_cmdhistory(&drv, 1, adi), 1);  // maxdepth 1 of two
    EXPECT_EQ(adi[0].entryType, 8);
    EXPECT_EQ(lto_get_scsi_config(&drv, 4, scsi), 1);
    EXPECT_EQ(scsi[0].address, 5);
    EXPECT_EQ(lto_get_aci_config(&drv, 4, acic), 1);
    EXPECT_EQ(lto_get_adi_config(&drv, 4, adic), 1);
    EXPECT_EQ(lto_get_ami_config(&drv, 4, adic), 0);
    EXPECT_EQ(lto_get_fc_config(&drv, 4, fc), 1);
    EXPECT_STREQ(fc[0].device_wwn, "A");
    EXPECT_EQ(commands(), (Lines{receive(0xA7), receive(0xB5), receive(0xBE), receive(0xAA), receive(0xAB),
                                 receive(0xB6), receive(0xBF), receive(0xAC)}));

    // A page that cannot be read: -1, the records as they were.
    open_drive();
    acic[0].baudrate = 77;
    EXPECT_EQ(lto_get_aci_config(&drv, 4, acic), -1);
    EXPECT_EQ(acic[0].baudrate, 77u);
}

}  // namespace
