// The files the tool reads and writes besides the drives, when they are not
// what they seem: links to device nodes, links another user made, and the
// ways a plan reaches the disk.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "config.h"
#include "logfile.h"
#include "upgrade.h"
#include "xml.h"
#include "bus_text.h"
#include "kvemu.h"
#include "scratch.h"

namespace {

using scratch::read_file;
using scratch::write_file;

class Files : public ::testing::Test {
protected:
    void SetUp() override { logfile = "Component.log"; }
    void TearDown() override { kvemu::unload_bus(); }

    // A plan of one drive, as discovery would leave it.
    int write_plan(const char *path, const char *product = "ULTRIUM 5")
    {
        driveinfo &d = table_[0];
        d.Configured = 1;
        d.DriveID = 0x5A01;
        std::snprintf(d.ProductID, sizeof d.ProductID, "%s", product);
        std::snprintf(d.Action, sizeof d.Action, "%s", "upgrade");
        return WriteToXml(path, table_);
    }

    scratch::Dir dir_{true};
    driveinfo table_[MAX_DRIVES] = {};
    driveinfo config_[MAX_DRIVES] = {};
};

// A file the tool reads that leads to a device node is refused before the node
// is opened: a tape node rewinds when it is closed. The node (sg1, at LUN 1)
// is one no scan opens.
TEST_F(Files, ALinkToANodeIsRefusedWithoutOpeningIt)
{
    kvemu::load_bus_text(
        bus_text::device(
            {{"model", "kv_lto"}, {"host", 0}, {"target", 1}, {"drive_id", "A1"}, {"firmware", "1.10"}}) +
        bus_text::device({{"model", "kv_lto"}, {"host", 0}, {"target", 2}, {"lun", 1}}));
    ASSERT_EQ(mkdir("fwimage", 0755), 0);
    const struct {
        const char *link;
        std::function<bool()> refused;
    } cases[] = {
        {"fwimage/firmware.cfg", [&] { return read_firmware_config_file(config_) == -1; }},
        {"plan.xml", [&] { return ReadFromXml("plan.xml", table_) == 1; }},
        {"fwimage/IMG",
         [&] {
             write_file("fwimage/firmware.cfg", "A1|IMG|1.20\n");
             read_firmware_config_file(config_);
             driveinfo &d = table_[0];
             d.Configured = 1;
             d.DriveID = 0xA1;
             d.DRV.bus_addr = 1;
             std::snprintf(d.Action, sizeof d.Action, "%s", "upgrade");
             testing::internal::CaptureStdout();
             int errors = upgrade(table_, config_);
             testing::internal::GetCapturedStdout();
             std::remove("fwimage/firmware.cfg");
             return errors == 1 &&
                    read_file("Component.log").find("File name: fwimage/IMG\nError open file\n") !=
                        std::string::npos;
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.link);
        ASSERT_EQ(symlink("/dev/sg1", c.link), 0);
        EXPECT_TRUE(c.refused());
        EXPECT_EQ(kvemu::node(1)->opens, 0);
        std::remove(c.link);
    }
}

// The kernel's rule for links in shared directories: a plan path that is a
// link in a sticky, world-writable directory is followed only when the link
// belongs to the caller or to the directory's owner. Rows that need a link of
// another owner are set up only where the tests may give files away.
TEST_F(Files, APlanLinkAnotherUserMadeInASharedDirectoryIsRefused)
{
    const uid_t me = geteuid(), other = me == 65534 ? 65533 : 65534;
    const struct {
        const char *what;
        mode_t dir_mode;
        uid_t dir_owner, link_owner;
        bool through_mine;  // the path is the caller's link to the other one
        bool refused;
    } cases[] = {
        {"another's link in a shared directory", 01777, me, other, false, true},
        {"reached through the caller's own link", 01777, me, other, true, true},
        {"the caller's link", 01777, other, me, false, false},
        {"the directory owner's link", 01777, other, other, false, false},
        {"not sticky", 0777, me, other, false, false},
        {"sticky, not world-writable", 01775, me, other, false, false},
    };
    const std::string earlier = "a file of the system\n";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        (void)!system("rm -rf shared victim Component.log");
        write_file("victim", earlier);
        ASSERT_EQ(mkdir("shared", 0755), 0);
        ASSERT_EQ(symlink("../victim", "shared/theirs"), 0);
        if (c.through_mine)
            ASSERT_EQ(symlink("theirs", "shared/plan.xml"), 0);
        else
            ASSERT_EQ(rename("shared/theirs", "shared/plan.xml"), 0);
        const char *foreign = c.through_mine ? "shared/theirs" : "shared/plan.xml";
        if (lchown(foreign, c.link_owner, c.link_owner) != 0 || chown("shared", c.dir_owner, c.dir_owner) != 0)
            continue;  // not allowed here
        ASSERT_EQ(chmod("shared", c.dir_mode), 0);

        EXPECT_EQ(write_plan("shared/plan.xml"), c.refused ? 1 : 0);
        struct stat st {};
        ASSERT_EQ(lstat("shared/plan.xml", &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        if (c.refused) {
            EXPECT_EQ(read_file("victim"), earlier);
            EXPECT_EQ(read_file("Component.log"),
                      "Error: XML file shared/plan.xml leads through a link another "
                      "user owns in a shared directory; not written.\n");
        } else {
            EXPECT_NE(read_file("victim").find("<product_id value=\"ULTRIUM 5\"/>"), std::string::npos);
        }
    }
}

TEST_F(Files, HowANewPlanReachesTheDisk)
{
    // Through a link whose file is not there yet: the link stays, the file
    // it names gets the plan.
    ASSERT_EQ(symlink("later.xml", "link.xml"), 0);
    EXPECT_EQ(write_plan("link.xml"), 0);
    struct stat st {};
    ASSERT_EQ(lstat("link.xml", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(read_file("later.xml").find("<product_id value=\"ULTRIUM 5\"/>"), std::string::npos);

    // A new plan's mode follows the umask.
    const mode_t mask = umask(027);
    EXPECT_EQ(write_plan("masked.xml"), 0);
    umask(mask);
    ASSERT_EQ(stat("masked.xml", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Makes every fsync of this process fail with EIO; false where the kernel
// does not let a process filter its own system calls.
bool fail_every_fsync()
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fsync, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program = {sizeof code / sizeof code[0], code};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// A plan that cannot be synced is not put in place: the earlier one stays
// whole and no temporary is left beside it.
TEST_F(Files, AFailedSyncKeepsTheEarlierPlan)
{
    ASSERT_EQ(write_plan("plan.xml"), 0);
    const std::string earlier = read_file("plan.xml");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (!fail_every_fsync())
            _exit(2);
        testing::internal::CaptureStderr();
        const int rc = write_plan("plan.xml", "ULTRIUM 6");
        const bool said = testing::internal::GetCapturedStderr().rfind(
                              "An error occurred during creation of output transcoder. Msg is:\n"
                              "unable to put the file in place of 'plan.xml': ",
                              0) == 0;
        _exit(rc == 1 && said ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "system calls cannot be filtered here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_file("plan.xml"), earlier);
    FILE *ls = popen("ls -A", "r");
    char names[256] = {};
    size_t n = fread(names, 1, sizeof names - 1, ls);
    pclose(ls);
    EXPECT_EQ(std::string(names, n), "plan.xml\n");
}

}  // namespace
