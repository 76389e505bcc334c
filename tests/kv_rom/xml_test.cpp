// The discovery XML file: what the writer puts on disk, what the reader makes
// of good and of hostile files.
#include <gtest/gtest.h>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "logfile.h"
#include "xml.h"
#include "scratch.h"

using scratch::exists;
using scratch::read_file;
using scratch::write_file;

namespace {

class XmlFile : public ::testing::Test {
protected:
    // The reader's log lines go to the scratch directory (the test listener puts the path back).
    void SetUp() override { logfile = "Component.log"; }

    driveinfo &add(unsigned id, const char *product, int card, int bus, int lun, double fw, double active,
                   const char *action)
    {
        driveinfo &d = table_[used_++];
        d.Configured = 1;
        d.DriveID = id;
        snprintf(d.ProductID, sizeof d.ProductID, "%s", product);
        d.DRV.card_id = card;
        d.DRV.bus_addr = bus;
        d.DRV.lun = lun;
        d.FwVersion = fw;
        d.ActiveVersion = active;
        snprintf(d.Action, sizeof d.Action, "%s", action);
        return d;
    }
    int read(const std::string &path) { return ReadFromXml(path.c_str(), back_.data()); }
    int records() const
    {
        int n = 0;
        for (const auto &d : back_)
            n += d.Configured ? 1 : 0;
        return n;
    }

    scratch::Dir dir_{true};
    std::vector<driveinfo> table_ = std::vector<driveinfo>(MAX_DRIVES);
    std::vector<driveinfo> back_ = std::vector<driveinfo>(MAX_DRIVES);
    int used_ = 0;
};

// The reader's cases start from documents shaped like the writer's.
std::string device_xml(const std::string &id, const std::string &product, const std::string &action = "upgrade",
                       const std::string &shared = "no")
{
    return "<device><device_id value=\"" + id + "\"/><product_id value=\"" + product +
           "\"/><busnumber value=\"3\"/><devicenumber value=\"1\"/><funcnumber value=\"0\"/>"
           "<fw_item><version value=\"2.5\"/><active_version value=\"1.25\"/><action value=\"" +
           action + "\"/><shared value=\"" + shared + "\"/></fw_item></device>";
}
std::string document(const std::string &devices)
{
    return "<?xml version=\"1.0\"?><kv_rom_discovery version=\"2.0.0.0\"><type value=\"TAPE\"/>"
           "<devices>" +
           devices + "</devices></kv_rom_discovery>";
}

TEST_F(XmlFile, AnIndependentParserSeesEveryElementInOrder)
{
    driveinfo &d = add(0xABCDE, "DAT 160 & <co>", 2, 5, 1, 3.0, 4.125, "skip");
    snprintf(d._Type, sizeof d._Type, "%s", "fw");
    snprintf(d.FirmwareId, sizeof d.FirmwareId, "%s", "F1");
    d.Duration = 90;
    snprintf(d.Message, sizeof d.Message, "%s", "never written");
    ASSERT_EQ(WriteToXml("d.xml", table_.data()), 0);

    FILE *p = popen("xmllint --format d.xml 2>&1", "r");
    ASSERT_NE(p, nullptr);
    std::string formatted;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        formatted.append(buf, n);
    pclose(p);
    EXPECT_EQ(formatted,
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
              "<kv_rom_discovery version=\"2.0.0.0\">\n"
              "  <type value=\"TAPE\"/>\n"
              "  <alt_name value=\"KV TAPE Firmware for Drive x, Drive y, and Drive z for Windows\"/>\n"
              "  <version value=\"2.0.3\"/>\n"
              "  <takes_effect value=\"immediate\"/>\n"
              "  <devices>\n"
              "    <device>\n"
              "      <device_id value=\"0x0abcde\"/>\n"
              "      <product_id value=\"DAT 160 &amp; &lt;co&gt;\"/>\n"
              "      <busnumber value=\"5\"/>\n"
              "      <devicenumber value=\"2\"/>\n"
              "      <funcnumber value=\"1\"/>\n"
              "      <fw_item>\n"
              "        <type value=\"fw\"/>\n"
              "        <firmware_id value=\"F1\"/>\n"
              "        <version value=\"4.125000\"/>\n"
              "        <active_version value=\"3.000000\"/>\n"
              "        <action value=\"skip\"/>\n"
              "        <duration value=\"90\"/>\n"
              "        <message value=\"\"/>\n"
              "        <shared value=\"no\"/>\n"
              "      </fw_item>\n"
              "    </device>\n"
              "  </devices>\n"
              "</kv_rom_discovery>\n");
}

TEST_F(XmlFile, RoundTripKeepsEveryFieldTheFileHolds)
{
    driveinfo &a = add(0xFEDCBA98, "ULTRIUM 5", 4, 7, 2, 1.000001, 2.5, "upgrade");
    snprintf(a._Type, sizeof a._Type, "%s", "tape");
    snprintf(a.FirmwareId, sizeof a.FirmwareId, "%s", "FW-01");
    a.Duration = 4000000000u;
    snprintf(a.Message, sizeof a.Message, "%s", "dropped");
    snprintf(a.FwFile, sizeof a.FwFile, "%s", "IMG.BIN");
    a.Type = DDS;
    a.VUMA = 3;
    table_[used_++] = driveinfo{};  // a free record in between is not written
    add(0, "RQN512", 0, 0, 0, 0.0, 0.0, "rewrite");

    ASSERT_EQ(WriteToXml("d.xml", table_.data()), 0);
    EXPECT_NE(read_file("d.xml").find("<device_id value=\"00000000\"/>"), std::string::npos);
    ASSERT_EQ(read("d.xml"), 0);
    ASSERT_EQ(records(), 2);
    const driveinfo &r = back_[0];
    EXPECT_EQ(r.DriveID, 0xFEDCBA98u);
    EXPECT_STREQ(r.ProductID, "ULTRIUM 5");
    EXPECT_EQ(r.DRV.card_id, 4);
    EXPECT_EQ(r.DRV.bus_addr, 7);
    EXPECT_EQ(r.DRV.lun, 2);
    EXPECT_STREQ(r._Type, "tape");
    EXPECT_STREQ(r.FirmwareId, "FW-01");
    EXPECT_DOUBLE_EQ(r.FwVersion, 1.000001);
    EXPECT_DOUBLE_EQ(r.ActiveVersion, 2.5);
    EXPECT_STREQ(r.Action, "upgrade");
    EXPECT_EQ(r.Duration, 4000000000u);
    // Message and Shared are not carried; the rest is not in the file at all.
    EXPECT_STREQ(r.Message, "");
    EXPECT_EQ(r.Shared, 1);
    EXPECT_STREQ(r.FwFile, "");
    EXPECT_EQ(r.Type, Ultrium);
    EXPECT_EQ(r.VUMA, 0);
    EXPECT_EQ(back_[1].DriveID, 0u);
    EXPECT_STREQ(back_[1].Action, "rewrite");

    // An empty table gives an empty devices element, read back as no record.
    std::vector<driveinfo> none(MAX_DRIVES);
    ASSERT_EQ(WriteToXml("none.xml", none.data()), 0);
    EXPECT_NE(read_file("none.xml").find("<devices/>"), std::string::npos);
    EXPECT_EQ(read("none.xml"), 0);
    EXPECT_EQ(records(), 0);
}

TEST_F(XmlFile, PathsThatMakeADirectoryOrFail)
{
    add(1, "P", 0, 0, 0, 1, 1, "skip");
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteToXml("out/d.xml", table_.data()), 0);
    EXPECT_EQ(WriteToXml("win\\d.xml", table_.data()), 0);  // directory "win", file as given
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Created Dir : out\nCreated Dir : win\n");
    EXPECT_TRUE(exists("out/d.xml"));
    EXPECT_TRUE(exists("win\\d.xml"));

    struct {
        std::string path;
        const char *message;
    } cases[] = {
        {"out/", "Error : Xml filename not specified\n"},
        {"out/   ", "Error : Xml filename not specified\n"},
        {"missing/parent/d.xml", "An error occurred during creation of output transcoder. Msg is:\n"},
        {std::string(600, 'x'), "Error : Xml filename too long\n"},
        {std::string(512, 'x'), "Error : Xml filename too long\n"},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(WriteToXml(c.path.c_str(), table_.data()), 1) << c.path;
        EXPECT_EQ(testing::internal::GetCapturedStderr().rfind(c.message, 0), 0u) << c.path;
    }
    EXPECT_FALSE(exists("missing"));

    const std::string longest = std::string(255, 'd') + "/" + std::string(255, 'f');  // 511 characters
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteToXml(longest.c_str(), table_.data()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Created Dir : " + std::string(255, 'd') + "\n");
    EXPECT_TRUE(exists(longest));
}

TEST_F(XmlFile, AFileCutShortIsAFailure)
{
    // A file size limit stands in for a full disk: the last bytes never land.
    for (int i = 0; i < 5; i++)
        add(0x1000u + i, "ULTRIUM 5", 0, i, 0, 1, 2, "upgrade");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        testing::internal::CaptureStderr();
        int rc = WriteToXml("d.xml", table_.data());
        bool said = testing::internal::GetCapturedStderr().rfind(
                        "An error occurred during creation of output transcoder. Msg is:\n", 0) == 0;
        _exit(rc == 1 && said ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(XmlFile, ReaderRejectsBrokenFilesQuietly)
{
    const std::string good = document(device_xml("0x10", "A") + device_xml("0x20", "B"));
    const std::string cases[] = {
        "",
        "not xml at all",
        good.substr(0, good.size() / 2),
        good.substr(0, good.size() - 3),
        document("<device>"),
        "<?xml version=\"1.0\"?><a/><b/>",
        std::string("\xff\xfe<\x00", 4),
    };
    for (const auto &text : cases) {
        write_file("bad.xml", text);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(read("bad.xml"), 1) << text;
        EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "");
    }
    EXPECT_EQ(read("does-not-exist.xml"), 1);
    EXPECT_EQ(read("."), 1);  // a directory
}

TEST_F(XmlFile, ReaderStopsAtTheTableSize)
{
    std::string devices;
    for (int i = 0; i < 30; i++) {
        devices += device_xml("0x1", "P" + std::to_string(i));
        if (i == MAX_DRIVES - 1)
            write_file("full.xml", document(devices));
    }
    write_file("many.xml", document(devices));
    EXPECT_EQ(read("full.xml"), 0);
    EXPECT_EQ(records(), MAX_DRIVES);
    EXPECT_EQ(read("many.xml"), 1);
    EXPECT_EQ(records(), MAX_DRIVES);
    EXPECT_STREQ(back_[22].ProductID, "P22");
}

TEST_F(XmlFile, ReaderCutsOverlongValuesAndTakesMissingOnesAsEmpty)
{
    write_file("odd.xml",
               "<?xml version=\"1.0\"?>\n<!-- other root, comments, layout -->\n<other>\n <devices>\n"
               "  <drive>" +
                   device_xml("0x1", std::string(5000, 'Q'), std::string(300, 'a')) +
                   "</drive>\n  <device><product_id value=\"ONLY\"/></device>\n"
                   "  <x><device_id value=\"ab\"/><fw_item><action/></fw_item></x>\n </devices>\n</other>\n");
    ASSERT_EQ(read("odd.xml"), 0);
    ASSERT_EQ(records(), 3);
    EXPECT_EQ(std::strlen(back_[0].ProductID), sizeof back_[0].ProductID - 1);
    EXPECT_EQ(std::strlen(back_[0].Action), sizeof back_[0].Action - 1);
    EXPECT_STREQ(back_[1].ProductID, "ONLY");
    EXPECT_EQ(back_[1].DriveID, 0u);
    EXPECT_STREQ(back_[1].Action, "");
    EXPECT_EQ(back_[2].DriveID, 0xABu);
    EXPECT_STREQ(back_[2].Action, "");
    EXPECT_EQ(back_[2].Shared, 1);
}

TEST_F(XmlFile, SharedIsZeroOnlyForYes)
{
    struct {
        const char *value;
        int shared;
    } cases[] = {{"yes", 0}, {"YES", 0}, {"  Yes  ", 0}, {"no", 1}, {"NO", 1}, {"", 1}, {"y", 1}};
    for (const auto &c : cases) {
        write_file("s.xml", document(device_xml("0x1", "P", "skip", c.value)));
        ASSERT_EQ(read("s.xml"), 0);
        EXPECT_EQ(back_[0].Shared, c.shared) << "'" << c.value << "'";
    }
}

TEST_F(XmlFile, ReaderNeverFetchesExternalEntities)
{
    // An external DTD could pull any file (or URL) in through an attribute default.
    write_file("ext.dtd", "<!ATTLIST action value CDATA \"SECRET\">");
    write_file("ent.xml", "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"" + dir_.path() +
                              "/ext.dtd\"><r><devices><device><fw_item><action/></fw_item>"
                              "</device></devices></r>");
    read("ent.xml");
    EXPECT_STRNE(back_[0].Action, "SECRET");
}

TEST_F(XmlFile, ReaderStopsRunawayEntityExpansion)
{
    // Entities that multiply at every level; the file needs none at all.
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'd'; c++) {
        bomb += std::string("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; i++)
            bomb += std::string("&") + static_cast<char>(c - 1) + ";";
        bomb += "\">";
    }
    write_file("bomb.xml", bomb + "]><r><devices><device><product_id value=\"&d;\"/></device></devices></r>");
    EXPECT_EQ(read("bomb.xml"), 1);
}

TEST_F(XmlFile, AFailedWriteKeepsTheEarlierPlanWhole)
{
    add(0x5A01, "ULTRIUM 5", 0, 1, 0, 1.5, 2, "upgrade");
    ASSERT_EQ(WriteToXml("plan.xml", table_.data()), 0);
    ASSERT_EQ(chmod("plan.xml", 0640), 0);
    const std::string earlier = read_file("plan.xml");

    // A text the serialiser cannot put in a file (a control byte) fails the
    // write halfway: the earlier plan stays as it was, and nothing is left over.
    std::snprintf(table_[0].ProductID, sizeof table_[0].ProductID, "%s", "ULT\x01RIUM");
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteToXml("plan.xml", table_.data()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind(
                  "An error occurred during creation of output transcoder. Msg is:\n", 0),
              0u);
    EXPECT_EQ(read_file("plan.xml"), earlier);
    FILE *ls = popen("ls -A", "r");
    char names[256] = {};
    size_t n = fread(names, 1, sizeof names - 1, ls);
    pclose(ls);
    EXPECT_EQ(std::string(names, n), "plan.xml\n");

    // A new plan takes the old one's place, its mode and, through a link, its file.
    std::snprintf(table_[0].ProductID, sizeof table_[0].ProductID, "%s", "ULTRIUM 6");
    ASSERT_EQ(symlink("plan.xml", "link.xml"), 0);
    ASSERT_EQ(WriteToXml("link.xml", table_.data()), 0);
    struct stat st {};
    ASSERT_EQ(lstat("link.xml", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat("plan.xml", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_NE(read_file("plan.xml").find("<product_id value=\"ULTRIUM 6\"/>"), std::string::npos);
}

TEST_F(XmlFile, ANewPlanThroughADanglingLinkAndUnderAUmask)
{
    add(0x5A01, "ULTRIUM 5", 0, 1, 0, 1.5, 2, "upgrade");
    ASSERT_EQ(symlink("later.xml", "link.xml"), 0);  // the link stays, its file gets the plan
    const mode_t mask = umask(027);
    EXPECT_EQ(WriteToXml("link.xml", table_.data()), 0);
    umask(mask);
    struct stat st {};
    ASSERT_EQ(lstat("link.xml", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat("later.xml", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A plan that cannot be synced is not put in place: the earlier one stays
// whole and no temporary is left. A filter of the child's own system calls
// makes fsync fail.
TEST_F(XmlFile, AFailedSyncKeepsTheEarlierPlan)
{
    add(0x5A01, "ULTRIUM 5", 0, 1, 0, 1.5, 2, "upgrade");
    ASSERT_EQ(WriteToXml("plan.xml", table_.data()), 0);
    const std::string earlier = read_file("plan.xml");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        sock_filter code[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fsync, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog filter = {sizeof code / sizeof code[0], code};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0)
            _exit(2);
        testing::internal::CaptureStderr();
        table_[0].ProductID[0] = 'X';
        const int rc = WriteToXml("plan.xml", table_.data());
        const std::string err = testing::internal::GetCapturedStderr();
        _exit(rc == 1 && err.find("in place of 'plan.xml': Input/output error\n") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "system calls cannot be filtered here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(read_file("plan.xml"), earlier);
    EXPECT_NE(std::system("ls -A | grep -qvx plan.xml"), 0) << "a file besides the plan";
}

// The kernel's rule for links in shared directories: a plan path that is a
// link in a sticky, world-writable directory is followed only when the link
// belongs to the caller or to the directory's owner. Rows that give a file
// away are set up only where the tests may.
TEST_F(XmlFile, APlanLinkAnotherUserMadeInASharedDirectoryIsRefused)
{
    add(0x5A01, "ULTRIUM 5", 0, 1, 0, 1.5, 2, "upgrade");
    const uid_t me = geteuid(), other = me == 65534 ? 65533 : 65534;
    const struct {
        const char *what;
        mode_t dir_mode;
        uid_t dir_owner, link_owner;
        bool through_mine, refused;  // through_mine: the path is the caller's link to that one
    } cases[] = {
        {"another's link", 01777, me, other, false, true},
        {"reached through the caller's link", 01777, me, other, true, true},
        {"the caller's link", 01777, other, me, false, false},
        {"the directory owner's link", 01777, other, other, false, false},
        {"not sticky", 0777, me, other, false, false},
        {"not world-writable", 01775, me, other, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        (void)!std::system("rm -rf shared Component.log");
        write_file("victim", "a file of the system\n");
        ASSERT_EQ(mkdir("shared", 0755), 0);
        ASSERT_EQ(symlink("../victim", c.through_mine ? "shared/theirs" : "shared/plan.xml"), 0);
        if (c.through_mine) {
            ASSERT_EQ(symlink("theirs", "shared/plan.xml"), 0);
        }
        if (lchown(c.through_mine ? "shared/theirs" : "shared/plan.xml", c.link_owner, c.link_owner) != 0 ||
            chown("shared", c.dir_owner, c.dir_owner) != 0 || chmod("shared", c.dir_mode) != 0)
            continue;
        EXPECT_EQ(WriteToXml("shared/plan.xml", table_.data()), c.refused ? 1 : 0);
        EXPECT_EQ(read_file("victim") == "a file of the system\n", c.refused);
        EXPECT_EQ(read_file("Component.log"),
                  c.refused
                      ? "Error: XML file shared/plan.xml leads through a link another user owns in a shared "
                        "directory; not written.\n"
                      : "");
    }
}

// A document of exactly `size` bytes: one device, padded with a comment.
std::string document_of_size(size_t size)
{
    std::string doc = document(device_xml("0x5a01", "ULTRIUM 5"));
    const std::string open = "<!--", close = "-->";
    return doc + open + std::string(size - doc.size() - open.size() - close.size(), 'x') + close;
}

TEST_F(XmlFile, TooLargeOrDoctypeIsRefusedUnreadWithALogLine)
{
    write_file("at.xml", document_of_size(65536));
    write_file("past.xml", document_of_size(65537));
    EXPECT_EQ(read("at.xml"), 0);
    EXPECT_EQ(records(), 1);
    EXPECT_EQ(read("past.xml"), 1);
    EXPECT_EQ(records(), 0);

    // Any document type declaration, even one that declares nothing.
    write_file("dtd.xml", "<?xml version=\"1.0\"?><!DOCTYPE r><r><devices><device/></devices></r>");
    EXPECT_EQ(read("dtd.xml"), 1);
    EXPECT_EQ(records(), 0);
    const std::string log = read_file("Component.log");
    EXPECT_EQ(log, "Error: XML file past.xml is larger than 65536 bytes; not read.\n"
                   "Error: XML file dtd.xml holds a document type declaration; not read.\n");

    // The reader over a buffer keeps the same limits and logs nothing.
    for (const char *name : {"at.xml", "past.xml", "dtd.xml"}) {
        const std::string text = read_file(name);
        EXPECT_EQ(ReadFromXmlBuffer(text.data(), text.size(), back_.data()),
                  std::string(name) == "at.xml" ? 0 : 1)
            << name;
    }
    EXPECT_EQ(read_file("Component.log"), log);

    // A FIFO is refused at once, not waited on.
    ASSERT_EQ(mkfifo("fifo.xml", 0600), 0);
    EXPECT_EQ(read("fifo.xml"), 1);
}

}  // namespace
