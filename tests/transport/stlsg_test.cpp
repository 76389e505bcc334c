// The sg transport through the emulator: device-list lookup, the open checks,
// the outcome mapping of one command, resets, close and their log lines.
#include <fcntl.h>
#include <scsi/sg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bus_text.h"
#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

namespace {

using Strings = std::vector<std::string>;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Collects what the library writes to a handle's stream.
struct LogCapture {
    char *buf = nullptr;
    size_t len = 0;
    FILE *fp = open_memstream(&buf, &len);
    ~LogCapture()
    {
        fclose(fp);
        free(buf);
    }
    std::string text()
    {
        fflush(fp);
        return std::string(buf, len);
    }
};

int handler_calls = 0;
DRIVE *handler_drive = nullptr;
void count_failure(DRIVE *d)
{
    handler_calls++;
    handler_drive = d;
}

const std::string kTape = bus_text::device(
    {{"host", 1}, {"target", 4}, {"type", 1}, {"vendor", "KV"}, {"product", "DEMO"}});

class Transport : public ::testing::Test {
protected:
    void SetUp() override
    {
        scsi_set_timedate_format("|T|");
        scsi_set_datalog_level(0);
        scsi_set_exception_handler(nullptr);
        scsi_open_mode = O_RDWR;
        handler_calls = 0;
        handler_drive = nullptr;
        memset(&drv, 0, sizeof drv);
        drv.fd = -1;
    }
    void TearDown() override
    {
        // The test's log stream is gone by now.
        scsi_configure_logging(&drv, nullptr, LOG_NOTHING);
        if (drv.fd >= 0)
            scsi_close_device(&drv);
        kvemu::redirect_path("/proc/scsi/sg/devices", "");
        kvemu::unload_bus();
    }

    int32 open_at(int host, int target, int lun = 0)
    {
        drv.card_id = host;
        drv.bus_addr = target;
        drv.lun = lun;
        return scsi_open_device(&drv);
    }

    // Loads a one-tape bus with the extra settings and opens it.
    void open_tape(const std::string &extra = "")
    {
        kvemu::load_bus_text(kTape + extra);
        ASSERT_EQ(open_at(1, 4), 0);
        kvemu::clear_trace();
    }

    int32 run(std::vector<unsigned char> cdb, unsigned char *data, int32 len, direction dir)
    {
        scsi_io_type io{};
        io.drv = &drv;
        memcpy(io.cdb, cdb.data(), cdb.size());
        io.cdb_length = static_cast<int32>(cdb.size());
        io.data = data;
        io.data_length = len;
        io.data_direction = dir;
        io.actual_data_length = 12345;
        int32 rc = scsi_exec(&io);
        last_io = io;
        return rc;
    }

    int32 inquiry()
    {
        memset(data, 0, sizeof data);
        return run({0x12, 0, 0, 0, 96, 0}, data, 96, HOST_READ);
    }

    DRIVE drv;
    scsi_io_type last_io{};
    unsigned char data[96];
};

TEST_F(Transport, OpensByAddressRunsACommandAndCloses)
{
    kvemu::load_bus_text(kTape);
    LogCapture log;
    scsi_configure_logging(&drv, log.fp, LOG_EVERYTHING);
    CaptureStderr();
    ASSERT_EQ(open_at(1, 4), 0);
    EXPECT_EQ(inquiry(), 96);
    EXPECT_EQ(memcmp(data + 8, "KV      DEMO", 12), 0);
    EXPECT_EQ(drv.actual_data_length, 96);
    EXPECT_EQ(last_io.actual_data_length, 96);
    EXPECT_EQ(scsi_set_timeout(&drv, 100000), 0);
    EXPECT_EQ(scsi_close_device(&drv), 0);
    EXPECT_EQ(drv.fd, -1);
    EXPECT_EQ(scsi_close_device(&drv), 0);  // already closed: nothing more
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(log.text(), "|T| Sys | OPENED SCSI DEVICE  | Card 1, Addr 4, LUN 0|\n"
                          "|T| Sys |  Equiv sg device    | /dev/sg0|\n"
                          "|T| Sys | sg revision 3.5.36  |\n"
                          "|T| Sys | sg reserved size = 1048576 bytes|\n"
                          "|T| Sys | Inquiry             |12 00 00 00 60 00 |00060|00|00|\n"
                          "|T| Sys | Timeout set to 100.000 seconds|\n"
                          "|T| Sys | CLOSED SCSI DEVICE  | Card 1, Addr 4, LUN 0|\n");
    EXPECT_EQ(kvemu::trace(), (Strings{"open sg0", "cmd sg0 12 00 00 00 60 00", "close sg0"}));
    EXPECT_EQ(kvemu::open_descriptors(), 0);
}

// Opens that fail or go on despite a refusal, and what they say on stderr.
TEST_F(Transport, OpenFailuresOnStderr)
{
    struct Case {
        const char *setting;
        bool list_missing;
        int32 result;
        u_int8 driver_status;
        const char *message;
    };
    const Case cases[] = {
        {"", true, -1, 0x55, "Unable to access /proc/scsi/sg/devices!\n - No such file or directory\n"},
        // A node that cannot be opened is the caller's to report: nothing on stderr.
        {"open_fails = 1\n", false, -1, 0xFF, ""},
        {"reserved_size_fails = 1\nget_reserved_size_fails = 1\n", false, 0, 0x00,
         "STLSG: Unable to set reserved size to 1048576\n - Cannot allocate memory\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.setting) + c.message);
        kvemu::load_bus_text(kTape + c.setting);
        if (c.list_missing)
            kvemu::redirect_path("/proc/scsi/sg/devices", "/nonexistent/kvemu/devices");
        LogCapture log;
        scsi_configure_logging(&drv, log.fp, LOG_EVERYTHING);
        drv.driver_status = 0x55;
        CaptureStderr();
        EXPECT_EQ(open_at(1, 4), c.result);
        EXPECT_EQ(GetCapturedStderr(), c.message);
        EXPECT_EQ(drv.driver_status, c.driver_status);
        if (c.result == 0) {
            // The size read back is the one asked for when reading it fails.
            EXPECT_NE(log.text().find("| sg reserved size = 1048576 bytes|\n"), std::string::npos);
        } else {
            EXPECT_LT(drv.fd, 0);
            EXPECT_EQ(log.text(), "");
        }
        scsi_configure_logging(&drv, nullptr, LOG_NOTHING);
        if (drv.fd >= 0)
            scsi_close_device(&drv);
        kvemu::redirect_path("/proc/scsi/sg/devices", "");
        kvemu::unload_bus();
    }
}

// Which node an address opens, for device lists of various shapes.
TEST_F(Transport, DeviceListLookup)
{
    struct Case {
        const char *name;
        std::string list;
        int host, target, lun;
        int node;  // -1: no match
    };
    const Case cases[] = {
        {"array controller at the address is counted but skipped", "1 0 4 0 12 1 2 0 1\n1 0 4 0 1 1 2 0 1\n", 1,
         4, 0, 1},
        {"position among all records read",
         "0 0 0 0 0 1 2 0 1\n2 0 4 0 1 1 2 0 1\n1 0 4 1 1 1 2 0 1\n"
         "1 0 4 0 1 1 2 0 1\n",
         1, 4, 0, 3},
        {"channel is ignored", "1 7 4 0 1 1 2 0 1\n", 1, 4, 0, 0},
        {"lun must match", "1 0 4 0 1 1 2 0 1\n1 0 4 2 1 1 2 0 1\n", 1, 4, 2, 1},
        {"garbled record ends the reading", "0 0 0 0 0 1 2 0 1\n1 2 zz\n1 0 4 0 1 1 2 0 1\n", 1, 4, 0, -1},
        {"short tail of the last record", "0 0 3 0 0 1 2 0 1\n1 0 4 0 1 1\n", 1, 4, 0, 1},
        // Fields are read across line ends, so a short record shifts the rest.
        {"short record misaligns the next", "0 0 3 0 0 1\n1 0 4 0 1 1 2 0 1\n", 1, 4, 0, -1},
        {"record missing its type ends the reading", "1 0 4 0", 1, 4, 0, -1},
        {"line breaks do not matter", "1 0\n4 0 1 1 2\n0 1", 1, 4, 0, 0},
        {"huge values neither match nor crash", "99999999999999999999 0 4 0 1 1 2 0 1\n1 0 4 0 1 1 2 0 1\n", 1,
         4, 0, 1},
        {"empty list", "", 1, 4, 0, -1},
        {"carriage return, form feed and vertical tab are white space", "1\r\n0\f4\v0 1 1 2 0 1\r\n", 1, 4, 0,
         0},
        {"a value past int is clamped, not wrapped", "4294967297 0 4 0 1 1 2 0 1\n1 0 4 0 1 1 2 0 1\n", 1, 4, 0,
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string bus;
        for (int i = 0; i < 4; i++)
            bus += bus_text::device({{"host", 9}});
        kvemu::load_bus_text(bus);
        kvemu::set_device_list_text(c.list);
        drv.driver_status = 0x55;
        int32 rc = open_at(c.host, c.target, c.lun);
        if (c.node < 0) {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(drv.fd, -1);
            EXPECT_EQ(drv.driver_status, 0x55);  // a missing drive leaves the handle alone
            EXPECT_TRUE(kvemu::trace().empty());
        } else {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(kvemu::trace(), Strings{"open sg" + std::to_string(c.node)});
            scsi_close_device(&drv);
        }
        kvemu::unload_bus();
    }
}

// Lists longer than one read: integers and blanks cut at every kind of place
// by the reader's buffer, and the 1 MiB the reader stops at.
TEST_F(Transport, LongDeviceLists)
{
    kvemu::load_bus_text(bus_text::device({{"host", 9}}));
    // About 15 KiB; blank runs of varying length shift where the cuts fall.
    std::string list;
    const int kRecords = 700;
    for (int n = 0; n < kRecords; n++)
        list += std::to_string(1000 + n) + " 0 " + std::to_string(n % 16) + std::string(1 + n % 5, ' ') +
                "0 1 1 2 0 " + std::to_string(n) + "\n";
    kvemu::set_device_list_text(list);
    for (int n = 0; n < kRecords; n++) {
        kvemu::clear_trace();
        open_at(1000 + n, n % 16);
        ASSERT_EQ(kvemu::trace().size(), 1u) << "record " << n;
        // Node 0 is the only one on the bus; the others fail to open.
        EXPECT_EQ(kvemu::trace()[0], "open sg" + std::to_string(n) + (n ? " failed" : "")) << "record " << n;
        scsi_close_device(&drv);
    }

    // Blanks, then one record whose type is the list's byte 1 MiB - 1 (the last
    // one read) or 1 MiB (the first one not read).
    const size_t kLimit = size_t{1} << 20;
    const std::string record = "1 0 4 0 1";
    for (size_t extra : {size_t{0}, size_t{1}}) {
        SCOPED_TRACE(extra);
        kvemu::set_device_list_text(std::string(kLimit - record.size() + extra, ' ') + record + "\n");
        kvemu::clear_trace();
        int32 rc = open_at(1, 4);
        EXPECT_EQ(rc, extra ? -1 : 0);
        EXPECT_EQ(kvemu::trace(), extra ? Strings{} : Strings{"open sg0"});
        scsi_close_device(&drv);
    }
}

// A bus seen through the proc list and through sysfs alone: two devices at
// one address, each on a channel of its own as sysfs needs them (an array
// controller ahead of a tape; a disk and a tape), a LUN other than 0, a node
// that may not be opened and a device listed without a node.
const char *kSourcesBus = R"(
[device]
host = 0
target = 1
type = 1
vendor = KV
product = DEMO
[device]
host = 0
channel = 1
target = 2
type = 12
[device]
host = 0
target = 2
type = 1
[device]
host = 0
channel = 1
target = 3
type = 0
[device]
host = 0
target = 3
type = 1
[device]
host = 0
target = 4
open_fails = 1
[device]
host = 0
target = 5
model = none
[device]
host = 1
target = 0
lun = 1
[device]
host = 1
target = 6
type = 8
)";

// What one use of the device list shows: results, standard error, the
// handle's log and the bus trace (every open, CDB and close).
struct Seen {
    std::vector<int32> results;
    std::string err, log;
    Strings trace;
};

// Each reader of the device list gives the same results, commands and lines
// whichever source lists the devices.
TEST_F(Transport, EveryReaderSeesTheSameDevicesThroughEitherSource)
{
    struct Case {
        const char *name;
        void (*use)(DRIVE &, Seen &);
        Strings opened;  // the proc run's opens, so the comparison is not of two empty runs
    };
    const Case cases[] = {
        {"open each address, INQUIRY, close",
         [](DRIVE &d, Seen &seen) {
             for (int host = 0; host < 2; host++)
                 for (int lun = 0; lun < 2; lun++)
                     for (int target = 0; target < 16; target++) {
                         d.card_id = host;
                         d.bus_addr = target;
                         d.lun = lun;
                         seen.results.push_back(scsi_open_device(&d));
                         if (d.fd < 0)
                             continue;
                         unsigned char inquiry[36];
                         seen.results.push_back(scsi_evpd_inquiry(&d, 0, 0, inquiry, sizeof inquiry));
                         scsi_close_device(&d);
                     }
         },
         {"open sg0", "open sg2", "open sg3", "open sg5 failed", "open sg6 failed", "open sg8", "open sg7"}},
        {"adapter scans",
         [](DRIVE &, Seen &seen) {
             for (int host = 0; host < 3; host++) {
                 devicetype rows[16];
                 std::memset(rows, 0x5A, sizeof rows);
                 seen.results.push_back(scsi_find_devices(host, rows));
                 for (const devicetype &r : rows)
                     seen.results.push_back(r.raw_devtype), seen.results.push_back(r.devtype[0]);
             }
         },
         {"open sg0", "open sg2", "open sg3", "open sg5 failed", "open sg6 failed", "open sg8"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Seen seen[2];
        for (int sysfs = 0; sysfs < 2; sysfs++) {
            kvemu::load_bus_text((sysfs ? "devlist = sysfs\n" : "") + std::string(kSourcesBus));
            LogCapture log;
            scsi_configure_logging(&drv, log.fp, LOG_EVERYTHING);
            CaptureStderr();
            c.use(drv, seen[sysfs]);
            seen[sysfs].err = GetCapturedStderr();
            seen[sysfs].log = log.text();
            seen[sysfs].trace = kvemu::trace();
            scsi_configure_logging(&drv, nullptr, LOG_NOTHING);
            kvemu::unload_bus();
        }
        Strings opened;
        for (const std::string &line : seen[0].trace)
            if (line.rfind("open ", 0) == 0)
                opened.push_back(line);
        EXPECT_EQ(opened, c.opened);
        EXPECT_EQ(seen[1].results, seen[0].results);
        EXPECT_EQ(seen[1].err, seen[0].err);
        EXPECT_EQ(seen[1].log, seen[0].log);
        EXPECT_EQ(seen[1].trace, seen[0].trace);
    }
}

// A sysfs device that does not read as a node at an address matches nothing
// and the search goes on: device 1:0:4:0 with node sg0 (type 1, on adapter
// host1, unless the case says otherwise) is listed ahead of a sound
// 1:1:4:0 with node sg1, so sg0 opens only when its device is taken. Alone,
// sg1 is not listed.
TEST_F(Transport, SysfsDevicesThatDoNotReadAsNodesMatchNothing)
{
    using Text = std::optional<std::string>;
    struct Case {
        const char *name;
        kvemu::SysfsEntry entry;
        const char *opens;  // "": nothing
        bool alone = false;
    };
    const Text device = std::string("1:0:4:0"), node = std::string("sg0"), one = std::string("1\n"),
               host = std::string("host1");
    auto with_device = [&](Text d) { return kvemu::SysfsEntry{std::move(d), node, one, host}; };
    auto with_node = [&](Text n) { return kvemu::SysfsEntry{device, std::move(n), one, host}; };
    auto with_type = [&](Text t) { return kvemu::SysfsEntry{device, node, std::move(t), host}; };
    const char *sg0 = "open sg0", *sg1 = "open sg1";
    const Case cases[] = {
        {"sound device", with_device(device), sg0},
        {"channel ignored", with_device(std::string("1:7:4:0")), sg0},
        {"channel at the int limit", with_device(std::string("1:2147483647:4:0")), sg0},
        {"channel past the int limit", with_device(std::string("1:2147483648:4:0")), sg1},
        {"not on the bus list", with_device(std::nullopt), sg1},
        {"three numbers", with_device(std::string("1:0:4")), sg1},
        {"five numbers", with_device(std::string("1:0:4:0:0")), sg1},
        {"a letter for the LUN", with_device(std::string("1:0:4:x")), sg1},
        {"a sign", with_device(std::string("+1:0:4:0")), sg1},
        {"an empty number", with_device(std::string("1::4:0")), sg1},
        {"a leading zero", with_device(std::string("01:0:4:0")), sg1},
        {"a tail", with_device(std::string("1:0:4:0x")), sg1},
        {"host past the int limit that wraps to 1", with_device(std::string("4294967297:0:4:0")), sg1},
        {"the target's entry", with_device(std::string("target1:0:4")), sg1},
        {"no scsi_generic directory", with_node(std::nullopt), sg1},
        {"node name not sg", with_node(std::string("xg0")), sg1},
        {"node name without digits", with_node(std::string("sg")), sg1},
        {"node name with a leading zero", with_node(std::string("sg00")), sg1},
        {"node name with a tail", with_node(std::string("sg0x")), sg1},
        {"node name with a sign", with_node(std::string("sg+0")), sg1},
        {"node number at the int limit", with_node(std::string("sg2147483647")), "open sg2147483647 failed",
         true},
        {"node number past the int limit", with_node(std::string("sg2147483648")), "", true},
        {"node number that wraps to 0", with_node(std::string("sg4294967296")), sg1},
        {"node number longer than an int", with_node(std::string("sg10000000000")), sg1},
        {"no type file", with_type(std::nullopt), sg1},
        {"empty type", with_type(std::string("\n")), sg1},
        {"type not a number", with_type(std::string("tape\n")), sg1},
        {"type with a tail", with_type(std::string("1 2\n")), sg1},
        {"type without a line end", with_type(std::string("1")), sg0},
        {"array controller", with_type(std::string("12\n")), sg1},
        {"type past the int limit that wraps to 1", with_type(std::string("4294967297\n")), sg1},
        {"type of 31 bytes", with_type("1" + std::string(30, ' ')), sg0},
        {"type of 32 bytes, perhaps cut", with_type("1" + std::string(31, ' ')), sg1},
        {"adapter not in sysfs", {device, node, one, std::nullopt}, "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        kvemu::load_bus_text(bus_text::keys({{"devlist", "sysfs"}}) +
                             bus_text::device({{"host", 1}, {"target", 4}}) +
                             bus_text::device({{"host", 1}, {"target", 4}}));
        std::vector<kvemu::SysfsEntry> entries = {c.entry};
        if (!c.alone)
            entries.push_back({std::string("1:1:4:0"), std::string("sg1"), one, host});
        kvemu::set_sysfs_entries(entries);
        CaptureStderr();
        int32 rc = open_at(1, 4);
        EXPECT_EQ(GetCapturedStderr(), "");
        EXPECT_EQ(rc, *c.opens == '\0' || c.alone ? -1 : 0);
        EXPECT_EQ(kvemu::trace(), *c.opens ? Strings{c.opens} : Strings{});
        scsi_close_device(&drv);
        kvemu::unload_bus();
    }
}

// What one lookup asks of sysfs: an adapter that does not exist costs one
// call; on one that does, the bus list is read once, only a device at the
// address is looked into, and its type only when its node could win.
TEST_F(Transport, SysfsLookupReadsOnlyWhatTheAddressNeeds)
{
    const std::string proc_failed = "fopen /proc/scsi/sg/devices failed",
                      loaded = "access /sys/class/scsi_generic";
    const std::string bus = "opendir /sys/bus/scsi/devices";
    auto device = [](const char *name, bool type) {
        Strings calls = {std::string("opendir /sys/bus/scsi/devices/") + name + "/scsi_generic"};
        if (type)
            calls.push_back(std::string("open /sys/bus/scsi/devices/") + name + "/type");
        return calls;
    };
    auto join = [](std::initializer_list<Strings> parts) {
        Strings all;
        for (const Strings &p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    // An array controller and a tape at 1:*:4:0 (sg0, sg1), others beside
    // them; the bus list gives them highest node first.
    const std::string sections = bus_text::device({{"host", 1}, {"target", 4}, {"type", 12}}) +
                                 bus_text::device({{"host", 1}, {"channel", 1}, {"target", 4}}) +
                                 bus_text::device({{"host", 1}, {"target", 5}}) +
                                 bus_text::device({{"host", 2}, {"target", 4}});
    struct Case {
        const char *name;
        const char *listing;
        int host, target;
        bool ascending;  // the bus list gives the devices lowest node first
        Strings calls;
        Strings opens;
    };
    const Case cases[] = {
        {"proc list first", "both", 1, 4, false, {"fopen /proc/scsi/sg/devices"}, {"open sg1"}},
        {"adapter that does not exist",
         "sysfs",
         3,
         4,
         false,
         {proc_failed, loaded, "access /sys/class/scsi_host/host3 failed"},
         {}},
        {"negative adapter", "sysfs", -1, 4, false, {proc_failed, loaded}, {}},
        {"nothing at the address",
         "sysfs",
         2,
         5,
         false,
         {proc_failed, loaded, "access /sys/class/scsi_host/host2", bus},
         {}},
        {"every channel, lower node after",
         "sysfs",
         1,
         4,
         false,
         join({{proc_failed, loaded, "access /sys/class/scsi_host/host1", bus},
               device("1:1:4:0", true),
               device("1:0:4:0", true)}),
         {"open sg1"}},
        {"a node that cannot win is not typed",
         "sysfs",
         1,
         5,
         true,
         join({{proc_failed, loaded, "access /sys/class/scsi_host/host1", bus},
               device("1:0:5:0", true),
               device("1:3:5:0", false)}),
         {"open sg2"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        kvemu::load_bus_text(bus_text::keys({{"devlist", c.listing}}) + sections);
        if (c.ascending)
            kvemu::set_sysfs_entries(
                {{std::string("1:0:5:0"), std::string("sg2"), std::string("1\n"), std::string("host1")},
                 {std::string("1:3:5:0"), std::string("sg3"), std::string("1\n"), std::nullopt}});
        open_at(c.host, c.target);
        EXPECT_EQ(kvemu::listing_calls(), c.calls);
        EXPECT_EQ(kvemu::trace(), c.opens);
        scsi_close_device(&drv);
        kvemu::unload_bus();
    }
}

// The proc list is the one read when the kernel has it; without either the
// open fails as it always did, naming why the proc list could not be read.
// Without the sg driver's class directory sysfs counts as unreadable, though
// the bus is listed there.
TEST_F(Transport, ProcListFirstAndTheErrorWhenNeitherCanBeRead)
{
    kvemu::load_bus_text(bus_text::keys({{"devlist", "both"}}) +
                         bus_text::device({{"host", 1}, {"target", 4}}) +
                         bus_text::device({{"host", 2}, {"target", 5}}));
    kvemu::set_device_list_text("2 0 5 0 1 1 2 0 1\n1 0 4 0 1 1 2 0 1\n");
    EXPECT_EQ(open_at(1, 4), 0);
    EXPECT_EQ(kvemu::trace(), Strings{"open sg1"});
    scsi_close_device(&drv);

    struct Case {
        const char *name;
        const char *proc_list;  // where the proc list is redirected; "" for none
        const char *err;
    };
    const Case cases[] = {
        {"no proc list", "", "Unable to access /proc/scsi/sg/devices!\n - No such file or directory\n"},
        {"proc list under a file", "/dev/null/devices",
         "Unable to access /proc/scsi/sg/devices!\n - Not a directory\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        kvemu::load_bus_text("devlist = sysfs\n" + kTape);
        kvemu::redirect_path("/sys/class/scsi_generic", "/nonexistent/kvemu/scsi_generic");
        kvemu::redirect_path("/proc/scsi/sg/devices", c.proc_list);
        drv.driver_status = 0x55;
        CaptureStderr();
        EXPECT_EQ(open_at(1, 4), -1);
        EXPECT_EQ(GetCapturedStderr(), c.err);
        EXPECT_EQ(drv.driver_status, 0x55);
        EXPECT_TRUE(kvemu::trace().empty());
        kvemu::redirect_path("/sys/class/scsi_generic", "");
        kvemu::redirect_path("/proc/scsi/sg/devices", "");
    }

    // With the driver loaded, a bus list that cannot be read finds nothing,
    // silently, as an entry that cannot be read does.
    kvemu::load_bus_text("devlist = sysfs\n" + kTape);
    kvemu::redirect_path("/sys/bus/scsi/devices", "/nonexistent/kvemu/devices");
    CaptureStderr();
    EXPECT_EQ(open_at(1, 4), -1);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_TRUE(kvemu::trace().empty());
    kvemu::redirect_path("/sys/bus/scsi/devices", "");
}

TEST_F(Transport, DriverVersionCheck)
{
    struct Case {
        const char *setting;
        bool opens;
        const char *message;
    };
    const Case cases[] = {
        {"version = 29999\n", false, "/dev/sg0 doesn't seem to be a version 3 sg device (29999)\n"},
        {"version = 30000\n", true, ""},
        {"version_fails = 1\n", false, "/dev/sg0 doesn't seem to be a version 3 sg device (-1)\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setting);
        kvemu::load_bus_text(kTape + c.setting);
        LogCapture log;
        scsi_configure_logging(&drv, log.fp, LOG_EVERYTHING);
        CaptureStderr();
        int32 rc = open_at(1, 4);
        EXPECT_EQ(GetCapturedStderr(), c.message);
        if (c.opens) {
            EXPECT_EQ(rc, 0);
            EXPECT_NE(log.text().find("sg revision 3.0.0  "), std::string::npos);
            scsi_close_device(&drv);
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(drv.fd, -1);
            EXPECT_EQ(drv.driver_status, 0xFF);
            EXPECT_EQ(kvemu::trace(), (Strings{"open sg0", "close sg0"}));
            EXPECT_EQ(scsi_close_device(&drv), 0);  // already closed: nothing logged
            EXPECT_EQ(log.text(), "");
        }
        kvemu::unload_bus();
    }
}

TEST_F(Transport, OpenByPathThatCannotBeOpenedSaysNothing)
{
    kvemu::load_bus_text(kTape + "open_fails = 1\n");
    LogCapture log;
    scsi_configure_logging(&drv, log.fp, LOG_EVERYTHING);
    CaptureStderr();
    EXPECT_EQ(scsi_open_devicefile("/dev/sg0", &drv), -1);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(drv.driver_status, 0xFF);
    EXPECT_LT(drv.fd, 0);
    EXPECT_EQ(log.text(), "");
}

TEST_F(Transport, OpenByPathLogsThePath)
{
    kvemu::load_bus_text(kTape + "version = 30536\n");
    LogCapture log;
    scsi_configure_logging(&drv, log.fp, LOG_EVERYTHING);
    ASSERT_EQ(scsi_open_devicefile("/dev/sg0", &drv), 0);
    EXPECT_EQ(log.text(), "|T| Sys | OPENED SCSI DEVICE  | /dev/sg0|\n"
                          "|T| Sys | sg revision 3.5.36  |\n"
                          "|T| Sys | sg reserved size = 1048576 bytes|\n");
}

TEST_F(Transport, OpenSetsDefaultsAndKeepsTheRest)
{
    kvemu::load_bus_text(kTape);
    scsi_set_exception_handler(count_failure);
    drv.fixed = drv.immediate = drv.sili = 1;
    drv.link = 0x40;
    drv.timeout = 1;
    drv.fixed_rec_size = 512;
    drv.lblock_prot_type = 2;
    drv.scsi_status = 0x33;
    drv.sense_byte = 0x66;
    drv.driver_status = 0x42;
    scsi_configure_negotiation(&drv, 3, 25, 15, 16);
    ASSERT_EQ(open_at(1, 4), 0);
    EXPECT_EQ(drv.fixed + drv.immediate + drv.sili + drv.link + drv.nego.when + drv.driver_status, 0);
    EXPECT_EQ(drv.nego.width, 8);
    EXPECT_EQ(drv.timeout, 10000);
    EXPECT_NE(drv.extended_driver_status, nullptr);
    // Kept as they were.
    EXPECT_EQ(drv.nego.period, 25);
    EXPECT_EQ(drv.fixed_rec_size, 512);
    EXPECT_EQ(drv.lblock_prot_type, 2);
    EXPECT_EQ(drv.scsi_status, 0x33);
    EXPECT_EQ(drv.sense_byte, 0x66);
    // Every successful open drops the handler: it is installed after opening.
    EXPECT_EQ(scsi_exception_handler, nullptr);
}

TEST_F(Transport, RequestCarriesDirectionLengthAndTimeout)
{
    open_tape("reply.3b = \nreply.aa = \n");
    scsi_set_timeout(&drv, 2500);
    unsigned char out[4] = {1, 2, 3, 4};
    EXPECT_EQ(run({0x3B, 0x05, 0, 0, 0, 0, 0, 0, 4, 0}, out, 4, HOST_WRITE), 4);
    EXPECT_EQ(run({0x00, 0, 0, 0, 0, 0}, nullptr, 0, NO_TRANSFER), 0);
    EXPECT_EQ(run({0x00, 0, 0, 0, 0, 0}, nullptr, 0, UNKNOWN_DIRECTION), 0);
    // A CDB length beyond the CDB array and a negative transfer length are
    // never handed to the driver as they stand.
    scsi_io_type io{};
    io.drv = &drv;
    io.cdb_length = 40;
    io.data = data;
    io.data_length = -8;
    io.data_direction = HOST_READ;
    EXPECT_EQ(scsi_exec(&io), 0);
    const auto &cmds = kvemu::node(0)->commands;
    ASSERT_EQ(cmds.size(), 4u);
    EXPECT_EQ(cmds[3].cdb.size(), 16u);
    EXPECT_EQ(cmds[3].dxfer_len, 0u);
    EXPECT_EQ(cmds[0].dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(cmds[0].dxfer_len, 4u);
    EXPECT_EQ(cmds[0].data_out, (kvemu::Bytes{1, 2, 3, 4}));
    EXPECT_EQ(cmds[0].timeout_ms, 2500u);
    EXPECT_EQ(cmds[1].dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(cmds[2].dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(kvemu::trace(), (Strings{"cmd sg0 3B 05 00 00 00 00 00 00 04 00", "out sg0 01 02 03 04",
                                       "cmd sg0 00 00 00 00 00 00", "cmd sg0 00 00 00 00 00 00",
                                       "cmd sg0 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"}));
    auto *hdr = static_cast<sg_io_hdr_t *>(drv.extended_driver_status);
    EXPECT_EQ(hdr->interface_id, 'S');
    EXPECT_EQ(hdr->flags, static_cast<unsigned>(SG_FLAG_LUN_INHIBIT));
    EXPECT_EQ(hdr->mx_sb_len, 255);
    EXPECT_EQ(hdr->sbp, drv.sense_data);
}

// How each driver answer maps onto the handle, rule by rule.
TEST_F(Transport, OutcomeMapping)
{
    struct Case {
        const char *override_spec;
        int32 result;
        u_int8 driver_status, scsi_status;
        int32 actual;
    };
    const Case cases[] = {
        {"", 96, 0x00, 0x00, 96},
        {"errno=5", -1, 0xFF, 0xFF, 0},  // the driver never took it: nothing moved
        {"driver=0x05", -1, 0xFF, 0xFF, 96},
        {"driver=0x25 host=1", -1, 0xFF, 0xFF, 96},  // rule order: invalid request first
        {"host=1", -1, 0x09, 0xFF, 96},
        {"host=3 driver=0x27 resid=-1", -1, 0x01, 0xFF, 96},
        {"host=7 driver=0x27 resid=-1 short=96", 96, 0x00, 0x00, 96},
        {"host=7 driver=0x27 resid=0", -1, 0x42, 0xFF, 96},
        {"host=7 driver=0x26 resid=-1", -1, 0x42, 0xFF, 96},
        {"host=7 driver=0x27 resid=-1 status=2", -1, 0x42, 0xFF, 96},
        {"host=7", -1, 0x42, 0xFF, 96},
        {"host=2 status=2", -1, 0x42, 0xFF, 96},
        {"status=8", -1, 0x00, 0x08, 96},
        {"status=4", -1, 0x00, 0x04, 96},
        {"status=0x18", -1, 0x00, 0x18, 96},
        {"status=0x81", -1, 0x00, 0x81, 96},  // all eight bits kept
        {"short=10", 86, 0x00, 0x00, 86},
        {"short=96", 0, 0x00, 0x00, 0},
        // Residues the driver cannot mean are kept within 0..asked.
        {"resid=-5", 96, 0x00, 0x00, 96},
        {"resid=1000", 0, 0x00, 0x00, 0},
        {"resid=40 status=8", -1, 0x00, 0x08, 56},
        // A driver code beside the sense flag fails the command, whatever the
        // status byte says; what moved is what the residue leaves.
        {"driver=0x06", -1, 0x01, 0xFF, 96},
        {"driver=0x06 resid=96", -1, 0x01, 0xFF, 0},
        {"driver=0x0E status=2", -1, 0x01, 0xFF, 96},
        {"driver=0x01", -1, 0xFF, 0xFF, 96},
        {"driver=0x04 resid=50", -1, 0xFF, 0xFF, 46},
        {"driver=0x07", -1, 0xFF, 0xFF, 96},
        {"driver=0x08", 96, 0x00, 0x00, 96},
        {"driver=0x20", 96, 0x00, 0x00, 96},  // a suggestion alone
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.override_spec);
        open_tape(std::string("override = 12 ") + c.override_spec + "\n");
        scsi_set_exception_handler(count_failure);
        int32 rc = inquiry();
        EXPECT_EQ(rc, c.result);
        EXPECT_EQ(drv.driver_status, c.driver_status);
        EXPECT_EQ(drv.scsi_status, c.scsi_status);
        EXPECT_EQ(drv.actual_data_length, c.actual);
        EXPECT_EQ(last_io.actual_data_length, c.actual);
        EXPECT_EQ(handler_calls, c.result < 0 ? 1 : 0);
        if (c.result < 0) {
            EXPECT_EQ(handler_drive, &drv);
        }
        scsi_close_device(&drv);
        kvemu::unload_bus();
        handler_calls = 0;
    }
}

TEST_F(Transport, AFailedRequestLogsNoDataItDidNotMove)
{
    open_tape("override = 12 errno=5\n");
    LogCapture log;
    scsi_configure_logging(&drv, log.fp, LOG_ERRORS_ONLY);
    scsi_set_datalog_level(16);
    std::memset(data, 0xA5, sizeof data);  // what an earlier command left
    EXPECT_EQ(run({0x12, 0, 0, 0, 96, 0}, data, 96, HOST_READ), -1);
    scsi_set_datalog_level(0);
    EXPECT_EQ(log.text(), "|T| Sys | Inquiry             |12 00 00 00 60 00 |00000|FF|FF|\n");
}

TEST_F(Transport, AdapterErrorLogsItsDiagnostics)
{
    open_tape("override = 12 host=7 driver=0x06 resid=16 sb_len=0\n");
    LogCapture log;
    scsi_configure_logging(&drv, log.fp, LOG_ERRORS_ONLY);
    EXPECT_EQ(inquiry(), -1);
    EXPECT_EQ(log.text(), "|T| STL | Driver status : 0x06|\n"
                          "|T| STL | Host status   : 0x07|\n"
                          "|T| STL | Data xfer len : 0x60|\n"
                          "|T| STL | Data residue  : 0x10|\n"
                          "|T| STL | Sense length  : 0x0 |\n"
                          "|T| Sys | Inquiry             |12 00 00 00 60 00 |00050|42|FF|\n");
    // The raw outcome stays readable through the handle until the next command.
    auto *hdr = static_cast<const sg_io_hdr_t *>(drv.extended_driver_status);
    EXPECT_EQ(hdr->host_status, 7);
    EXPECT_EQ(hdr->driver_status, 0x06);
    EXPECT_EQ(hdr->resid, 16);
}

const char *kSense = "70000300000000"
                     "0A000000003102"
                     "0000005A";

TEST_F(Transport, SenseFieldsChangeOnlyOnCheckConditionWithSense)
{
    open_tape(std::string("override = 00 status=2 sense=") + kSense +
              "\noverride = 00 status=8\noverride = 00 status=2 driver=0 sense=700006\n"
              "override = 00 status=2 host=7 sense=700002\n");
    auto tur = [&] { return run({0, 0, 0, 0, 0, 0}, nullptr, 0, NO_TRANSFER); };
    EXPECT_EQ(tur(), -1);
    EXPECT_EQ(drv.scsi_status, 2);
    EXPECT_EQ(drv.sense_length, 18);
    EXPECT_EQ(drv.sense_byte, 0x03);
    EXPECT_EQ(drv.drive_error, 0x5A);
    EXPECT_EQ(drv.addl_sense, 0x3102);

    for (int i = 0; i < 3; i++) {  // BUSY; CHECK without the sense flag; adapter error
        SCOPED_TRACE(i);
        EXPECT_EQ(tur(), -1);
        EXPECT_EQ(drv.sense_length, 18);
        EXPECT_EQ(drv.sense_byte, 0x03);
        EXPECT_EQ(drv.drive_error, 0x5A);
        EXPECT_EQ(drv.addl_sense, 0x3102);
    }
    EXPECT_EQ(tur(), 0);
    EXPECT_EQ(drv.sense_byte, 0x03);
}

TEST_F(Transport, SenseLengthClaimIsBoundedByTheSenseBuffer)
{
    open_tape(std::string("override = 00 status=2 sb_len=255 sense=") + kSense + "\n");
    LogCapture log;
    scsi_configure_logging(&drv, log.fp, LOG_ERRORS_ONLY);
    EXPECT_EQ(run({0, 0, 0, 0, 0, 0}, nullptr, 0, NO_TRANSFER), -1);
    EXPECT_EQ(drv.sense_length, 255);
    // The line shows what the sense data itself says it holds.
    EXPECT_EQ(log.text(),
              "|T| Sys | TestUnitReady       |00 00 00 00 00 00 |00000|00|02|\n"
              "|T| Sys | AutoRequestSense    |70 00 03 00 00 00 00 0A 00 00 00 00 31 02 00 00 00 5A |\n");
}

TEST_F(Transport, Resets)
{
    struct Case {
        int32 type;
        bool fails;
        int32 result;
        const char *trace;
        const char *log;
    };
    const Case cases[] = {
        {0, false, -1, nullptr, "|T| Sys | Send Abort message not supported |FF|\n"},
        {1, false, 0, "reset sg0 1", "|T| Sys | Send Device Reset message |00|\n"},
        {2, false, 0, "reset sg0 2", "|T| Sys | Perform Bus reset |00|\n"},
        {1, true, -1, "reset sg0 1", "|T| Sys | Send Device Reset message |FF|\n"},
        {3, false, -1, nullptr, "|T| Sys | Reset type 3 not supported |FF|\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        open_tape(c.fails ? "reset_fails = 1\n" : "");
        LogCapture log;
        scsi_configure_logging(&drv, log.fp, LOG_EVERYTHING);
        drv.driver_status = 0x33;
        EXPECT_EQ(scsi_perform_reset(&drv, c.type), c.result);
        EXPECT_EQ(drv.driver_status, c.result == 0 ? 0 : 0xFF);
        EXPECT_EQ(log.text(), c.log);
        EXPECT_EQ(kvemu::trace(), c.trace ? Strings{c.trace} : Strings{});
        scsi_configure_logging(&drv, nullptr, LOG_NOTHING);
        scsi_close_device(&drv);
        kvemu::unload_bus();
    }
}

}  // namespace
