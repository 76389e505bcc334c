// The command builders, checked through what the emulated drive received: the
// CDB bytes, the transfer direction and length asked of the driver, and the
// data-out bytes.
#include <scsi/sg.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bus_text.h"
#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

namespace {

constexpr int kNone = SG_DXFER_NONE;
constexpr int kIn = SG_DXFER_FROM_DEV;
constexpr int kOut = SG_DXFER_TO_DEV;

const std::string kBus = bus_text::device(
    {{"host", 0}, {"target", 0}, {"type", 1}, {"vendor", "KV"}, {"product", "TESTDRIVE"}});

// Per-handle options a row sets before its call.
struct Opts {
    boolean immediate, sili, fixed;
    int32 rec, link;
};
Opts opts(boolean i, boolean s, boolean f, int32 rec, int32 link) { return {i, s, f, rec, link}; }
Opts imm() { return opts(1, 0, 0, 0, 0); }
Opts link(int32 v) { return opts(0, 0, 0, 0, v); }
Opts fixed(int32 rec, boolean f = 1) { return opts(0, 0, f, rec, 0); }
Opts sili(boolean v) { return opts(0, v, 0, 0, 0); }

using Call = std::function<int32(DRIVE *, unsigned char *)>;
// clang-format off
#define CALL(expr) [](DRIVE *d, unsigned char *b) { (void)b; return expr; }
// clang-format on

struct Row {
    const char *what;
    Opts opts;
    Call call;
    const char *cdb;
    int dir;
    uint32_t len;
};

// Big enough for the widest 24-bit transfer.
unsigned char *pattern()
{
    static std::vector<unsigned char> p = [] {
        std::vector<unsigned char> v(0x1000000 + 16);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<unsigned char>(i * 7 + 1);
        return v;
    }();
    return p.data();
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

// The pass-through sends the caller's CDB as it stands.
template <size_t N>
int32 general(DRIVE *d, unsigned char *b, const unsigned char (&cdb)[N], int32 len)
{
    unsigned char copy[N];
    std::copy(cdb, cdb + N, copy);
    return scsi_general(d, copy, static_cast<int32>(N), b, len);
}

const std::vector<Row> &rows()
{
    static const unsigned char read16[16] = {0x88, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 7};
    static const unsigned char unnamed[6] = {0x06, 1, 2, 3, 4, 5};
    static const unsigned char rdbuf[10] = {0x3C, 2, 0, 0, 0, 0, 0, 0, 0x40, 0};
    static const unsigned char maint[12] = {0xA4, 0x1F, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0};
    static const unsigned char tur1[1] = {0x00};
    // clang-format off
    static const std::vector<Row> r = {
        {"test unit ready", {}, CALL(scsi_test_unit_ready(d)), "00 00 00 00 00 00", kNone, 0},
        {"control byte is the low byte of link", link(0x1C3), CALL(scsi_test_unit_ready(d)),
         "00 00 00 00 00 C3", kNone, 0},
        {"rewind immediate", imm(), CALL(scsi_rewind(d)), "01 01 00 00 00 00", kNone, 0},
        {"immediate 2 is not set", opts(2, 0, 0, 0, 0), CALL(scsi_rewind(d)),
         "01 00 00 00 00 00", kNone, 0},
        {"request block address", {}, CALL(scsi_request_block_address(d)), "02 00 00 00 03 00", kIn, 3},
        {"request sense", {}, CALL(scsi_request_sense(d, b, 18)), "03 00 00 00 12 00", kIn, 18},
        {"request sense 256 asks 255", {}, CALL(scsi_request_sense(d, b, 256)),
         "03 00 00 00 FF 00", kIn, 255},
        {"format medium masks the control", imm(), CALL(scsi_format_medium(d, 0x1F)),
         "04 01 0F 00 00 00", kNone, 0},
        {"read block limits ignores the length", {}, CALL(scsi_read_block_limits(d, b, 100)),
         "05 00 00 00 00 00", kIn, 6},
        {"read fixed blocks of 512", fixed(512), CALL(scsi_read(d, b, 10)), "08 01 00 00 0A 00", kIn, 5120},
        {"read variable with sili", sili(1), CALL(scsi_read(d, b, 100)), "08 02 00 00 64 00", kIn, 100},
        {"read with sili 2 has no sili bit", sili(2), CALL(scsi_read(d, b, 100)),
         "08 00 00 00 64 00", kIn, 100},
        {"read fixed with sili", opts(0, 1, 1, 4, 0), CALL(scsi_read(d, b, 3)),
         "08 03 00 00 03 00", kIn, 12},
        {"fixed 2 multiplies without the fixed bit", fixed(512, 2), CALL(scsi_read(d, b, 2)),
         "08 00 00 00 02 00", kIn, 1024},
        {"read clamps to 24 bits", {}, CALL(scsi_read(d, b, 0x1000000)), "08 00 FF FF FF 00", kIn, 0xFFFFFF},
        {"write variable", link(5), CALL(scsi_write(d, b, 300)), "0A 00 00 01 2C 05", kOut, 300},
        {"write fixed", fixed(512), CALL(scsi_write(d, b, 2)), "0A 01 00 00 02 00", kOut, 1024},
        {"set capacity over 16 bits", imm(), CALL(scsi_set_capacity(d, 0x70000)),
         "0B 01 00 FF FF 00", kNone, 0},
        {"set capacity", {}, CALL(scsi_set_capacity(d, 0x1234)), "0B 00 00 12 34 00", kNone, 0},
        {"seek block beyond 24 bits goes to 0", {}, CALL(scsi_seek_block(d, 0x1000000)),
         "0C 00 00 00 00 00", kNone, 0},
        {"seek block", imm(), CALL(scsi_seek_block(d, 0x123456)), "0C 01 12 34 56 00", kNone, 0},
        {"seek block at the 24-bit limit", {}, CALL(scsi_seek_block(d, 0xFFFFFF)), "0C 00 FF FF FF 00", kNone, 0},
        {"write setmarks immediate", imm(), CALL(scsi_write_marks(d, 0x1000002, 3)),
         "10 03 00 00 02 00", kNone, 0},
        {"space backwards", {}, CALL(scsi_space(d, -1, 9)), "11 01 FF FF FF 00", kNone, 0},
        {"standard inquiry of 256 asks 255", {}, CALL(scsi_evpd_inquiry(d, 0, 0, b, 256)),
         "12 00 00 00 FF 00", kIn, 255},
        {"vendor page inquiry", {}, CALL(scsi_evpd_inquiry(d, 3, 0x1C0, b, 0x60)),
         "12 01 C0 00 60 00", kIn, 0x60},
        {"extended inquiry clamps to 16 bits", {}, CALL(scsi_ext_inquiry(d, 1, 3, 0x83, b, 0x12345)),
         "12 03 83 FF FF 00", kIn, 0xFFFF},
        {"verify without compare sends nothing", fixed(512), CALL(scsi_verify(d, 0, b, 10)),
         "13 01 00 00 0A 00", kOut, 0},
        {"verify with compare", {}, CALL(scsi_verify(d, 1, b, 4)), "13 02 00 00 04 00", kOut, 4},
        {"verify with compare, fixed", fixed(8), CALL(scsi_verify(d, 1, b, 2)),
         "13 03 00 00 02 00", kOut, 16},
        {"mode select 300 sends 255", {}, CALL(scsi_mode_select(d, b, 300)), "15 10 00 00 FF 00", kOut, 255},
        {"reserve with no third party", {}, CALL(scsi_reserve_unit_thirdparty(d, 255)),
         "16 00 00 00 00 00", kNone, 0},
        {"reserve for id 3", {}, CALL(scsi_reserve_unit_thirdparty(d, 3)), "16 16 00 00 00 00", kNone, 0},
        {"reserve keeps three id bits", {}, CALL(scsi_reserve_unit_thirdparty(d, 0x0F)),
         "16 1E 00 00 00 00", kNone, 0},
        {"release with no third party", {}, CALL(scsi_release_unit_thirdparty(d, 255)),
         "17 00 00 00 00 00", kNone, 0},
        {"release for id 2", {}, CALL(scsi_release_unit_thirdparty(d, 2)), "17 14 00 00 00 00", kNone, 0},
        {"long erase immediate uses bit 1", imm(), CALL(scsi_erase(d, 3)), "19 03 00 00 00 00", kNone, 0},
        {"mode sense masks", {}, CALL(scsi_ext_mode_sense_subpage(d, 3, 7, 0x7F, 0x1F0, b, 256)),
         "1A 08 FF F0 FF 00", kIn, 255},
        {"load unload keeps two link bits beside the magazine bit", opts(1, 0, 0, 0, 0xC3),
         CALL(scsi_load_unload(d, 0x12345, 0x101, 1)),
         "1B 01 23 45 01 83", kNone, 0},
        {"load unload without magazine", link(4), CALL(scsi_load_unload(d, 0, 1, 0)),
         "1B 00 00 00 01 00", kNone, 0},
        {"receive diagnostic clamps to 16 bits", {},
         CALL(scsi_receive_diagnostic_results(d, 1, 0x80, b, 0x10000)),
         "1C 01 80 FF FF 00", kIn, 0xFFFF},
        {"receive diagnostic without page code", {}, CALL(scsi_receive_diagnostic_results(d, 0, 0x31, b, 8)),
         "1C 00 31 00 08 00", kIn, 8},
        {"send diagnostic passes byte 1", {}, CALL(scsi_send_diagnostic_page(d, 0x11, b, 20)),
         "1D 11 00 00 14 00", kOut, 20},
        {"prevent cassette removal", {}, CALL(scsi_prev_allow_media_removal(d, 3, 2)),
         "1E 00 00 00 01 00", kNone, 0},
        {"media census clamps to 16 bits", {}, CALL(scsi_media_census(d, b, 0x20000)),
         "1F 00 00 FF FF 00", kIn, 0xFFFF},
        {"locate in the current partition", imm(), CALL(scsi_locate(d, 0x01020304, 1, 2)),
         "2B 05 00 01 02 03 04 00 00 00", kNone, 0},
        {"locate in partition 1", link(9), CALL(scsi_locate(d, -2, 0, 1)),
         "2B 02 00 FF FF FF FE 00 01 09", kNone, 0},
        {"locate in partition 3 takes its bit 0", {}, CALL(scsi_locate(d, 5, 0, 3)),
         "2B 02 00 00 00 00 05 00 01 00", kNone, 0},
        {"read position carries no length", {}, CALL(scsi_read_position(d, 1, b, 20)),
         "34 01 00 00 00 00 00 00 00 00", kIn, 20},
        {"closing write buffer of 0 bytes, offset clamped", {},
         CALL(scsi_write_buffer(d, b, 0, 4, 0x1000000, 0)),
         "3B 04 00 FF FF FF 00 00 00 00", kOut, 0},
        {"write buffer chunk", {}, CALL(scsi_write_buffer(d, b, 0x1FE, 0x25, 0x100, 0x8000)),
         "3B 05 FE 00 01 00 00 80 00 00", kOut, 0x8000},
        {"read buffer clamps to 24 bits", {}, CALL(scsi_read_buffer(d, b, 1, 2, 0x100, 0x1000000)),
         "3C 02 01 00 01 00 FF FF FF 00", kIn, 0xFFFFFF},
        {"report density support", {}, CALL(scsi_ext_report_density_support(d, 1, 3, b, 0x10000)),
         "44 03 00 00 00 00 00 FF FF 00", kIn, 0xFFFF},
        {"log select", {}, CALL(scsi_ext_log_select(d, 3, 5, b, 0x10)),
         "4C 02 40 00 00 00 00 00 10 00", kOut, 0x10},
        {"log sense length spills into the parameter pointer", {},
         CALL(scsi_ext_log_sense(d, 1, 0x72, b, 0x12345)),
         "4D 00 72 00 00 00 01 23 45 00", kIn, 0x12345},
        {"log sense", {}, CALL(scsi_ext_log_sense(d, 1, 0x31, b, 0x400)),
         "4D 00 71 00 00 00 00 04 00 00", kIn, 0x400},
        {"persistent reserve in", {}, CALL(scsi_persistent_reserve_in(d, 0x21, b, 0x10000)),
         "5E 01 00 00 00 00 00 FF FF 00", kIn, 0xFFFF},
        {"persistent reserve out", {}, CALL(scsi_persistent_reserve_out(d, 1, 0x12, 0x13, b, 24)),
         "5F 01 23 00 00 00 00 00 18 00", kOut, 24},
        {"read attribute", link(0x42), CALL(scsi_read_attribute(d, 0x21, 0x101, 0x102, 0x10000, b, 0x123)),
         "8C 01 00 00 00 01 00 02 FF FF 00 00 01 23 00 42", kIn, 0x123},
        {"write attribute", {}, CALL(scsi_write_attribute(d, 1, 0, b, 40)),
         "8D 00 00 00 00 01 00 00 00 00 00 00 00 28 00 00", kOut, 40},
        {"locate(16) current partition", imm(), CALL(scsi_ext_locate(d, 0x0102030405060708LL, 0x1F, 2, 3)),
         "92 19 01 00 01 02 03 04 05 06 07 08 00 00 00 00", kNone, 0},
        {"locate(16) partition 1", {}, CALL(scsi_ext_locate(d, -1, 1, 1, 0)),
         "92 0A 00 01 FF FF FF FF FF FF FF FF 00 00 00 00", kNone, 0},
        {"report luns, 32-bit length", {}, CALL(scsi_report_luns(d, b, 0x10010)),
         "A0 00 00 00 00 00 00 01 00 10 00 00", kIn, 0x10010},
        {"security protocol in", {}, CALL(scsi_security_protocol_in(d, 0x1EF, 0x12345, b, 512)),
         "A2 EF 23 45 00 00 00 00 02 00 00 00", kIn, 512},
        {"security protocol out", {}, CALL(scsi_security_protocol_out(d, 0x20, 1, b, 16)),
         "B5 20 00 01 00 00 00 00 00 10 00 00", kOut, 16},
        {"report device identifier", {}, CALL(scsi_report_device_identifier(d, b, 64)),
         "A3 05 00 00 00 00 00 00 00 40 00 00", kIn, 64},
        {"set device identifier", {}, CALL(scsi_set_device_identifier(d, b, 8)),
         "A4 06 00 00 00 00 00 00 00 08 00 00", kOut, 8},
        {"move medium", {}, CALL(scsi_ext_move_medium(d, 0x10001, 0x1234, 0xABCD)),
         "A5 00 00 01 12 34 AB CD 00 00 00 00", kNone, 0},
        {"read media serial number", {}, CALL(scsi_read_media_serialno(d, b, 0x30)),
         "AB 01 00 00 00 00 00 00 00 30 00 00", kIn, 0x30},
        {"read element status clamps to 24 bits", {},
         CALL(scsi_read_element_status(d, 0x13, 0x1001, 0x20, b, 0x1000000)),
         "B8 03 10 01 00 20 00 FF FF FF 00 00", kIn, 0xFFFFFF},
        // The pass-through: the caller's CDB unchanged, the direction from the opcode table.
        {"pass-through Read(16) has no transfer direction", link(0x55),
         CALL(general(d, b, read16, 512)), "88 00 00 00 00 00 00 00 00 00 00 00 00 01 00 07", kNone, 512},
        {"pass-through unnamed opcode", {}, CALL(general(d, b, unnamed, 4)), "06 01 02 03 04 05", kNone, 4},
        {"pass-through read buffer", {}, CALL(general(d, b, rdbuf, 64)),
         "3C 02 00 00 00 00 00 00 40 00", kIn, 64},
        {"pass-through maintenance out sends its data", {}, CALL(general(d, b, maint, 8)),
         "A4 1F 00 00 00 00 00 00 00 08 00 00", kOut, 8},
        {"pass-through of one byte", {}, CALL(general(d, b, tur1, 0)), "00", kNone, 0},
        // clang-format on
    };
    return r;
}

TEST_F(Commands, EveryBuilderLaysOutItsCdb)
{
    unsigned char *buf = pattern();
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
        size_t out = row.dir == kOut ? row.len : 0;
        ASSERT_EQ(c.data_out.size(), out);
        EXPECT_TRUE(std::equal(c.data_out.begin(), c.data_out.end(), buf));
    }
}

// Negative lengths, CDBs that do not fit and fixed-block byte counts beyond a
// transfer length are refused before anything reaches the drive.
TEST_F(Commands, RefusedRequestsSendNothing)
{
    unsigned char *b = pattern();
    unsigned char cdb[17] = {0x12, 0, 0, 0, 0x60, 0};
    DRIVE *d = &drv;
    // clang-format off
    const std::vector<std::function<int32()>> refused = {
        [&] { return scsi_request_sense(d, b, -1); },
        [&] { return scsi_read(d, b, -1); },
        [&] { return scsi_write(d, b, -5); },
        [&] { return scsi_evpd_inquiry(d, 0, 0, b, -1); },
        [&] { return scsi_ext_inquiry(d, 0, 0, 0, b, -1); },
        [&] { return scsi_verify(d, 1, b, -1); },
        [&] { return scsi_mode_select(d, b, -1); },
        [&] { return scsi_ext_mode_sense_subpage(d, 0, 0, 0, 0, b, -1); },
        [&] { return scsi_receive_diagnostic_results(d, 1, 0, b, -1); },
        [&] { return scsi_send_diagnostic_page(d, 1, b, -1); },
        [&] { return scsi_media_census(d, b, -1); },
        [&] { return scsi_read_position(d, 0, b, -1); },
        [&] { return scsi_write_buffer(d, b, 0, 4, 0, -1); },
        [&] { return scsi_read_buffer(d, b, 0, 2, 0, -1); },
        [&] { return scsi_ext_report_density_support(d, 0, 0, b, -1); },
        [&] { return scsi_ext_log_select(d, 1, 1, b, -1); },
        [&] { return scsi_ext_log_sense(d, 1, 0, b, -1); },
        [&] { return scsi_persistent_reserve_in(d, 0, b, -1); },
        [&] { return scsi_persistent_reserve_out(d, 0, 0, 0, b, -1); },
        [&] { return scsi_read_attribute(d, 0, 0, 0, 0, b, -1); },
        [&] { return scsi_write_attribute(d, 0, 0, b, -1); },
        [&] { return scsi_report_luns(d, b, -1); },
        [&] { return scsi_security_protocol_in(d, 0, 0, b, -1); },
        [&] { return scsi_security_protocol_out(d, 0, 0, b, -1); },
        [&] { return scsi_report_device_identifier(d, b, -1); },
        [&] { return scsi_set_device_identifier(d, b, -1); },
        [&] { return scsi_read_media_serialno(d, b, -1); },
        [&] { return scsi_read_element_status(d, 0, 0, 0, b, -1); },
        [&] { return scsi_general(d, cdb, 0, b, 0); },
        [&] { return scsi_general(d, cdb, -1, b, 0); },
        [&] { return scsi_general(d, cdb, 17, b, 0); },
        [&] { return scsi_general(d, nullptr, 6, b, 0); },
        [&] { return scsi_general(d, cdb, 6, b, -1); },
        [&] { apply(fixed(0x1000)); return scsi_read(d, b, 0x800000); },
        [&] { apply(fixed(-1)); return scsi_write(d, b, 1); },
        [&] { apply(fixed(0x1000)); return scsi_verify(d, 1, b, 0xFFFFFF); },
    };
    // clang-format on
    for (size_t i = 0; i < refused.size(); ++i) {
        SCOPED_TRACE(i);
        apply({});
        size_t before = sent();
        EXPECT_EQ(refused[i](), -1);
        EXPECT_EQ(sent(), before);
        EXPECT_EQ(drv.driver_status, 0xFF);
        EXPECT_EQ(drv.scsi_status, 0xFF);
    }
    // A verify without compare moves no data, so the record size does not matter.
    apply(fixed(0x1000));
    scsi_verify(d, 0, b, 0xFFFFFF);
    EXPECT_EQ(kvemu::node(0)->commands.back().dxfer_len, 0u);
}

TEST_F(Commands, ResultIsTheByteCountTransferred)
{
    open_bus(kBus + "reply.3C = 01 02 03 04\n");
    unsigned char buf[256];
    EXPECT_EQ(scsi_test_unit_ready(&drv), 0);
    EXPECT_EQ(scsi_evpd_inquiry(&drv, 0, 0, buf, 256), 96);
    EXPECT_EQ(scsi_read_buffer(&drv, buf, 0, 2, 0, 64), 4);
    unsigned char cdb[10] = {0x3C, 2, 0, 0, 0, 0, 0, 0, 0x40, 0};
    EXPECT_EQ(scsi_general(&drv, cdb, 10, buf, 64), 4);
    EXPECT_EQ(buf[3], 0x04);
    // A buffer larger than the CDB's allocation length gets no more than it.
    unsigned char inquiry[6] = {0x12, 0, 0, 0, 8, 0};
    EXPECT_EQ(scsi_general(&drv, inquiry, 6, buf, 64), 8);
    EXPECT_EQ(kvemu::node(0)->commands.back().dxfer_len, 64u);
    // A command the drive refuses gives -1 whatever it asked for.
    EXPECT_EQ(scsi_rewind(&drv), -1);
    EXPECT_EQ(drv.scsi_status, 2);
}

// LOG SENSE sends its length whole across bytes 5-8: past FFFFh the allocation
// length keeps only the low half, so the drive answers far less than the buffer.
TEST_F(Commands, LogSenseBeyondSixteenBitsGetsOnlyTheLowHalf)
{
    kvemu::Bytes page(4 + 0x2C, 0);
    page[0] = 0x31;
    page[3] = 0x2C;
    open_bus(kBus + bus_text::bytes_key("reply.4d", page));
    std::vector<unsigned char> buf(0x10020);
    EXPECT_EQ(scsi_ext_log_sense(&drv, 1, 0x31, buf.data(), 0x10020), 0x20);
    EXPECT_EQ(kvemu::to_hex(kvemu::node(0)->commands.back().cdb.data(), 10), "4D 00 71 00 00 00 01 00 20 00");
}

TEST_F(Commands, RequestBlockAddressReturnsTheAddress)
{
    // Data-in of REQUEST BLOCK ADDRESS (none: the drive refuses it) and the result.
    const std::pair<const char *, int32> cases[] = {
        {"12 34 56", 0x123456}, {"FF FF FF", 0xFFFFFF}, {"12 34", 0}, {"", 0}, {nullptr, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first ? c.first : "refused");
        open_bus(kBus + (c.first ? bus_text::keys({{"reply.02", c.first}}) : ""));
        EXPECT_EQ(scsi_request_block_address(&drv), c.second);
    }
}

}  // namespace
