// Recommendation, firmware download and verification, through the emulated
// drives: the exact commands on both transfer roads, the log file, the console
// lines, the wait and the error count.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config.h"
#include "discover.h"
#include "upgrade.h"
#include "bus_text.h"
#include "kvemu.h"
#include "models/download.h"
#include "models/kv_lto.h"
#include "scratch.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A recognisable image: no two chunks alike.
Bytes image(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + i / 32768);
    return b;
}

std::string lto(int target, const std::string &id, const std::string &fw, const std::string &extra = "")
{
    return bus_text::device({{"model", "kv_lto"},
                             {"host", 0},
                             {"target", target},
                             {"type", 1},
                             {"drive_id", id},
                             {"firmware", fw}}) +
           extra;
}

std::string dds(int target, const std::string &product, const std::string &hw_conf, const std::string &fw,
                const std::string &extra = "")
{
    return bus_text::device({{"model", "kv_dds"},
                             {"host", 0},
                             {"target", target},
                             {"type", 1},
                             {"product", product},
                             {"hw_conf", hw_conf},
                             {"firmware", fw}}) +
           extra;
}

class Upgrade : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(mkdir("fwimage", 0755), 0);
        debug_upgrade = 0;
    }
    void TearDown() override { kvemu::unload_bus(); }

    void bus(const std::string &text)
    {
        kvemu::load_bus_text(text);
        kvemu::redirect_path("/var/vxt/Component.log", dir_ + "/Component.log");
    }
    void file(const std::string &path, const Bytes &data)
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    void config(const std::string &text) { file("fwimage/firmware.cfg", Bytes(text.begin(), text.end())); }
    std::string log() const { return scratch::read_file(dir_ + "/Component.log"); }

    // Discovery, configuration, recommendation, then the download of the
    // recommendation: the road of mode all. Console output of the
    // recommendation and the download is kept in out_.
    int run_all()
    {
        discover(found_);
        read_firmware_config_file(config_);
        kvemu::clear_trace();
        testing::internal::CaptureStdout();
        recommend_upgrade(found_, config_, list_);
        int errors = upgrade(list_, config_);
        out_ = testing::internal::GetCapturedStdout();
        return errors;
    }
    // The download of a list given by hand (as read from an XML file).
    int run_list()
    {
        read_firmware_config_file(config_);
        kvemu::clear_trace();
        testing::internal::CaptureStdout();
        int errors = upgrade(list_, config_);
        out_ = testing::internal::GetCapturedStdout();
        return errors;
    }
    driveinfo &listed(int i, u_int32 id, const char *product, double fw, const char *action, int target)
    {
        driveinfo &d = list_[i];
        d.Configured = 1;
        d.DriveID = id;
        std::snprintf(d.ProductID, sizeof d.ProductID, "%s", product);
        d.FwVersion = fw;
        std::snprintf(d.Action, sizeof d.Action, "%s", action);
        d.DRV.card_id = 0;
        d.DRV.bus_addr = target;
        d.DRV.lun = 0;
        return d;
    }

    // Trace lines of one node from the download's open to its close, without
    // the data-out lines, which the commands hold anyway.
    static Lines download_trace(int node)
    {
        Lines out;
        const std::string tag = "sg" + std::to_string(node);
        for (const std::string &l : kvemu::trace()) {
            if (l.rfind("out ", 0) == 0 ||
                (l.find(tag + " ") == std::string::npos && l != "open " + tag && l != "close " + tag))
                continue;
            out.push_back(l);
            if (l == "close " + tag)
                break;
        }
        return out;
    }
    static Lines write_buffers(int node)
    {
        Lines out;
        for (const kvemu::Command &c : kvemu::node(node)->commands)
            if (!c.cdb.empty() && c.cdb[0] == 0x3B)
                out.push_back(kvemu::to_hex(c.cdb.data(), c.cdb.size()));
        return out;
    }
    static Bytes sent(int node)
    {
        Bytes all;
        for (const kvemu::Command &c : kvemu::node(node)->commands)
            if (!c.cdb.empty() && c.cdb[0] == 0x3B)
                all.insert(all.end(), c.data_out.begin(), c.data_out.end());
        return all;
    }

    scratch::Dir scratch_{true};
    const std::string dir_ = scratch_.path();
    driveinfo found_[MAX_DRIVES];
    driveinfo config_[MAX_DRIVES];
    driveinfo list_[MAX_DRIVES] = {};
    std::string out_;
};

const size_t kFourChunks = 3 * 32768 + 100;

// What the download sends a drive before anything that changes it: the
// identification a scan makes (five TEST UNIT READY, the standard INQUIRY,
// then the vendor pages, with the DDS probe's read of page C0h before them).
Lines identified(const std::string &node, bool lto)
{
    Lines l = {"open " + node};
    for (int i = 0; i < 5; ++i)
        l.push_back("cmd " + node + " 00 00 00 00 00 00");
    l.push_back("cmd " + node + " 12 00 00 00 FF 00");
    if (lto) {
        l.push_back("cmd " + node + " 12 01 C0 00 60 00");
        l.push_back("cmd " + node + " 12 01 C1 00 60 00");
    } else {
        l.push_back("cmd " + node + " 12 01 C0 00 FF 00");
        l.push_back("cmd " + node + " 12 01 C0 00 60 00");
    }
    return l;
}

Lines operator+(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Recommend, PairsDrivesWithTheirEntriesInDiscoveryOrder)
{
    static driveinfo found[MAX_DRIVES], cfg[MAX_DRIVES], rec[MAX_DRIVES];
    std::memset(rec, 0x5A, sizeof rec);  // must be cleared
    struct Row {
        u_int32 id;
        double installed;
    } drives[] = {{0x10, 1.5}, {0x20, 2.0}, {0x30, 3.0}, {0x10, 1.6}, {0x40, 1.0}};
    for (int i = 0; i < 5; ++i) {
        found[i].Configured = 1;
        found[i].DriveID = drives[i].id;
        found[i].FwVersion = drives[i].installed;
        found[i].DRV.bus_addr = i;
        std::snprintf(found[i].ProductID, sizeof found[i].ProductID, "P%d", i);
    }
    found[2].Configured = 0;  // a free slot in the middle is passed by
    const struct {
        u_int32 id;
        double version;
    } entries[] = {{0x20, 2.0}, {0x10, 1.6}, {0x30, 9.0}};
    for (int i = 0; i < 3; ++i) {
        cfg[i].Configured = 1;
        cfg[i].DriveID = entries[i].id;
        cfg[i].FwVersion = entries[i].version;
    }

    testing::internal::CaptureStdout();
    recommend_upgrade(found, cfg, rec);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Discovered Fw 1.500000 Configured Fw 1.600000\n"
                                                      "Discovered Fw 2.000000 Configured Fw 2.000000\n"
                                                      "Discovered Fw 1.600000 Configured Fw 1.600000\n");
    struct Want {
        const char *product;
        const char *action;
        double active;
    } want[] = {{"P0", "upgrade", 1.6}, {"P1", "skip", 2.0}, {"P3", "skip", 1.6}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(rec[i].ProductID, want[i].product);
        EXPECT_STREQ(rec[i].Action, want[i].action);
        EXPECT_EQ(rec[i].ActiveVersion, want[i].active);
        EXPECT_EQ(rec[i].Configured, 1);
    }
    EXPECT_EQ(rec[0].DRV.bus_addr, 0);  // the whole record is copied
    static const driveinfo zero{};
    for (int i = 3; i < MAX_DRIVES; ++i)
        EXPECT_EQ(std::memcmp(&rec[i], &zero, sizeof zero), 0) << i;
}

TEST_F(Upgrade, Rqn512RoadSendsBufferOneFromOffset10000hThenCommitsInModeFour)
{
    bus(dds(3, "RQN512", "0x80003", "1.00",
            bus_text::keys({{"installs", std::to_string(kFourChunks) + " 2.00"}})));
    config("80003|RQN.BIN|2.00\n");
    file("fwimage/RQN.BIN", image(kFourChunks));

    EXPECT_EQ(run_all(), 0);
    EXPECT_EQ(download_trace(0),
              (identified("sg0", false) +
               Lines{"cmd sg0 16 00 00 00 00 00", "cmd sg0 3B 04 01 01 00 00 00 80 00 00",
                     "cmd sg0 3B 04 01 01 80 00 00 80 00 00", "cmd sg0 3B 04 01 02 00 00 00 80 00 00",
                     "cmd sg0 3B 04 01 02 80 00 00 00 64 00", "cmd sg0 3B 04 01 00 00 00 00 00 00 00",
                     "close sg0"}));
    EXPECT_EQ(sent(0), image(kFourChunks));
    for (const kvemu::Command &c : kvemu::node(0)->commands) {
        if (c.cdb[0] == 0x3B) {
            EXPECT_EQ(c.timeout_ms, 100000u);
        }
    }
    EXPECT_EQ(kvemu::sleeps(), std::vector<unsigned>{150});
    EXPECT_EQ(log(), "Drive ID: 0x080003, Product ID: RQN512, Action: upgrade\n"
                     "File name: fwimage/RQN.BIN\n"
                     "firmware is being flashed - WAIT!\n"
                     "Drive ID: 0x080003, Product ID: RQN512, Action: upgrade\n");
    EXPECT_EQ(out_, "Discovered Fw 1.000000 Configured Fw 2.000000\n");
}

TEST_F(Upgrade, LtoRoadProbesSendsBufferZeroAtOffsetZeroThenCommitsInModeFive)
{
    // The emulated drive knows the image by its CRC-32.
    bus(lto(1, "A1", "1.10",
            bus_text::keys({{"installs", "crc32:" + bus_text::crc32(image(kFourChunks)) + " 1.20"}})));
    config("$ LTO image\nA1|lto.bin|1.20\n");
    file("fwimage/LTO.BIN", image(kFourChunks));

    EXPECT_EQ(run_all(), 0);
    EXPECT_EQ(download_trace(0),
              (identified("sg0", true) +
               Lines{"cmd sg0 16 00 00 00 00 00", "cmd sg0 44 00 00 00 00 00 00 00 38 00",
                     "cmd sg0 3B 04 00 00 00 00 00 80 00 00", "cmd sg0 3B 04 00 00 00 00 00 80 00 00",
                     "cmd sg0 3B 04 00 00 00 00 00 80 00 00", "cmd sg0 3B 04 00 00 00 00 00 00 64 00",
                     "cmd sg0 3B 05 00 00 00 00 00 00 00 00", "close sg0"}));
    EXPECT_EQ(sent(0), image(kFourChunks));
    EXPECT_EQ(kvemu::download_of(kvemu::node(0))->commits(), 1);
    EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n"
                     "File name: fwimage/LTO.BIN\n"
                     "firmware is being flashed!\n"
                     "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n");
}

TEST_F(Upgrade, OtherDrivesGetNoClosingCommand)
{
    // "RQN512" followed by more characters is not that model.
    bus(dds(2, "RQN512X", "0x90003", "3.00", "installs = 40000 3.10\n"));
    config("90003|DDS.BIN|3.10\n");
    file("fwimage/DDS.BIN", image(40000));

    EXPECT_EQ(run_all(), 0);
    EXPECT_EQ(write_buffers(0), (Lines{"3B 04 00 00 00 00 00 80 00 00", "3B 04 00 00 00 00 00 1C 40 00"}));
    EXPECT_NE(std::find(kvemu::trace().begin(), kvemu::trace().end(), "cmd sg0 44 00 00 00 00 00 00 00 38 00"),
              kvemu::trace().end());
    EXPECT_EQ(log(), "Drive ID: 0x090003, Product ID: RQN512X, Action: upgrade\n"
                     "File name: fwimage/DDS.BIN\n"
                     "firmware is being flashed!\n"
                     "Drive ID: 0x090003, Product ID: RQN512X, Action: upgrade\n");
}

TEST_F(Upgrade, SkipOnlyListOpensNothingAndDoesNotWait)
{
    bus(lto(1, "A1", "1.20") + dds(4, "DDS TAPE", "0x90003", "3.00"));
    config("A1|LTO.BIN|1.20\n90003|DDS.BIN|2.00\n");
    discover(found_);
    Lines scan = kvemu::trace();

    EXPECT_EQ(run_all(), 0);
    EXPECT_EQ(kvemu::trace(), scan);  // the verifying scan and nothing else
    EXPECT_TRUE(kvemu::sleeps().empty());
    EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: skip\n"
                     "Drive ID: 0x090003, Product ID: DDS TAPE, Action: skip\n");
}

TEST_F(Upgrade, DriveThatCannotBeOpenedIsCountedAndAnotherOfItsTypeIsNotJudgedForIt)
{
    // Two drives of one type; the listed one refuses every open, the other
    // answers the verifying scan at its own address, which the list does not name.
    bus(lto(1, "A1", "1.10", "open_fails = 1\n") + lto(2, "A1", "1.10"));
    config("A1|LTO.BIN|1.20\n");
    file("fwimage/LTO.BIN", image(100));
    listed(0, 0xA1, "ULTRIUM TAPE", 1.10, "upgrade", 1);

    EXPECT_EQ(run_list(), 1);
    EXPECT_EQ(out_, "\n here 2\n");
    EXPECT_TRUE(kvemu::sleeps().empty());
    EXPECT_EQ(log(), "Error: Unable to access tape drive.\n"
                     "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE is not suggested to be upgraded.\n");
}

TEST_F(Upgrade, AnAddressThatHoldsNoDriveOfTheListedTypeIsSentNothing)
{
    // A stale or hand-edited list: target 1 is a disk now, target 2 a KV drive
    // of another type, target 3 another maker's tape drive; target 4 is right.
    bus(bus_text::device(
            {{"host", 0}, {"target", 1}, {"type", 0}, {"vendor", "OTHERCO"}, {"product", "DISK"}}) +
        lto(2, "B2", "1.10") +
        bus_text::device(
            {{"host", 0}, {"target", 3}, {"type", 1}, {"vendor", "OTHERCO"}, {"product", "ULTRIUM 5"}}) +
        lto(4, "A1", "1.10", "installs = * 1.20\n"));
    config("A1|IMG|1.20\n");
    file("fwimage/IMG", image(100));
    for (int t = 1; t <= 4; ++t)
        listed(t - 1, 0xA1, "ULTRIUM TAPE", 1.10, "upgrade", t);

    EXPECT_EQ(run_list(), 3);
    EXPECT_EQ(out_, "\n here 2\n\n here 2\n\n here 2\n");
    for (int node = 0; node < 3; ++node)
        for (const kvemu::Command &c : kvemu::node(node)->commands)
            EXPECT_TRUE(c.cdb[0] == 0x00 || c.cdb[0] == 0x12 || c.cdb[0] == 0x3C) << node;
    EXPECT_EQ(sent(3), image(100));
    EXPECT_EQ(
        log(),
        "Error: Card ID 0, Bus Addr 1, LUN 0 is not a KV tape drive with Drive ID 0x0000a1; nothing sent.\n"
        "Error: Card ID 0, Bus Addr 2, LUN 0 is not a KV tape drive with Drive ID 0x0000a1; nothing sent.\n"
        "Error: Card ID 0, Bus Addr 3, LUN 0 is not a KV tape drive with Drive ID 0x0000a1; nothing sent.\n"
        "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n"
        "File name: fwimage/IMG\n"
        "firmware is being flashed!\n"
        "Drive ID: 0x0000b2, Product ID: ULTRIUM TAPE is not suggested to be upgraded.\n"
        "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n");
}

// Configuration typos, plans older than the drive or the image, a second
// initiator, downloads the drive refuses: each would pass as a success or
// flash the drive (it takes any image). The drive installs nothing, the entry
// fails, the log says why.
TEST_F(Upgrade, Hazards)
{
    const Lines asked = identified("sg0", true), closed = {"close sg0"},
                reserve = {"cmd sg0 16 00 00 00 00 00"};
    const Lines sending = reserve + Lines{"cmd sg0 44 00 00 00 00 00 00 00 38 00",
                                          "cmd sg0 3B 04 00 00 00 00 00 00 64 00"};
    const Lines closing = {"cmd sg0 3B 05 00 00 00 00 00 00 00 00"}, release = {"cmd sg0 17 00 00 00 00 00"};
    const std::string at = "Error: Card ID 0, Bus Addr 1, LUN 0 ";
    const std::string header =
        "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: rewrite\nFile name: fwimage/IMG\n";
    const std::string chunk0 = "Firmware download failed on chunk 0!\nnbytes = -1, length = 100\n";
    const std::string held = at + "is reserved by another initiator; nothing more sent.\n";
    auto outside = [](const std::string &name) {
        return "Error: Image name " + name + " for Drive ID 0x0000a1 is not inside fwimage; nothing sent.\n";
    };
    auto versions = [&](const std::string &image, const std::string &action) {
        return at + "reports Fw 1.100000, the image configured for Drive ID 0x0000a1 is Fw " + image + ": no " +
               action + "; nothing sent.\n";
    };
    struct Case {
        std::string keys;    // of the drive at target 1, A1, firmware 1.10
        std::string config;  // its configuration entry, after the drive identifier
        const char *action;
        Lines visit;  // the download's commands, from its open to its close
        std::string why;
        int errors;  // the refusal, then the check of the version kept
        bool waits;  // an image went out, whole or not
    } cases[] = {
        {"", "../SECRET.BIN|1.20", "upgrade", {}, outside("../SECRET.BIN"), 2, false},
        {"", "SUB/../../SECRET.BIN|1.20", "upgrade", {}, outside("SUB/../../SECRET.BIN"), 2, false},
        {"", "/SECRET.BIN|1.20", "upgrade", {}, outside("/SECRET.BIN"), 2, false},
        {"", "IMG|1.00", "upgrade", asked + closed, versions("1.000000", "upgrade"), 2, false},
        {"", "IMG|1.20", "downgrade", asked + closed, versions("1.200000", "downgrade"), 2, false},
        {"", "IMG|1.20", "rewrite", asked + closed, versions("1.200000", "rewrite"), 2, false},
        {"reserved_elsewhere = 1\n", "IMG|1.10", "rewrite", asked + reserve + closed, held, 2, false},
        // RESERVE passed as unsupported; the first chunk meets another
        // initiator's reservation: refused as at RESERVE, no commit, no
        // release, no wait.
        {"override = 3B status=0x18\n", "IMG|1.10", "rewrite", asked + sending + closed, header + chunk0 + held,
         2, false},
        // A rewrite keeps the version whether or not the drive took the image.
        {"download_fail_chunk = 0\n", "IMG|1.10", "rewrite", asked + sending + release + closed,
         header + chunk0 + "Firmware download failed!\n", 1, true},
        {"installs = 999 1.10\n", "IMG|1.10", "rewrite", asked + sending + closing + release + closed,
         header + "Firmware download failed!\n", 1, true},
    };
    file("SECRET.BIN", image(100));
    file("fwimage/SECRET.BIN", image(100));
    file("fwimage/IMG", image(100));
    ASSERT_EQ(mkdir("fwimage/SUB", 0755), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.config + " " + c.keys);
        bus(lto(1, "A1", "1.10", c.keys.empty() ? "installs = * 1.20\n" : c.keys));
        config("A1|" + c.config + "\n");
        std::filesystem::remove(dir_ + "/Component.log");
        listed(0, 0xA1, "ULTRIUM TAPE", 1.10, c.action, 1);

        EXPECT_EQ(run_list(), c.errors);
        Lines trace;
        for (const std::string &l : kvemu::trace())
            if (l.rfind("out ", 0) != 0 && l.rfind("sleep ", 0) != 0)
                trace.push_back(l);
        EXPECT_EQ(trace, c.visit + asked + closed);  // then the verifying scan
        EXPECT_EQ(kvemu::download_of(kvemu::node(0))->commits(), 0);
        EXPECT_EQ(kvemu::sleeps(), c.waits ? std::vector<unsigned>{150} : std::vector<unsigned>{});
        EXPECT_EQ(log(), c.why + "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: Failed\n");
        EXPECT_EQ(out_, c.errors == 2 ? "\n here 2\n\n here 3\n" : "\n here 3\n");
    }
}

// The plan's version is a note of the past: the check before sending and the
// one after the wait go by what the drive reported when it was visited. A
// name that merely starts with ".." is a file inside fwimage/.
TEST_F(Upgrade, JudgedByWhatTheDriveReportsNotByThePlan)
{
    const std::string drive = "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: ";
    struct Case {
        double listed;         // the version the plan lists
        const char *firmware;  // what the drive reports; it installs 1.20
        std::string entry;
        int errors;
        std::string log;
    } cases[] = {
        {1.00, "1.30", "IMG|1.20", 2,
         "Error: Card ID 0, Bus Addr 1, LUN 0 reports Fw 1.300000, the image configured for Drive ID 0x0000a1 "
         "is "
         "Fw 1.200000: no upgrade; nothing sent.\n" +
             drive + "Failed\n"},
        {1.30, "1.10", "IMG|1.20", 0,
         drive + "upgrade\nFile name: fwimage/IMG\nfirmware is being flashed!\n" + drive + "upgrade\n"},
        {1.10, "1.10", "..IMG|1.20", 0,
         drive + "upgrade\nFile name: fwimage/..IMG\nfirmware is being flashed!\n" + drive + "upgrade\n"},
    };
    file("fwimage/IMG", image(100));
    file("fwimage/..IMG", image(100));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry + " " + c.firmware);
        bus(lto(1, "A1", c.firmware, "installs = * 1.20\n"));
        config("A1|" + c.entry + "\n");
        std::filesystem::remove(dir_ + "/Component.log");
        listed(0, 0xA1, "ULTRIUM TAPE", c.listed, "upgrade", 1);
        EXPECT_EQ(run_list(), c.errors);
        EXPECT_EQ(sent(0), c.errors ? Bytes{} : image(100));
        EXPECT_EQ(log(), c.log);
    }
}

// A drive whose identifier could not be read counts as Drive ID 0, and so does
// a configuration line without one (commented out with '#', or behind a UTF-8
// byte-order mark): the two must never be paired.
TEST_F(Upgrade, DriveIdZeroIsSentNothingInAnyMode)
{
    const char *entries[] = {"#A1|IMG|1.20\n", "\xEF\xBB\xBF"
                                               "A1|IMG|1.20\n"};
    file("fwimage/IMG", image(100));
    for (const char *entry : entries) {
        for (bool all : {true, false}) {
            SCOPED_TRACE(std::string(entry) + (all ? " all" : " upgrade"));
            bus(lto(1, "", "1.10", "installs = * 1.20\n"));
            config(entry);
            std::filesystem::remove(dir_ + "/Component.log");
            std::memset(list_, 0, sizeof list_);
            if (!all)
                listed(0, 0, "ULTRIUM TAPE", 1.10, "upgrade", 1);
            EXPECT_EQ(all ? run_all() : run_list(), 2);
            // The verifying scan alone.
            EXPECT_EQ(kvemu::trace(), identified("sg0", true) + Lines{"close sg0"});
            EXPECT_TRUE(kvemu::sleeps().empty());
            EXPECT_EQ(out_, std::string(all ? "Discovered Fw 1.100000 Configured Fw 1.200000\n" : "") +
                                "\n here 2\n\n here 3\n");
            EXPECT_EQ(log(),
                      "Error: Card ID 0, Bus Addr 1, LUN 0 is listed with Drive ID 0, which names no drive "
                      "type; nothing sent.\n"
                      "Drive ID: 00000000, Product ID: ULTRIUM TAPE, Action: Failed\n");
        }
    }
}

// A name longer than the record holds, and the pieces of a line longer than
// one read, would name other files once cut: the drive is refused, the others
// go on.
TEST_F(Upgrade, CutNamesAndPiecesOfLongLinesNameNoImage)
{
    const std::string long_name(128, 'N');
    const std::string padded = "A1|IMG|1.20" + std::string(243, ' ');  // the longest line read whole
    ASSERT_EQ(padded.size(), 254u);
    auto no_image = [](const char *id) {
        return std::string("Error: No firmware image configured for Drive ID 0x0000") + id +
               "; nothing sent.\n";
    };
    auto verdict = [](const char *id, const char *action) {
        return std::string("Drive ID: 0x0000") + id + ", Product ID: ULTRIUM TAPE, Action: " + action + "\n";
    };
    const std::string b2_sent = verdict("b2", "upgrade") +
                                "File name: fwimage/IMG\nfirmware is being flashed!\n";
    struct Case {
        const char *what;
        std::string config;
        int errors;
        std::string log;
    } cases[] = {
        {"a name of 128", "A1|" + long_name + "|1.20\nB2|IMG|1.20\n", 2,
         no_image("a1") + b2_sent + verdict("a1", "Failed") + verdict("b2", "upgrade")},
        {"a line of 255", padded + "X\nB2|IMG|1.20\n", 2,
         no_image("a1") + b2_sent + verdict("a1", "Failed") + verdict("b2", "upgrade")},
        {"both pieces name an image", padded + "B2|IMG|1.20\n", 4,
         no_image("a1") + no_image("b2") + verdict("a1", "Failed") + verdict("b2", "Failed")},
    };
    file("fwimage/" + long_name.substr(0, 127), image(100));
    file("fwimage/IMG", image(100));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        bus(lto(1, "A1", "1.10", "installs = * 1.20\n") + lto(2, "B2", "1.10", "installs = * 1.20\n"));
        config(c.config);
        std::filesystem::remove(dir_ + "/Component.log");
        EXPECT_EQ(run_all(), c.errors);
        EXPECT_TRUE(write_buffers(0).empty());
        EXPECT_EQ(write_buffers(1).empty(), c.errors == 4);
        EXPECT_EQ(log(), c.log);
    }
}

TEST_F(Upgrade, ADriveRefusedByItsIdentificationIsClosedAgain)
{
    bus(lto(1, "B2", "1.10", "installs = * 1.20\n"));
    config("A1|IMG|1.20\n");
    file("fwimage/IMG", image(100));
    listed(0, 0xA1, "ULTRIUM TAPE", 1.10, "upgrade", 1);
    EXPECT_EQ(run_list(), 1);
    EXPECT_EQ(download_trace(0), identified("sg0", true) + Lines{"close sg0"});
    EXPECT_EQ(kvemu::open_descriptors(), 0);
}

TEST_F(Upgrade, AnAddressListedTwiceIsDownloadedOnce)
{
    bus(lto(3, "A1", "1.10", "installs = * 1.20\n"));
    config("A1|IMG|1.20\n");
    file("fwimage/IMG", image(100));
    listed(0, 0xA1, "ULTRIUM TAPE", 1.10, "upgrade", 3);
    listed(1, 0xA1, "ULTRIUM TAPE", 1.10, "upgrade", 3);
    EXPECT_EQ(run_list(), 1);
    EXPECT_EQ(write_buffers(0), (Lines{"3B 04 00 00 00 00 00 00 64 00", "3B 05 00 00 00 00 00 00 00 00"}));
    EXPECT_EQ(out_, "\n here 2\n");
    EXPECT_NE(log().find(
                  "Error: Card ID 0, Bus Addr 3, LUN 0 is listed more than once; nothing sent for this entry.\n"
                  "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n"),
              std::string::npos);
}

// A plan edited to name the model that takes its image into buffer 1: the LTO
// drive still gets its own road. A reset answers RESERVE with a UNIT ATTENTION
// once or twice: asked once more, then the download goes on.
TEST_F(Upgrade, TheDriveDecidesTheRoadAndAResetIsOneMoreReserve)
{
    for (int attentions : {0, 1, 2}) {
        bus(lto(1, "A1", "1.10", bus_text::keys({{"installs", "* 1.20"}, {"reserve_attention", attentions}})));
        config("A1|IMG|1.20\n");
        file("fwimage/IMG", image(100));
        listed(0, 0xA1, "RQN512", 1.10, "upgrade", 1);
        EXPECT_EQ(run_list(), 0);
        Lines reserves(attentions ? 2 : 1, "cmd sg0 16 00 00 00 00 00");
        Lines sent = {"cmd sg0 44 00 00 00 00 00 00 00 38 00", "cmd sg0 3B 04 00 00 00 00 00 00 64 00",
                      "cmd sg0 3B 05 00 00 00 00 00 00 00 00", "close sg0"};
        EXPECT_EQ(download_trace(0), identified("sg0", true) + reserves + sent) << attentions;
    }
}

// Two drives of one type, or a drive that comes back as another: each is
// judged by the record that lists its address.
TEST_F(Upgrade, EachDriveIsJudgedByItsOwnRecord)
{
    const std::string verdict = "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: ";
    struct Case {
        const char *first;   // firmware of the drive at target 1; the one at target 2 has 1.10
        std::string second;  // keys of the drive at target 2
        const char *actions[2];
        int errors;
        std::string verdicts;  // the end of the log
    } cases[] = {
        // The upgrade keeps its 1.10, below the downgrade's 1.30.
        {"1.30",
         "download_fail_chunk = 0\n",
         {"downgrade", "upgrade"},
         1,
         verdict + "downgrade\n" + verdict + "Failed\n"},
        {"1.10", "", {"skip", "upgrade"}, 0, verdict + "skip\n" + verdict + "upgrade\n"},
        {"1.10",
         "drive_id_after_download = B2\n",
         {"skip", "upgrade"},
         1,
         verdict + "skip\nDrive ID: 0x0000b2, Product ID: ULTRIUM TAPE, Action: Failed\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.verdicts);
        bus(lto(1, "A1", c.first, "installs = * 1.20\n") +
            lto(2, "A1", "1.10", "installs = * 1.20\n" + c.second));
        config("A1|IMG|1.20\n");
        file("fwimage/IMG", image(100));
        std::filesystem::remove(dir_ + "/Component.log");
        listed(0, 0xA1, "ULTRIUM TAPE", std::stod(c.first), c.actions[0], 1);
        listed(1, 0xA1, "ULTRIUM TAPE", 1.10, c.actions[1], 2);
        EXPECT_EQ(run_list(), c.errors);
        const std::string l = log();
        EXPECT_EQ(l.substr(l.size() - std::min(l.size(), c.verdicts.size())), c.verdicts);
    }
}

TEST_F(Upgrade, AnEntryThatNamesNoImageIsAFailureAndNothingIsSent)
{
    // A line without a file field, and a drive identifier of 0, which finds
    // a free record of the configuration table.
    bus(lto(1, "A1", "1.10") + lto(2, "0", "1.10"));
    config("A1\n");
    listed(0, 0xA1, "ULTRIUM TAPE", 1.10, "upgrade", 1);
    listed(1, 0, "ULTRIUM TAPE", 1.10, "upgrade", 2);

    EXPECT_EQ(run_list(), 4);
    const Lines scan = kvemu::trace();
    // The verifying scan alone.
    EXPECT_EQ(scan,
              (identified("sg0", true) + Lines{"close sg0"} + identified("sg1", true) + Lines{"close sg1"}));
    EXPECT_TRUE(kvemu::sleeps().empty());
    EXPECT_EQ(out_, "\n here 2\n\n here 2\n\n here 3\n\n here 3\n");
    EXPECT_EQ(log(), "Error: No firmware image configured for Drive ID 0x0000a1; nothing sent.\n"
                     "Error: No firmware image configured for Drive ID 00000000; nothing sent.\n"
                     "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: Failed\n"
                     "Drive ID: 00000000, Product ID: ULTRIUM TAPE, Action: Failed\n");
}

TEST_F(Upgrade, ImageThatCannotBeOpenedSendsNothingAndFails)
{
    // A FIFO without a writer would block a plain open for ever, with the
    // drive reserved.
    for (const std::string what : {"missing", "directory", "fifo", "unreadable"}) {
        SCOPED_TRACE(what);
        bus(lto(1, "A1", "1.10"));
        config("A1|IMG|1.10\n");
        std::filesystem::remove(dir_ + "/Component.log");
        if (what == "directory") {
            ASSERT_EQ(mkdir("fwimage/IMG", 0755), 0);
        }
        if (what == "fifo") {
            std::filesystem::remove_all("fwimage/IMG");
            ASSERT_EQ(mkfifo("fwimage/IMG", 0600), 0);
        }
        if (what == "unreadable") {
            std::filesystem::remove_all("fwimage/IMG");
            file("fwimage/IMG", image(10));
            chmod("fwimage/IMG", 0);
            if (access("fwimage/IMG", R_OK) == 0)  // root reads it all the same
                continue;
        }
        listed(0, 0xA1, "ULTRIUM TAPE", 1.10, "rewrite", 1);

        alarm(60);                 // a download that blocks ends the test program, not the run
        EXPECT_EQ(run_list(), 1);  // the version the drive keeps would pass a rewrite
        alarm(0);
        EXPECT_EQ(download_trace(0), identified("sg0", true) + Lines{"close sg0"});
        EXPECT_TRUE(kvemu::sleeps().empty());
        EXPECT_EQ(out_, "\n here 3\n");
        EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: rewrite\n"
                         "File name: fwimage/IMG\nError open file\n"
                         "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: Failed\n");
    }
}

// An empty image would send the closing command alone, which commits whatever
// the drive's buffer holds: it is no image, as one that cannot be read.
TEST_F(Upgrade, EmptyImageIsNoImageOnEveryRoad)
{
    for (const std::string &drive :
         {dds(1, "DDS TAPE", "0xA1", "1.10"), dds(1, "RQN512", "0xA1", "1.10"), lto(1, "A1", "1.10")}) {
        SCOPED_TRACE(drive);
        bus(drive + "installs = * 1.20\ndownload_commit_any = 1\n");
        config("A1|EMPTY.BIN|1.20\n");
        file("fwimage/EMPTY.BIN", {});
        std::filesystem::remove(dir_ + "/Component.log");
        EXPECT_EQ(run_all(), 1);
        EXPECT_EQ(download_trace(0),
                  identified("sg0", drive.find("kv_lto") != std::string::npos) + Lines{"close sg0"});
        EXPECT_TRUE(kvemu::sleeps().empty());
        std::string product(found_[0].ProductID);
        EXPECT_EQ(out_, "Discovered Fw 1.100000 Configured Fw 1.200000\n\n here 3\n");
        EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: " + product +
                             ", Action: upgrade\n"
                             "File name: fwimage/EMPTY.BIN\n"
                             "Firmware image is empty!\n"
                             "Drive ID: 0x0000a1, Product ID: " +
                             product + ", Action: Failed\n");
    }
}

// A chunk not taken in full ends the download: the drives here would commit
// whatever their buffer holds (a part of the image, or nothing after a reset),
// so no closing command may follow it.
TEST_F(Upgrade, FailedChunks)
{
    struct Case {
        std::string drive;
        Lines commands;
        std::string log;
    } cases[] = {
        {lto(1, "A1", "1.10", "download_fail_chunk = 1\ndownload_commit_any = 1\ninstalls = * 1.20\n"),
         {"3B 04 00 00 00 00 00 80 00 00", "3B 04 00 00 00 00 00 80 00 00"},
         "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n"
         "File name: fwimage/IMG\n"
         "Firmware download failed on chunk 1!\n"
         "nbytes = -1, length = 32768\n"
         "Firmware download failed!\n"
         "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: Failed\n"},
        // A reset at the second chunk empties the drive's buffer.
        {lto(1, "A1", "1.10", "download_reset_chunk = 1\ndownload_commit_any = 1\ninstalls = * 1.20\n"),
         {"3B 04 00 00 00 00 00 80 00 00", "3B 04 00 00 00 00 00 80 00 00"},
         "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n"
         "File name: fwimage/IMG\n"
         "Firmware download failed on chunk 1!\n"
         "nbytes = -1, length = 32768\n"
         "Firmware download failed!\n"
         "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: Failed\n"},
        {dds(1, "RQN512", "0xA1", "1.10",
             "download_fail_chunk = 2\ndownload_commit_any = 1\ninstalls = * 1.20\n"),
         {"3B 04 01 01 00 00 00 80 00 00", "3B 04 01 01 80 00 00 80 00 00", "3B 04 01 02 00 00 00 80 00 00"},
         "Drive ID: 0x0000a1, Product ID: RQN512, Action: upgrade\n"
         "File name: fwimage/IMG\n"
         "Firmware download failed!\n"
         "Firmware download failed!\n"
         "Drive ID: 0x0000a1, Product ID: RQN512, Action: Failed\n"},
        // A chunk taken short on a drive without closing command is no
        // download, whatever the count it returned.
        {dds(1, "DDS TAPE", "0xA1", "1.10", "override = 3B skip=1 short=100\n"),
         {"3B 04 00 00 00 00 00 80 00 00", "3B 04 00 00 00 00 00 80 00 00"},
         "Drive ID: 0x0000a1, Product ID: DDS TAPE, Action: upgrade\n"
         "File name: fwimage/IMG\n"
         "Firmware download failed on chunk 1!\n"
         "nbytes = 32668, length = 32768\n"
         "Firmware download failed!\n"
         "Drive ID: 0x0000a1, Product ID: DDS TAPE, Action: Failed\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.drive);
        bus(c.drive);
        config("A1|IMG|1.20\n");
        file("fwimage/IMG", image(kFourChunks));
        std::filesystem::remove(dir_ + "/Component.log");
        EXPECT_EQ(run_all(), 1);
        EXPECT_EQ(write_buffers(0), c.commands);
        EXPECT_EQ(kvemu::download_of(kvemu::node(0))->commits(), 0);
        // Nothing was taken: the reservation is given back before the close.
        Lines trace = download_trace(0);
        ASSERT_GE(trace.size(), 2u);
        EXPECT_EQ(trace[trace.size() - 2], "cmd sg0 17 00 00 00 00 00");
        EXPECT_EQ(kvemu::sleeps(), std::vector<unsigned>{150});  // the drive may still be busy with the chunks
        EXPECT_EQ(out_, "Discovered Fw 1.100000 Configured Fw 1.200000\n\n here 3\n");
        EXPECT_EQ(log(), c.log);
    }
}

TEST_F(Upgrade, TwoDrivesOfOneTypeAndOneNotListed)
{
    bus(lto(1, "A1", "1.10", "installs = 100 1.20\n") + lto(2, "A1", "1.10", "installs = 100 1.20\n") +
        dds(3, "DDS TAPE", "0x90003", "3.00"));
    config("A1|LTO.BIN|1.20\n");
    file("fwimage/LTO.BIN", image(100));

    EXPECT_EQ(run_all(), 0);
    for (int n : {0, 1}) {
        EXPECT_EQ(write_buffers(n), (Lines{"3B 04 00 00 00 00 00 00 64 00", "3B 05 00 00 00 00 00 00 00 00"}));
        EXPECT_EQ(sent(n), image(100));
    }
    EXPECT_EQ(kvemu::sleeps(), std::vector<unsigned>{150});  // one wait for both
    const std::string drive = "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n";
    const std::string sending = drive + "File name: fwimage/LTO.BIN\nfirmware is being flashed!\n";
    EXPECT_EQ(log(), sending + sending + drive + drive +
                         "Drive ID: 0x090003, Product ID: DDS TAPE is not suggested to be upgraded.\n");
}

TEST_F(Upgrade, VerificationRules)
{
    // Before 1.10 on the list; the drive reports `after` at the verifying scan.
    struct Case {
        const char *action;
        const char *after;
        bool ok;
    } cases[] = {
        {"upgrade", "1.20", true},   {"upgrade", "1.10", false},   {"upgrade", "1.00", false},
        {"downgrade", "1.00", true}, {"downgrade", "1.10", false}, {"rewrite", "1.10", true},
        {"rewrite", "1.20", false},  {"skip", "1.10", true},       {"skip", "1.00", false},
        {"Upgrade", "1.20", false},  {"", "1.10", false},          {"upgrade", "nan", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.action) + " -> " + c.after);
        // An image the action may send; the drive reports `after` once it took
        // it, or from the start when it is sent nothing.
        const std::string a = c.action;
        const bool sent = a == "upgrade" || a == "downgrade" || a == "rewrite";
        bus(lto(1, "A1", sent ? "1.10" : c.after, std::string("installs = * ") + c.after + "\n"));
        config(a == "upgrade" ? "A1|IMG|1.20\n" : a == "downgrade" ? "A1|IMG|1.00\n" : "A1|IMG|1.10\n");
        file("fwimage/IMG", image(100));
        std::filesystem::remove(dir_ + "/Component.log");
        std::memset(list_, 0, sizeof list_);
        listed(0, 0xA1, "ULTRIUM TAPE", 1.10, c.action, 1);
        EXPECT_EQ(run_list(), c.ok ? 0 : 1);
        std::string verdict = std::string("Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: ") +
                              (c.ok ? c.action : "Failed") + "\n";
        std::string l = log();
        EXPECT_EQ(l.substr(l.size() - std::min(l.size(), verdict.size())), verdict);
        EXPECT_EQ(out_, c.ok ? "" : "\n here 3\n");
    }
}

TEST_F(Upgrade, DriveReportingNoNumberIsSentNothingAndFails)
{
    // No version compares greater than "nan": the drive is recommended "skip",
    // never opened, and its check fails whatever it reports.
    bus(lto(1, "A1", "nan"));
    config("A1|IMG|1.20\n");
    file("fwimage/IMG", image(100));
    EXPECT_EQ(run_all(), 1);
    EXPECT_STREQ(list_[0].Action, "skip");
    EXPECT_TRUE(write_buffers(0).empty());
    EXPECT_TRUE(kvemu::sleeps().empty());
    EXPECT_EQ(out_, "Discovered Fw nan Configured Fw 1.200000\n\n here 3\n");
    EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: Failed\n");
}

TEST_F(Upgrade, ListWithoutRecordsOrEntriesOnlyScans)
{
    bus(lto(1, "A1", "1.10"));
    config("B2|OTHER.BIN|9.00\n");
    // No entry for A1: passed by without a word, and then found unchanged.
    listed(0, 0xA1, "ULTRIUM TAPE", 1.10, "upgrade", 1);
    EXPECT_EQ(run_list(), 1);
    EXPECT_TRUE(write_buffers(0).empty());
    EXPECT_TRUE(kvemu::sleeps().empty());
    EXPECT_EQ(out_, "\n here 3\n");
    EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: Failed\n");

    std::memset(list_, 0, sizeof list_);
    std::filesystem::remove(dir_ + "/Component.log");
    EXPECT_EQ(run_list(), 0);
    EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE is not suggested to be upgraded.\n");
}

TEST_F(Upgrade, DriveThatVanishesAfterItsDownloadIsAnError)
{
    bus(lto(1, "A1", "1.10", "installs = 100 1.20\nvanish_after_download = 1\n"));
    config("A1|LTO.BIN|1.20\n");
    file("fwimage/LTO.BIN", image(100));

    EXPECT_EQ(run_all(), 1);
    EXPECT_EQ(out_, "Discovered Fw 1.100000 Configured Fw 1.200000\n\n here 3\n");
    EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n"
                     "File name: fwimage/LTO.BIN\n"
                     "firmware is being flashed!\n"
                     "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: Failed\n");
}

// Shortens the image file under the tool once the first chunk arrives.
class Truncating : public kvemu::KvLto {
public:
    Truncating(const kvemu::Config &c, std::string path) : KvLto(c), path_(std::move(path)) {}
    kvemu::Reply command(const kvemu::Command &cmd) override
    {
        if (!cmd.cdb.empty() && cmd.cdb[0] == 0x3B && !cmd.data_out.empty())
            std::filesystem::resize_file(path_, 40000);
        return KvLto::command(cmd);
    }
    std::string path_;
};

TEST_F(Upgrade, ImageThatShrinksDuringTheTransferIsNotCommitted)
{
    bus(lto(1, "A1", "1.10", "installs = * 1.20\n"));
    config("A1|LTO.BIN|1.20\n");
    file("fwimage/LTO.BIN", image(kFourChunks));
    kvemu::node(0)->device = std::make_unique<Truncating>(kvemu::node(0)->cfg, dir_ + "/fwimage/LTO.BIN");

    EXPECT_EQ(run_all(), 1);
    // The rest of the second chunk is missing: it is not sent, nor the commit.
    EXPECT_EQ(write_buffers(0), (Lines{"3B 04 00 00 00 00 00 80 00 00"}));
    EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n"
                     "File name: fwimage/LTO.BIN\n"
                     "Unable to read download file!\n"
                     "Firmware download failed!\n"
                     "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: Failed\n");
}

TEST_F(Upgrade, Rqn512ImageFillingTheBufferOffsetFieldIsSent)
{
    bus(dds(3, "RQN512", "0x80003", "1.00", "installs = * 2.00\n"));
    config("80003|BIG.BIN|2.00\n");
    file("fwimage/BIG.BIN", {});
    std::filesystem::resize_file("fwimage/BIG.BIN", 0x1000000 - 0x10000);  // sparse: the largest that fits

    EXPECT_EQ(run_all(), 0);
    const Lines sent = write_buffers(0);
    ASSERT_EQ(sent.size(), 0xFF0000u / 0x8000 + 1);
    EXPECT_EQ(sent[sent.size() - 2], "3B 04 01 FF 80 00 00 80 00 00");  // the last chunk ends at FFFFFFh
    EXPECT_EQ(sent.back(), "3B 04 01 00 00 00 00 00 00 00");
    EXPECT_EQ(log(), "Drive ID: 0x080003, Product ID: RQN512, Action: upgrade\n"
                     "File name: fwimage/BIG.BIN\n"
                     "firmware is being flashed - WAIT!\n"
                     "Drive ID: 0x080003, Product ID: RQN512, Action: upgrade\n");
}

TEST_F(Upgrade, Rqn512ImageBeyondTheBufferOffsetFieldIsRefused)
{
    bus(dds(3, "RQN512", "0x80003", "1.00", "installs = * 2.00\n"));
    config("80003|BIG.BIN|2.00\n");
    file("fwimage/BIG.BIN", {});
    std::filesystem::resize_file("fwimage/BIG.BIN", 0x1000000 - 0x10000 + 1);  // sparse

    EXPECT_EQ(run_all(), 1);
    EXPECT_TRUE(write_buffers(0).empty());
    EXPECT_TRUE(kvemu::sleeps().empty());
    EXPECT_EQ(log(), "Drive ID: 0x080003, Product ID: RQN512, Action: upgrade\n"
                     "File name: fwimage/BIG.BIN\n"
                     "Firmware image too large for the drive's buffer!\n"
                     "Drive ID: 0x080003, Product ID: RQN512, Action: Failed\n");
}

TEST_F(Upgrade, LongProductTextIsLoggedWhole)
{
    bus(lto(1, "A1", "1.10", "installs = * 1.10\n"));
    config("A1|IMG|1.10\n");
    file("fwimage/IMG", image(100));
    driveinfo &d = listed(0, 0xA1, "", 1.10, "rewrite", 1);
    std::memset(d.ProductID, 'P', sizeof d.ProductID);  // not even terminated
    EXPECT_EQ(run_list(), 0);
    std::string line = "Drive ID: 0x0000a1, Product ID: " + std::string(sizeof d.ProductID, 'P') +
                       ", Action: rewrite\n";
    EXPECT_EQ(log().substr(0, line.size()), line);
}

TEST_F(Upgrade, TraceLines)
{
    bus(lto(1, "A1", "1.10", "installs = 100 1.20\n"));
    config("A1|LTO.BIN|1.20\n");
    file("fwimage/LTO.BIN", image(100));
    listed(0, 0xA1, "ULTRIUM TAPE", 1.10, "upgrade", 1);
    listed(1, 0xB2, "OTHER", 1.00, "upgrade", 2);  // no configuration entry
    listed(2, 0xA1, "ULTRIUM TAPE", 1.10, "skip", 3);
    listed(3, 0xA1, "ULTRIUM TAPE", 1.10, "rewrite", 9);  // nothing at this address
    debug_upgrade = 1;
    int errors = run_list();
    debug_upgrade = 0;
    EXPECT_EQ(errors, 2);  // the missing entry and the failed open
    const std::string sep = "----------------------------------------------\n";
    EXPECT_EQ(out_,
              sep + "\tInventory Of Online Drives \n" + sep + sep + "\tUpgrading Firmware\n" + sep +
                  "Drive 0x0000a1, Card ID 0, Bus Addr 1, Action upgrade, Firmware Image fwimage/LTO.BIN \n"
                  "Completed.\n"
                  "Error: Unable to find configuration for  OTHER\n"
                  "\n here 1\n"
                  "Dirve ID 0x0000a1 [ULTRIUM TAPE] : Skipping Drive.\n"
                  "Drive 0x0000a1, Card ID 0, Bus Addr 9, Action rewrite, Firmware Image fwimage/LTO.BIN \n"
                  "Error: Unable to access tape drive.\n"
                  "\n here 2\n" +
                  sep + "\tRe-Discovered \n" + sep +
                  "i = 0, Drive ID = 0x0000a1\n"
                  "\tPeripheral Qualifier = 0, Peripheral Device Type = 1 \n"
                  "\tVendorID = KV, ProductID = ULTRIUM TAPE\n"
                  "\tFw Version = 1.2 Fw File = \n" +
                  sep + "\tResult\n" + sep + "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n");
    EXPECT_EQ(log(), "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n"
                     "File name: fwimage/LTO.BIN\n"
                     "firmware is being flashed!\n"
                     "Completed.\n"
                     "Error: Unable to find configuration for  OTHER\n"
                     "Error: Unable to access tape drive.\n"
                     "Drive ID: 0x0000a1, Product ID: ULTRIUM TAPE, Action: upgrade\n");
}

TEST(EmulatedDownload, VanishedDriveLeavesTheDeviceList)
{
    kvemu::load_bus_text(lto(1, "A1", "1.10", "installs = * 1.20\nvanish_after_download = 1\n") +
                         lto(2, "A2", "1.10"));
    kvemu::Command chunk;
    chunk.cdb = {0x3B, 0x05, 0, 0, 0, 0, 0, 0, 1, 0};
    chunk.data_out = {9};
    EXPECT_EQ(kvemu::node(0)->device->command(chunk).status, 0);
    FILE *fp = std::fopen("/proc/scsi/sg/devices", "r");
    ASSERT_NE(fp, nullptr);
    char buf[256] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, fp);
    std::fclose(fp);
    EXPECT_EQ(std::string(buf, n), "-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\n0\t0\t2\t0\t1\t1\t2\t0\t1\n");
    EXPECT_EQ(kvemu::node_at(0, 1), nullptr);
    kvemu::unload_bus();
}

}  // namespace
