// The LTO drive commands through the emulated drive: the exact vendor pages
// sent, the log pages and texts read back, the memories, the cartridge memory
// and the firmware download.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "lto_drive.h"
#include "ltolib.h"
#include "scratch.h"

namespace {

using Lines = LtoDriveTest::Lines;
using kvemu::Bytes;

// The text of a RECEIVE DIAGNOSTIC RESULTS reply of `total` bytes: `text`
// padded with blanks behind the 4-byte header.
std::string padded(const std::string &text, size_t total)
{
    return text + std::string(total - 4 - text.size(), ' ');
}

class LtoCommands : public LtoDriveTest {};

TEST_F(LtoCommands, VendorPagesAsSent)
{
    int32 parms[38];
    for (int i = 0; i < 38; ++i)
        parms[i] = 0x100 + i;
    std::string all38;
    for (int i = 0; i < 38; ++i) {
        char p[16];
        std::snprintf(p, sizeof p, " 00 00 01 %02X", 0x00 + i);
        all38 += p;
    }
    const std::string ert = " 00 00 20 00 00 00 55 00 00 00 00 00 00 00 66 00 00 00 00 00 00 00 22 "
                            "00 00 00 11 00 00 00 33 00 00 00 44";
    struct Row {
        std::function<int32(DRIVE *)> call;
        Lines sent;
    };
    const Row rows[] = {
        {[](DRIVE *d) { return lto_enter_datacollection_mode(d, 1, 0x12345, 0, 7, 8, -2, 3); },
         {"cmd 1D 11 00 00 20 5A",
          "out A1 00 00 1C 00 00 00 01 00 00 00 01 00 01 23 45 00 00 00 07 00 00 00 08 "
          "FF FF FF FE 00 00 00 03"}},
        {[](DRIVE *d) { return lto_exit_datacollection_mode(d); },
         {"cmd 1D 11 00 00 04 5A", "out A2 00 00 00"}},
        {[&](DRIVE *d) { return lto_send_mech_cmd(d, 0x200F, 38, parms); },
         {"cmd 1D 11 00 00 A0 5A", "out 93 00 00 9C 00 00 20 0F" + all38}},
        {[](DRIVE *d) { return lto_run_ert(d, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 1); },
         {"cmd 1D 11 00 00 24 5A", "out 96" + ert}},
        {[](DRIVE *d) { return lto_run_ert(d, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0); },
         {"cmd 1D 11 00 00 24 5A", "out 95" + ert}},
    };
    open_drive();
    scsi_set_link(&drv, 0x15A);  // the control byte is its low byte
    for (const Row &r : rows) {
        kvemu::clear_trace();
        EXPECT_EQ(r.call(&drv), 0);
        EXPECT_EQ(commands(), r.sent);
    }
    // Parameter counts outside 0..38 send nothing.
    kvemu::clear_trace();
    EXPECT_EQ(lto_send_mech_cmd(&drv, 1, 39, parms), -1);
    EXPECT_EQ(lto_send_mech_cmd(&drv, 1, -1, parms), -1);
    EXPECT_TRUE(commands().empty());
}

TEST_F(LtoCommands, RefusedPagesFail)
{
    open_drive(std::string("override = 1d times=*") + " " + kCheck + "\n");
    EXPECT_EQ(lto_exit_datacollection_mode(&drv), -1);
    int32 lp0 = 5;
    boolean valid = 5;
    EXPECT_EQ(lto_get_lp0(&drv, &lp0, &valid), -1);
    EXPECT_EQ(commands().size(), 4u);  // no RECEIVE after the refused LP0 command
}

TEST_F(LtoCommands, RepliesReadBack)
{
    open_drive("diag.a3 = A3 00 00 04 01 02 03 04\n" + key("diag.c7", "trace") +
               mech_key(0x77, " 1 2 3 ffffffff 5\n6"));
    u_int8 buf[64];
    EXPECT_EQ(lto_get_servo_defects(&drv, buf, 64), 8);
    EXPECT_EQ(commands(), (Lines{"cmd 1C 01 A3 00 40 00"}));
    EXPECT_EQ(lto_get_firmware_trace(&drv, 0xC7, buf, 3), 3);
    EXPECT_EQ(std::string(buf, buf + 3), "tra");
    EXPECT_EQ(lto_get_servo_defects(&drv, buf, -1), -1);

    // Mechanism data: at most nValues values, the last byte of the reply parsed too.
    int32 parm = 0;
    int32 data[8] = {-9, -9, -9, -9, -9, -9, -9, -9};
    ASSERT_EQ(lto_send_mech_cmd(&drv, 0x77, 1, &parm), 0);
    kvemu::clear_trace();
    EXPECT_EQ(lto_get_mech_data(&drv, data, 8), 6);
    EXPECT_EQ(std::vector<int32>(data, data + 7), (std::vector<int32>{1, 2, 3, -1, 5, 6, -9}));
    EXPECT_EQ(commands(), (Lines{"cmd 1C 01 93 00 5A 00"}));
    EXPECT_EQ(lto_get_mech_data(&drv, data, 2), 2);
    EXPECT_EQ(data[2], 3);  // untouched
    kvemu::clear_trace();
    EXPECT_EQ(lto_get_mech_data(&drv, data, 100000), 6);  // the area is capped at one command's worth
    EXPECT_EQ(commands(), (Lines{"cmd 1C 01 93 FF FF 00"}));
    kvemu::clear_trace();
    EXPECT_EQ(lto_get_mech_data(&drv, data, -1), -1);
    EXPECT_TRUE(commands().empty());
}

TEST_F(LtoCommands, Lp0NeedsTheWholeReply)
{
    struct Row {
        std::string text;
        int32 rc, lp0;
        boolean valid;
    };
    const Row rows[] = {
        {padded("10 0", 24), 0, 0x10, 0},
        {"00001F40 00000001 xxxxxx", 0, 0x1F40, 1},  // longer: the first 24 bytes
        {"00001F40 00000001", -1, -5, 7},            // 21 bytes
        {padded("00001F40 00000001", 23), -1, -5, 7},
        {padded("1F40", 24), -1, -5, 7},  // one number
    };
    for (const Row &r : rows) {
        open_drive(mech_key(0x200F, r.text, 4));
        int32 lp0 = -5;
        boolean valid = 7;
        EXPECT_EQ(lto_get_lp0(&drv, &lp0, &valid), r.rc) << r.text;
        EXPECT_EQ(lp0, r.lp0) << r.text;
        EXPECT_EQ(valid, r.valid) << r.text;
        EXPECT_EQ(commands(), (Lines{"cmd 1D 11 00 00 0C 00", "out 93 00 00 08 00 00 20 0F 00 00 00 04",
                                     "cmd 1C 01 93 00 18 00"}));
    }
}

TEST_F(LtoCommands, LogPagesFieldByField)
{
    // Each field its own value, filling its width; 32-bit counters with the top
    // bit set read unsigned.
    open_drive(
        "log.30.0 = 0x11223344\nlog.30.1 = 0x0000000180000002\nlog.30.2 = 0x55667788\nlog.30.3 = 0x6601\n"
        "log.30.4 = 0x6602\nlog.30.5 = 0x6603\nlog.30.6 = 0xFFFFFFFF\nlog.30.7 = 0x77665544\n"
        "log.30.8 = 0x8899\nlog.32.0 = 0x1234\nlog.32.1 = 0x2B67\nlog.32.2 = 1\nlog.32.3 = 2\nlog.32.4 = 3\n"
        "log.32.5 = 4\nlog.32.6 = 0x80000000\nlog.32.7 = 6\nlog.32.8 = 7\nlog.32.9 = 0xFFFFFFFF\n"
        "log.03.3 = 0x71A2B3C4\nlog.03.4 = 0x72A2B3C4\nlog.03.5 = 0x73A2B3C4\nlog.03.6 = 0x74A2B3C4\n");
    int32 e[4] = {};
    ASSERT_EQ(lto_get_errcounters(&drv, 0x03, &e[0], &e[1], &e[2], &e[3]), 0);
    EXPECT_EQ(std::vector<int32>(e, e + 4),
              (std::vector<int32>{0x71A2B3C4, 0x72A2B3C4, 0x73A2B3C4, 0x74A2B3C4}));
    EXPECT_EQ(commands(), (Lines{"cmd 4D 00 43 00 00 00 00 00 3C 00"}));
    kvemu::clear_trace();
    EXPECT_EQ(lto_get_errcounters(&drv, 0x40, &e[0], &e[1], &e[2], &e[3]), -1);
    EXPECT_TRUE(commands().empty());

    LTOTapelogtype t{};
    ASSERT_EQ(lto_read_tape_log(&drv, &t), 0);
    EXPECT_EQ((std::vector<double>{double(t.loadCount), t.writtenSets, double(t.writeRetries),
                                   double(t.unrecoveredWrites), double(t.suspendedWrites),
                                   double(t.fatalSuspWrites), t.readSets, double(t.readRetries),
                                   double(t.unrecoveredReads)}),
              (std::vector<double>{0x11223344, 6442450946.0, 0x55667788, 0x6601, 0x6602, 0x6603, 4294967295.0,
                                   0x77665544, 0x8899}));

    LTODCtfrtype p{};
    ASSERT_EQ(lto_read_DC_performance(&drv, &p), 0);
    EXPECT_EQ((std::vector<double>{p.read_compression, p.write_compression, p.bytes_to_host, p.bytes_from_tape,
                                   p.bytes_from_host, p.bytes_to_tape}),
              (std::vector<double>{46.6, 111.11, 1048576.0 + 2, 3 * 1048576.0 + 4, 2147483648.0 * 1048576.0 + 6,
                                   7 * 1048576.0 + 4294967295.0}));

    // The last page code LOG SENSE carries.
    Bytes last(60, 0);
    last[0] = 0x3F;
    last[3] = 56;
    kvemu::put_be_at(last, 56, 0x12345678, 4);
    open_drive(key("log.3f", last));
    ASSERT_EQ(lto_get_errcounters(&drv, 0x3F, &e[0], &e[1], &e[2], &e[3]), 0);
    EXPECT_EQ(e[3], 0x12345678);
    EXPECT_EQ(commands(), (Lines{"cmd 4D 00 7F 00 00 00 00 00 3C 00"}));

    // A page cut short leaves the record as it was.
    open_drive("override = 4d short=1\n");
    t.loadCount = -3;
    EXPECT_EQ(lto_read_tape_log(&drv, &t), -1);
    EXPECT_EQ(t.loadCount, -3);
}

TEST_F(LtoCommands, DriveNumber)
{
    struct Row {
        std::string settings, want;
        int32 rc;
    };
    const Row rows[] = {
        {"serial = ABCDEFGHIJKLMNOPQRST\n", "ABCDEFGHIJKLMNO", 0},  // 15 characters at most
        {"serial = HU12\n", "HU12", 0},
        {"inquiry.80 = 01 80 00 08 FF 41 42 43 44 45 46 47\n", "UnknownSN", 0},
        {"inquiry.80 = 01 80 00 0A 41 42 43\n", "keep", -1},  // ends inside the number
        {"inquiry.80 = 01 80 00 04 41 42 43\n", "keep", -1},  // one byte short
        {"inquiry.80 = 01 80 00 01 FF\n", "UnknownSN", 0},    // the marker is the last byte
    };
    for (const Row &r : rows) {
        open_drive(r.settings);
        char sn[LTO_DRIVE_NUMBER_SIZE] = "keep";
        EXPECT_EQ(lto_get_drive_number(&drv, sn), r.rc) << r.settings;
        EXPECT_STREQ(sn, r.want.c_str());
        EXPECT_EQ(commands()[0], "cmd 12 01 80 00 14 00");
    }
}

// ---- Memories ----

TEST_F(LtoCommands, MemoryReadsByWidth)
{
    open_drive("memory.3.32 = 12 34 56 78 9A BC DE F0 00 00 00 01\nmemory.3.16 = AB CD 00 01\n");
    u_int32 w32[4] = {};
    ASSERT_EQ(lto_read_memory_diag(&drv, 4, 2, 3, 32, w32), 2);
    EXPECT_EQ(w32[0], 0x9ABCDEF0u);
    EXPECT_EQ(w32[1], 1u);
    EXPECT_EQ(commands(),
              (Lines{"cmd 1D 11 00 00 14 00", "out B0 00 00 10 00 00 00 04 00 00 00 02 00 00 00 03 00 00 00 20",
                     "cmd 1C 01 B0 00 1E 00"}));
    u_int16 w16[3] = {0, 0, 0x5555};
    ASSERT_EQ(lto_read_memory_diag(&drv, 0, 2, 3, 16, w16), 2);
    EXPECT_EQ(w16[0], 0xABCD);
    EXPECT_EQ(w16[1], 1);
    EXPECT_EQ(w16[2], 0x5555);
    kvemu::clear_trace();
    EXPECT_EQ(lto_read_memory_diag(&drv, 0, 4, 3, 16, w16), -1);  // past the memory's end
    EXPECT_EQ(commands().size(), 2u);                             // refused page, no RECEIVE
    kvemu::clear_trace();
    EXPECT_EQ(lto_read_memory_diag(&drv, 0, -1, 3, 16, w16), -1);
    EXPECT_TRUE(commands().empty());
}

TEST_F(LtoCommands, MemoryWritesInPagesOfSixteen)
{
    struct Row {
        int32 width, addr, count;
        Lines pages;  // address and count of each page
    };
    const Row rows[] = {
        {8, 0xF80, 20, {"00 00 0F 80 00 00 00 10", "00 00 0F 90 00 00 00 04"}},
        {16, 0x10, 17, {"00 00 00 10 00 00 00 10", "00 00 00 30 00 00 00 01"}},
        {32, 0x10, 16, {"00 00 00 10 00 00 00 10"}},
    };
    open_drive("memory.5.16 = " + std::string(128, '0') + "\nmemory.5.32 = " + std::string(256, '0') + "\n");
    for (const Row &r : rows) {
        kvemu::clear_trace();
        const int32 id = r.width == 8 ? 16 : 5;
        u_int32 words[20];
        u_int16 halves[20];
        u_int8 bytes[20];
        for (int i = 0; i < 20; ++i)
            words[i] = halves[i] = bytes[i] = static_cast<u_int8>(0xA0 + i);
        void *buffer = r.width == 8    ? static_cast<void *>(bytes)
                       : r.width == 16 ? static_cast<void *>(halves)
                                       : static_cast<void *>(words);
        ASSERT_EQ(lto_write_memory_diag(&drv, r.addr, r.count, id, r.width, buffer), r.count) << r.width;
        Lines got;
        for (const auto &l : commands())
            if (l.rfind("out ", 0) == 0)
                got.push_back(l.substr(4 + 12, 23));  // page bytes 4..11
        EXPECT_EQ(got, r.pages) << r.width;
        const Bytes &m = *memories().find(static_cast<uint32_t>(id), static_cast<uint32_t>(r.width));
        const size_t step = static_cast<size_t>(r.width / 8);
        for (int i = 0; i < r.count; ++i)
            EXPECT_EQ(m[static_cast<size_t>(r.addr) + step * static_cast<size_t>(i + 1) - 1], 0xA0 + i);
    }
    // Each value goes widened to 32 bits.
    EXPECT_EQ(commands()[1].substr(4, 83), "B1 00 00 50 00 00 00 10 00 00 00 10 00 00 00 05 00 00 00 20 "
                                           "00 00 00 A0 00 00 00 A1");
    kvemu::clear_trace();
    EXPECT_EQ(lto_write_memory_diag(&drv, 0, -1, 5, 16, nullptr), -1);
    EXPECT_EQ(lto_write_memory_diag(&drv, 0, 0, 5, 16, nullptr), 0);
    EXPECT_TRUE(commands().empty());
}

TEST_F(LtoCommands, MemoryWriteStopsAtAPageThatCarriesNoWord)
{
    u_int8 bytes[40] = {};
    struct Row {
        std::string settings;
        int32 rc;
        size_t pages;
    };
    const Row rows[] = {
        {"override = 1d skip=1 resid=48\n", 36, 3},  // second page: 4 of 16 words; the rest follows
        {"override = 1d skip=1 resid=64\n", 16, 2},  // second page moves 20 bytes: no word
        {"override = 1d skip=1 resid=70\n", 16, 2},  // under 20 bytes
        {"override = 1d skip=1 " + std::string(kCheck) + "\n", -1, 2},
    };
    for (const Row &r : rows) {
        open_drive(r.settings);
        EXPECT_EQ(lto_write_memory_diag(&drv, 0, 36, 16, 8, bytes), r.rc) << r.settings;
        EXPECT_EQ(kvemu::node(0)->commands.size(), r.pages) << r.settings;
    }
}

TEST_F(LtoCommands, CartridgeMemory)
{
    Bytes big(8192);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 13 + 1);
    big[5] = 8;
    std::vector<u_int8> cm(8192, 0xEE);

    open_drive(key("cm", big));
    ASSERT_EQ(lto_read_cm(&drv, cm.data(), 8192), 8192);
    EXPECT_EQ(Bytes(cm.begin(), cm.end()), big);
    Lines pages;
    for (const auto &c : kvemu::node(0)->commands)
        if (c.cdb[0] == 0x1D)
            pages.push_back(kvemu::to_hex(c.data_out.data(), 20));
    EXPECT_EQ(pages, (Lines{"B0 00 00 10 00 00 00 00 00 00 10 00 00 00 00 10 00 00 00 08",
                            "B0 00 00 10 00 00 10 00 00 00 10 00 00 00 00 10 00 00 00 08"}));

    // A second read that fails: -1, though the first half is in place.
    open_drive(key("cm", big) + "override = 1c skip=1 " + kCheck + "\n");
    std::fill(cm.begin(), cm.end(), 0xEE);
    EXPECT_EQ(lto_read_cm(&drv, cm.data(), 8192), -1);
    EXPECT_EQ(cm[4095], big[4095]);

    // A 4096-byte memory: one read, whatever the length asked.
    open_drive();
    EXPECT_EQ(lto_read_cm(&drv, cm.data(), 8192), 4096);
    EXPECT_EQ(cm[5], 4);
    EXPECT_EQ(kvemu::node(0)->commands.size(), 2u);
    EXPECT_EQ(lto_read_cm(&drv, cm.data(), 256), 256);
    EXPECT_EQ(lto_read_cm(&drv, cm.data(), -1), -1);

    open_drive("tur = 02 3A 00\n");  // no cartridge
    EXPECT_EQ(lto_read_cm(&drv, cm.data(), 4096), -1);
    EXPECT_EQ(drv.addl_sense, 0x3A00);
}

// ---- Firmware download ----

Lines g_log;
void capture(void *text) { g_log.emplace_back(static_cast<const char *>(text)); }
std::vector<int32> g_progress;
void progress(int32 percent) { g_progress.push_back(percent); }

class LtoDownload : public LtoDriveTest {
protected:
    void SetUp() override
    {
        g_log.clear();
        g_progress.clear();
        scsi_set_logging_fn(capture);  // put back after each test
    }
    std::string image(size_t size)
    {
        std::string path = dir.path() + "/fw" + std::to_string(size) + ".bin";
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 31);
        scratch::write_file(path, bytes);
        return path;
    }
    // The WRITE BUFFER CDBs sent, with the length of each chunk.
    static Lines writes()
    {
        Lines out;
        for (const auto &c : kvemu::node(0)->commands)
            out.push_back(kvemu::to_hex(c.cdb.data(), c.cdb.size()) + " / " +
                          std::to_string(c.data_out.size()));
        return out;
    }
    int32 download(std::string path, int32 granularity)
    {
        return lto_download_firmware(&drv, &path[0], progress, granularity);
    }
    // The texts logged, without the command lines.
    static Lines texts()
    {
        Lines out;
        for (size_t i = 0; i + 1 < g_log.size(); ++i)
            if (g_log[i + 1] == "|\n")
                out.push_back(g_log[i]);
        return out;
    }
    scratch::Dir dir{false};
};

TEST_F(LtoDownload, ChunksOfSixtyFourKiBThenTheClosingCommand)
{
    const std::string path = image(100000);
    open_drive("installs = 100000 2.00\n");
    drv.loglevel = LOG_ERRORS_ONLY;
    ASSERT_EQ(download(path, 1), 0);
    EXPECT_EQ(writes(), (Lines{"3B 04 00 00 00 00 01 00 00 00 / 65536", "3B 04 00 00 00 00 00 86 A0 00 / 34464",
                               "3B 05 00 00 00 00 00 00 00 00 / 0"}));
    EXPECT_EQ(g_progress, (std::vector<int32>{65, 100}));
    EXPECT_EQ(texts(), (Lines{"Download firmware from " + path}));

    // Every second chunk reports; granularity below 1 counts as 1.
    const std::string three = image(3 * 65536);
    const std::pair<int32, std::vector<int32>> rows[] = {{2, {66}}, {0, {33, 66, 100}}, {-5, {33, 66, 100}}};
    for (const auto &r : rows) {
        open_drive("installs = * 2.00\n");
        g_progress.clear();
        EXPECT_EQ(download(three, r.first), 0);
        EXPECT_EQ(g_progress, r.second) << r.first;
    }
}

TEST_F(LtoDownload, EmptyMissingAndFailing)
{
    open_drive();
    drv.loglevel = LOG_ERRORS_ONLY;
    EXPECT_EQ(download(image(0), 1), -1);  // the drive refuses to commit nothing
    EXPECT_EQ(writes(), (Lines{"3B 05 00 00 00 00 00 00 00 00 / 0"}));
    EXPECT_TRUE(g_progress.empty());

    open_drive();
    drv.loglevel = LOG_ERRORS_ONLY;
    g_log.clear();
    EXPECT_EQ(download(dir.path() + "/missing.bin", 1), -1);
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(texts(), (Lines{"Download firmware from " + dir.path() + "/missing.bin",
                              "Unable to open file for reading!"}));
    EXPECT_EQ(lto_download_firmware(&drv, nullptr, nullptr, 1), -1);

    // A failing chunk leaves the download open: no closing command.
    open_drive("download_fail_chunk = 1\n");
    EXPECT_EQ(download(image(200000), 1), -1);
    EXPECT_EQ(writes().size(), 2u);
    EXPECT_EQ(g_progress, (std::vector<int32>{32}));
}

}  // namespace
