// The discovery XML file: what the writer puts on disk, what the reader makes
// of good and of hostile files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common.h"

namespace {

constexpr int kTable = 23;

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spill(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string run(const std::string &cmd) {
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

// Every test works in a fresh directory of its own (ctest runs them in parallel).
class XmlFile : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvxml.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(getcwd(old_, sizeof old_), old_);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        table_.assign(kTable, driveinfo{});
        back_.assign(kTable, driveinfo{});
    }
    void TearDown() override {
        ASSERT_EQ(chdir(old_), 0);
        run("rm -rf '" + dir_ + "'");
    }

    driveinfo &add(unsigned id, const char *product, int card, int bus, int lun, double fw,
                   double active, const char *action) {
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
    int records() const {
        int n = 0;
        for (const auto &d : back_)
            n += d.Configured ? 1 : 0;
        return n;
    }

    std::string dir_;
    char old_[4096];
    std::vector<driveinfo> table_, back_;
    int used_ = 0;
};

const char kHeader[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>"
    "<kv_rom_discovery version=\"2.0.0.0\"><type value=\"TAPE\"/>"
    "<alt_name value=\"KV TAPE Firmware for Drive x, Drive y, and Drive z for Windows\"/>"
    "<version value=\"2.0.3\"/><takes_effect value=\"immediate\"/>";

// One device element as the writer makes it; the reader's cases start from it.
std::string device_xml(const std::string &id, const std::string &product,
                       const std::string &action = "upgrade", const std::string &shared = "no") {
    return "<device><device_id value=\"" + id + "\"/><product_id value=\"" + product +
           "\"/><busnumber value=\"3\"/><devicenumber value=\"1\"/><funcnumber value=\"0\"/>"
           "<fw_item><type value=\"\"/><firmware_id value=\"\"/><version value=\"2.500000\"/>"
           "<active_version value=\"1.250000\"/><action value=\"" + action +
           "\"/><duration value=\"0\"/><message value=\"\"/><shared value=\"" + shared +
           "\"/></fw_item></device>";
}

std::string document(const std::string &devices) {
    return std::string(kHeader) + "<devices>" + devices + "</devices></kv_rom_discovery>";
}

TEST_F(XmlFile, WritesTheDocumentByteForByte) {
    add(0x1234, "ULTRIUM 4", 1, 3, 0, 1.25, 2.5, "upgrade");
    ASSERT_EQ(WriteToXml("d.xml", table_.data()), 0);
    EXPECT_EQ(slurp("d.xml"), document(device_xml("0x001234", "ULTRIUM 4")));
}

TEST_F(XmlFile, AnIndependentParserSeesEveryElementInOrder) {
    driveinfo &d = add(0xABCDE, "DAT 160 & <co>", 2, 5, 1, 3.0, 4.125, "skip");
    snprintf(d._Type, sizeof d._Type, "%s", "fw");
    snprintf(d.FirmwareId, sizeof d.FirmwareId, "%s", "F1");
    d.Duration = 90;
    snprintf(d.Message, sizeof d.Message, "%s", "never written");
    ASSERT_EQ(WriteToXml("d.xml", table_.data()), 0);

    const std::string formatted = run("xmllint --format d.xml 2>&1");
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

TEST_F(XmlFile, RoundTripKeepsEveryFieldTheFileHolds) {
    driveinfo &a = add(0x12345678, "ULTRIUM 5", 4, 7, 2, 1.000001, 2.5, "upgrade");
    snprintf(a._Type, sizeof a._Type, "%s", "tape");
    snprintf(a.FirmwareId, sizeof a.FirmwareId, "%s", "FW-01");
    a.Duration = 4000000000u;
    a.Shared = 0;
    snprintf(a.Message, sizeof a.Message, "%s", "dropped");
    snprintf(a.VendorID, sizeof a.VendorID, "%s", "KV");
    snprintf(a.FwFile, sizeof a.FwFile, "%s", "IMG.BIN");
    a.Type = DDS;
    a.VUMA = 3;
    a.RQN512 = 1;
    a.DRV.timeout = 5000;
    table_[used_++] = driveinfo{};  // a free record in between is not written
    add(0, "RQN512", 0, 0, 0, 0.0, 0.0, "rewrite");

    ASSERT_EQ(WriteToXml("d.xml", table_.data()), 0);
    ASSERT_EQ(read("d.xml"), 0);
    ASSERT_EQ(records(), 2);

    const driveinfo &r = back_[0];
    EXPECT_EQ(r.Configured, 1);
    EXPECT_EQ(r.DriveID, 0x12345678u);
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
    EXPECT_STREQ(r.Message, "");
    EXPECT_EQ(r.Shared, 1);
    // What the file does not hold comes back zero.
    EXPECT_STREQ(r.VendorID, "");
    EXPECT_STREQ(r.FwFile, "");
    EXPECT_EQ(r.Type, Ultrium);
    EXPECT_EQ(r.VUMA, 0);
    EXPECT_EQ(r.RQN512, 0);
    EXPECT_EQ(r.DRV.timeout, 0);

    EXPECT_EQ(back_[1].DriveID, 0u);
    EXPECT_STREQ(back_[1].Action, "rewrite");
    EXPECT_NE(slurp("d.xml").find("<device_id value=\"00000000\"/>"), std::string::npos);
}

TEST_F(XmlFile, DriveIdFormats) {
    struct {
        unsigned id;
        const char *text;
    } cases[] = {{0x1234, "0x001234"}, {0xABCDE, "0x0abcde"}, {0xFEDCBA98, "0xfedcba98"},
                 {0, "00000000"}, {1, "0x000001"}};
    for (const auto &c : cases) {
        table_.assign(kTable, driveinfo{});
        used_ = 0;
        add(c.id, "P", 0, 0, 0, 1, 1, "skip");
        ASSERT_EQ(WriteToXml("d.xml", table_.data()), 0);
        EXPECT_NE(slurp("d.xml").find(std::string("<device_id value=\"") + c.text + "\"/>"),
                  std::string::npos)
            << c.text;
        ASSERT_EQ(read("d.xml"), 0);
        EXPECT_EQ(back_[0].DriveID, c.id) << c.text;
    }
}

TEST_F(XmlFile, EmptyTableGivesEmptyDevices) {
    ASSERT_EQ(WriteToXml("d.xml", table_.data()), 0);
    EXPECT_EQ(slurp("d.xml"), std::string(kHeader) + "<devices/></kv_rom_discovery>");
    back_[5].Configured = 1;  // the reader clears the whole table first
    EXPECT_EQ(read("d.xml"), 0);
    EXPECT_EQ(records(), 0);
}

TEST_F(XmlFile, MakesTheLastDirectoryOfThePath) {
    add(1, "P", 0, 0, 0, 1, 1, "skip");
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteToXml("out/d.xml", table_.data()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Created Dir : out\n");
    EXPECT_EQ(read("out/d.xml"), 0);
    EXPECT_EQ(records(), 1);

    // Backslashes cut the directory too; the file keeps the path as given.
    EXPECT_EQ(WriteToXml("win\\d.xml", table_.data()), 0);
    struct stat st {};
    EXPECT_EQ(stat("win", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(stat("win\\d.xml", &st), 0);
}

TEST_F(XmlFile, RefusesPathsItCannotWrite) {
    add(1, "P", 0, 0, 0, 1, 1, "skip");
    struct {
        std::string path;
        const char *message;
    } cases[] = {
        {"out/", "Error : Xml filename not specified\n"},
        {"out/   ", "Error : Xml filename not specified\n"},
        {"missing/parent/d.xml", "An error occurred during creation of output transcoder. Msg is:\n"},
        {std::string(600, 'x'), "Error : Xml filename too long\n"},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(WriteToXml(c.path.c_str(), table_.data()), 1) << c.path;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind(c.message, 0), 0u) << err;
    }
    struct stat st {};
    EXPECT_NE(stat("missing", &st), 0);
}

TEST_F(XmlFile, ReaderRejectsBrokenFilesQuietly) {
    const std::string good = document(device_xml("0x10", "A") + device_xml("0x20", "B"));
    const std::string cases[] = {
        "",
        "not xml at all",
        good.substr(0, good.size() / 2),                              // truncated
        good.substr(0, good.size() - 3),                              // root never closed
        std::string(kHeader) + "<devices><device></devices></kv_rom_discovery>",  // mismatched
        "<?xml version=\"1.0\"?><a/><b/>",                            // two roots
        std::string("\xff\xfe<\x00", 4),                              // garbage bytes
    };
    for (const auto &text : cases) {
        spill("bad.xml", text);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(read("bad.xml"), 1) << text;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
    EXPECT_EQ(read("does-not-exist.xml"), 1);
    EXPECT_EQ(read("."), 1);
}

TEST_F(XmlFile, ReaderStopsAtTheTableSize) {
    std::string devices;
    for (int i = 0; i < 30; i++)
        devices += device_xml("0x" + std::to_string(100 + i), "P" + std::to_string(i));
    spill("many.xml", document(devices));
    EXPECT_EQ(read("many.xml"), 1);
    EXPECT_EQ(records(), 23);
    EXPECT_STREQ(back_[22].ProductID, "P22");

    devices.clear();
    for (int i = 0; i < 23; i++)
        devices += device_xml("0x1", "P");
    spill("full.xml", document(devices));
    EXPECT_EQ(read("full.xml"), 0);
    EXPECT_EQ(records(), 23);
}

TEST_F(XmlFile, ReaderCutsOverlongValuesToTheirFields) {
    const std::string huge(5000, 'Q');
    spill("long.xml", document(device_xml("0x1", huge, std::string(300, 'a'))));
    ASSERT_EQ(read("long.xml"), 0);
    EXPECT_EQ(std::strlen(back_[0].ProductID), sizeof back_[0].ProductID - 1);
    EXPECT_EQ(std::strlen(back_[0].Action), sizeof back_[0].Action - 1);
    EXPECT_EQ(back_[0].Action[0], 'a');
}

TEST_F(XmlFile, MissingElementsReadAsEmptyValues) {
    spill("sparse.xml",
          std::string(kHeader) +
              "<devices><device><product_id value=\"ONLY\"/></device>"
              "<device><device_id value=\"0x42\"/><fw_item><action/></fw_item></device>"
              "<device/></devices></kv_rom_discovery>");
    ASSERT_EQ(read("sparse.xml"), 0);
    ASSERT_EQ(records(), 3);
    EXPECT_STREQ(back_[0].ProductID, "ONLY");
    EXPECT_EQ(back_[0].DriveID, 0u);
    EXPECT_STREQ(back_[0].Action, "");
    EXPECT_EQ(back_[0].Shared, 1);
    EXPECT_EQ(back_[1].DriveID, 0x42u);
    EXPECT_STREQ(back_[1].Action, "");
    EXPECT_EQ(back_[2].Configured, 1);
}

TEST_F(XmlFile, ReaderIgnoresLayoutCommentsAndNames) {
    spill("loose.xml",
          "<?xml version=\"1.0\"?>\n<!-- from elsewhere -->\n<other>\n  <type value=\"X\"/>\n"
          "  <devices>\n    <!-- one drive -->\n    <drive>\n      <device_id value=\"ab\"/>\n"
          "      <fw_item>\n        <version value=\" 3.5\"/>\n        <action value=\"downgrade\"/>\n"
          "      </fw_item>\n    </drive>\n  </devices>\n</other>\n");
    ASSERT_EQ(read("loose.xml"), 0);
    ASSERT_EQ(records(), 1);
    EXPECT_EQ(back_[0].DriveID, 0xABu);
    EXPECT_DOUBLE_EQ(back_[0].ActiveVersion, 3.5);
    EXPECT_STREQ(back_[0].Action, "downgrade");
}

TEST_F(XmlFile, SharedIsZeroOnlyForYes) {
    struct {
        const char *value;
        int shared;
    } cases[] = {{"yes", 0}, {"YES", 0}, {"  Yes  ", 0}, {"no", 1}, {"NO", 1}, {"", 1}, {"y", 1}};
    for (const auto &c : cases) {
        spill("s.xml", document(device_xml("0x1", "P", "skip", c.value)));
        ASSERT_EQ(read("s.xml"), 0);
        EXPECT_EQ(back_[0].Shared, c.shared) << "'" << c.value << "'";
    }
}

TEST_F(XmlFile, ReaderNeverFetchesExternalEntities) {
    // An external DTD could pull any file (or URL) in through an attribute default.
    spill("ext.dtd", "<!ATTLIST action value CDATA \"SECRET\">");
    spill("ent.xml",
          "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"" + dir_ +
              "/ext.dtd\"><r><devices><device><product_id value=\"a\"/>"
              "<fw_item><action/></fw_item></device></devices></r>");
    read("ent.xml");
    for (const auto &d : back_)
        EXPECT_EQ(std::string(d.Action).find("SECRET"), std::string::npos);
}

TEST_F(XmlFile, ReaderStopsRunawayEntityExpansion) {
    // Entities that multiply at every level; the file needs none at all.
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">";
    std::string prev = "a";
    for (char c = 'b'; c <= 'd'; c++) {
        std::string body;
        for (int i = 0; i < 10; i++)
            body += "&" + prev + ";";
        bomb += std::string("<!ENTITY ") + c + " \"" + body + "\">";
        prev = std::string(1, c);
    }
    bomb += "]><r><devices><device><product_id value=\"&d;\"/></device></devices></r>";
    spill("bomb.xml", bomb);
    EXPECT_EQ(read("bomb.xml"), 1);
}

}  // namespace
