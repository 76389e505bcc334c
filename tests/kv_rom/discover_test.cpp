// Discovery over emulated buses: which devices are taken, what their records
// hold, what is sent to each device, and the trace output.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "discover.h"
#include "bus_text.h"
#include "discover_bus.h"
#include "kvemu.h"

namespace {

using discover_bus::dds_drive;
using discover_bus::Drive;
using discover_bus::lto_drive;
using discover_bus::section;

Drive at(int host, int target)
{
    Drive d;
    d.host = host;
    d.target = target;
    return d;
}

Drive with(Drive d, const std::string &vendor, const std::string &product, const std::string &level = "1",
           int type = 1)
{
    d.vendor = vendor;
    d.product = product;
    d.level = level;
    d.type = type;
    return d;
}

// Every node that was opened was closed as often, and nothing is left open.
void expect_all_closed()
{
    std::map<std::string, int> balance;
    for (const std::string &line : kvemu::trace()) {
        if (line.rfind("open ", 0) == 0 && line.find("failed") == std::string::npos)
            ++balance[line.substr(5)];
        else if (line.rfind("close ", 0) == 0)
            --balance[line.substr(6)];
    }
    for (const auto &b : balance)
        EXPECT_EQ(b.second, 0) << b.first;
    EXPECT_EQ(kvemu::open_descriptors(), 0);
}

std::vector<std::string> cdbs_of(int node)
{
    std::vector<std::string> out;
    for (const auto &c : kvemu::node(node)->commands)
        out.push_back(kvemu::to_hex(c.cdb.data(), c.cdb.size()));
    return out;
}

const std::vector<std::string> kTurs(5, "00 00 00 00 00 00");

std::vector<std::string> plus(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Discovery : public ::testing::Test {
protected:
    void TearDown() override
    {
        debug_discover = 0;
        kvemu::unload_bus();
    }
    int scan(const std::string &bus)
    {
        kvemu::load_bus_text(bus);
        std::memset(table_, 0x5A, sizeof table_);  // discovery must clear it
        return discover(table_);
    }
    driveinfo table_[MAX_DRIVES];
};

// A mixed bus; node numbers are the section order.
std::string mixed_bus()
{
    std::string bus;
    bus += lto_drive(with(at(0, 0), "KV", "Ultrium 5-SCSI", "3"), "2.50", 0x1A2B);         // node 0
    bus += section(with(at(0, 1), "KV", "DISK", "1", 0));                                  // node 1
    bus += lto_drive(with(at(0, 3), "kv", "ultrium 6-sas", "1"), "3.1", 0x2222);           // node 2
    bus += dds_drive(with(at(0, 5), "K-V", "DAT160 rqn512"), "4.5", 0x80013);              // node 3
    bus += lto_drive(with(at(1, 2), "KV1", "ULTRIUM 5"), "1.0", 0x9);                      // node 4
    bus += lto_drive(with(at(1, 4), "KV", "ULTRIUM 4", "0"), "1.0", 0x9);                  // node 5
    bus += section(with(at(2, 0), "KV", "DAT 72"));                                        // node 6
    bus += section(with(at(3, 15), "K V", "LTO ULTRIUM", "12"));                           // node 7
    bus += section(with(at(4, 0), "KV", "ULTRIUM CHANGER", "1", 8));                       // node 8
    bus += lto_drive(with(at(4, 1), "OTHERCO", "ULTRIUM 5"), "1.0", 0x9);                  // node 9
    bus += lto_drive(with(at(5, 0), "KV", "ULTRIUM 5"), "1.0", 0x9) + "open_fails = 1\n";  // 10
    bus += dds_drive(with(at(255, 15), "KV", "DAT 320"), "7", 0x90003);                    // node 11
    // Past the last adapter and the last target: never visited.
    bus += dds_drive(with(at(256, 0), "KV", "DAT 320"), "7", 0x90003);  // node 12
    bus += dds_drive(with(at(1, 16), "KV", "DAT 320"), "7", 0x90003);   // node 13
    return bus;
}

TEST_F(Discovery, AcceptsKvTapeDrivesInScanOrder)
{
    ASSERT_EQ(scan(mixed_bus()), 5);
    EXPECT_EQ(count(table_), 5);

    struct Expect {
        int host, target;
        const char *vendor, *product;
        DriveType type;
        u_int32 id;
        double version;
        int vuma, rqn512;
    };
    const Expect expect[] = {
        {0, 0, "KV", "Ultrium 5-SCSI", Ultrium, 0x1A2B, 2.5, 3, 0},
        {0, 3, "kv", "ultrium 6-sas", Ultrium, 0x2222, 3.1, 1, 0},
        {0, 5, "K-V", "DAT160 rqn512", DDS, 0x80013, 4.5, 1, 1},
        {3, 15, "K V", "LTO ULTRIUM", Ultrium, 0, 0.0, 12, 0},  // vendor pages answer nothing
        {255, 15, "KV", "DAT 320", DDS, 0x90003, 7.0, 1, 0},
    };
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const driveinfo &r = table_[i];
        EXPECT_EQ(r.Configured, 1);
        EXPECT_EQ(r.PeripheralQualifier, 0);
        EXPECT_EQ(r.PeripheralDeviceType, 1);
        EXPECT_STREQ(r.VendorID, expect[i].vendor);
        EXPECT_STREQ(r.ProductID, expect[i].product);
        EXPECT_EQ(r.Type, expect[i].type);
        EXPECT_EQ(r.DriveID, expect[i].id);
        EXPECT_DOUBLE_EQ(r.FwVersion, expect[i].version);
        EXPECT_EQ(r.VUMA, expect[i].vuma);
        EXPECT_EQ(r.RQN512, expect[i].rqn512);
        EXPECT_STREQ(r.FwFile, "");
        EXPECT_STREQ(r.Action, "");
        if (expect[i].id != 0) {
            EXPECT_EQ(r.DRV.card_id, expect[i].host);
            EXPECT_EQ(r.DRV.bus_addr, expect[i].target);
            EXPECT_EQ(r.DRV.lun, 0);
            EXPECT_GE(r.DRV.fd, 0);  // copied while the drive was open
        }
    }
    static const DRIVE zero_handle{};
    EXPECT_EQ(std::memcmp(&table_[3].DRV, &zero_handle, sizeof zero_handle), 0);

    static const driveinfo zero{};
    for (int i = 5; i < MAX_DRIVES; ++i)
        EXPECT_EQ(std::memcmp(&table_[i], &zero, sizeof zero), 0) << "record " << i;
    EXPECT_EQ(scsi_open_mode, 2050);

    // A second scan finds the same drives in the same order.
    std::vector<driveinfo> first(table_, table_ + MAX_DRIVES);
    ASSERT_EQ(discover(table_), 5);
    for (int i = 0; i < MAX_DRIVES; ++i) {
        EXPECT_EQ(table_[i].DriveID, first[i].DriveID) << i;
        EXPECT_EQ(table_[i].DRV.card_id, first[i].DRV.card_id) << i;
        EXPECT_EQ(table_[i].DRV.bus_addr, first[i].DRV.bus_addr) << i;
        EXPECT_STREQ(table_[i].ProductID, first[i].ProductID) << i;
        EXPECT_DOUBLE_EQ(table_[i].FwVersion, first[i].FwVersion) << i;
        EXPECT_EQ(table_[i].Configured, first[i].Configured) << i;
    }
    expect_all_closed();
}

TEST_F(Discovery, KvDriveModels)
{
    const char *bus = R"(
[device]
host = 0
target = 2
model = kv_lto
product = Ultrium 7-SCSI
vuma = 4
firmware = 3.25
drive_id = 1A2B
[device]
host = 0
target = 4
model = kv_dds
product = DAT320 rqn512
firmware = 2.10
hw_conf = 0x80013
[device]
host = 0
target = 6
model = kv_dds
c0 = free
drive_id = 0x4242
firmware = 1.5
[device]
host = 0
target = 7
model = kv_dds
c0 = none
[device]
host = 0
target = 8
model = kv_lto
vuma =
)";
    ASSERT_EQ(scan(bus), 3);
    EXPECT_EQ(table_[0].Type, Ultrium);
    EXPECT_EQ(table_[0].DriveID, 0x1A2Bu);
    EXPECT_DOUBLE_EQ(table_[0].FwVersion, 3.25);
    EXPECT_EQ(table_[0].VUMA, 4);
    EXPECT_STREQ(table_[0].ProductID, "Ultrium 7-SCSI");
    EXPECT_EQ(table_[1].Type, DDS);
    EXPECT_EQ(table_[1].DriveID, 0x80013u);
    EXPECT_DOUBLE_EQ(table_[1].FwVersion, 2.1);
    EXPECT_EQ(table_[1].RQN512, 1);
    EXPECT_EQ(table_[2].DriveID, 0x4242u);
    EXPECT_DOUBLE_EQ(table_[2].FwVersion, 1.5);
    EXPECT_EQ(table_[2].RQN512, 0);
    EXPECT_EQ(table_[2].DRV.bus_addr, 6);
    expect_all_closed();
}

TEST_F(Discovery, SendsOnlyWhatEachRoadNeeds)
{
    ASSERT_EQ(scan(mixed_bus()), 5);
    const std::vector<std::string> standard = {"12 00 00 00 FF 00"};
    const std::vector<std::string> lto = {"12 01 C0 00 60 00", "12 01 C1 00 60 00"};
    const std::vector<std::string> dds_page = {"12 01 C0 00 60 00"};

    EXPECT_EQ(cdbs_of(0), plus(plus(kTurs, standard), lto));
    EXPECT_EQ(cdbs_of(1), plus(kTurs, standard));  // a disk
    EXPECT_EQ(cdbs_of(4), plus(kTurs, standard));  // vendor KV1
    EXPECT_EQ(cdbs_of(5), plus(kTurs, standard));  // level 0: no DDS probe either
    EXPECT_EQ(cdbs_of(8), plus(kTurs, standard));  // a changer
    EXPECT_EQ(cdbs_of(9), plus(kTurs, standard));  // another maker
    EXPECT_TRUE(cdbs_of(10).empty());              // cannot be opened
    // The DDS road: the probe's own page read comes before the decoder's.
    std::vector<std::string> dds = cdbs_of(3);
    ASSERT_GE(dds.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(dds.begin(), dds.begin() + 6), plus(kTurs, standard));
    EXPECT_EQ(dds.back(), dds_page[0]);
    for (const std::string &c : dds)  // nothing that changes the drive
        EXPECT_TRUE(c.rfind("00 ", 0) == 0 || c.rfind("12 ", 0) == 0 || c.rfind("3C ", 0) == 0) << c;
    EXPECT_EQ(kvemu::node(0)->opens, 1);
    EXPECT_EQ(kvemu::node(0)->closes, 1);
    expect_all_closed();
}

TEST_F(Discovery, EmptyBusAndNoKvDrive)
{
    EXPECT_EQ(scan(""), 0);
    EXPECT_EQ(count(table_), 0);
    std::string bus = section(with(at(0, 0), "OTHER", "ULTRIUM 5")) +
                      section(with(at(0, 1), "KV", "DISK", "1", 0));
    EXPECT_EQ(scan(bus), 0);
    static const driveinfo zero{};
    for (int i = 0; i < MAX_DRIVES; ++i)
        EXPECT_EQ(std::memcmp(&table_[i], &zero, sizeof zero), 0) << "record " << i;
    expect_all_closed();
}

TEST_F(Discovery, LevelTextDecidesAnLtoDrive)
{
    const struct {
        const char *level;
        bool accepted;
    } cases[] = {
        {"1", true},  {" +7", true}, {"12abc", true}, {"99999999999999999999", true},
        {"0", false}, {"-3", false}, {"abc", false},  {"", false},
    };
    // One drive per case, at target = case index; one scan for all of them.
    std::string bus;
    std::vector<int> accepted_targets;
    for (int i = 0; i < 8; ++i) {
        bus += lto_drive(with(at(0, i), "KV", "ULTRIUM 5", cases[i].level), "1.0", 5);
        if (cases[i].accepted)
            accepted_targets.push_back(i);
    }
    ASSERT_EQ(scan(bus), static_cast<int>(accepted_targets.size()));
    for (size_t r = 0; r < accepted_targets.size(); ++r)
        EXPECT_EQ(table_[r].DRV.bus_addr, accepted_targets[r]);
    EXPECT_EQ(table_[3].VUMA, 2147483647);
    for (int i = 4; i < 8; ++i)  // passed over without a DDS probe
        EXPECT_EQ(cdbs_of(i).size(), 6u) << cases[i].level;
}

TEST_F(Discovery, ShortAndMalformedRepliesGiveDefinedValues)
{
    // A standard reply cut before byte 47 has no level: the LTO drive is passed over.
    std::string bus = lto_drive(with(at(0, 0), "KV", "ULTRIUM 5", "9"), "1.0", 5) +
                      "override = 12 times=1 short=215\n";
    EXPECT_EQ(scan(bus), 0);

    // Fields without '=', without NUL, and a page cut short.
    Drive d = with(at(0, 1), "KV", "ULTRIUM 5", "2");
    d.extra = bus_text::keys({{"inquiry.c0", discover_bus::lto_c0(std::string(26, 'C'), "FW_REV 2.0 NO EQUAL",
                                                                  std::string(24, 'D'), std::string(23, 'V'))},
                              {"inquiry.c1", discover_bus::lto_c1("HW", "2023", "DRIVE_ID=0x1234")},
                              {"override", "12 skip=1 times=1 short=40"}});  // page C0h
    ASSERT_EQ(scan(section(d)), 1);
    EXPECT_DOUBLE_EQ(table_[0].FwVersion, 0.0);
    EXPECT_EQ(table_[0].DriveID, 0x1234u);

    // C1h cut inside its variant field: the identifier stops where the bytes stop.
    d.extra = bus_text::keys({{"inquiry.c0", discover_bus::lto_c0("C", "FW=NAN", "D", "V")},
                              {"inquiry.c1", discover_bus::lto_c1("HW", "2023", "ID=ABCDEF")},
                              {"override", "12 skip=2 times=1 short=17"}});  // 79 bytes: up to "ID=ABC"
    ASSERT_EQ(scan(section(d)), 1);
    EXPECT_TRUE(std::isnan(table_[0].FwVersion));
    EXPECT_EQ(table_[0].DriveID, 0xABCu);

    // Binary bytes in the vendor field are dropped by the comparison only.
    Drive b = with(at(0, 2), std::string("\x01KV\xFF", 4), "ULTRIUM 5", "1");
    ASSERT_EQ(scan(lto_drive(b, "2", 7)), 1);
    EXPECT_STREQ(table_[0].VendorID, "\x01KV\xFF");
    expect_all_closed();
}

TEST_F(Discovery, NoStandardDataIsJudgedOnAClearedRecord)
{
    // The first device leaves its fields in record 0; the second answers the
    // standard INQUIRY with an error and must not inherit them.
    std::string bus = lto_drive(with(at(0, 0), "KV", "ULTRIUM 5", "0"), "1.0", 5) +
                      lto_drive(with(at(0, 1), "KV", "ULTRIUM 5", "3"), "1.0", 6) +
                      "override = 12 times=1 status=2 sense=70 00 05 00 00 00 00 0A 00 00 00 00 24 00\n";
    EXPECT_EQ(scan(bus), 0);
    EXPECT_TRUE(cdbs_of(1).size() == 6u);
    expect_all_closed();
}

TEST_F(Discovery, StopsFillingWhenTheTableIsFull)
{
    std::string bus;
    for (int i = 0; i < 30; ++i)
        bus += lto_drive(with(at(i / 16, i % 16), "KV", "ULTRIUM 5", "1"), "1.0",
                         static_cast<unsigned>(0x100 + i));
    EXPECT_EQ(scan(bus), MAX_DRIVES);
    EXPECT_EQ(count(table_), MAX_DRIVES);
    EXPECT_EQ(table_[MAX_DRIVES - 1].DriveID, 0x100u + MAX_DRIVES - 1);
    EXPECT_EQ(kvemu::node(MAX_DRIVES)->opens, 0);  // the scan ended with a full table
    expect_all_closed();
}

TEST_F(Discovery, PrintConfigAfterScan)
{
    ASSERT_EQ(scan(lto_drive(with(at(0, 4), "KV", "ULTRIUM 5-SCSI", "2"), "2.50", 0x1A2B) +
                   dds_drive(with(at(1, 0), "KV", "DAT160"), "4.0", 0x80013)),
              2);
    testing::internal::CaptureStdout();
    print_config(table_);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "i = 0, Drive ID = 0x001a2b\n"
              "\tPeripheral Qualifier = 0, Peripheral Device Type = 1 \n"
              "\tVendorID = KV, ProductID = ULTRIUM 5-SCSI\n"
              "\tFw Version = 2.5 Fw File = \n"
              "i = 1, Drive ID = 0x080013\n"
              "\tPeripheral Qualifier = 0, Peripheral Device Type = 1 \n"
              "\tVendorID = KV, ProductID = DAT160\n"
              "\tFw Version = 4 Fw File = \n");
}

TEST_F(Discovery, TraceLines)
{
    std::string bus = lto_drive(with(at(0, 0), "KV", "ULTRIUM 5", "1"), "2.5", 0x1A2B) +
                      section(with(at(0, 1), "KV", "DISK", "1", 0)) +
                      section(with(at(0, 2), "KV", "CD", "1", 5)) +
                      section(with(at(0, 3), "KV", "LIB", "1", 8)) +
                      section(with(at(0, 4), "KV", "ARRAY", "1", 3)) + section(with(at(0, 5), "KV", "DAT 72")) +
                      dds_drive(with(at(0, 6), "KV", "DAT 160"), "4.5", 0x80013);
    kvemu::load_bus_text(bus);
    debug_discover = 1;
    testing::internal::CaptureStdout();
    ASSERT_EQ(discover(table_), 2);
    std::string out = testing::internal::GetCapturedStdout();
    auto standard = [](const char *type, const char *product, const char *rev) {
        return std::string("\t-------------------\n\tStandard SCSI Page\n\t-------------------\n") +
               "\tPeripheral Qualifier [0], Peripheral Device Type [" + type + "]\n" +
               "\tVendor ID [KV]\n\tProduct ID [" + product + "]\n\tFirmware ID [" + rev + "]\n";
    };
    std::string expected =
        "------------\nDiscovering\n------------\n"
        "Found - Drive @ Card ID [0], Bus Adderss [0]\n" +
        standard("1", "ULTRIUM 5", "B6W1") +
        "\t--------------------------\n\tKV specific FW (C0h) page\n\t--------------------------\n"
        "\tComponent [MAIN FIRMWARE]\n\tFirmware ID [FW_REV=2.5]\n"
        "\tFirmware Date [2024/05/01 10:00]\n\tVariant [VARIANT=STD]\n"
        "\t--------------------------\n\tKV specific HW (C1h) page\n\t--------------------------\n"
        "\tComponent [DRIVE HARDWARE]\n\tHardware Date [2023/11/20]\n\tVariant [DRIVE_ID=0x1A2B]\n"
        "Found - Drive @ Card ID [0], Bus Adderss [1]\n" +
        standard("0", "DISK", "B6W1") +
        "Hard Disk Device @ Card ID [0], Bus Adderss [1]\n"
        "Found - Drive @ Card ID [0], Bus Adderss [2]\n" +
        standard("5", "CD", "B6W1") +
        "CD-ROM Device @ Card ID [0], Bus Adderss [2]\n"
        "Found - Drive @ Card ID [0], Bus Adderss [3]\n" +
        standard("8", "LIB", "B6W1") +
        "Medium Changer @ Card ID [0], Bus Adderss [3]\n"
        "Found - Drive @ Card ID [0], Bus Adderss [4]\n" +
        standard("3", "ARRAY", "B6W1") +
        "Device Type Not Recognized @ Card ID [0], Bus Adderss [4]\n"
        "Found - Drive @ Card ID [0], Bus Adderss [5]\n" +
        standard("1", "DAT 72", "B6W1") +
        "Unrecognized Tape Drive @ Card ID [0], Bus Adderss [5]\n"
        "Found - Drive @ Card ID [0], Bus Adderss [6]\n" +
        standard("1", "DAT 160", "B6W1") +
        "\t----------------------\n\tKV specific C0h  page\n\t----------------------\n"
        "\tVariant [HW_CONF = 0x00080013]\n\tHardware ID [0x00080013]\n"
        "\tFirmware ID [FIRMWARE = 4.5]\n";
    EXPECT_EQ(out, expected);
}

// A kernel without the proc list shows the same drives: the same table, the
// same commands to every node and the same trace output.
TEST_F(Discovery, SysfsOnlyBusGivesTheSameScan)
{
    struct Seen {
        int found;
        std::string out;
        std::vector<std::string> trace;
        std::vector<std::vector<std::string>> cdbs;
    };
    Seen seen[2];
    for (int sysfs = 0; sysfs < 2; ++sysfs) {
        debug_discover = 1;
        testing::internal::CaptureStdout();
        seen[sysfs].found = scan((sysfs ? "devlist = sysfs\n" : "") + mixed_bus());
        print_config(table_);
        seen[sysfs].out = testing::internal::GetCapturedStdout();
        seen[sysfs].trace = kvemu::trace();
        for (int n = 0; n < kvemu::node_count(); ++n)
            seen[sysfs].cdbs.push_back(cdbs_of(n));
        expect_all_closed();
        debug_discover = 0;
        kvemu::unload_bus();
    }
    EXPECT_EQ(seen[0].found, 5);
    EXPECT_EQ(seen[1].found, seen[0].found);
    EXPECT_EQ(seen[1].out, seen[0].out);
    EXPECT_EQ(seen[1].trace, seen[0].trace);
    EXPECT_EQ(seen[1].cdbs, seen[0].cdbs);
}

}  // namespace
