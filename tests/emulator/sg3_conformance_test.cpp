// The emulated drives as a SCSI client nobody here wrote sees them: Debian's
// sg3-utils, run under the preloaded emulator, against each model. The checks
// are on what the tools decode, so an answer no real drive gives shows here.
// Without sg3-utils installed every test reports skipped.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bus_text.h"
#include "scratch.h"

namespace {

const std::string kPreload = KV_BINARY_DIR "/emulator/libkvemu_preload.so";

// sg0 LTO, sg1 DDS, sg2 LTO answering BUSY once, sg3 LTO with a pending
// UNIT ATTENTION, sg4 DDS without a cartridge, sg5 another maker's changer at
// adapter 1, channel 1, target 6, LUN 2.
const char kBus[] = R"(
[device]
host = 0
target = 1
model = kv_lto
serial = 1068001234
log.2e.0014 = 1
log.02.0003 = 5
installs = 100 2.00
[device]
host = 0
target = 2
model = kv_dds
log.02.0002 = 77
log.2e.0003 = 1
buffer1 = 0 0
installs = 100 2.00
[device]
host = 0
target = 3
model = kv_lto
busy = 1
[device]
host = 0
target = 4
model = kv_lto
unit_attention = 1
[device]
host = 0
target = 5
model = kv_dds
tur = 02 3A 00
[device]
host = 1
channel = 1
target = 6
lun = 2
type = 8
vendor = OTHERCO
product = LOADER
)";

// The directory of `tool` on PATH, or empty.
std::string find_tool(const std::string &tool)
{
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && access((dir + "/" + tool).c_str(), X_OK) == 0)
            return dir;
    return "";
}

struct Case {
    std::string command;             // tool and arguments
    int status;                      // exit status
    std::vector<std::string> shows;  // texts its output must hold
    std::string bus = "bus.ini";
};

// A drive whose driver claims the version 4 interface, which the emulator
// does not speak: sg3-utils must have asked for the version to try it.
const std::string kVersion4Bus = bus_text::device(
    {{"host", 0}, {"target", 1}, {"model", "kv_lto"}, {"version", 40000}});

class Sg3Utils : public ::testing::Test {
protected:
    void SetUp() override
    {
        bin_ = find_tool("sg_inq");
        if (bin_.empty())
            GTEST_SKIP() << "sg3-utils is not installed";
        scratch::write_file(dir_.path() + "/bus.ini", kBus);
        scratch::write_file(dir_.path() + "/bus_v4.ini", kVersion4Bus);
        scratch::write_file(dir_.path() + "/img100", std::string(100, '\x5A'));
        scratch::write_file(dir_.path() + "/img99", std::string(99, '\x5A'));
    }

    // Runs one tool in a process of its own (a fresh bus), output and errors together.
    std::string run(const std::string &command, const std::string &bus, int &status)
    {
        std::string cmd = "cd '" + dir_.path() + "' && env -i LD_PRELOAD=" + kPreload + " KVEMU_BUS=" + bus +
                          " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " + bin_ + "/" + command +
                          " >out.txt 2>&1";
        int w = std::system(cmd.c_str());
        status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
        return scratch::read_file(dir_.path() + "/out.txt");
    }

    void check(const std::vector<Case> &cases)
    {
        for (const auto &c : cases) {
            int status = -1;
            std::string out = run(c.command, c.bus, status);
            SCOPED_TRACE(c.command + "\n" + out);
            EXPECT_EQ(status, c.status);
            for (const auto &text : c.shows)
                EXPECT_NE(out.find(text), std::string::npos) << "missing: " << text;
        }
    }

    scratch::Dir dir_{false};
    std::string bin_;
};

TEST_F(Sg3Utils, IdentityAndVitalProductData)
{
    check({
        {"sg_inq /dev/sg0",
         0,
         {"PDT=1  RMB=1", "Vendor identification: KV", "Product identification: ULTRIUM TAPE",
          "Unit serial number: 1068001234"}},
        {"sg_inq /dev/sg1", 0, {"RMB=1", "Product identification: DDS TAPE", "Unit serial number: 0000020000"}},
        {"sg_inq /dev/sg5", 0, {"PDT=8  RMB=0", "Peripheral device type: medium changer", "OTHERCO"}},
        {"sg_inq -p 0x80 /dev/sg5", 0, {"Unit serial number: 0101060002"}},
        {"sg_vpd /dev/sg1",
         0,
         {"Supported VPD pages [sv]", "Unit serial number [sn]", "Device identification [di]"}},
        {"sg_inq -p 0x00 /dev/sg1", 0, {"01 00 00 05 00 80 83 c0  c1"}},
        {"sg_inq -p 0x83 /dev/sg1",
         0,
         {"designator_type: T10 vendor identification,  code_set: ASCII", "vendor id: KV",
          "vendor specific: DDS TAPE        0000020000"}},
        {"sg_vpd -p 0xc0 /dev/sg0", 0, {"01 c0 00 5c 4b 56 20 4c", "RMWARE=1.00"}},
        {"sg_inq -H -p 0xc0 /dev/sg1", 0, {"01 c0 00 9c 00 46 49 52  4d 57 41 52 45 20 3d 20"}},
        {"sg_inq -p 0xc1 /dev/sg1", 0, {"01 c1 00 5c", "00 31 2e 30 30 00"}},
        // A page missing from page 00h is refused.
        {"sg_inq -f -p 0xc2 /dev/sg1", 5, {"page not supported"}},
        // A page code without EVPD is a field in error.
        {"sg_raw -r 255 /dev/sg1 12 00 80 00 ff 00", 5, {"Invalid field in cdb"}},
    });
}

TEST_F(Sg3Utils, ReadinessAndSense)
{
    check({
        {"sg_turs /dev/sg0", 0, {}},
        {"sg_turs -vv /dev/sg2", 26, {"Busy"}},
        {"sg_turs /dev/sg3", 6, {"Sense key: Unit Attention", "Power on, reset, or bus device reset occurred"}},
        {"sg_turs -v /dev/sg4", 2, {"Sense key: Not Ready", "Medium not present"}},
        {"sg_requests /dev/sg4", 0, {"Fixed format, current; Sense key: Not Ready", "Medium not present"}},
        {"sg_requests -d /dev/sg4",
         0,
         {"Descriptor format, current; Sense key: Not Ready", "Medium not present"}},
        {"sg_requests /dev/sg3", 0, {"Sense key: Unit Attention"}},
        {"sg_requests /dev/sg1", 0, {"Sense key: No Sense"}},
    });
}

TEST_F(Sg3Utils, ModePages)
{
    check({
        {"sg_modes /dev/sg1",
         0,
         {"from MODE SENSE(10)", "Density code=0x26", "Data Compression, page_control: current",
          "Device configuration, page_control: current", "Medium Partition", "page_code: 0x3e"}},
        {"sg_modes -6 -a /dev/sg0",
         0,
         {"from MODE SENSE(6)", "Density code=0x46", "Read-Write error recovery", "Control, page_control",
          "Informational exceptions control"}},
        {"sg_modes -c 0 -p 0x0f /dev/sg1", 0, {"0f 0e c0 00 00 00 00 20  00 00 00 20"}},
        {"sg_modes -c 1 -p 0x0f /dev/sg1",
         0,
         {"Data Compression, page_control: changeable", "0f 0e 80 80 ff ff ff ff  00 00 00 00"}},
        {"sg_modes -c 2 -p 0x0f /dev/sg1", 0, {"page_control: default", "0f 0e c0 00 00 00 00 20"}},
        {"sg_modes -v -c 3 -p 0x0f /dev/sg1", 5, {"Saving parameters not supported"}},
        {"sg_modes -p 0x10,1 /dev/sg0",
         0,
         {"Device configuration extension, page_control: current", "50 01 00 1c"}},
        {"sg_modes -p 0x3f,0xff /dev/sg0", 0, {"Device configuration extension", "Medium Partition"}},
        {"sg_modes -v -p 0x0f,1 /dev/sg1", 5, {"Invalid field in cdb"}},
        // A subpage the drive does not have, of a page it has, in both CDB sizes.
        {"sg_modes -v -p 0x0a,1 /dev/sg0", 5, {"mode sense(10) cdb: [5a 00 0a 01", "Invalid field in cdb"}},
        {"sg_modes -6 -v -p 0x10,2 /dev/sg0", 5, {"mode sense(6) cdb: [1a 00 10 02", "Invalid field in cdb"}},
        {"sg_modes -v -p 0x3e,5 /dev/sg1", 5, {"Invalid field in cdb"}},
    });
}

TEST_F(Sg3Utils, LogPages)
{
    check({
        {"sg_logs /dev/sg1",
         0,
         {"Supported log pages  [0x0]", "0x02        Write error", "0x03        Read error"}},
        {"sg_logs -p 0x00,0xff /dev/sg0", 0, {"Supported log pages and subpages", "0x2e        Tape alert"}},
        {"sg_logs -p 0x02 /dev/sg1",
         0,
         {"Errors corrected without substantial delay = 0", "Total rewrites or rereads = 77",
          "Total uncorrected errors = 0"}},
        {"sg_logs -p 0x02 /dev/sg0",
         0,
         {"Total errors corrected = 5", "Total times correction algorithm processed = 0"}},
        {"sg_logs -p 0x2e /dev/sg1", 0, {"Hard error: 1", "Read warning: 0"}},
        {"sg_logs -p 0x2e /dev/sg0", 0, {"Cleaning required: 1", "Hard error: 0"}},
        {"sg_logs -p 0x31 /dev/sg0", 0, {"Main partition remaining capacity (in MiB): 0"}},
        {"sg_logs -p 0x17 /dev/sg0", 5, {}},
    });
}

TEST_F(Sg3Utils, Diagnostics)
{
    check({
        {"sg_senddiag -t /dev/sg0", 0, {"Default self-test returned GOOD status"}},
        {"sg_senddiag -t /dev/sg1", 0, {"Default self-test returned GOOD status"}},
        {"sg_senddiag -l /dev/sg1",
         0,
         {"Supported diagnostic pages response:", "0x00  Supported diagnostic pages"}},
        {"sg_senddiag -p --raw=00,00,00,00 /dev/sg0", 0, {}},
        {"sg_senddiag -vv -p --raw=90,00,00,00 /dev/sg0", 5, {"Invalid field in parameter list"}},
        // Pages and lists a drive does not take, with PF and without.
        {"sg_senddiag -vv -p --raw=80,00,00,04,00,00,00,00 /dev/sg1", 5, {"Invalid field in parameter list"}},
        {"sg_senddiag -vv --raw=01,02,03,04,05,06,07,08 /dev/sg0", 5, {"Invalid field in parameter list"}},
        {"sg_senddiag -vv --raw=01,02,03,04,05,06,07,08 /dev/sg1", 5, {"Invalid field in parameter list"}},
    });
}

TEST_F(Sg3Utils, FirmwareDownloadByMode)
{
    check({
        // LTO: mode 4 takes a chunk; a mode-5 chunk commits, refused for an unknown image.
        {"sg_write_buffer -m 4 -I img100 /dev/sg0", 0, {}},
        {"sg_write_buffer -v -m 5 -I img100 /dev/sg0",
         0,
         {"Write buffer cdb: [3b 05 00 00 00 00 00 00 64 00]"}},
        {"sg_write_buffer -v -m 5 -I img99 /dev/sg0", 5, {"Invalid field in parameter list"}},
        // DDS without a closing command installs what arrives in either mode.
        {"sg_write_buffer -m 4 -I img100 /dev/sg1", 0, {}},
        {"sg_write_buffer -m 5 -I img100 /dev/sg1", 0, {}},
        {"sg_write_buffer -v -m 7 -I img100 /dev/sg0", 5, {"Invalid field in cdb"}},
    });
}

// The LTO drive's data buffer (id 0): its descriptor, then its bytes to the
// capacity and not past it. (sg_read_buffer 1.46 sends an allocation length
// of 0 in READ BUFFER(10) whatever --length says, so sg_raw asks.)
TEST_F(Sg3Utils, LtoReadBuffer)
{
    check({
        {"sg_raw -r 4 /dev/sg0 3c 03 00 00 00 00 00 00 04 00", 0, {"Received 4 bytes of data", "00 10 00 00"}},
        {"sg_raw -r 2 /dev/sg0 3c 03 00 00 00 00 00 00 04 00", 0, {"Received 2 bytes of data", "00 10"}},
        {"sg_raw -r 64 /dev/sg0 3c 02 00 00 00 00 00 00 10 00", 0, {"Received 16 bytes of data"}},
        {"sg_raw -r 64 /dev/sg0 3c 02 00 0f ff f8 00 00 10 00", 0, {"Received 8 bytes of data"}},
        {"sg_raw -r 64 /dev/sg0 3c 02 00 10 00 00 00 00 10 00", 5, {"Invalid field in cdb"}},
        {"sg_raw -r 64 /dev/sg0 3c 03 01 00 00 00 00 00 04 00", 5, {"Invalid field in cdb"}},
        {"sg_raw -r 64 /dev/sg0 3c 0a 00 00 00 00 00 00 04 00", 5, {"Invalid field in cdb"}},
    });
}

// An emulated node passes sg3-utils' check for the sg driver, which then asks
// the driver's version and picks its interface by it.
TEST_F(Sg3Utils, NodesAreSgNodes)
{
    check({
        {"sg_turs -vvvvv /dev/sg0", 0, {"check_file_type: file descriptor is sg device"}},
        {"sg_turs -vvvvv /dev/sg0",
         88,
         {"file descriptor is sg device", "sg driver version 4.00.00 so choose v4", "SG_IO v4) failed"},
         "bus_v4.ini"},
    });
}

TEST_F(Sg3Utils, LunsAndNodes)
{
    check({
        {"sg_luns /dev/sg0", 0, {"1 lun entry", "0000000000000000"}},
        {"sg_luns /dev/sg5", 0, {"1 lun entry", "0002000000000000"}},
        {"sg_scan -i /dev/sg1", 0, {"/dev/sg1: scsi0 channel=0 id=2 lun=0", "[rmb=1 cmdq=0 pqual=0 pdev=0x1]"}},
        {"sg_scan -i /dev/sg5", 0, {"/dev/sg5: scsi1 channel=1 id=6 lun=2"}},
        {"sg_map -i -x",
         0,
         {"/dev/sg0  0 0 1 0  1  KV        ULTRIUM TAPE", "/dev/sg4  0 0 5 0  1  KV        DDS TAPE",
          "/dev/sg5  1 1 6 2  8  OTHERCO"}},
    });
}

// A reply holds at most what the CDB's allocation length asks for.
TEST_F(Sg3Utils, AllocationLengths)
{
    check({
        {"sg_raw -r 255 /dev/sg1 12 00 00 00 08 00",
         0,
         {"Received 8 bytes of data", "01 80 03 02 5b 00 00 00"}},
        {"sg_raw -r 255 /dev/sg1 03 00 00 00 00 00", 0, {"No data received"}},
        {"sg_raw -r 255 /dev/sg0 44 00 00 00 00 00 00 00 08 00", 0, {"Received 8 bytes of data"}},
        {"sg_raw -r 255 /dev/sg1 1a 00 0f 00 04 00", 0, {"Received 4 bytes of data", "1b 00 10 08"}},
        {"sg_raw -r 255 /dev/sg1 4d 00 42 00 00 00 00 00 04 00",
         0,
         {"Received 4 bytes of data", "02 00 00 1c"}},
        {"sg_raw -r 255 /dev/sg0 a0 00 00 00 00 00 00 00 00 04 00 00", 0, {"Received 4 bytes of data"}},
        {"sg_raw -r 1k /dev/sg1 3c 01 01 00 01 00 00 00 04 00", 0, {"Received 4 bytes of data"}},
    });
}

}  // namespace
