// The LTO identification probe against emulated KV drives: REPORT DENSITY
// SUPPORT, its retries while the drive is busy or reports a unit attention,
// and replies cut short.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kvemu.h"
#include "ltolib.h"
#include "probe_drive.h"

namespace {

// The probe's clock, while one is alive: every reading one second later than
// the one before.
struct FakeClock {
    FakeClock() { kvemu::step_clock(1700000000); }
    ~FakeClock() { kvemu::real_clock(); }
};

const char kDensities[] = "cmd sg0 44 00 00 00 00 00 00 00 38 00";
const char kRequestSense[] = "cmd sg0 03 00 00 00 38 00";

TEST_F(Probe, LtoAnswers)
{
    struct {
        const char *what;
        const char *settings;
        boolean is_lto;
        std::vector<std::string> sent;
    } cases[] = {
        // clang-format off
        {"LTO drive", "", 1, {kDensities}},
        {"other organisation", "density_org = OTHERORG\n", 0, {kDensities}},
        {"LTO-CVE only in the second descriptor", "density_org = OTHERORG\ndensity_org = LTO-CVE\n", 0,
         {kDensities}},
        {"busy three times", "busy = 3\n", 1, {kDensities, kDensities, kDensities, kDensities}},
        {"unit attention first", "unit_attention = 1\n", 1, {kDensities, kRequestSense, kDensities}},
        {"busy, then unit attention", "busy = 2\nunit_attention = 1\n", 1,
         {kDensities, kDensities, kDensities, kRequestSense, kDensities}},
        {"refused twice", "override = 44 times=2 status=2 sense=700005000000000A0000000020000000\n", 0,
         {kDensities, kRequestSense, kDensities}},
        {"not ready: no second try", "override = 44 status=2 sense=700002000000000A0000000004010000\n", 0,
         {kDensities}},
        // The sense byte is compared whole: NOT READY with ILI set is tried again.
        {"not ready with ILI", "override = 44 status=2 sense=700022000000000A0000000004010000\n", 1,
         {kDensities, kRequestSense, kDensities}},
        // clang-format on
        {"reply cut before the organisation", "override = 44 short=32\n", 0, {kDensities}},
        {"organisation cut short", "override = 44 short=30\n", 0, {kDensities}},
        {"organisation received whole", "override = 44 short=29\n", 1, {kDensities}},
        {"no data", "reply.44 = \n", 0, {kDensities}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        attach("kv_lto", c.settings);
        EXPECT_EQ(lto_drive_is_lto(&drv), c.is_lto);
        EXPECT_EQ(commands(), c.sent);
    }
}

TEST_F(Probe, LtoNotReadyFromAnEarlierCommandSkipsTheRetry)
{
    attach("kv_lto", "busy = *\n");
    drv.timeout = 2000;
    drv.sense_byte = 2;  // left by an earlier CHECK CONDITION on this handle
    FakeClock clock;
    EXPECT_EQ(lto_drive_is_lto(&drv), 0);
    EXPECT_EQ(commands(), std::vector<std::string>(3, kDensities));
}

// A drive that stays BUSY is asked until the handle's timeout has passed (in
// whole seconds), then once more after REQUEST SENSE. Each clock reading is a
// second after the one before, so the attempts can be counted.
TEST_F(Probe, LtoBusyUntilTheDeadline)
{
    const struct {
        int32 timeout;
        size_t attempts;
    } rows[] = {{3000, 4}, {3999, 4}, {1000, 2}, {999, 1}, {0, 1}, {-5000, 1}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.timeout);
        attach("kv_lto", "busy = *\n");
        drv.timeout = r.timeout;
        FakeClock clock;
        EXPECT_EQ(lto_drive_is_lto(&drv), 0);
        EXPECT_EQ(drv.scsi_status, 8);
        std::vector<std::string> want(r.attempts, kDensities);
        want.push_back(kRequestSense);
        want.push_back(kDensities);
        EXPECT_EQ(commands(), want);
    }
}

TEST_F(Probe, LtoBusyEndsBeforeTheDeadline)
{
    attach("kv_lto", "busy = 5\n");
    drv.timeout = 10000;
    FakeClock clock;
    EXPECT_EQ(lto_drive_is_lto(&drv), 1);
    EXPECT_EQ(commands(), std::vector<std::string>(6, kDensities));
}

}  // namespace
