// DDS EEPROM and identity data, with each family's images built field by field.
#include <algorithm>
#include <array>
#include <cstring>

#include <gtest/gtest.h>

#include "ddslib.h"
#include "dds_memory_bus.h"

using ddstest::key;
using ddstest::kProbeLine;
using ddstest::put_be;
using ddstest::put_le;
using ddstest::put_text;
using ddstest::sent;
using kvemu::Bytes;

namespace {

constexpr int32 kFamily1 = 0x080003, kFamily2 = 0x060001, kFamily3 = 0x040001;

struct Eeprom : ::testing::Test {
    DRIVE drv{};
    void open(int32 hw, const std::string &extra, int32 fw = 1) { ddstest::open_drive(ddstest::dds_bus(hw, fw, extra), drv); }
    void TearDown() override { ddstest::close_drive(drv); }
    std::vector<std::string> reads(const std::string &cdb) { return {kProbeLine, "cmd sg0 " + cdb}; }
};

TEST_F(Eeprom, InformationBlockOfEachFamily)
{
    struct Row {
        int32 hw;
        bool shifted;  // family 1 and 3: block 16 bytes in
        uint32_t valid;
        int32 csum, valid_out, flash;
    };
    const Row rows[] = {
        {kFamily2, false, 1, 0x12345678, 1, 0x00010203},
        {kFamily2, false, 2, -2, 0, 7},
        {kFamily1, false, 1, 0x0BADF00D, 1, 0x1234},
        {kFamily3, true, 1, 0x7EADBEEF, 1, 0xFFFF},
        {0x000000, true, 0, 0x01, 0, 9},
    };
    for (const auto &r : rows) {
        Bytes img;
        std::string at;
        if (r.hw == kFamily2) {
            img.assign(16, 0xAA);
            put_be(img, 0, static_cast<uint32_t>(r.csum), 4);
            put_be(img, 4, r.valid, 4);
            put_be(img, 8, static_cast<uint32_t>(r.flash), 4);
            at = "buffer.1.1.160";
        } else {
            img.assign(32, 0xAA);
            const size_t base = r.shifted ? 16 : 0;
            if (r.shifted) {
                put_be(img, 0, 1, 4);
                put_be(img, 4, 1, 4);
            }
            put_be(img, base, static_cast<uint32_t>(r.csum), 4);
            img[base + 4] = static_cast<uint8_t>(r.valid);
            put_be(img, base + 5, static_cast<uint32_t>(r.flash), 2);
            at = "buffer.1.1.100";
        }
        open(r.hw, key(at, img));
        int32 csum = 0, flash = 0;
        boolean valid = 9;
        ASSERT_EQ(dds_read_eprom_info(&drv, &csum, &valid, &flash), 0) << std::hex << r.hw;
        EXPECT_EQ(csum, r.csum);
        EXPECT_EQ(valid, r.valid_out);
        EXPECT_EQ(flash, r.flash);
        EXPECT_EQ(sent(), reads(r.hw == kFamily2 ? "3C 01 01 00 01 60 00 00 10 00" : "3C 01 01 00 01 00 00 00 20 00"));
        ddstest::close_drive(drv);
    }
}

TEST_F(Eeprom, ShortOrMissingRepliesLeaveOutputsAlone)
{
    Bytes shifted(22, 0);  // words equal: the block needs 23 bytes
    put_be(shifted, 0, 5, 4);
    put_be(shifted, 4, 5, 4);
    const std::string cases[][2] = {{"2", key("buffer.1.1.160", Bytes(11, 1))},
                                    {"3", key("buffer.1.1.100", shifted)},
                                    {"3", ""}};
    for (const auto &c : cases) {
        open(c[0] == "2" ? kFamily2 : kFamily3, c[1]);
        int32 csum = 77, flash = 77;
        boolean valid = 77;
        EXPECT_EQ(dds_read_eprom_info(&drv, &csum, &valid, &flash), -1);
        EXPECT_EQ(csum + flash + valid, 3 * 77);
        ddstest::close_drive(drv);
    }
    ddstest::open_drive("[device]\nhost = 0\ntarget = 3\nmodel = dds_memory\n", drv);  // no page C0h
    mfg_data_type m{};
    EXPECT_EQ(dds_read_mfg_codes(&drv, &m), -1);
    EXPECT_EQ(sent(), std::vector<std::string>{kProbeLine});
}

TEST_F(Eeprom, Family1ManufacturingCodesReadOneFieldEach)
{
    const struct {
        const char *offset, *text;
    } fields[] = {{"1000", "0426XXXX"}, {"1004", "BOARD-123456"}, {"1005", "SERIAL12345678"}, {"1006", "MECH"}};
    std::string extra;
    for (const auto &f : fields) {
        Bytes b(32, 0);
        put_text(b, 0, f.text);
        extra += key(std::string("buffer.3.1.") + f.offset, b);
    }
    open(kFamily1, extra);
    mfg_data_type m;
    std::strcpy(m.mfgplant, "keep");
    ASSERT_EQ(dds_read_mfg_codes(&drv, &m), 0);
    EXPECT_STREQ(m.datecode, "0426");
    EXPECT_STREQ(m.boardcode, "BOARD-123456");
    EXPECT_STREQ(m.serialno, "SERIAL123456");
    EXPECT_STREQ(m.mechcode, "MECH");
    EXPECT_STREQ(m.mfgplant, "keep");
    EXPECT_EQ(sent(), (std::vector<std::string>{kProbeLine, "cmd sg0 3C 01 03 00 10 00 00 00 20 00",
                                                "cmd sg0 3C 01 03 00 10 04 00 00 20 00",
                                                "cmd sg0 3C 01 03 00 10 05 00 00 20 00",
                                                "cmd sg0 3C 01 03 00 10 06 00 00 20 00"}));
}

TEST_F(Eeprom, ManufacturingBlocksOfFamilies2And3)
{
    Bytes f2(32, 0);  // family 2: an unset date code, then the serial number over the marker
    f2[0] = 0xFF;
    put_text(f2, 1, "0123456789");
    put_text(f2, 11, "MECHBRDX");
    put_text(f2, 27, "PLNT");
    open(kFamily2, key("buffer.1.1.1d0", f2));
    mfg_data_type m{};
    ASSERT_EQ(dds_read_mfg_codes(&drv, &m), 0);
    EXPECT_STREQ(m.datecode, "n/a");
    EXPECT_STREQ(m.serialno, "0123456789");
    EXPECT_STREQ(m.mechcode, "MECH");
    EXPECT_STREQ(m.boardcode, "BRDX");
    EXPECT_STREQ(m.mfgplant, "PLNT");
    EXPECT_EQ(sent(), reads("3C 01 01 00 01 D0 00 00 20 00"));
    ddstest::close_drive(drv);

    Bytes f3(32, 0);
    put_text(f3, 0, "2024SER");  // the serial number stops at its NUL
    put_text(f3, 10, "MECHBOARD");
    f3[26] = 0xFF;
    open(kFamily3, key("buffer.1.1.180", f3));
    ASSERT_EQ(dds_read_mfg_codes(&drv, &m), 0);
    EXPECT_STREQ(m.datecode, "2024");
    EXPECT_STREQ(m.serialno, "SER");
    EXPECT_STREQ(m.mechcode, "MECH");
    EXPECT_STREQ(m.boardcode, "BOAR");
    EXPECT_STREQ(m.mfgplant, "n/a");
    ddstest::close_drive(drv);

    open(kFamily3, key("buffer.1.1.180", Bytes(29, 0x31)));  // mfgplant ends at byte 29
    EXPECT_EQ(dds_read_mfg_codes(&drv, &m), -1);
    EXPECT_STREQ(m.datecode, "2024");
}

using Entries = std::vector<std::array<int, 4>>;  // errorcode, scsi_opcode, flags, dummy

Entries read_log(DRIVE &drv, int32 &result, boolean &overflow)
{
    std::array<faultlogtype, DDS_FAULTLOG_MAX_ENTRIES> log;
    for (auto &e : log)
        e = {0xEE, 0xEE, 0xEE, 0xEE};
    int32 n = -5;
    overflow = 9;
    result = dds_read_eprom_log(&drv, log.data(), &n, &overflow);
    Entries out;
    for (int32 i = 0; i < n; ++i)
        out.push_back({log[i].errorcode, log[i].scsi_opcode, log[i].flags, log[i].dummy});
    return out;
}

TEST_F(Eeprom, Family1FaultLogRing)
{
    Bytes img(404, 0);
    put_le(img, 0, 98, 4);
    auto entry = [&](size_t i, std::array<uint8_t, 4> b) { std::copy(b.begin(), b.end(), img.begin() + 4 + 4 * i); };
    entry(98, {1, 2, 3, 4});  // errorcode, scsi_opcode, dummy, flags
    entry(99, {5, 6, 7, 8});
    entry(0, {9, 0, 0, 0});
    entry(97, {0, 0, 0, 1});
    open(kFamily1, key("buffer.3.1.5000", img));
    int32 r;
    boolean overflow;
    EXPECT_EQ(read_log(drv, r, overflow), (Entries{{1, 2, 4, 3}, {5, 6, 8, 7}, {9, 0, 0, 0}, {0, 0, 1, 0}}));
    EXPECT_EQ(r, 0);
    EXPECT_EQ(overflow, 0);
    EXPECT_EQ(sent(), reads("3C 01 03 00 50 00 00 01 94 00"));
    ddstest::close_drive(drv);

    std::fill(img.begin() + 4, img.end(), 0x11);  // every entry used: the whole output is filled
    put_le(img, 0, 0, 4);
    open(kFamily1, key("buffer.3.1.5000", img));
    EXPECT_EQ(read_log(drv, r, overflow).size(), 100u);
    ddstest::close_drive(drv);

    put_le(img, 0, 100, 4);  // an index outside the ring
    open(kFamily1, key("buffer.3.1.5000", img));
    EXPECT_TRUE(read_log(drv, r, overflow).empty());
    EXPECT_EQ(r, -1);
    EXPECT_EQ(overflow, 0);
}

TEST_F(Eeprom, Family2FaultLogAndOverflow)
{
    Bytes img(120, 0xFF);
    auto entry = [&](size_t i, std::array<uint8_t, 4> b) { std::copy(b.begin(), b.end(), img.begin() + 4 * i); };
    entry(0, {0x41, 0x08, 0x10, 0x01});
    entry(25, {0x00, 0x0A, 0x20, 0x02});  // its first byte is the overflow byte: 0 = overflowed
    entry(29, {0x52, 0x1B, 0x30, 0x03});
    open(kFamily2, key("buffer.3.2.5c0", img));
    int32 r;
    boolean overflow;
    EXPECT_EQ(read_log(drv, r, overflow), (Entries{{0x41, 8, 0x10, 1}, {0, 0x0A, 0x20, 2}, {0x52, 0x1B, 0x30, 3}}));
    EXPECT_EQ(overflow, 1);
    EXPECT_EQ(sent(), reads("3C 02 03 00 05 C0 00 00 78 00"));
    ddstest::close_drive(drv);

    img[0] = 0xFF;  // erased log
    entry(1, {1, 2, 3, 4});
    open(kFamily2, key("buffer.3.2.5c0", img));
    EXPECT_TRUE(read_log(drv, r, overflow).empty());
    EXPECT_EQ(r, 0);
    EXPECT_EQ(overflow, 0);
    ddstest::close_drive(drv);

    img.resize(119);
    open(kFamily2, key("buffer.3.2.5c0", img));
    read_log(drv, r, overflow);
    EXPECT_EQ(r, -1);
}

TEST_F(Eeprom, Family3FaultLogInBothRowLayouts)
{
    Bytes triples(102, 0xFF);  // bytes 3 and 6 above 1: three entries per row, read by column
    auto put = [](Bytes &b, size_t at, std::vector<uint8_t> v) { std::copy(v.begin(), v.end(), b.begin() + at); };
    put(triples, 0, {0x10, 0x01, 0x00, 0x20, 0x02, 0x00, 0x30, 0x03, 0x00});
    put(triples, 10, {0x11, 0x04, 0x05});
    put(triples, 96, {0x31, 0x06, 0x07});
    open(kFamily3, key("buffer.1.1.290", triples));
    int32 r;
    boolean overflow;
    EXPECT_EQ(read_log(drv, r, overflow),
              (Entries{{0x10, 1, 0, 0xEE}, {0x11, 4, 5, 0xEE}, {0x20, 2, 0, 0xEE}, {0x30, 3, 0, 0xEE}, {0x31, 6, 7, 0xEE}}));
    EXPECT_EQ(overflow, 0);
    EXPECT_EQ(sent(), reads("3C 01 01 00 02 90 00 00 66 00"));
    ddstest::close_drive(drv);

    Bytes rows(102, 0xFF);  // byte 6 is 1: one entry per row
    put(rows, 0, {0x41, 0x08, 0x00, 0x03, 0x04, 0x00, 0x01});
    put(rows, 90, {0x42, 0x09, 0x00, 0x00, 0x15, 0x01, 0x00});
    rows[100] = 0;
    open(kFamily3, key("buffer.1.1.290", rows));
    EXPECT_EQ(read_log(drv, r, overflow), (Entries{{0x41, 8, 0xF4, 0xEE}, {0x42, 9, 0x05, 0xEE}}));
    EXPECT_EQ(overflow, 1);
}

TEST_F(Eeprom, FirmwareRevisionsAreBounded)
{
    Bytes std_inq(36, 0), c1(60, 0), c2(40, 0);
    std_inq[1] = 0x40;  // autochanger present
    put_text(c1, 17, std::string(40, 'S'));
    put_text(c2, 20, "AUTOCH-1234");
    const std::string pages = key("inquiry", std_inq) + key("inquiry.c1", c1) + key("inquiry.c2", c2);
    open(kFamily3, pages, 1);
    char ctrlr[DDS_FW_REV_SIZE], servo[DDS_FW_REV_SIZE], autoch[DDS_FW_REV_SIZE];
    ASSERT_EQ(dds_get_fw_revs(&drv, ctrlr, servo, autoch), 0);
    EXPECT_STREQ(ctrlr, "CTRL-REV-9");
    EXPECT_EQ(std::string(servo), std::string(DDS_FW_REV_SIZE - 1, 'S'));
    EXPECT_STREQ(autoch, "AUTOCH-");
    EXPECT_EQ(sent(), (std::vector<std::string>{"cmd sg0 12 01 C0 00 FF 00", "cmd sg0 12 01 C1 00 FF 00",
                                                "cmd sg0 12 00 00 00 FF 00", "cmd sg0 12 01 C2 00 FF 00"}));
    ddstest::close_drive(drv);

    std_inq[1] = 0;
    c1.resize(20);  // a text that runs to the end of the reply
    put_text(c1, 17, "S12");
    open(kFamily3, key("inquiry", std_inq) + key("inquiry.c1", c1), 1);
    ASSERT_EQ(dds_get_fw_revs(&drv, ctrlr, servo, autoch), 0);
    EXPECT_STREQ(servo, "S12");
    EXPECT_STREQ(autoch, "n/a");
    ddstest::close_drive(drv);

    open(kFamily3, key("inquiry.c1", Bytes(17, 0x41)), 1);  // nothing after byte 16
    std::strcpy(ctrlr, "old");
    EXPECT_EQ(dds_get_fw_revs(&drv, ctrlr, servo, nullptr), -1);
    EXPECT_STREQ(ctrlr, "old");
}

TEST_F(Eeprom, NewArchitectureFollowsTheLastProbe)
{
    for (int32 hw : {0x080003, 0x0C0023, 0x060001, 0x040001}) {
        open(hw, "");
        int32 h, f;
        char name[32];
        ASSERT_EQ(dds_read_config_codes(&drv, &h, &f, name), 0);
        EXPECT_EQ(dds_drive_is_new_arch(), (hw & 0x80000) ? 1 : 0);
        ddstest::close_drive(drv);
    }
}

TEST_F(Eeprom, SerialEepromByReadBuffer)
{
    const struct {
        int32 hw, fw;
        const char *region, *cdb;
    } rows[] = {
        {0x080013, 1, "buffer.3.1.1234", "3C 01 03 00 12 34 00 00 06 00"},
        {kFamily2, 0x6C, "buffer.7.2.1234", "3C 02 07 00 12 34 00 00 06 00"},
        {kFamily2, 0x6D, "buffer.3.2.1234", "3C 02 03 00 12 34 00 00 06 00"},
    };
    for (const auto &r : rows) {
        open(r.hw, key(r.region, {1, 2, 3, 4, 5, 6}), r.fw);
        unsigned char data[7];
        std::memset(data, 0xEE, sizeof data);
        EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0x1234, 6), 6);
        EXPECT_EQ(kvemu::to_hex(data, 7), "01 02 03 04 05 06 EE");
        EXPECT_EQ(sent(), reads(r.cdb));
        ddstest::close_drive(drv);
    }
}

const char *const kOn0 = "out sg0 41 A1 61 02 00 00 00 00";
const char *const kOn2 = "out sg0 41 A1 61 02 02 00 00 00";
const char *const kOff2 = "out sg0 41 81 61 02 02 00 00 00";
const char *const kSend = "cmd sg0 1D 01 00 00 08 00";
const char *const kReceive = "cmd sg0 1C 00 00 00 14 00";

TEST_F(Eeprom, SerialEepromThroughTheServo)
{
    const std::string eeprom = key("servo_eeprom", {0xA0, 0xA1, 0xA2, 0xA3, 0xA4});
    open(kFamily3, eeprom);
    unsigned char data[5];
    std::memset(data, 0xEE, sizeof data);
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0x880, 3), 3);  // never past nbytes
    EXPECT_EQ(kvemu::to_hex(data, 5), "A0 A1 A2 EE EE");
    EXPECT_EQ(sent(), (std::vector<std::string>{kProbeLine, kSend, kOn0, kReceive, kSend, kOn2, kReceive, kSend,
                                                kOff2}));
    ddstest::close_drive(drv);

    open(kFamily3, eeprom);  // servo addresses end at F97Fh
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0xF97C + 0x880, 5), 4);
    EXPECT_EQ(sent().back(), "out sg0 41 81 61 02 7E F9 00 00");
    ddstest::close_drive(drv);

    struct Fault {
        const char *override_line;
        size_t sends;  // lists sent, the last one switching the pass-through off
    };
    const Fault faults[] = {
        {"override = 1c short=11\n", 2},                                        // 9-byte reply
        {"override = 1d status=2 sense=70000500000000060000000026000000\n", 2},  // servo refuses
        {"override = 1d skip=2 status=2 sense=70000500000000060000000026000000\n", 3},  // cannot switch off
    };
    for (const auto &f : faults) {
        open(kFamily3, eeprom + f.override_line);
        EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0x880, 4), -1) << f.override_line;
        const auto lines = sent();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), kSend), static_cast<long>(f.sends));
        EXPECT_EQ(lines.back().substr(0, 14), "out sg0 41 81 ");
        ddstest::close_drive(drv);
    }

    open(kFamily3, eeprom);
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0x880, -1), -1);
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, -2, 2), -1);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
