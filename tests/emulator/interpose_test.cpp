// The emulator itself: the served device list, node opens and the sg ioctls.
#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bus_text.h"
#include "kvemu.h"
#include "scratch.h"

// The stat entry points older programs call (glibc keeps them for them).
extern "C" int __fxstat(int, int, struct stat *);
extern "C" int __fxstat64(int, int, struct stat64 *);
extern "C" int __xstat(int, const char *, struct stat *);
extern "C" int __lxstat64(int, const char *, struct stat64 *);

namespace {

const char *kBus = R"(
[device]
host = 2
target = 5
type = 1
vendor = KV
product = DEMO
override = 00 times=1 status=8
[raw]
line = 9 9 9 9
[device]
host = 0
target = 1
type = 0
model = none
)";

TEST(Emulator, ServesDeviceListAndAnswersSgIo)
{
    kvemu::load_bus_text(kBus);
    FILE *fp = fopen("/proc/scsi/sg/devices", "rb");
    ASSERT_NE(fp, nullptr);
    char buf[256] = {};
    size_t n = fread(buf, 1, sizeof buf - 1, fp);
    fclose(fp);
    EXPECT_EQ(std::string(buf, n), "2\t0\t5\t0\t1\t1\t2\t0\t1\n9 9 9 9\n0\t0\t1\t0\t0\t1\t2\t0\t1\n");

    EXPECT_EQ(open("/dev/sg2", O_RDWR), -1);  // listed, but no node answers
    int fd = open("/dev/sg0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    int version = -1;
    ASSERT_EQ(ioctl(fd, SG_GET_VERSION_NUM, &version), 0);
    EXPECT_EQ(version, 30536);

    unsigned char cdb[6] = {0x12, 0, 0, 0, 0x60, 0};
    unsigned char data[0x60] = {};
    unsigned char sense[32] = {};
    sg_io_hdr_t h{};
    h.interface_id = 'S';
    h.dxfer_direction = SG_DXFER_FROM_DEV;
    h.cmdp = cdb;
    h.cmd_len = 6;
    h.dxferp = data;
    h.dxfer_len = sizeof data;
    h.sbp = sense;
    h.mx_sb_len = sizeof sense;
    ASSERT_EQ(ioctl(fd, SG_IO, &h), 0);
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.resid, 0);
    EXPECT_EQ(std::memcmp(data + 8, "KV      DEMO", 12), 0);

    unsigned char tur[6] = {};
    h.cmdp = tur;
    h.dxfer_direction = SG_DXFER_NONE;
    h.dxfer_len = 0;
    ASSERT_EQ(ioctl(fd, SG_IO, &h), 0);
    EXPECT_EQ(h.status, 8);  // the override, once
    ASSERT_EQ(ioctl(fd, SG_IO, &h), 0);
    EXPECT_EQ(h.status, 0);

    unsigned char bad[6] = {0x3b, 0, 0, 0, 0, 0};
    h.cmdp = bad;
    ASSERT_EQ(ioctl(fd, SG_IO, &h), 0);
    EXPECT_EQ(h.status, 2);
    EXPECT_EQ(h.sb_len_wr, 18);
    EXPECT_EQ(h.driver_status, 0x08);
    EXPECT_EQ(sense[2], 0x05);
    EXPECT_EQ(sense[12], 0x20);

    EXPECT_EQ(close(fd), 0);
    std::vector<std::string> expected = {"open sg2 failed",
                                         "open sg0",
                                         "cmd sg0 12 00 00 00 60 00",
                                         "cmd sg0 00 00 00 00 00 00",
                                         "cmd sg0 00 00 00 00 00 00",
                                         "cmd sg0 3B 00 00 00 00 00",
                                         "close sg0"};
    EXPECT_EQ(kvemu::trace(), expected);
    kvemu::unload_bus();
}

TEST(Emulator, OtherPathsPassThroughAndSleepIsRecorded)
{
    kvemu::load_bus_text(bus_text::device({{"host", 0}}));
    FILE *fp = fopen("/dev/null", "r");
    ASSERT_NE(fp, nullptr);
    fclose(fp);
    EXPECT_EQ(sleep(150), 0u);
    EXPECT_EQ(kvemu::sleeps(), std::vector<unsigned>{150});
    kvemu::unload_bus();
}

TEST(Emulator, OwnsTheClock)
{
    kvemu::load_bus_text(kBus);
    kvemu::step_clock(1000);
    EXPECT_EQ(time(nullptr), 1000);
    std::time_t out = 0;
    EXPECT_EQ(time(&out), 1001);
    EXPECT_EQ(out, 1001);
    sleep(150);  // a sleep moves the stepped clock on instead of waiting
    EXPECT_EQ(time(nullptr), 1152);
    kvemu::unload_bus();
    EXPECT_GT(time(nullptr), 1600000000);  // the system's clock again
}

// Whoever asks, and however, an emulated node is the sg driver's character
// device: major 21, minor the node number; anything else is what it is.
TEST(Emulator, EveryStatCallSeesAnSgNode)
{
    kvemu::load_bus_text(bus_text::device() + bus_text::device({{"target", 1}}) +
                         bus_text::device({{"target", 2}}) + bus_text::device({{"target", 3}}));
    int fd = open("/dev/sg0", O_RDWR);
    ASSERT_GE(fd, 0);
    int other = ::open("/dev/null", O_RDONLY);
    struct Case {
        const char *call;
        std::function<int(struct stat64 *)> run;
        unsigned major, minor;
    };
    auto narrow = [](int r, const struct stat &st, struct stat64 *out) {
        out->st_mode = st.st_mode;
        out->st_rdev = st.st_rdev;
        return r;
    };
    const Case cases[] = {
        {"fstat",
         [&](struct stat64 *o) {
             struct stat st;
             return narrow(fstat(fd, &st), st, o);
         },
         21, 0},
        {"fstat64", [&](struct stat64 *o) { return fstat64(fd, o); }, 21, 0},
        {"__fxstat",
         [&](struct stat64 *o) {
             struct stat st;
             return narrow(__fxstat(1, fd, &st), st, o);
         },
         21, 0},
        {"__fxstat64", [&](struct stat64 *o) { return __fxstat64(1, fd, o); }, 21, 0},
        {"fstatat, empty path",
         [&](struct stat64 *o) {
             struct stat st;
             return narrow(fstatat(fd, "", &st, AT_EMPTY_PATH), st, o);
         },
         21, 0},
        {"fstatat64 of a path", [&](struct stat64 *o) { return fstatat64(AT_FDCWD, "/dev/sg3", o, 0); }, 21, 3},
        {"stat",
         [&](struct stat64 *o) {
             struct stat st;
             return narrow(stat("/dev/sg2", &st), st, o);
         },
         21, 2},
        {"lstat64", [&](struct stat64 *o) { return lstat64("/dev/sg1", o); }, 21, 1},
        {"__xstat",
         [&](struct stat64 *o) {
             struct stat st;
             return narrow(__xstat(1, "/dev/sg1", &st), st, o);
         },
         21, 1},
        {"__lxstat64", [&](struct stat64 *o) { return __lxstat64(1, "/dev/sg2", o); }, 21, 2},
        {"statx of a descriptor",
         [&](struct stat64 *o) {
             struct statx sx {};
             int r = statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &sx);
             o->st_mode = sx.stx_mode;
             o->st_rdev = makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
             return r;
         },
         21, 0},
        {"fstat of another descriptor", [&](struct stat64 *o) { return fstat64(other, o); }, 1, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.call);
        struct stat64 st {};
        ASSERT_EQ(c.run(&st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        EXPECT_EQ(major(st.st_rdev), c.major);
        EXPECT_EQ(minor(st.st_rdev), c.minor);
    }
    close(fd);
    ::close(other);
    kvemu::unload_bus();
}

// A symbolic link leads to a node as the kernel would follow it: an open or a
// stat through it reaches the node; lstat and O_NOFOLLOW stop at the link.
TEST(Emulator, ALinkToANodeLeadsToIt)
{
    scratch::Dir dir(true);
    kvemu::load_bus_text(bus_text::device() + bus_text::device({{"target", 1}}));
    ASSERT_EQ(symlink("/dev/sg1", "direct"), 0);
    ASSERT_EQ(symlink("direct", "chain"), 0);
    struct stat st {};
    EXPECT_TRUE(stat("chain", &st) == 0 && st.st_rdev == makedev(21, 1));
    EXPECT_TRUE(lstat("chain", &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_LT(open("chain", O_RDONLY | O_NOFOLLOW), 0);
    close(open("chain", O_RDWR));
    EXPECT_EQ(kvemu::node(1)->opens, 1);
    kvemu::unload_bus();
}

// What the emulated kernel shows of its devices with each setting: the proc
// list, the SCSI bus in sysfs (the bus list with adapters and targets, the
// adapters, the sg class, a device's node and type), or both.
TEST(Emulator, DeviceListedInProcSysfsOrBoth)
{
    const std::string sections = R"(
[device]
host = 2
target = 5
type = 1
[raw]
line = 9 9 9 9
[device]
host = 0
channel = 1
target = 1
lun = 2
model = none
[device]
host = 3
sysfs.name = none
sysfs.host = none
[raw]
line = 8 8
sysfs.device = odd
sysfs.name = sgx
sysfs.type = 4
)";
    auto errno_text = [](int e) { return "errno " + std::to_string(e); };
    auto read_all = [&](int fd) {
        char buf[256];
        ssize_t n = fd < 0 ? -1 : read(fd, buf, sizeof buf);
        if (fd >= 0)
            close(fd);
        return n < 0 ? errno_text(errno) : std::string(buf, static_cast<size_t>(n));
    };
    auto list_dir = [&](const char *path) {
        DIR *dir = opendir(path);
        if (!dir)
            return errno_text(errno);
        std::string names;
        while (const dirent *e = readdir(dir))
            names += std::string(names.empty() ? "" : " ") + e->d_name;
        closedir(dir);
        return names;
    };
    auto fopen_all = [&](const char *path) {
        FILE *fp = fopen(path, "r");
        std::string text = read_all(fp ? dup(fileno(fp)) : -1);
        if (fp)
            fclose(fp);
        return text;
    };
    auto exists = [&](const char *path) {
        return access(path, F_OK) == 0 ? std::string("yes") : errno_text(errno);
    };
    const std::string missing = errno_text(ENOENT);
    // What each path shows in sysfs; with the proc list alone every one is missing.
    const std::vector<std::pair<std::string, std::function<std::string()>>> views = {
        {"the bus list", [&] { return list_dir("/sys/bus/scsi/devices"); }},
        {"adapters", [&] { return list_dir("/sys/class/scsi_host"); }},
        {"sg class", [&] { return list_dir("/sys/class/scsi_generic/"); }},
        {"a device", [&] { return list_dir("/sys/bus/scsi/devices/2:0:5:0"); }},
        {"a device without a node", [&] { return list_dir("/sys/bus/scsi/devices/3:0:0:0"); }},
        {"a node", [&] { return list_dir("/sys/bus/scsi/devices/2:0:5:0/scsi_generic"); }},
        {"a node named by a key", [&] { return list_dir("/sys/bus/scsi/devices/odd/scsi_generic"); }},
        {"no node", [&] { return list_dir("/sys/bus/scsi/devices/3:0:0:0/scsi_generic"); }},
        {"type by open", [&] { return read_all(open("/sys/bus/scsi/devices/2:0:5:0/type", O_RDONLY)); }},
        {"type of a device without a model", [&] { return fopen_all("/sys/bus/scsi/devices/0:1:1:2/type"); }},
        {"type named by a key", [&] { return fopen_all("/sys/bus/scsi/devices/odd/type"); }},
        {"type for writing", [&] { return read_all(open("/sys/bus/scsi/devices/odd/type", O_WRONLY)); }},
        {"a type file is no directory", [&] { return list_dir("/sys/bus/scsi/devices/odd/type"); }},
        {"a directory is no file", [&] { return read_all(open("/sys/bus/scsi/devices/odd", O_RDONLY)); }},
        {"an adapter", [&] { return exists("/sys/class/scsi_host/host0"); }},
        {"an adapter taken away by its key", [&] { return exists("/sys/class/scsi_host/host3"); }},
        {"a target", [&] { return exists("/sys/bus/scsi/devices/target0:1:1"); }},
        {"the class", [&] { return exists("/sys/class/scsi_generic"); }},
        {"a node in the class", [&] { return exists("/sys/class/scsi_generic/sgx"); }},
        // Nothing else of the real host's sysfs shows through.
        {"an adapter's files", [&] { return exists("/sys/class/scsi_host/host0/scan"); }},
        {"a device's other files", [&] { return exists("/sys/bus/scsi/devices/2:0:5:0/vendor"); }},
        {"a raw section's address", [&] { return exists("/sys/bus/scsi/devices/0:0:0:0"); }},
    };
    const std::vector<std::string> in_sysfs = {
        ". .. odd target3:0:0 3:0:0:0 host0 target0:1:1 0:1:1:2 host2 target2:0:5 2:0:5:0",
        ". .. host0 host2",
        ". .. sgx sg2 sg0",
        ". .. scsi_generic type",
        ". .. type",
        ". .. sg0",
        ". .. sgx",
        missing,
        "1\n",
        "0\n",
        "4\n",
        errno_text(EACCES),
        errno_text(ENOTDIR),
        errno_text(EISDIR),
        "yes",
        missing,
        "yes",
        "yes",
        "yes",
        missing,
        missing,
        missing,
    };
    ASSERT_EQ(views.size(), in_sysfs.size());
    const std::string proc_list =
        "2\t0\t5\t0\t1\t1\t2\t0\t1\n9 9 9 9\n0\t1\t1\t2\t0\t1\t2\t0\t1\n3\t0\t0\t0\t0\t1\t2\t0\t1\n8 8\n";
    struct Case {
        const char *listing;
        bool proc, sysfs;
    };
    for (const Case &c : {Case{"", true, false}, Case{"devlist = proc\n", true, false},
                          Case{"devlist = sysfs\n", false, true}, Case{"devlist = both\n", true, true}}) {
        SCOPED_TRACE(c.listing);
        kvemu::load_bus_text(c.listing + sections);
        EXPECT_EQ(read_all(open("/proc/scsi/sg/devices", O_RDONLY)), c.proc ? proc_list : missing);
        for (size_t i = 0; i < views.size(); ++i)
            EXPECT_EQ(views[i].second(), c.sysfs ? in_sysfs[i] : missing) << views[i].first;
        kvemu::unload_bus();
    }
}

}  // namespace
