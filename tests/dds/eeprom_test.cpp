// DDS EEPROM and identity data, with each family's images built field by field.
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "dds_memory_bus.h"
#include "ddslib.h"

using ddstest::key;
using ddstest::kProbeLine;
using ddstest::put_text;
using ddstest::sent;
using kvemu::Bytes;
using kvemu::put_be_at;
using Lines = std::vector<std::string>;

namespace {

constexpr int32 kFamily1 = 0x080003, kFamily2 = 0x060001, kFamily3 = 0x040001;

struct Eeprom : ::testing::Test {
    DRIVE drv{};
    Eeprom() { drv.fd = -1; }
    void open(int32 hw, const std::string &extra, int32 fw = 1)
    {
        ddstest::close_drive(drv);
        ddstest::open_drive(ddstest::dds_bus(hw, fw, extra), drv);
    }
    void TearDown() override { ddstest::close_drive(drv); }
    static Lines probe_then(const std::string &cdb) { return {kProbeLine, "cmd sg0 " + cdb}; }
};

TEST_F(Eeprom, InformationBlockOfEachFamily)
{
    struct Row {
        int32 hw;
        bool shifted;  // families 1 and 3: the block starts 16 bytes in
        uint32_t valid;
        int32 csum, valid_out, flash;
        size_t size;  // what the drive returns; the smallest each layout takes is 12, 8 and 23
    };
    const Row rows[] = {
        {kFamily2, false, 1, 0x12345678, 1, 0x00010203, 16},
        {kFamily2, false, 2, -2, 0, 7, 12},
        {kFamily1, false, 1, 0x0BADF00D, 1, 0x1234, 8},
        {kFamily3, true, 0, 0x7EADBEEF, 0, 0xFFFF, 23},
        // Platform 06h with bits 8..15 set is not family 2: that rule reads bits 8..23.
        {0x060103, true, 1, 0x600DC0DE, 1, 0x0103, 32},
    };
    for (const auto &r : rows) {
        Bytes img(r.size, 0xAA);
        if (r.hw == kFamily2) {
            put_be_at(img, 0, static_cast<uint32_t>(r.csum), 4);
            put_be_at(img, 4, r.valid, 4);
            put_be_at(img, 8, static_cast<uint32_t>(r.flash), 4);
        } else {
            const size_t base = r.shifted ? 16 : 0;
            if (r.shifted) {
                put_be_at(img, 0, 1, 4);
                put_be_at(img, 4, 1, 4);
            }
            put_be_at(img, base, static_cast<uint32_t>(r.csum), 4);
            img[base + 4] = static_cast<uint8_t>(r.valid);
            put_be_at(img, base + 5, static_cast<uint32_t>(r.flash), 2);
        }
        open(r.hw, key(r.hw == kFamily2 ? "buffer.1.1.160" : "buffer.1.1.100", img));
        int32 csum = 0, flash = 0;
        boolean valid = 9;
        ASSERT_EQ(dds_read_eprom_info(&drv, &csum, &valid, &flash), 0) << std::hex << r.hw;
        EXPECT_EQ(csum, r.csum);
        EXPECT_EQ(valid, r.valid_out);
        EXPECT_EQ(flash, r.flash);
        EXPECT_EQ(sent(), probe_then(r.hw == kFamily2 ? "3C 01 01 00 01 60 00 00 10 00"
                                                      : "3C 01 01 00 01 00 00 00 20 00"));
    }
    Bytes shifted(22, 0);  // equal words: the block needs 23 bytes
    put_be_at(shifted, 0, 5, 4);
    put_be_at(shifted, 4, 5, 4);
    for (const auto &c : {std::make_pair(kFamily2, key("buffer.1.1.160", Bytes(11, 1))),
                          std::make_pair(kFamily1, key("buffer.1.1.100", Bytes(7, 1))),
                          std::make_pair(kFamily3, key("buffer.1.1.100", shifted))}) {
        open(c.first, c.second);
        int32 csum = 77, flash = 77;
        boolean valid = 77;
        EXPECT_EQ(dds_read_eprom_info(&drv, &csum, &valid, &flash), -1);
        EXPECT_EQ(csum + flash + valid, 3 * 77);
    }
}

TEST_F(Eeprom, ManufacturingCodesOfEachFamily)
{
    std::string extra;  // family 1: one read per field, each field at byte 0 of its read
    for (const auto &f : {std::make_pair("1000", "0426XXXX"), std::make_pair("1004", "BOARD-1234567"),
                          std::make_pair("1005", "SERIAL12345678"), std::make_pair("1006", "MECHANISM-123")}) {
        Bytes b(32, 0);
        put_text(b, 0, f.second);
        extra += key(std::string("buffer.3.1.") + f.first, b);
    }
    open(kFamily1, extra);
    mfg_data_type m;
    std::strcpy(m.mfgplant, "keep");
    ASSERT_EQ(dds_read_mfg_codes(&drv, &m), 0);
    EXPECT_EQ(Lines({m.datecode, m.boardcode, m.serialno, m.mechcode, m.mfgplant}),
              Lines({"0426", "BOARD-123456", "SERIAL123456", "MECHANISM-12", "keep"}));
    EXPECT_EQ(sent(), (Lines{kProbeLine, "cmd sg0 3C 01 03 00 10 00 00 00 20 00",
                             "cmd sg0 3C 01 03 00 10 04 00 00 20 00", "cmd sg0 3C 01 03 00 10 05 00 00 20 00",
                             "cmd sg0 3C 01 03 00 10 06 00 00 20 00"}));

    // Every text runs up to the next field or past its own width, so a copy one
    // byte short or long shows.
    Bytes f2(32, 0);  // a serial number running over its marker
    f2[0] = '7';
    put_text(f2, 1, "0123456789");
    put_text(f2, 11, "MECHBRDX");
    put_text(f2, 27, "PLNT");
    open(kFamily2, key("buffer.1.1.1d0", f2));
    ASSERT_EQ(dds_read_mfg_codes(&drv, &m), 0);
    EXPECT_EQ(Lines({m.datecode, m.serialno, m.mechcode, m.boardcode, m.mfgplant}),
              Lines({"7", "0123456789", "MECH", "BRDX", "PLNT"}));
    EXPECT_EQ(sent(), probe_then("3C 01 01 00 01 D0 00 00 20 00"));

    Bytes f3(32, 0);
    put_text(f3, 0, "2024SERIALMECHBOARD");
    f3[26] = 0xFF;  // never written
    open(kFamily3, key("buffer.1.1.180", f3));
    ASSERT_EQ(dds_read_mfg_codes(&drv, &m), 0);
    EXPECT_EQ(Lines({m.datecode, m.serialno, m.mechcode, m.boardcode, m.mfgplant}),
              Lines({"2024", "SERIAL", "MECH", "BOAR", "n/a"}));
    put_text(f3, 26, "PLANT");
    open(kFamily3, key("buffer.1.1.180", f3));
    ASSERT_EQ(dds_read_mfg_codes(&drv, &m), 0);
    EXPECT_STREQ(m.mfgplant, "PLAN");

    open(kFamily3, key("buffer.1.1.180", Bytes(29, 0x31)));  // the plant field would end at byte 30
    EXPECT_EQ(dds_read_mfg_codes(&drv, &m), -1);
    EXPECT_STREQ(m.datecode, "2024");
}

using Entries = std::vector<std::array<int, 4>>;  // errorcode, scsi_opcode, flags, dummy

Entries read_log(DRIVE &drv, int32 &result, boolean &overflow)
{
    std::array<faultlogtype, DDS_FAULTLOG_MAX_ENTRIES> log;
    log.fill({0xEE, 0xEE, 0xEE, 0xEE});
    int32 n = -5;
    overflow = 9;
    result = dds_read_eprom_log(&drv, log.data(), &n, &overflow);
    Entries out;
    for (int32 i = 0; i < n; ++i)
        out.push_back({log[i].errorcode, log[i].scsi_opcode, log[i].flags, log[i].dummy});
    return out;
}

void put(Bytes &b, size_t at, std::vector<uint8_t> v)
{
    std::copy(v.begin(), v.end(), b.begin() + static_cast<long>(at));
}

TEST_F(Eeprom, Family1FaultLogRing)
{
    Bytes img(404, 0);
    kvemu::put_le_at(img, 0, 98, 4);
    put(img, 4 + 4 * 98, {1, 2, 3, 4});  // errorcode, scsi_opcode, dummy, flags
    put(img, 4 + 4 * 99, {5, 6, 7, 8});
    put(img, 4 + 4 * 0, {9, 0, 0, 0});
    put(img, 4 + 4 * 97, {0, 0, 0, 1});
    open(kFamily1, key("buffer.3.1.5000", img));
    int32 r;
    boolean overflow;
    EXPECT_EQ(read_log(drv, r, overflow), (Entries{{1, 2, 4, 3}, {5, 6, 8, 7}, {9, 0, 0, 0}, {0, 0, 1, 0}}));
    EXPECT_EQ(r, 0);
    EXPECT_EQ(overflow, 0);
    EXPECT_EQ(sent(), probe_then("3C 01 03 00 50 00 00 01 94 00"));

    std::fill(img.begin(), img.end(), 0x11);  // every entry used: the whole output is filled
    kvemu::put_le_at(img, 0, 0, 4);
    open(kFamily1, key("buffer.3.1.5000", img));
    EXPECT_EQ(read_log(drv, r, overflow).size(), size_t{DDS_FAULTLOG_MAX_ENTRIES});

    kvemu::put_le_at(img, 0, 100, 4);  // an index outside the ring
    open(kFamily1, key("buffer.3.1.5000", img));
    EXPECT_TRUE(read_log(drv, r, overflow).empty());
    EXPECT_EQ(r, -1);
    EXPECT_EQ(overflow, 0);
}

TEST_F(Eeprom, Family2FaultLogAndOverflow)
{
    Bytes img(120, 0xFF);
    put(img, 0, {0x41, 0x08, 0x10, 0x01});
    put(img, 100, {0x00, 0x0A, 0x20, 0x02});  // entry 25; its first byte 0 also means overflowed
    put(img, 116, {0x52, 0x1B, 0x30, 0x03});
    open(kFamily2, key("buffer.3.2.5c0", img));
    int32 r;
    boolean overflow;
    EXPECT_EQ(read_log(drv, r, overflow),
              (Entries{{0x41, 8, 0x10, 1}, {0, 0x0A, 0x20, 2}, {0x52, 0x1B, 0x30, 3}}));
    EXPECT_EQ(overflow, 1);
    EXPECT_EQ(sent(), probe_then("3C 02 03 00 05 C0 00 00 78 00"));

    img[0] = 0xFF;  // an erased log
    open(kFamily2, key("buffer.3.2.5c0", img));
    EXPECT_TRUE(read_log(drv, r, overflow).empty());
    EXPECT_EQ(r, 0);
    EXPECT_EQ(overflow, 0);

    img.resize(119);
    open(kFamily2, key("buffer.3.2.5c0", img));
    read_log(drv, r, overflow);
    EXPECT_EQ(r, -1);
}

TEST_F(Eeprom, Family3FaultLogInBothRowLayouts)
{
    Bytes triples(102, 0xFF);  // bytes 3 and 6 above 1: three entries per row, read by column
    put(triples, 0, {0x10, 0x01, 0x00, 0x20, 0x02, 0x00, 0x30, 0x03, 0x00});
    put(triples, 10, {0x11, 0x04, 0x05});
    put(triples, 96, {0x31, 0x06, 0x07});
    open(kFamily3, key("buffer.1.1.290", triples));
    int32 r;
    boolean overflow;
    EXPECT_EQ(read_log(drv, r, overflow), (Entries{{0x10, 1, 0, 0xEE},
                                                   {0x11, 4, 5, 0xEE},
                                                   {0x20, 2, 0, 0xEE},
                                                   {0x30, 3, 0, 0xEE},
                                                   {0x31, 6, 7, 0xEE}}));
    EXPECT_EQ(overflow, 0);
    EXPECT_EQ(sent(), probe_then("3C 01 01 00 02 90 00 00 66 00"));

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
    Bytes c0(40, 0), std_inq(36, 0), c1(60, 0), c2(40, 0);
    put_text(c0, 20, "CTRL-REV-9 and more");
    std_inq[1] = 0x40;  // autochanger present
    put_text(c1, 17, std::string(40, 'S'));
    put_text(c2, 20, "AUTOCH-1234");
    const std::string pages = key("inquiry.c0", c0) + key("inquiry.c1", c1);
    open(kFamily3, pages + key("inquiry", std_inq) + key("inquiry.c2", c2));
    char ctrlr[DDS_FW_REV_SIZE], servo[DDS_FW_REV_SIZE], autoch[DDS_FW_REV_SIZE];
    ASSERT_EQ(dds_get_fw_revs(&drv, ctrlr, servo, autoch), 0);
    EXPECT_EQ(Lines({ctrlr, servo, autoch}),
              Lines({"CTRL-REV-9", std::string(DDS_FW_REV_SIZE - 1, 'S'), "AUTOCH-"}));
    EXPECT_EQ(sent(), (Lines{"cmd sg0 12 01 C0 00 FF 00", "cmd sg0 12 01 C1 00 FF 00",
                             "cmd sg0 12 00 00 00 FF 00", "cmd sg0 12 01 C2 00 FF 00"}));

    std_inq[1] = 0;
    c1.resize(20);  // a text that runs to the end of the reply
    put_text(c1, 17, "S12");
    open(kFamily3, key("inquiry.c0", c0) + key("inquiry", std_inq) + key("inquiry.c1", c1));
    ASSERT_EQ(dds_get_fw_revs(&drv, ctrlr, servo, autoch), 0);
    EXPECT_EQ(Lines({servo, autoch}), Lines({"S12", "n/a"}));

    // Each text needs one byte past its offset, and the standard reply its byte 1.
    const struct {
        size_t c0, c1, std, c2;
        int32 result;
    } cuts[] = {
        {21, 18, 2, 21, 0}, {20, 18, 2, 21, -1}, {21, 17, 2, 21, -1}, {21, 18, 1, 21, -1}, {21, 18, 2, 20, -1}};
    for (const auto &c : cuts) {
        Bytes short_std(c.std, 0x40);  // autochanger present
        open(kFamily3, key("inquiry.c0", Bytes(c.c0, 'C')) + key("inquiry.c1", Bytes(c.c1, 'S')) +
                           key("inquiry", short_std) + key("inquiry.c2", Bytes(c.c2, 'A')));
        std::strcpy(ctrlr, "old");
        EXPECT_EQ(dds_get_fw_revs(&drv, ctrlr, servo, autoch), c.result) << c.c0 << " " << c.c1 << " " << c.c2;
        if (c.result == 0)
            EXPECT_EQ(Lines({ctrlr, servo, autoch}), Lines({"C", "S", "A"}));
        else
            EXPECT_STREQ(ctrlr, "old");
    }

    // The drive's own page C1h carries the servo firmware.
    open(kFamily3, "servo_firmware = SV-2.1\n");
    ASSERT_EQ(dds_get_fw_revs(&drv, ctrlr, servo, nullptr), 0);
    EXPECT_STREQ(servo, "SV-2.1");
}

TEST_F(Eeprom, NothingIsReadWhenTheProbeFails)
{
    open(kFamily2, "override = 12 times=* status=2 sense=70000500000000060000000024000000\n" +
                       key("buffer.1.1.160", Bytes(16, 1)) + key("buffer.3.2.5c0", Bytes(120, 1)) +
                       key("buffer.1.1.1d0", Bytes(32, 0x31)) + key("buffer.3.2.0", Bytes(4, 1)));
    int32 csum = 7, flash = 7, n = 7;
    boolean valid = 7, overflow = 9;
    mfg_data_type m;
    std::strcpy(m.serialno, "keep");
    std::array<faultlogtype, DDS_FAULTLOG_MAX_ENTRIES> log;
    log.fill({0xEE, 0xEE, 0xEE, 0xEE});
    unsigned char data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    const std::function<int32()> ops[] = {
        [&] { return dds_read_eprom_info(&drv, &csum, &valid, &flash); },
        [&] { return dds_read_mfg_codes(&drv, &m); },
        [&] { return dds_read_eprom_log(&drv, log.data(), &n, &overflow); },
        [&] { return dds_read_serial_eeprom(&drv, data, 0, 4); },
    };
    for (const auto &op : ops) {
        kvemu::clear_trace();
        EXPECT_EQ(op(), -1);
        EXPECT_EQ(sent(), Lines{kProbeLine});
    }
    EXPECT_EQ(csum + flash + valid + n, 4 * 7);
    EXPECT_EQ(overflow, 0);
    EXPECT_STREQ(m.serialno, "keep");
    EXPECT_EQ(log[0].errorcode, 0xEE);
    EXPECT_EQ(kvemu::to_hex(data, 4), "EE EE EE EE");
    EXPECT_EQ(dds_drive_is_new_arch(), 0);
}

TEST_F(Eeprom, ErasedFaultLogOfEachFamilyIsEmpty)
{
    // Byte 0 FFh: never written. Family 1's index word and family 3's overflow
    // byte would otherwise say something.
    const struct {
        int32 hw;
        const char *region;
        size_t size;
    } rows[] = {{kFamily1, "buffer.3.1.5000", 404},
                {kFamily2, "buffer.3.2.5c0", 120},
                {kFamily3, "buffer.1.1.290", 102}};
    for (const auto &r : rows) {
        Bytes img(r.size, 0x22);
        img[0] = 0xFF;
        img[100] = 0;
        open(r.hw, key(r.region, img));
        int32 result;
        boolean overflow;
        EXPECT_TRUE(read_log(drv, result, overflow).empty()) << r.region;
        EXPECT_EQ(result, 0);
        EXPECT_EQ(overflow, 0);
    }
}

TEST_F(Eeprom, FailedAutochangerPageLeavesEveryRevisionAsItWas)
{
    Bytes c0(40, 0), std_inq(36, 0), c1(40, 0);
    put_text(c0, 20, "CTRL");
    put_text(c1, 17, "SERVO");
    std_inq[1] = 0x40;
    open(kFamily3, key("inquiry.c0", c0) + key("inquiry.c1", c1) + key("inquiry", std_inq) +
                       "override = 12 skip=3 status=2 sense=70000500000000060000000024000000\n");
    char ctrlr[DDS_FW_REV_SIZE] = "old", servo[DDS_FW_REV_SIZE] = "old", autoch[DDS_FW_REV_SIZE] = "old";
    EXPECT_EQ(dds_get_fw_revs(&drv, ctrlr, servo, autoch), -1);
    EXPECT_EQ(Lines({ctrlr, servo, autoch}), Lines({"old", "old", "old"}));
    EXPECT_EQ(sent().size(), 4u);
}

TEST_F(Eeprom, SerialEepromByReadBuffer)
{
    const struct {
        int32 hw, fw;
        const char *region, *cdb;
    } rows[] = {
        {0x080013, 1, "buffer.3.1.1234", "3C 01 03 00 12 34 00 00 06 00"},  // new architecture
        {0x0C0023, 0x6C, "buffer.3.1.1234", "3C 01 03 00 12 34 00 00 06 00"},
        {kFamily2, 0x6C, "buffer.7.2.1234", "3C 02 07 00 12 34 00 00 06 00"},
        {kFamily2, 0x6D, "buffer.3.2.1234", "3C 02 03 00 12 34 00 00 06 00"},
    };
    for (const auto &r : rows) {
        open(r.hw, key(r.region, {1, 2, 3, 4, 5, 6}), r.fw);
        unsigned char data[7];
        std::memset(data, 0xEE, sizeof data);
        EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0x1234, 6), 6);
        EXPECT_EQ(kvemu::to_hex(data, 7), "01 02 03 04 05 06 EE");
        EXPECT_EQ(sent(), probe_then(r.cdb));
        EXPECT_EQ(dds_drive_is_new_arch(), (r.hw & 0x80000) ? 1 : 0);
    }
}

TEST_F(Eeprom, SerialEepromThroughTheServo)
{
    const std::string eeprom = key("servo_eeprom", {0xA0, 0xA1, 0xA2, 0xA3, 0xA4});
    const std::string send = "cmd sg0 1D 01 00 00 08 00", receive = "cmd sg0 1C 00 00 00 14 00";
    open(kFamily3, eeprom);
    unsigned char data[5];
    std::memset(data, 0xEE, sizeof data);
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0x880, 3), 3);  // never past nbytes
    EXPECT_EQ(kvemu::to_hex(data, 5), "A0 A1 A2 EE EE");
    EXPECT_EQ(sent(),
              (Lines{kProbeLine, send, "out sg0 41 A1 61 02 00 00 00 00", receive, send,
                     "out sg0 41 A1 61 02 02 00 00 00", receive, send, "out sg0 41 81 61 02 02 00 00 00"}));
    EXPECT_EQ(dds_drive_is_new_arch(), 0);

    open(kFamily3, eeprom);  // servo addresses end at F97Fh
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0xF97C + 0x880, 5), 4);
    EXPECT_EQ(sent().back(), "out sg0 41 81 61 02 7E F9 00 00");
    open(kFamily3, eeprom);  // from an odd address the last read is F97Fh itself
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0xF97D + 0x880, 5), 4);
    EXPECT_EQ(sent().back(), "out sg0 41 81 61 02 7F F9 00 00");

    open(kFamily3, eeprom + "override = 1c short=10\n");  // a 10-byte reply just holds the word
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0x880, 2), 2);
    EXPECT_EQ(kvemu::to_hex(data, 2), "A0 A1");

    const std::string refuse = " status=2 sense=70000500000000060000000026000000\n";
    const std::pair<std::string, long> faults[] = {
        {"override = 1c short=11\n", 2},       // a 9-byte reply holds no word
        {"override = 1d" + refuse, 2},         // the servo refuses the read
        {"override = 1d skip=2" + refuse, 3},  // the pass-through cannot be switched off
    };
    for (const auto &f : faults) {
        open(kFamily3, eeprom + f.first);
        EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0x880, 4), -1) << f.first;
        const Lines lines = sent();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), send), f.second);
        EXPECT_EQ(lines.back().substr(0, 14), "out sg0 41 81 ");
    }

    open(kFamily3, eeprom);
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, 0x880, -1), -1);
    EXPECT_EQ(dds_read_serial_eeprom(&drv, data, -2, 2), -1);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
