// kv_rom end to end: the real binary, run under the sg emulator in a scratch
// directory, its console output and log file compared with golden files.
// KV_UPDATE_GOLDEN=1 rewrites the golden files from what the binary printed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine.h"
#include "bus_text.h"
#include "kvemu.h"
#include "scratch.h"

using scratch::exists;
using scratch::read_file;
using scratch::write_file;

namespace {

const std::string kBinary = KV_BINARY_DIR "/firmware/kv_rom";
const std::string kPreload = KV_BINARY_DIR "/emulator/libkvemu_preload.so";
const std::string kGolden = KV_SOURCE_DIR "/tests/golden/";

// Two KV LTO drives of one type, one KV DDS drive, a disk and another vendor's
// tape drive that discovery must pass over.
const char kBus[] = R"(
[device]
host = 0
target = 1
model = kv_lto
product = ULTRIUM 5
firmware = 1.50
drive_id = 5A01
installs = 40000 2.00

[device]
host = 0
target = 2
model = kv_lto
product = ULTRIUM 5
firmware = 1.50
drive_id = 5A01
installs = 40000 2.00

[device]
host = 1
target = 4
model = kv_dds
product = DAT 160
firmware = 3.00
hw_conf = 0x80003

[device]
host = 1
target = 5
type = 0
vendor = OTHERCO
product = DISK

[device]
host = 2
target = 0
type = 1
vendor = OTHERCO
product = ULTRIUM 5
)";

const char kConfig[] = "$ images on hand\n5A01|lto5.bin|2.00\n80003|dat160.bin|3.00\n";

struct Outcome {
    int status = -1;
    std::string out, err, log, trace;
};

class KvRom : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(mkdir((dir_ + "/fwimage").c_str(), 0755), 0);
        write_file(dir_ + "/bus.ini", kBus);
        write_file(dir_ + "/fwimage/firmware.cfg", kConfig);
        write_file(dir_ + "/fwimage/LTO5.BIN", std::string(40000, '\x5a'));
        write_file(dir_ + "/fwimage/DAT160.BIN", std::string(100, '\x33'));
    }

    // Runs kv_rom in the scratch directory (it works relative to it: fwimage/...)
    // with a clean environment that puts it under the emulator.
    Outcome run(const std::vector<std::string> &args)
    {
        std::string cmd = "cd '" + dir_ + "' && env -i LD_PRELOAD=" + kPreload +
                          " KVEMU_BUS=bus.ini KVEMU_TRACE=trace.txt KVEMU_LOGFILE=Component.log"
                          " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1 " +
                          kBinary;
        for (const auto &a : args)
            cmd += " '" + a + "'";
        int w = std::system((cmd + " >stdout.txt 2>stderr.txt").c_str());
        Outcome r;
        r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
        r.out = read_file(dir_ + "/stdout.txt");
        r.err = read_file(dir_ + "/stderr.txt");
        r.log = read_file(dir_ + "/Component.log");
        r.trace = read_file(dir_ + "/trace.txt");
        std::remove((dir_ + "/Component.log").c_str());
        std::remove((dir_ + "/trace.txt").c_str());
        return r;
    }

    // Compares text with tests/golden/<name>, or rewrites it on request.
    void golden(const std::string &name, const std::string &text)
    {
        scratch::expect_golden(kGolden + name, text);
    }

    void check(const std::string &name, const Outcome &r, int status)
    {
        EXPECT_EQ(r.status, status) << name << "\n" << r.out << r.err;
        golden("kv_rom_" + name + ".out", r.out);
        golden("kv_rom_" + name + ".log", r.log);
    }

    scratch::Dir scratch_{false};
    const std::string dir_ = scratch_.path();
};

const char kUsage[] = "Usage: ./ZNxxxxxx.tqrun [options] \n"
                      "[options]\n"
                      " -d --discover <xml file path+name>\tDiscover and place results in xml file.\n"
                      " -u --upgrade  <xml file path+name>\tUpgrade from selected tape drives in xml file.\n"
                      " -a --all\t\t\t\tDiscover and upgrade all tape drives.\n"
                      " -s --silent\t\t\t\tSilent exeuction.\n"
                      " -v --verbose\t\t\t\tVerbose exeuction.\n"
                      " -h --help\t\t\t\tDisplay this usage information.\n";

// Option combinations that stop before any mode runs: nothing reaches a drive.
TEST_F(KvRom, RejectedOptionsPrintTheUsageText)
{
    const std::string long_path(600, 'p');
    struct {
        std::vector<std::string> args;
        int status;
        std::string message;  // printed (and logged) before the usage text
        const char *stderr_part;
    } cases[] = {
        {{"-h"}, 255, "", ""},
        {{"-h", "-s", "-v", "-a"}, 255, "", ""},
        {{"--help", "-d", "x.xml"}, 255, "", ""},
        {{"-s", "-v"}, 255, "Error: Invalid command line options. Silent and Verbose cannot be together\n", ""},
        {{"-d", "a.xml", "-u", "b.xml"}, 255, "Error: Invalid command line options\n", ""},
        {{"-a", "--discover", "a.xml"}, 255, "Error: Invalid command line options\n", ""},
        {{"-h", "--bogus"}, 7, "", "unrecognized option '--bogus'"},
        {{"-x"}, 7, "", "invalid option -- 'x'"},
        {{"-d"}, 7, "", "option requires an argument -- 'd'"},
        {{"--upgrade"}, 7, "", "option '--upgrade' requires an argument"},
        {{"-d", long_path}, 7, "", "XML file path longer than 511 characters"},
        {{"--upgrade=" + long_path}, 7, "", "XML file path longer than 511 characters"},
        {{"-d", std::string(512, 'p')}, 7, "", "XML file path longer than 511 characters"},
    };
    for (const auto &c : cases) {
        std::string shown;
        for (const auto &a : c.args)
            shown += a.substr(0, 20) + " ";
        Outcome r = run(c.args);
        EXPECT_EQ(r.status, c.status) << shown;
        EXPECT_EQ(r.out, c.message + kUsage) << shown;
        EXPECT_EQ(r.log, c.message + kUsage) << shown;
        EXPECT_NE(r.err.find(c.stderr_part), std::string::npos) << shown << r.err;
        EXPECT_EQ(r.trace, "") << shown;
    }
    EXPECT_FALSE(exists(dir_ + "/a.xml"));
}

TEST_F(KvRom, NoArgumentsRunsModeAllWithTheDefaultMessageTwice)
{
    Outcome r = run({});
    check("default", r, 0);
    const std::string msg = "Default option (upgrade all) selected.\n";
    size_t first = r.log.find(msg);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(r.log.find(msg, first + 1), std::string::npos);
    // -v alone changes nothing.
    Outcome v = run({"-v"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, r.out);
    EXPECT_EQ(v.log, r.log);
}

TEST_F(KvRom, ModeAllDownloadsWaitsAndVerifies)
{
    Outcome r = run({"-a"});
    check("all", r, 0);
    EXPECT_EQ(r.out.find("Default option"), std::string::npos);
    EXPECT_NE(r.trace.find("sleep 150"), std::string::npos);
    EXPECT_NE(r.out.find("Result : Success no reboot\n"), std::string::npos);

    Outcome s = run({"--all", "--silent"});
    check("all_silent", s, 0);
    EXPECT_EQ(s.out.find("----"), std::string::npos);
}

// On a kernel that lists its sg devices only in sysfs the whole run is the
// same: output, errors, log and every command on the bus.
TEST_F(KvRom, ModeAllOnASysfsOnlyBusRunsAsOnTheProcList)
{
    Outcome proc = run({"-a"});
    write_file(dir_ + "/bus.ini", std::string("devlist = sysfs\n") + kBus);
    Outcome sysfs = run({"-a"});
    EXPECT_EQ(proc.status, 0);
    EXPECT_NE(proc.trace.find("sleep 150"), std::string::npos);
    EXPECT_EQ(sysfs.status, proc.status);
    EXPECT_EQ(sysfs.out, proc.out);
    EXPECT_EQ(sysfs.err, proc.err);
    EXPECT_EQ(sysfs.log, proc.log);
    EXPECT_EQ(sysfs.trace, proc.trace);
}

TEST_F(KvRom, DiscoverWritesTheXmlFileAndUpgradeReadsItBack)
{
    Outcome d = run({"-d", "out/found.xml"});
    check("discover", d, 0);
    ASSERT_TRUE(exists(dir_ + "/out/found.xml"));
    golden("kv_rom_discover.xml", read_file(dir_ + "/out/found.xml"));
    EXPECT_EQ(d.trace.find("cmd sg0 3b"), std::string::npos) << "discover must not download";

    Outcome u = run({"--upgrade", "out/found.xml"});
    check("upgrade", u, 0);
    EXPECT_NE(u.trace.find("sleep 150"), std::string::npos);
}

// A hand-edited action with blanks around it: whether the tables are shown or
// not, the same drives are flashed.
TEST_F(KvRom, AnActionWithBlanksIsFlashedWhetherOrNotTheTablesAreShown)
{
    ASSERT_EQ(run({"-d", "plan.xml"}).status, 0);
    std::string plan = read_file(dir_ + "/plan.xml");
    const std::string upgrade = "<action value=\"upgrade\"/>";
    for (size_t at; (at = plan.find(upgrade)) != std::string::npos;)
        plan.replace(at, upgrade.size(), "<action value=\" upgrade \"/>");
    write_file(dir_ + "/plan.xml", plan);

    Outcome shown = run({"-u", "plan.xml"});
    Outcome silent = run({"-s", "-u", "plan.xml"});
    EXPECT_EQ(shown.status, 0) << shown.log;
    EXPECT_EQ(silent.status, 0) << silent.log;
    for (const char *chunk : {"cmd sg0 3B", "cmd sg1 3B"})
        EXPECT_NE(silent.trace.find(chunk), std::string::npos) << chunk;
    EXPECT_EQ(silent.trace, shown.trace);
    EXPECT_EQ(silent.log, shown.log);
}

TEST_F(KvRom, DiscoverPathForms)
{
    // The last -d wins; --discover=path is the same as -d path.
    Outcome twice = run({"-d", "first.xml", "-d", "second.xml"});
    EXPECT_EQ(twice.status, 0);
    EXPECT_FALSE(exists(dir_ + "/first.xml"));
    EXPECT_TRUE(exists(dir_ + "/second.xml"));

    Outcome joined = run({"--discover=joined.xml", "-s"});
    EXPECT_EQ(joined.status, 0);
    EXPECT_EQ(read_file(dir_ + "/joined.xml"), read_file(dir_ + "/second.xml"));

    // The longest path taken: 511 characters, each name within the 255 a directory allows.
    const std::string longest = std::string(255, 'd') + "/" + std::string(255, 'f');
    Outcome at_limit = run({"-d", longest});
    EXPECT_EQ(at_limit.status, 0) << at_limit.err;
    EXPECT_EQ(read_file(dir_ + "/" + longest), read_file(dir_ + "/second.xml"));
}

TEST_F(KvRom, UpgradeWithABrokenXmlFileFails)
{
    Outcome missing = run({"-u", "nowhere.xml"});
    check("upgrade_missing_xml", missing, 7);
    EXPECT_EQ(missing.trace.find("cmd"), std::string::npos);

    write_file(dir_ + "/broken.xml", "<kv_rom_discovery><devices><device>");
    Outcome broken = run({"-u", "broken.xml"});
    EXPECT_EQ(broken.status, 7);
    EXPECT_EQ(broken.out, missing.out);
}

TEST_F(KvRom, AFailedVerificationEndsInFlashFailure)
{
    // The drives refuse to commit an image they do not know: the version stays.
    std::string bus = kBus;
    for (size_t at; (at = bus.find("installs = 40000 2.00\n")) != std::string::npos;)
        bus.erase(at, std::strlen("installs = 40000 2.00\n"));
    write_file(dir_ + "/bus.ini", bus);
    Outcome r = run({"-a", "-s"});
    check("all_failed", r, 7);
    EXPECT_NE(r.out.find("\n here 3\n"), std::string::npos);
}

TEST_F(KvRom, ControlAndHighBytesInAProductIdReachThePlanAsEscapes)
{
    Outcome earlier = run({"-d", "plan.xml"});
    ASSERT_EQ(earlier.status, 0);
    write_file(dir_ + "/bus.ini", bus_text::device({{"host", 0},
                                                    {"target", 1},
                                                    {"model", "kv_lto"},
                                                    {"product", "ULTRIUM\x01 5\x1F\xC3\xA9"},
                                                    {"firmware", "1.50"},
                                                    {"drive_id", "5A01"},
                                                    {"installs", "40000 2.00"}}));
    const std::string shown = "ULTRIUM\\x01 5\\x1F\\xC3\\xA9";

    Outcome d = run({"-d", "plan.xml"});
    EXPECT_EQ(d.status, 0) << d.err;
    EXPECT_NE(d.out.find("ProductID = " + shown + "\n"), std::string::npos) << d.out;
    EXPECT_NE(read_file(dir_ + "/plan.xml").find("<product_id value=\"" + shown + "\"/>"), std::string::npos);

    Outcome u = run({"-u", "plan.xml"});
    EXPECT_EQ(u.status, 0) << u.out;
    EXPECT_NE(u.log.find("Drive ID: 0x005a01, Product ID: " + shown + ", Action: upgrade\n"), std::string::npos)
        << u.log;
}

TEST_F(KvRom, APlanThatPointsAtADiskSendsItNothing)
{
    ASSERT_EQ(run({"-d", "plan.xml"}).status, 0);
    // The first drive's address edited to the disk's (adapter 1, target 5).
    std::string plan = read_file(dir_ + "/plan.xml");
    const std::string first = "<busnumber value=\"1\"/><devicenumber value=\"0\"/>";
    ASSERT_NE(plan.find(first), std::string::npos);
    plan.replace(plan.find(first), first.size(), "<busnumber value=\"5\"/><devicenumber value=\"1\"/>");
    write_file(dir_ + "/plan.xml", plan);

    Outcome u = run({"-u", "plan.xml"});
    EXPECT_EQ(u.status, 7);
    EXPECT_NE(u.out.find("\n here 2\n"), std::string::npos) << u.out;
    EXPECT_NE(u.log.find("Error: Card ID 1, Bus Addr 5, LUN 0 is not a KV tape drive with Drive ID "
                         "0x005a01; nothing sent.\n"),
              std::string::npos)
        << u.log;
    // The disk (node sg3) was asked who it is, and nothing else.
    for (const char *changing : {"cmd sg3 16", "cmd sg3 3B", "cmd sg3 3b"})
        EXPECT_EQ(u.trace.find(changing), std::string::npos) << changing;
    EXPECT_NE(u.trace.find("cmd sg3 12 00 00 00 FF 00"), std::string::npos);
    // The drive at 0:2 still gets its image.
    EXPECT_NE(u.trace.find("cmd sg1 3B"), std::string::npos);
}

// Every byte kv_rom prints or logs is printable ASCII, a tab or a line end.
bool plain_text(const std::string &text)
{
    for (unsigned char c : text)
        if ((c < 0x20 || c > 0x7E) && c != '\n' && c != '\t')
            return false;
    return true;
}

TEST_F(KvRom, TextsFromDrivesAndPlansAreShownAsEscapes)
{
    // The vendor passes the KV test once stripped; its escape sequence never
    // reaches the terminal.
    std::string bus = kBus;
    bus.insert(bus.find("model = kv_lto\n"), "vendor = K\x1B[;V\n");
    write_file(dir_ + "/bus.ini", bus);
    Outcome d = run({"-d", "plan.xml"});
    EXPECT_EQ(d.status, 0);
    EXPECT_NE(d.out.find("VendorID = K\\x1B[;V, ProductID = ULTRIUM 5\n"), std::string::npos) << d.out;
    EXPECT_TRUE(plain_text(d.out));
    const std::string plan = read_file(dir_ + "/plan.xml");

    // A plan's product identification that would forge a line of its own.
    struct {
        const char *declaration;
        const char *product;  // as the plan's attribute value
        std::string shown;
    } cases[] = {
        {"version=\"1.0\"", "X&#xD;&#xA;Result : Success no reboot&#x85;",
         "X\\x0D\\x0AResult : Success no reboot\\xC2\\x85"},
        {"version=\"1.1\"", "&#x1B;[2J&#x7;", "\\x1B[2J\\x07"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.product);
        std::string edited = plan;
        edited.replace(edited.find("version=\"1.0\""), 13, c.declaration);
        edited.replace(edited.find("ULTRIUM 5"), 9, c.product);
        write_file(dir_ + "/plan.xml", edited);
        Outcome u = run({"-u", "plan.xml"});
        EXPECT_EQ(u.status, 0) << u.log;
        EXPECT_NE(u.out.find("ProductID = " + c.shown + "\n"), std::string::npos) << u.out;
        EXPECT_NE(u.log.find("Product ID: " + c.shown + ", Action: upgrade\n"), std::string::npos) << u.log;
        EXPECT_TRUE(plain_text(u.out));
        EXPECT_TRUE(plain_text(u.log));
    }
}

// -d onto a FIFO or a device writes through it: the node stays what it was.
TEST_F(KvRom, DiscoverOntoAFifoOrADeviceLeavesItInPlace)
{
    const std::string path = dir_ + "/node";
    for (const bool fifo : {true, false}) {
        std::remove(path.c_str());
        // Open for reading and writing, the FIFO takes the plan without a
        // reader to wait for and keeps it. The device is the null device, made
        // here so that nothing outside the scratch directory is at stake.
        int reader = fifo ? (mkfifo(path.c_str(), 0600), open(path.c_str(), O_RDWR | O_NONBLOCK)) : -1;
        if (!fifo && mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            continue;  // not allowed here
        Outcome d = run({"-d", "node"});
        EXPECT_EQ(d.status, 0) << d.err;
        struct stat st {};
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(fifo ? S_ISFIFO(st.st_mode) : S_ISCHR(st.st_mode)) << fifo;
        if (fifo) {
            char buf[8192];
            ssize_t n = read(reader, buf, sizeof buf);
            close(reader);
            EXPECT_NE(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0).find("</kv_rom_discovery>"),
                      std::string::npos);
        }
    }
}

TEST_F(KvRom, RoadsStopAtTheFirstFailure)
{
    // No configuration file: the tables are shown, then Flash Failure.
    std::remove((dir_ + "/fwimage/firmware.cfg").c_str());
    check("no_config", run({"-a"}), 7);

    // No drive on the bus.
    write_file(dir_ + "/bus.ini",
               bus_text::device({{"host", 0}, {"target", 3}, {"type", 0}, {"vendor", "OTHERCO"}}));
    check("no_drive", run({"-d", "x.xml"}), 4);
    EXPECT_FALSE(exists(dir_ + "/x.xml"));
}

// A plan that does not reach the disk in whole is no plan written.
TEST_F(KvRom, APlanThatCannotBeWrittenEndsInFlashFailure)
{
    const std::pair<const char *, std::string> cases[] = {
        {"/dev/full", "unable to write '/dev/full': No space left on device\n"},
        {"no/dir/p.xml", "unable to create a file beside 'no/dir/p.xml': No such file or directory\n"},
    };
    for (const auto &[path, why] : cases) {
        Outcome d = run({"-s", "-d", path});
        EXPECT_EQ(d.status, 7) << path;
        EXPECT_EQ(d.out.substr(d.out.rfind("Result")), "Result : Flash Failure\n");
        EXPECT_EQ(d.err, "An error occurred during creation of output transcoder. Msg is:\n" + why);
    }
}

// A file the tool reads that is a link to a device node is refused before the
// node is opened (a tape node rewinds when closed). The node, sg5, is one no
// scan opens (LUN 1).
TEST_F(KvRom, ALinkToANodeIsRefusedWithoutOpeningIt)
{
    ASSERT_EQ(run({"-d", "plan.xml"}).status, 0);
    write_file(dir_ + "/bus.ini", kBus + bus_text::device({{"host", 3}, {"lun", 1}, {"model", "kv_lto"}}));
    const std::pair<const char *, const char *> cases[] = {{"fwimage/firmware.cfg", "-a"},
                                                           {"fwimage/LTO5.BIN", "-a"},
                                                           {"plan.xml", "-u"}};
    for (const auto &[file, mode] : cases) {
        const std::string path = dir_ + "/" + file, kept = path + ".kept";
        ASSERT_EQ(rename(path.c_str(), kept.c_str()), 0);
        ASSERT_EQ(symlink("/dev/sg5", path.c_str()), 0);
        Outcome r = run({"-s", mode, "plan.xml"});
        EXPECT_EQ(r.status, 7) << file;
        EXPECT_EQ(r.trace.find("open sg5"), std::string::npos) << file;
        ASSERT_EQ(rename(kept.c_str(), path.c_str()), 0);
    }
}

// Driver status 06h with adapter and SCSI status 0 is how older kernels say a
// command timed out: the DDS drive's only chunk never arrived, and its
// rewrite, which would keep the version anyway, fails.
TEST_F(KvRom, AChunkTheDriverReportsTimedOutFailsTheRewrite)
{
    ASSERT_EQ(run({"-d", "plan.xml"}).status, 0);
    std::string plan = read_file(dir_ + "/plan.xml"), bus = kBus;
    const std::string skip = "<action value=\"skip\"/>";  // the DDS drive's, the only one
    plan.replace(plan.find(skip), skip.size(), "<action value=\"rewrite\"/>");
    write_file(dir_ + "/plan.xml", plan);
    write_file(dir_ + "/bus.ini", bus.insert(bus.find("hw_conf = 0x80003\n"), "override = 3b driver=0x06\n"));

    Outcome u = run({"-s", "-u", "plan.xml"});
    EXPECT_EQ(u.status, 7);
    EXPECT_NE(u.log.find("File name: fwimage/DAT160.BIN\nFirmware download failed on chunk 0!\n"
                         "nbytes = -1, length = 100\nFirmware download failed!\n"),
              std::string::npos)
        << u.log;
    EXPECT_EQ(u.log.substr(u.log.rfind("Drive ID")),
              "Drive ID: 0x080003, Product ID: DAT 160, Action: Failed\n");
}

}  // namespace

namespace {

// get_installstate runs in-process against a bus loaded by the test.
TEST(InstallState, SummarisesInstalledAgainstConfiguredVersions)
{
    struct {
        const char *bus;
        const char *config;  // null: no configuration file
        ZIZEDE_INSTALLSTATE state;
    } cases[] = {
        {"", "5A01|a.bin|2.0\n", ZIZEDE_NOTINSTALLED_NOTNEEDED},
        {"firmware = 1.50\n", nullptr, ZIZEDE_STATEUNKNOWN},
        {"firmware = 1.50\n", "5A01|a.bin|2.0\n", ZIZEDE_INSTALLEDOLDER},
        {"firmware = 2.50\n", "5A01|a.bin|2.0\n", ZIZEDE_INSTALLEDNEWER},
        {"firmware = 2.00\n", "5A01|a.bin|2.0\n", ZIZEDE_INSTALLEDSAME},
        {"firmware = 2.00\n", "7777|a.bin|2.0\n", ZIZEDE_STATEUNKNOWN},
    };
    for (const auto &c : cases) {
        scratch::Dir dir(true);
        if (c.config) {
            ASSERT_EQ(mkdir("fwimage", 0755), 0);
            write_file("fwimage/firmware.cfg", c.config);
        }
        std::string bus;
        if (*c.bus)
            bus = bus_text::device({{"host", 0}, {"target", 1}, {"model", "kv_lto"}, {"drive_id", "5A01"}}) +
                  c.bus;
        kvemu::load_bus_text(bus);
        testing::internal::CaptureStdout();
        EXPECT_EQ(get_installstate(), c.state) << c.bus << (c.config ? c.config : "(none)");
        testing::internal::GetCapturedStdout();
        kvemu::unload_bus();
    }
}

}  // namespace
