// The command builders, checked through what the emulated drive received: the
// CDB bytes, the transfer direction and length asked of the driver, and the
// data-out bytes.
#include <scsi/sg.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

namespace {

constexpr int kNone = SG_DXFER_NONE;
constexpr int kIn = SG_DXFER_FROM_DEV;
constexpr int kOut = SG_DXFER_TO_DEV;

const char *kBus = R"(
[device]
host = 0
target = 0
type = 1
vendor = KV
product = TESTDRIVE
)";

// Per-handle options a row sets before its call.
struct Opts {
    boolean immediate = 0;
    boolean sili = 0;
    boolean fixed = 0;
    int32 rec = 0;
    int32 link = 0;
};

Opts imm() { Opts o; o.immediate = 1; return o; }
Opts link(int32 v) { Opts o; o.link = v; return o; }
Opts fixed(int32 rec, boolean f = 1) { Opts o; o.fixed = f; o.rec = rec; return o; }
Opts sili(boolean v) { Opts o; o.sili = v; return o; }

using Call = std::function<int32(DRIVE *, unsigned char *)>;

struct Row {
    const char *what;
    Opts opts;
    Call call;
    const char *cdb;
    int dir;
    uint32_t len;
};

// Big enough for the widest 24-bit transfer.
std::vector<unsigned char> &pattern()
{
    static std::vector<unsigned char> p = [] {
        std::vector<unsigned char> v(0x1000000 + 16);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<unsigned char>(i * 7 + 1);
        return v;
    }();
    return p;
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override { open_bus(kBus); }
    void TearDown() override
    {
        scsi_close_device(&drv);
        kvemu::unload_bus();
    }

    void open_bus(const std::string &text)
    {
        scsi_close_device(&drv);
        kvemu::load_bus_text(text);
        drv = DRIVE{};
        drv.fd = -1;
        scsi_configure_logging(&drv, stderr, LOG_NOTHING);
        ASSERT_EQ(scsi_open_device(&drv), 0);
    }

    void apply(const Opts &o)
    {
        scsi_set_immed(&drv, o.immediate);
        scsi_set_sili(&drv, o.sili);
        drv.fixed = o.fixed;
        drv.fixed_rec_size = o.rec;
        scsi_set_link(&drv, o.link);
    }

    size_t sent() const { return kvemu::node(0)->commands.size(); }

    DRIVE drv{};
};

unsigned char *u8(unsigned char *b) { return b; }

const std::vector<Row> &rows()
{
    static const std::vector<Row> r = {
        {"test unit ready", {}, [](DRIVE *d, unsigned char *) { return scsi_test_unit_ready(d); },
         "00 00 00 00 00 00", kNone, 0},
        {"control byte is the low byte of link", link(0x1C3),
         [](DRIVE *d, unsigned char *) { return scsi_test_unit_ready(d); }, "00 00 00 00 00 C3",
         kNone, 0},
        {"rewind immediate", imm(), [](DRIVE *d, unsigned char *) { return scsi_rewind(d); },
         "01 01 00 00 00 00", kNone, 0},
        {"immediate 2 is not set", [] { Opts o; o.immediate = 2; return o; }(),
         [](DRIVE *d, unsigned char *) { return scsi_rewind(d); }, "01 00 00 00 00 00", kNone, 0},
        {"request block address", {},
         [](DRIVE *d, unsigned char *) { return scsi_request_block_address(d); },
         "02 00 00 00 03 00", kIn, 3},
        {"request sense", {}, [](DRIVE *d, unsigned char *b) { return scsi_request_sense(d, b, 18); },
         "03 00 00 00 12 00", kIn, 18},
        {"request sense 256 asks 255", {},
         [](DRIVE *d, unsigned char *b) { return scsi_request_sense(d, b, 256); },
         "03 00 00 00 FF 00", kIn, 255},
        {"format medium masks the control", imm(),
         [](DRIVE *d, unsigned char *) { return scsi_format_medium(d, 0x1F); }, "04 01 0F 00 00 00",
         kNone, 0},
        {"read block limits ignores the length", {},
         [](DRIVE *d, unsigned char *b) { return scsi_read_block_limits(d, b, 100); },
         "05 00 00 00 00 00", kIn, 6},
        {"read fixed blocks of 512", fixed(512),
         [](DRIVE *d, unsigned char *b) { return scsi_read(d, b, 10); }, "08 01 00 00 0A 00", kIn,
         5120},
        {"read variable with sili", sili(1),
         [](DRIVE *d, unsigned char *b) { return scsi_read(d, b, 100); }, "08 02 00 00 64 00", kIn,
         100},
        {"read with sili 2 has no sili bit", sili(2),
         [](DRIVE *d, unsigned char *b) { return scsi_read(d, b, 100); }, "08 00 00 00 64 00", kIn,
         100},
        {"read fixed with sili", [] { Opts o = fixed(4); o.sili = 1; return o; }(),
         [](DRIVE *d, unsigned char *b) { return scsi_read(d, b, 3); }, "08 03 00 00 03 00", kIn,
         12},
        {"fixed 2 multiplies without the fixed bit", fixed(512, 2),
         [](DRIVE *d, unsigned char *b) { return scsi_read(d, b, 2); }, "08 00 00 00 02 00", kIn,
         1024},
        {"read clamps to 24 bits", {},
         [](DRIVE *d, unsigned char *b) { return scsi_read(d, b, 0x1000000); }, "08 00 FF FF FF 00",
         kIn, 0xFFFFFF},
        {"write variable", link(5), [](DRIVE *d, unsigned char *b) { return scsi_write(d, b, 300); },
         "0A 00 00 01 2C 05", kOut, 300},
        {"write fixed", fixed(512), [](DRIVE *d, unsigned char *b) { return scsi_write(d, b, 2); },
         "0A 01 00 00 02 00", kOut, 1024},
        {"set capacity over 16 bits", imm(),
         [](DRIVE *d, unsigned char *) { return scsi_set_capacity(d, 0x70000); },
         "0B 01 00 FF FF 00", kNone, 0},
        {"set capacity", {}, [](DRIVE *d, unsigned char *) { return scsi_set_capacity(d, 0x1234); },
         "0B 00 00 12 34 00", kNone, 0},
        {"seek block beyond 24 bits goes to 0", {},
         [](DRIVE *d, unsigned char *) { return scsi_seek_block(d, 0x1000000); },
         "0C 00 00 00 00 00", kNone, 0},
        {"seek block", imm(), [](DRIVE *d, unsigned char *) { return scsi_seek_block(d, 0x123456); },
         "0C 01 12 34 56 00", kNone, 0},
        {"write setmarks immediate", imm(),
         [](DRIVE *d, unsigned char *) { return scsi_write_marks(d, 0x1000002, 3); },
         "10 03 00 00 02 00", kNone, 0},
        {"space backwards", {}, [](DRIVE *d, unsigned char *) { return scsi_space(d, -1, 9); },
         "11 01 FF FF FF 00", kNone, 0},
        {"standard inquiry of 256 asks 255", {},
         [](DRIVE *d, unsigned char *b) { return scsi_evpd_inquiry(d, 0, 0, b, 256); },
         "12 00 00 00 FF 00", kIn, 255},
        {"vendor page inquiry", {},
         [](DRIVE *d, unsigned char *b) { return scsi_evpd_inquiry(d, 3, 0x1C0, b, 0x60); },
         "12 01 C0 00 60 00", kIn, 0x60},
        {"extended inquiry clamps to 16 bits", {},
         [](DRIVE *d, unsigned char *b) { return scsi_ext_inquiry(d, 1, 3, 0x83, b, 0x12345); },
         "12 03 83 FF FF 00", kIn, 0xFFFF},
        {"verify without compare sends nothing", fixed(512),
         [](DRIVE *d, unsigned char *b) { return scsi_verify(d, 0, b, 10); }, "13 01 00 00 0A 00",
         kOut, 0},
        {"verify with compare", {}, [](DRIVE *d, unsigned char *b) { return scsi_verify(d, 1, b, 4); },
         "13 02 00 00 04 00", kOut, 4},
        {"verify with compare, fixed", fixed(8),
         [](DRIVE *d, unsigned char *b) { return scsi_verify(d, 1, b, 2); }, "13 03 00 00 02 00",
         kOut, 16},
        {"mode select 300 sends 255", {},
         [](DRIVE *d, unsigned char *b) { return scsi_mode_select(d, b, 300); }, "15 10 00 00 FF 00",
         kOut, 255},
        {"reserve with no third party", {},
         [](DRIVE *d, unsigned char *) { return scsi_reserve_unit_thirdparty(d, 255); },
         "16 00 00 00 00 00", kNone, 0},
        {"reserve for id 3", {},
         [](DRIVE *d, unsigned char *) { return scsi_reserve_unit_thirdparty(d, 3); },
         "16 16 00 00 00 00", kNone, 0},
        {"reserve keeps three id bits", {},
         [](DRIVE *d, unsigned char *) { return scsi_reserve_unit_thirdparty(d, 0x0F); },
         "16 1E 00 00 00 00", kNone, 0},
        {"release with no third party", {},
         [](DRIVE *d, unsigned char *) { return scsi_release_unit_thirdparty(d, 255); },
         "17 00 00 00 00 00", kNone, 0},
        {"release for id 2", {},
         [](DRIVE *d, unsigned char *) { return scsi_release_unit_thirdparty(d, 2); },
         "17 14 00 00 00 00", kNone, 0},
        {"long erase immediate uses bit 1", imm(),
         [](DRIVE *d, unsigned char *) { return scsi_erase(d, 3); }, "19 03 00 00 00 00", kNone, 0},
        {"short erase", {}, [](DRIVE *d, unsigned char *) { return scsi_erase(d, 0); },
         "19 00 00 00 00 00", kNone, 0},
        {"mode sense masks", {},
         [](DRIVE *d, unsigned char *b) {
             return scsi_ext_mode_sense_subpage(d, 3, 7, 0x7F, 0x1F0, b, 256);
         },
         "1A 08 FF F0 FF 00", kIn, 255},
        {"mode sense page 10h", {},
         [](DRIVE *d, unsigned char *b) { return scsi_ext_mode_sense_subpage(d, 0, 0, 0x10, 0, b, 12); },
         "1A 00 10 00 0C 00", kIn, 12},
        {"load unload keeps two link bits beside the magazine bit", [] { Opts o = imm(); o.link = 0xC3; return o; }(),
         [](DRIVE *d, unsigned char *) { return scsi_load_unload(d, 0x12345, 0x101, 1); },
         "1B 01 23 45 01 83", kNone, 0},
        {"load unload without magazine", link(4),
         [](DRIVE *d, unsigned char *) { return scsi_load_unload(d, 0, 1, 0); }, "1B 00 00 00 01 00",
         kNone, 0},
        {"receive diagnostic clamps to 16 bits", {},
         [](DRIVE *d, unsigned char *b) { return scsi_receive_diagnostic_results(d, 1, 0x80, b, 0x10000); },
         "1C 01 80 FF FF 00", kIn, 0xFFFF},
        {"receive diagnostic without page", {},
         [](DRIVE *d, unsigned char *b) { return scsi_receive_diagnostic_results(d, 0, 0x31, b, 8); },
         "1C 00 31 00 08 00", kIn, 8},
        {"send diagnostic passes byte 1", {},
         [](DRIVE *d, unsigned char *b) { return scsi_send_diagnostic_page(d, 0x11, b, 20); },
         "1D 11 00 00 14 00", kOut, 20},
        {"prevent cassette removal", {},
         [](DRIVE *d, unsigned char *) { return scsi_prev_allow_media_removal(d, 3, 2); },
         "1E 00 00 00 01 00", kNone, 0},
        {"prevent both", {},
         [](DRIVE *d, unsigned char *) { return scsi_prev_allow_media_removal(d, 1, 1); },
         "1E 00 00 00 03 00", kNone, 0},
        {"media census clamps to 16 bits", {},
         [](DRIVE *d, unsigned char *b) { return scsi_media_census(d, b, 0x20000); },
         "1F 00 00 FF FF 00", kIn, 0xFFFF},
        {"locate in the current partition", imm(),
         [](DRIVE *d, unsigned char *) { return scsi_locate(d, 0x01020304, 1, 2); },
         "2B 05 00 01 02 03 04 00 00 00", kNone, 0},
        {"locate in partition 1", link(9),
         [](DRIVE *d, unsigned char *) { return scsi_locate(d, -2, 0, 1); },
         "2B 02 00 FF FF FF FE 00 01 09", kNone, 0},
        {"locate in partition 3 takes its bit 0", {},
         [](DRIVE *d, unsigned char *) { return scsi_locate(d, 5, 0, 3); },
         "2B 02 00 00 00 00 05 00 01 00", kNone, 0},
        {"read position carries no length", {},
         [](DRIVE *d, unsigned char *b) { return scsi_read_position(d, 1, b, 20); },
         "34 01 00 00 00 00 00 00 00 00", kIn, 20},
        {"read position long form", link(7),
         [](DRIVE *d, unsigned char *b) { return scsi_read_position(d, 0, b, 32); },
         "34 00 00 00 00 00 00 00 00 07", kIn, 32},
        {"closing write buffer of 0 bytes, offset clamped", {},
         [](DRIVE *d, unsigned char *b) { return scsi_write_buffer(d, b, 0, 4, 0x1000000, 0); },
         "3B 04 00 FF FF FF 00 00 00 00", kOut, 0},
        {"write buffer chunk", {},
         [](DRIVE *d, unsigned char *b) { return scsi_write_buffer(d, b, 0x1FE, 0x25, 0x100, 0x8000); },
         "3B 05 FE 00 01 00 00 80 00 00", kOut, 0x8000},
        {"read buffer clamps to 24 bits", {},
         [](DRIVE *d, unsigned char *b) { return scsi_read_buffer(d, b, 1, 2, 0x100, 0x1000000); },
         "3C 02 01 00 01 00 FF FF FF 00", kIn, 0xFFFFFF},
        {"report density support", {},
         [](DRIVE *d, unsigned char *b) { return scsi_ext_report_density_support(d, 1, 3, b, 0x10000); },
         "44 03 00 00 00 00 00 FF FF 00", kIn, 0xFFFF},
        {"log select", {},
         [](DRIVE *d, unsigned char *b) { return scsi_ext_log_select(d, 3, 5, b, 0x10); },
         "4C 02 40 00 00 00 00 00 10 00", kOut, 0x10},
        {"log sense length spills into the parameter pointer", {},
         [](DRIVE *d, unsigned char *b) { return scsi_ext_log_sense(d, 1, 0x72, b, 0x12345); },
         "4D 00 72 00 00 00 01 23 45 00", kIn, 0x12345},
        {"log sense", {},
         [](DRIVE *d, unsigned char *b) { return scsi_ext_log_sense(d, 1, 0x31, b, 0x400); },
         "4D 00 71 00 00 00 00 04 00 00", kIn, 0x400},
        {"persistent reserve in", {},
         [](DRIVE *d, unsigned char *b) { return scsi_persistent_reserve_in(d, 0x21, u8(b), 0x10000); },
         "5E 01 00 00 00 00 00 FF FF 00", kIn, 0xFFFF},
        {"persistent reserve out", {},
         [](DRIVE *d, unsigned char *b) { return scsi_persistent_reserve_out(d, 1, 0x12, 0x13, u8(b), 24); },
         "5F 01 23 00 00 00 00 00 18 00", kOut, 24},
        {"read attribute", link(0x42),
         [](DRIVE *d, unsigned char *b) { return scsi_read_attribute(d, 0x21, 0x101, 0x102, 0x10000, b, 0x123); },
         "8C 01 00 00 00 01 00 02 FF FF 00 00 01 23 00 42", kIn, 0x123},
        {"write attribute", {},
         [](DRIVE *d, unsigned char *b) { return scsi_write_attribute(d, 1, 0, b, 40); },
         "8D 00 00 00 00 01 00 00 00 00 00 00 00 28 00 00", kOut, 40},
        {"locate(16) current partition", imm(),
         [](DRIVE *d, unsigned char *) { return scsi_ext_locate(d, 0x0102030405060708LL, 0x1F, 2, 3); },
         "92 19 01 00 01 02 03 04 05 06 07 08 00 00 00 00", kNone, 0},
        {"locate(16) partition 1", {},
         [](DRIVE *d, unsigned char *) { return scsi_ext_locate(d, -1, 1, 1, 0); },
         "92 0A 00 01 FF FF FF FF FF FF FF FF 00 00 00 00", kNone, 0},
        {"report luns, 32-bit length", {},
         [](DRIVE *d, unsigned char *b) { return scsi_report_luns(d, b, 0x10010); },
         "A0 00 00 00 00 00 00 01 00 10 00 00", kIn, 0x10010},
        {"security protocol in", {},
         [](DRIVE *d, unsigned char *b) { return scsi_security_protocol_in(d, 0x1EF, 0x12345, u8(b), 512); },
         "A2 EF 23 45 00 00 00 00 02 00 00 00", kIn, 512},
        {"security protocol out", {},
         [](DRIVE *d, unsigned char *b) { return scsi_security_protocol_out(d, 0x20, 1, u8(b), 16); },
         "B5 20 00 01 00 00 00 00 00 10 00 00", kOut, 16},
        {"report device identifier", {},
         [](DRIVE *d, unsigned char *b) { return scsi_report_device_identifier(d, u8(b), 64); },
         "A3 05 00 00 00 00 00 00 00 40 00 00", kIn, 64},
        {"set device identifier", {},
         [](DRIVE *d, unsigned char *b) { return scsi_set_device_identifier(d, u8(b), 8); },
         "A4 06 00 00 00 00 00 00 00 08 00 00", kOut, 8},
        {"move medium", {},
         [](DRIVE *d, unsigned char *) { return scsi_ext_move_medium(d, 0x10001, 0x1234, 0xABCD); },
         "A5 00 00 01 12 34 AB CD 00 00 00 00", kNone, 0},
        {"read media serial number", {},
         [](DRIVE *d, unsigned char *b) { return scsi_read_media_serialno(d, u8(b), 0x30); },
         "AB 01 00 00 00 00 00 00 00 30 00 00", kIn, 0x30},
        {"read element status clamps to 24 bits", {},
         [](DRIVE *d, unsigned char *b) { return scsi_read_element_status(d, 0x13, 0x1001, 0x20, b, 0x1000000); },
         "B8 03 10 01 00 20 00 FF FF FF 00 00", kIn, 0xFFFFFF},
        // The pass-through: the caller's CDB unchanged, the direction from the opcode table.
        {"pass-through Read(16) has no transfer direction", link(0x55),
         [](DRIVE *d, unsigned char *b) {
             unsigned char cdb[16] = {0x88, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 7};
             return scsi_general(d, cdb, 16, b, 512);
         },
         "88 00 00 00 00 00 00 00 00 00 00 00 00 01 00 07", kNone, 512},
        {"pass-through unnamed opcode", {},
         [](DRIVE *d, unsigned char *b) {
             unsigned char cdb[6] = {0x06, 1, 2, 3, 4, 5};
             return scsi_general(d, cdb, 6, b, 4);
         },
         "06 01 02 03 04 05", kNone, 4},
        {"pass-through read buffer", {},
         [](DRIVE *d, unsigned char *b) {
             unsigned char cdb[10] = {0x3C, 2, 0, 0, 0, 0, 0, 0, 0x40, 0};
             return scsi_general(d, cdb, 10, b, 64);
         },
         "3C 02 00 00 00 00 00 00 40 00", kIn, 64},
        {"pass-through maintenance out sends its data", {},
         [](DRIVE *d, unsigned char *b) {
             unsigned char cdb[12] = {0xA4, 0x1F, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0};
             return scsi_general(d, cdb, 12, b, 8);
         },
         "A4 1F 00 00 00 00 00 00 00 08 00 00", kOut, 8},
        {"pass-through of one byte", {},
         [](DRIVE *d, unsigned char *b) {
             unsigned char cdb[1] = {0x00};
             return scsi_general(d, cdb, 1, b, 0);
         },
         "00", kNone, 0},
    };
    return r;
}

TEST_F(Commands, EveryBuilderLaysOutItsCdb)
{
    unsigned char *buf = pattern().data();
    for (const Row &row : rows()) {
        SCOPED_TRACE(row.what);
        apply(row.opts);
        size_t before = sent();
        row.call(&drv, buf);
        ASSERT_EQ(sent(), before + 1);
        const kvemu::Command &c = kvemu::node(0)->commands.back();
        EXPECT_EQ(kvemu::to_hex(c.cdb.data(), c.cdb.size()), row.cdb);
        EXPECT_EQ(c.dxfer_direction, row.dir);
        EXPECT_EQ(c.dxfer_len, row.len);
        if (row.dir == kOut) {
            ASSERT_EQ(c.data_out.size(), row.len);
            EXPECT_TRUE(std::equal(c.data_out.begin(), c.data_out.end(), buf));
        } else {
            EXPECT_TRUE(c.data_out.empty());
        }
    }
}

// Lengths a field cannot carry and CDBs that do not fit are refused before
// anything reaches the drive.
TEST_F(Commands, RefusedRequestsSendNothing)
{
    unsigned char *b = pattern().data();
    unsigned char cdb[17] = {0x12, 0, 0, 0, 0x60, 0};
    const std::vector<std::pair<const char *, std::function<int32()>>> refused = {
        {"request sense", [&] { return scsi_request_sense(&drv, b, -1); }},
        {"read", [&] { return scsi_read(&drv, b, -1); }},
        {"write", [&] { return scsi_write(&drv, b, -5); }},
        {"inquiry", [&] { return scsi_evpd_inquiry(&drv, 0, 0, b, -1); }},
        {"ext inquiry", [&] { return scsi_ext_inquiry(&drv, 0, 0, 0, b, -1); }},
        {"verify", [&] { return scsi_verify(&drv, 1, b, -1); }},
        {"mode select", [&] { return scsi_mode_select(&drv, b, -1); }},
        {"mode sense", [&] { return scsi_ext_mode_sense_subpage(&drv, 0, 0, 0, 0, b, -1); }},
        {"receive diag", [&] { return scsi_receive_diagnostic_results(&drv, 1, 0, b, -1); }},
        {"send diag", [&] { return scsi_send_diagnostic_page(&drv, 1, b, -1); }},
        {"media census", [&] { return scsi_media_census(&drv, b, -1); }},
        {"read position", [&] { return scsi_read_position(&drv, 0, b, -1); }},
        {"write buffer", [&] { return scsi_write_buffer(&drv, b, 0, 4, 0, -1); }},
        {"read buffer", [&] { return scsi_read_buffer(&drv, b, 0, 2, 0, -1); }},
        {"density", [&] { return scsi_ext_report_density_support(&drv, 0, 0, b, -1); }},
        {"log select", [&] { return scsi_ext_log_select(&drv, 1, 1, b, -1); }},
        {"log sense", [&] { return scsi_ext_log_sense(&drv, 1, 0, b, -1); }},
        {"pr in", [&] { return scsi_persistent_reserve_in(&drv, 0, b, -1); }},
        {"pr out", [&] { return scsi_persistent_reserve_out(&drv, 0, 0, 0, b, -1); }},
        {"read attribute", [&] { return scsi_read_attribute(&drv, 0, 0, 0, 0, b, -1); }},
        {"write attribute", [&] { return scsi_write_attribute(&drv, 0, 0, b, -1); }},
        {"report luns", [&] { return scsi_report_luns(&drv, b, -1); }},
        {"security in", [&] { return scsi_security_protocol_in(&drv, 0, 0, b, -1); }},
        {"security out", [&] { return scsi_security_protocol_out(&drv, 0, 0, b, -1); }},
        {"report identifier", [&] { return scsi_report_device_identifier(&drv, b, -1); }},
        {"set identifier", [&] { return scsi_set_device_identifier(&drv, b, -1); }},
        {"media serial", [&] { return scsi_read_media_serialno(&drv, b, -1); }},
        {"element status", [&] { return scsi_read_element_status(&drv, 0, 0, 0, b, -1); }},
        {"general, empty CDB", [&] { return scsi_general(&drv, cdb, 0, b, 0); }},
        {"general, negative CDB length", [&] { return scsi_general(&drv, cdb, -1, b, 0); }},
        {"general, 17-byte CDB", [&] { return scsi_general(&drv, cdb, 17, b, 0); }},
        {"general, no CDB", [&] { return scsi_general(&drv, nullptr, 6, b, 0); }},
        {"general, negative data length", [&] { return scsi_general(&drv, cdb, 6, b, -1); }},
        // A fixed-block count whose byte length does not fit a transfer length.
        {"read, fixed overflow", [&] { drv.fixed = 1; drv.fixed_rec_size = 0x1000;
                                       return scsi_read(&drv, b, 0x800000); }},
        {"write, negative record size", [&] { drv.fixed = 1; drv.fixed_rec_size = -1;
                                              return scsi_write(&drv, b, 1); }},
        {"verify, fixed overflow", [&] { drv.fixed = 1; drv.fixed_rec_size = 0x1000;
                                         return scsi_verify(&drv, 1, b, 0xFFFFFF); }},
    };
    for (const auto &r : refused) {
        SCOPED_TRACE(r.first);
        apply({});
        size_t before = sent();
        EXPECT_EQ(r.second(), -1);
        EXPECT_EQ(sent(), before);
        EXPECT_EQ(drv.driver_status, 0xFF);
        EXPECT_EQ(drv.scsi_status, 0xFF);
    }
    // A verify without compare moves no data, so the record size is not consulted.
    drv.fixed = 1;
    drv.fixed_rec_size = 0x1000;
    size_t before = sent();
    scsi_verify(&drv, 0, b, 0xFFFFFF);
    EXPECT_EQ(sent(), before + 1);
}

TEST_F(Commands, ResultIsTheByteCountTransferred)
{
    open_bus(std::string(kBus) + "reply.3C = 01 02 03 04\n");
    unsigned char buf[256];
    EXPECT_EQ(scsi_test_unit_ready(&drv), 0);
    EXPECT_EQ(scsi_evpd_inquiry(&drv, 0, 0, buf, 256), 96);
    EXPECT_EQ(scsi_read_buffer(&drv, buf, 0, 2, 0, 64), 4);
    unsigned char cdb[10] = {0x3C, 2, 0, 0, 0, 0, 0, 0, 0x40, 0};
    EXPECT_EQ(scsi_general(&drv, cdb, 10, buf, 64), 4);
    EXPECT_EQ(buf[3], 0x04);
    // A command the drive refuses gives -1 whatever it asked for.
    EXPECT_EQ(scsi_rewind(&drv), -1);
    EXPECT_EQ(drv.scsi_status, 2);
}

TEST_F(Commands, RequestBlockAddressReturnsTheAddress)
{
    struct Case {
        const char *reply;  // data-in of REQUEST BLOCK ADDRESS, or none: refused
        int32 expect;
    };
    const Case cases[] = {
        {"12 34 56", 0x123456},
        {"FF FF FF", 0xFFFFFF},
        {"12 34", 0},  // any other count is no address
        {"", 0},
        {nullptr, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply ? c.reply : "refused");
        std::string bus = kBus;
        if (c.reply)
            bus += std::string("reply.02 = ") + c.reply + "\n";
        open_bus(bus);
        EXPECT_EQ(scsi_request_block_address(&drv), c.expect);
    }
}

}  // namespace
