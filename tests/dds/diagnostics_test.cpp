// DDS vendor diagnostics and firmware download, through the emulated drive.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "scratch.h"
#include "dds_memory_bus.h"
#include "models/download.h"
#include "ddslib.h"
#include "scsilib.h"

using ddstest::sent;
using Lines = std::vector<std::string>;

namespace {

const std::string kSend = "cmd sg0 1D 01 00 00 08 00";
const std::string kRefuse = " status=2 sense=70000500000000060000000026000000\n";

struct Drive : ::testing::Test {
    DRIVE drv{};
    Drive() { drv.fd = -1; }
    void open(const std::string &extra = "") { ddstest::open_drive(ddstest::dds_bus(0x40001, 1, extra), drv); }
    void TearDown() override { ddstest::close_drive(drv); }
};

TEST_F(Drive, DiagnosticLists)
{
    struct Row {
        boolean alt, passthru;
        u_int8 cmd, num;
        const char *list;
    };
    const Row rows[] = {
        {0, 1, 0x61, 2, "41 A1 61 02 80 0F 00 00"}, {1, 1, 0x61, 2, "41 81 61 0F 80 FF 00 00"},
        {0, 0, 0x10, 0, "41 81 10 00 00 00 00 00"}, {0, 0, 0x10, 4, "41 81 10 04 01 02 80 0F"},
        {1, 0, 0x10, 3, "41 81 10 0F 80 00 00 00"},
    };
    open();
    for (const auto &r : rows) {
        kvemu::clear_trace();
        servo_cmd_type c{r.cmd, r.num, {0x0F, 0x80, 0x02, 0x01}, r.passthru};
        EXPECT_EQ(dds_servo_cmd(&drv, r.alt, &c), 0);
        EXPECT_EQ(sent(), (Lines{kSend, std::string("out sg0 ") + r.list}));
    }
    kvemu::clear_trace();
    servo_cmd_type five{0x10, 5, {1, 2, 3, 4}, 0};
    EXPECT_EQ(dds_servo_cmd(&drv, 0, &five), -1);  // more parameters than the record holds
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(dds_send_dai_command(&drv, 0x05, 1, 2, 3, 4), 0);
    EXPECT_EQ(sent(), (Lines{kSend, "out sg0 70 81 05 04 03 02 01 00"}));
}

TEST_F(Drive, RefusedListsFail)
{
    open("override = 1d times=*" + kRefuse);
    servo_cmd_type c{0x61, 0, {}, 0};
    EXPECT_EQ(dds_servo_cmd(&drv, 0, &c), -1);
    EXPECT_EQ(dds_send_dai_command(&drv, 5, 1, 2, 3, 4), -1);
    u_int8 sw = 0xEE;
    EXPECT_LT(dds_read_switches(&drv, 0, &sw), 0);
    EXPECT_EQ(sw, 0xEE);
    EXPECT_EQ(sent().size(), 6u);  // three lists, and no RECEIVE after the refused switch list
}

TEST_F(Drive, ReadSwitchesChecksTheIndexAndTheReply)
{
    open("diag.4b = 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13\n"
         "override = 1c skip=2 short=15\n");  // the third reply holds 5 bytes
    u_int8 sw = 0xEE;
    for (int32 which : {0, 19}) {
        EXPECT_EQ(dds_read_switches(&drv, which, &sw), 0);
        EXPECT_EQ(sw, which);
    }
    EXPECT_EQ(sent()[1], "out sg0 4B 81 00 00 00 00 00 00");
    EXPECT_EQ(sent()[2], "cmd sg0 1C 00 00 00 14 00");
    kvemu::clear_trace();
    sw = 0xEE;
    EXPECT_EQ(dds_read_switches(&drv, 20, &sw), -1);
    EXPECT_EQ(dds_read_switches(&drv, -1, &sw), -1);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(dds_read_switches(&drv, 5, &sw), -1);
    EXPECT_EQ(sw, 0xEE);
}

TEST_F(Drive, ServoStatusReadsEvenWhenTheListIsRefused)
{
    open("diag.42 = 11 22 33 44 55 66\noverride = 1d skip=1" + kRefuse);
    for (boolean alt : {0, 1}) {
        kvemu::clear_trace();
        unsigned char status[8];
        std::memset(status, 0xEE, sizeof status);
        EXPECT_EQ(dds_servo_status(&drv, alt, status, 8), 6);
        EXPECT_EQ(kvemu::to_hex(status, 8), "11 22 33 44 55 66 00 00");
        EXPECT_EQ(sent(),
                  (Lines{kSend, alt ? "out sg0 42 81 00 00 00 FF 00 00" : "out sg0 42 A1 00 00 00 00 00 00",
                         "cmd sg0 1C 00 00 00 08 00"}));
    }
}

// ---- Firmware download ----

Lines g_pieces;
void capture(void *text) { g_pieces.emplace_back(static_cast<const char *>(text)); }

// The texts of scsi_log lines: the pieces the callback gets just before "|\n".
Lines logged()
{
    Lines out;
    for (size_t i = 0; i + 1 < g_pieces.size(); ++i)
        if (g_pieces[i + 1] == "|\n")
            out.push_back(g_pieces[i]);
    g_pieces.clear();
    return out;
}

int open_fd_count()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

struct Download : Drive {
    scratch::Dir scratch{false};
    const std::string dir = scratch.path();
    Lines paths;
    void SetUp() override
    {
        scsi_set_logging_fn(capture);
        g_pieces.clear();
    }
    void TearDown() override
    {
        scsi_set_logging_fn(nullptr);
        Drive::TearDown();
    }
    kvemu::Bytes file(const std::string &name, size_t size)
    {
        kvemu::Bytes b(size);
        for (size_t i = 0; i < size; ++i)
            b[i] = static_cast<uint8_t>(i * 7 + name.size());
        paths.push_back(dir + "/" + name);
        std::ofstream(paths.back(), std::ios::binary)
            .write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(size));
        return b;
    }
    int32 run(Lines names, boolean destroy_cal)
    {
        std::vector<char *> list;
        for (auto &n : names)
            list.push_back(n.empty() ? nullptr : &n[0]);
        return dds_download_firmware(&drv, list.data(), static_cast<int32>(list.size()), destroy_cal);
    }
};

TEST_F(Download, EachFileGoesWholeInOneWriteBuffer)
{
    kvemu::Bytes a = file("a.bin", 5), b = file("b.bin", DDS_FW_FILE_MAX);
    for (boolean destroy : {0, 1}) {
        open("installs = * 2.00\n");  // the model's own road takes either mode
        drv.loglevel = LOG_EVERYTHING;
        EXPECT_EQ(run({dir + "/a.bin", dir + "/b.bin"}, destroy), 0);
        const auto &cmds = kvemu::node(0)->commands;
        ASSERT_EQ(cmds.size(), 2u);
        const std::string mode = destroy ? "3B 05" : "3B 04";
        EXPECT_EQ(kvemu::to_hex(cmds[0].cdb.data(), 10), mode + " 01 00 00 00 00 00 05 00");
        EXPECT_EQ(kvemu::to_hex(cmds[1].cdb.data(), 10), mode + " 01 00 00 00 00 80 00 00");
        EXPECT_EQ(cmds[0].data_out, a);
        EXPECT_EQ(cmds[1].data_out, b);
        EXPECT_EQ(logged(), (Lines{destroy ? "Download f/w, erase cal " : "Download f/w, preserve cal ",
                                   "Download completed"}));
        EXPECT_EQ(kvemu::download_of(kvemu::node(0))->commits(), 2);
        ddstest::close_drive(drv);
    }
    open();
    drv.loglevel = LOG_EVERYTHING;
    EXPECT_EQ(run({}, 0), 0);
    EXPECT_EQ(logged(), (Lines{"Download f/w, preserve cal ", "Download completed"}));
    EXPECT_EQ(dds_download_firmware(&drv, nullptr, -1, 0), -1);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Download, ABadFileInTheListSendsNothing)
{
    file("good.bin", 100);
    file("empty.bin", 0);
    file("big.bin", DDS_FW_FILE_MAX + 1);
    const std::string no_open = "Unable to open download file for read";
    const std::string bad_size = "Download file empty or larger than 32768 bytes";
    const std::pair<std::string, Lines> rows[] = {
        {dir + "/missing.bin", {no_open}}, {"", {no_open}}, {dir + "/empty.bin", {bad_size}},
        {dir + "/big.bin", {bad_size}},    {dir, {}},  // a directory opens but cannot be read
    };
    open();
    drv.loglevel = LOG_ERRORS_ONLY;
    const int fds = open_fd_count();
    for (const auto &r : rows) {
        EXPECT_EQ(run({dir + "/good.bin", r.first, dir + "/good.bin"}, 1), -1) << r.first;
        EXPECT_EQ(logged(), r.second);
        EXPECT_EQ(open_fd_count(), fds);
    }
    EXPECT_TRUE(sent().empty());
}

TEST_F(Download, AShortWriteStopsTheDownload)
{
    open("override = 3b skip=1 resid=1\n");
    file("a.bin", 10);
    EXPECT_EQ(run({dir + "/a.bin", dir + "/a.bin", dir + "/a.bin"}, 0), -1);
    EXPECT_EQ(kvemu::node(0)->commands.size(), 2u);
}

}  // namespace
