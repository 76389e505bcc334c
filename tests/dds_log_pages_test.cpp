// DDS log-page readers and the tape-format cache, through the emulated drive:
// each page decoded field by field from an image built here, the C1 error
// rates, the TapeAlert table, and replies too short for their fields.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ddslib.h"
#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

namespace {

using kvemu::Bytes;

// A log page image: header with page code and length, fields put big-endian.
struct Page {
    Bytes b;
    Page(int code, size_t size) : b(size, 0)
    {
        b[0] = static_cast<uint8_t>(code);
        b[2] = static_cast<uint8_t>((size - 4) >> 8);
        b[3] = static_cast<uint8_t>(size - 4);
    }
    Page &put(size_t at, uint32_t value, int width)
    {
        for (int i = 0; i < width; ++i)
            b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
        return *this;
    }
    std::string key() const
    {
        char k[32];
        std::snprintf(k, sizeof k, "log.%02x = ", b[0]);
        return k + kvemu::to_hex(b.data(), b.size()) + "\n";
    }
};

class DdsLogPages : public ::testing::Test {
protected:
    void SetUp() override { dds_set_tape_format(0); }

    void open_drive(const std::string &extra = "")
    {
        kvemu::load_bus_text("[device]\nhost = 0\ntarget = 2\ntype = 1\nmodel = dds_pages\n" + extra);
        drv = DRIVE{};
        drv.bus_addr = 2;
        ASSERT_EQ(scsi_open_device(&drv), 0);
        kvemu::clear_trace();
    }

    void TearDown() override
    {
        if (drv.fd >= 0 && kvemu::bus_loaded())
            scsi_close_device(&drv);
        if (logfp)
            std::fclose(logfp);
        std::free(logbuf);
        logfp = nullptr;
        logbuf = nullptr;
        kvemu::unload_bus();
    }

    std::vector<std::string> commands() const
    {
        std::vector<std::string> out;
        for (const auto &l : kvemu::trace())
            if (l.rfind("cmd ", 0) == 0)
                out.push_back(l);
        return out;
    }

    std::string log_lines(log_level_type level, const std::function<void()> &run)
    {
        logfp = open_memstream(&logbuf, &loglen);
        scsi_set_timedate_format("T");
        scsi_configure_logging(&drv, logfp, level);
        run();
        std::fflush(logfp);
        return std::string(logbuf, loglen);
    }

    DRIVE drv{};
    FILE *logfp = nullptr;
    char *logbuf = nullptr;
    size_t loglen = 0;
};

TEST_F(DdsLogPages, ErrorCounters)
{
    Page p(0x03, 32);
    p.put(8, 0xBEEF, 2).put(14, 0x80000001u, 4).put(22, 123456789, 4).put(30, 0x0102, 2);
    open_drive(p.key());
    int32 soft = 0, retries = 0, groups = 0, hard = 0;
    ASSERT_EQ(dds_get_errcounters(&drv, 0x03, &soft, &retries, &groups, &hard), 0);
    EXPECT_EQ(soft, 0xBEEF);
    EXPECT_EQ(retries, static_cast<int32>(0x80000001u));
    EXPECT_EQ(groups, 123456789);
    EXPECT_EQ(hard, 0x0102);
    EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 4D 00 43 00 00 00 00 00 20 00"});
}

Page c1_page(int code, uint32_t frames, uint32_t main_pos, uint32_t sub0_pos, uint32_t sub1_pos)
{
    Page p(code, 76);
    p.put(8, frames, 4).put(16, main_pos, 4).put(24, 7, 4).put(32, sub0_pos, 4).put(40, sub1_pos, 4);
    p.put(48, 11, 4).put(56, 13, 4).put(64, 17, 4).put(72, 19, 4);
    return p;
}

TEST_F(DdsLogPages, C1CountersAndRatesByTapeFormat)
{
    struct Case {
        u_int8 format;
        double factor;
    };
    const Case cases[] = {{1, 144}, {2, 144}, {3, 192}, {4, 192}, {5, 256}, {6, 768}, {0x40, 144}};
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.format));
        open_drive(c1_page(0x35, 1000, 100, 20, 24).key());
        dds_set_tape_format(c.format);
        C1_count_type c1{};
        ASSERT_EQ(dds_get_C1_counters(&drv, 0x35, &c1), 0);
        EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 4D 00 75 00 00 00 00 00 4C 00"});
        EXPECT_EQ(c1.framecount, 1000);
        EXPECT_EQ(c1.main_pos, 100);
        EXPECT_EQ(c1.main_neg, 7);
        EXPECT_EQ(c1.sub0_pos, 20);
        EXPECT_EQ(c1.sub1_pos, 24);
        EXPECT_EQ(c1.sub0_neg, 11);
        EXPECT_EQ(c1.sub1_neg, 13);
        EXPECT_EQ(c1.read_retry_count, 17);
        EXPECT_EQ(c1.read_C2_uncorr, 19);
        EXPECT_FLOAT_EQ(c1.avg_pos_errate, static_cast<float>(144 / (1000 * c.factor)));
        EXPECT_FLOAT_EQ(c1.avg_neg_errate, static_cast<float>(31 / (1000 * c.factor)));
        TearDown();
    }
}

TEST_F(DdsLogPages, C1RatesAreZeroWithoutFrames)
{
    Page p = c1_page(0x34, 0, 100, 20, 24);
    C1_count_type c1{};
    c1.avg_pos_errate = 5;
    dds_pull_out_C1_counters(&c1, p.b.data());
    EXPECT_EQ(c1.avg_pos_errate, 0.0f);
    EXPECT_EQ(c1.avg_neg_errate, 0.0f);
    p.put(8, 0xFFFFFFFFu, 4);  // a negative count of frames
    dds_pull_out_C1_counters(&c1, p.b.data());
    EXPECT_EQ(c1.avg_pos_errate, 0.0f);
}

TEST_F(DdsLogPages, C1RatesDoNotOverflowThirtyTwoBits)
{
    Page p = c1_page(0x34, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF);
    dds_set_tape_format(6);
    C1_count_type c1{};
    dds_pull_out_C1_counters(&c1, p.b.data());
    EXPECT_FLOAT_EQ(c1.avg_pos_errate, static_cast<float>(3.0 / 768));
}

TEST_F(DdsLogPages, C1CountersDecideTheFormatWhileTheCacheIsEmpty)
{
    open_drive(c1_page(0x34, 1000, 100, 20, 24).key() + "density = 0x26\n");
    C1_count_type c1{};
    ASSERT_EQ(dds_get_C1_counters(&drv, 0x34, &c1), 0);
    EXPECT_EQ(dds_tape_format, 4);
    EXPECT_FLOAT_EQ(c1.avg_pos_errate, static_cast<float>(144.0 / 192000));
    EXPECT_EQ(commands(), (std::vector<std::string>{"cmd sg0 4D 00 74 00 00 00 00 00 4C 00",
                                                    "cmd sg0 1A 00 00 00 0C 00"}));
    // With a format cached the drive is not asked again.
    kvemu::clear_trace();
    ASSERT_EQ(dds_get_C1_counters(&drv, 0x34, &c1), 0);
    EXPECT_EQ(commands().size(), 1u);
}

TEST_F(DdsLogPages, C1LogLineNamesTheDirection)
{
    open_drive(c1_page(0x34, 1000, 100, 20, 25).key() + c1_page(0x35, 1000, 100, 20, 25).key());
    dds_set_tape_format(5);
    C1_count_type c1{};
    std::string log = log_lines(LOG_EVERYTHING, [&] {
        dds_get_C1_counters(&drv, 0x34, &c1);
        dds_get_C1_counters(&drv, 0x35, &c1);
    });
    EXPECT_NE(log.find("T ERT | W |5.66E-04|1.21E-04|   1000|   100|     7|   20|   25|   11|   13| 17| 19|\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("T ERT | R |5.66E-04|"), std::string::npos) << log;
    TearDown();

    open_drive(c1_page(0x34, 1000, 100, 20, 24).key());
    EXPECT_EQ(log_lines(LOG_ERRORS_ONLY, [&] { dds_get_C1_counters(&drv, 0x34, &c1); }), "");
}

TEST_F(DdsLogPages, TapeLog)
{
    Page p(0x30, 92);
    p.put(8, 0x010203, 3).put(15, 0x0405, 2).put(21, 0x060708, 3).put(28, 0x090A, 2);
    p.put(34, 0x111213, 3).put(41, 0x1415, 2).put(47, 0x161718, 3).put(54, 0x191A, 2);
    p.put(60, 0x21222324, 4).put(68, 0x252627, 3).put(75, 0x28292A2B, 4).put(83, 0x2C2D2E, 3);
    p.put(90, 0x3031, 2);
    open_drive(p.key());
    Tapelogtype cur{}, prev{}, total{};
    int32 loads = 0;
    ASSERT_EQ(dds_read_tape_log(&drv, &cur, &prev, &total, &loads), 0);
    EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 4D 00 70 00 00 00 00 00 5C 00"});
    EXPECT_EQ(cur.groups_written, 0x010203);
    EXPECT_EQ(cur.RAW_retries, 0x0405);
    EXPECT_EQ(cur.groups_read, 0x060708);
    EXPECT_EQ(cur.ECC3_retries, 0x090A);
    EXPECT_EQ(prev.groups_written, 0x111213);
    EXPECT_EQ(prev.RAW_retries, 0x1415);
    EXPECT_EQ(prev.groups_read, 0x161718);
    EXPECT_EQ(prev.ECC3_retries, 0x191A);
    EXPECT_EQ(total.groups_written, 0x21222324);
    EXPECT_EQ(total.RAW_retries, 0x252627);
    EXPECT_EQ(total.groups_read, 0x28292A2B);
    EXPECT_EQ(total.ECC3_retries, 0x2C2D2E);
    EXPECT_EQ(loads, 0x3031);
}

TEST_F(DdsLogPages, CompressionTransfer)
{
    Page p(0x39, 92);
    for (int i = 0; i < 11; ++i)
        p.put(8 + 8 * static_cast<size_t>(i), 1000u * static_cast<uint32_t>(i + 1), 4);
    open_drive(p.key());
    DCtfrtype dc{};
    ASSERT_EQ(dds_read_DC_performance(&drv, &dc), 0);
    EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 4D 00 79 00 00 00 00 00 5C 00"});
    const int32 got[] = {dc.entities_written, dc.entities_read,   dc.records_written,  dc.records_read,
                         dc.kbytes_from_host, dc.kbytes_to_host,  dc.kbytes_to_tape,   dc.kbytes_from_tape,
                         dc.log_entity_size,  dc.phys_entity_size, dc.non_DCLZ_entities};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(got[i], 1000 * (i + 1)) << i;
    EXPECT_FLOAT_EQ(dc.avg_compression, 5000.0f / 7000.0f);
    TearDown();

    p.put(8 + 8 * 6, 0, 4);  // nothing written to tape yet
    open_drive(p.key());
    dc.avg_compression = 3;
    ASSERT_EQ(dds_read_DC_performance(&drv, &dc), 0);
    EXPECT_EQ(dc.avg_compression, 0.0f);
}

TEST_F(DdsLogPages, Capacity)
{
    Page p(0x31, 36);
    p.put(8, 1, 4).put(16, 2, 4).put(24, 0x7FFFFFFF, 4).put(32, 4, 4);
    open_drive(p.key());
    int32 r0 = 0, r1 = 0, m0 = 0, m1 = 0;
    ASSERT_EQ(dds_read_tape_capacity(&drv, &r0, &r1, &m0, &m1), 0);
    EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 4D 00 71 00 00 00 00 00 24 00"});
    EXPECT_EQ(r0, 1);
    EXPECT_EQ(r1, 2);
    EXPECT_EQ(m0, 0x7FFFFFFF);
    EXPECT_EQ(m1, 4);
}

TEST_F(DdsLogPages, ChannelCoefficients)
{
    Page p(0x2D, 200);
    for (int i = 0; i < DDS_CHELT_COEFFS; ++i) {
        p.put(13 + 6 * static_cast<size_t>(i), 0x100u + static_cast<uint32_t>(i), 2);
        p.put(97 + 6 * static_cast<size_t>(i), 0x8000u + static_cast<uint32_t>(i), 2);
    }
    p.put(191, 0xCAFEF00D, 4);
    open_drive(p.key());
    int32 a[DDS_CHELT_COEFFS] = {}, b[DDS_CHELT_COEFFS] = {}, afn = 0;
    ASSERT_EQ(dds_get_chelt_coeffs(&drv, a, b, &afn), 0);
    EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 4D 00 6D 00 00 00 00 00 C8 00"});
    for (int i = 0; i < DDS_CHELT_COEFFS; ++i) {
        EXPECT_EQ(a[i], 0x100 + i);
        EXPECT_EQ(b[i], 0x8000 + i);
    }
    EXPECT_EQ(afn, static_cast<int32>(0xCAFEF00D));
}

TEST_F(DdsLogPages, TapeAlertFlagsInPageOrder)
{
    Page p(0x2E, 324);
    p.put(18, 1, 1).put(103, 0x80, 1);  // flags 03h and 14h
    open_drive(p.key());
    PredictStructure *flags[DDS_TAPEALERT_FLAGS] = {};
    ASSERT_EQ(dds_get_predict_log(&drv, flags), 2);
    EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 4D 00 6E 00 00 00 00 01 44 00"});
    EXPECT_EQ(flags[0], &_predictflags[2]);
    EXPECT_EQ(flags[1], &_predictflags[0x13]);
    EXPECT_EQ(flags[1]->param_code, 0x14);
    EXPECT_EQ(flags[1]->flag_type, predict_critical);
    EXPECT_STREQ(flags[1]->text, "Clean Now Flag - drive thinks it needs cleaning");
    EXPECT_EQ(flags[2], nullptr);
}

TEST_F(DdsLogPages, TapeAlertLooksOnlyAtTheBytesReturned)
{
    Page all(0x2E, 324);
    for (size_t i = 0; i < DDS_TAPEALERT_FLAGS; ++i)
        all.put(8 + 5 * i, 1, 1);
    struct Case {
        int short_by;
        int32 count;
    };
    for (const Case &c : {Case{0, 64}, Case{1, 63}, Case{316, 0}, Case{311, 1}, Case{310, 2}}) {
        SCOPED_TRACE(c.short_by);
        char over[40];
        std::snprintf(over, sizeof over, "override = 4d short=%d\n", c.short_by);
        open_drive(all.key() + over);
        PredictStructure *flags[DDS_TAPEALERT_FLAGS] = {};
        ASSERT_EQ(dds_get_predict_log(&drv, flags), c.count);
        for (int32 i = 0; i < c.count; ++i)
            EXPECT_EQ(flags[i], &_predictflags[i]);
        TearDown();
    }
}

TEST_F(DdsLogPages, TapeAlertTable)
{
    int counts[3] = {};
    for (int i = 0; i < DDS_TAPEALERT_FLAGS; ++i) {
        EXPECT_EQ(_predictflags[i].param_code, i + 1);
        ASSERT_NE(_predictflags[i].text, nullptr);
        counts[_predictflags[i].flag_type]++;
    }
    EXPECT_EQ(counts[predict_information], 30);
    EXPECT_EQ(counts[predict_warning], 16);
    EXPECT_EQ(counts[predict_critical], 18);
    EXPECT_STREQ(_predictflags[4].text, "Read Failure Flag - The drive can no     longer read data from the tape");
    EXPECT_STREQ(_predictflags[0x39].text, "Firmware failure");
    EXPECT_STREQ(_predictflags[63].text, "Unsupported flag");
}

TEST_F(DdsLogPages, TapeFormatFromDensity)
{
    struct Case {
        int density;
        unsigned char format;
    };
    const Case cases[] = {{0x13, 1}, {0x24, 2}, {0x25, 3}, {0x26, 4}, {0x47, 5},
                          {0x48, 6}, {0x40, 0x40}, {0x30, 0}, {0xFF, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.density);
        char density[32];
        std::snprintf(density, sizeof density, "density = %d\n", c.density);
        open_drive(density);
        dds_set_tape_format(9);
        unsigned char format = 0xEE;
        ASSERT_EQ(dds_get_tape_format(&drv, &format), 0);
        EXPECT_EQ(format, c.format);
        EXPECT_EQ(dds_tape_format, c.format);
        EXPECT_EQ(commands(), std::vector<std::string>{"cmd sg0 1A 00 00 00 0C 00"});
        TearDown();
    }
}

TEST_F(DdsLogPages, TapeFormatFromCapacity)
{
    struct Case {
        int density;
        uint32_t p0max, p1max;
        unsigned char format;
    };
    const Case cases[] = {
        {0x00, 20000000, 0, 4},        {0x03, 12000000, 0, 3},        {0x8C, 12000000, 1, 4},
        {0x00, 72000001, 0, 6},        {0x00, 72000000, 0, 5},        {0x00, 24000001, 0, 5},
        {0x00, 4000001, 0, 3},         {0x00, 2200001, 0, 2},         {0x00, 2200000, 0, 1},
        {0x00, 0, 0, 1},               {0x00, 0x7FFFFFFF, 0x7FFFFFFF, 6},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.p0max);
        Page p(0x31, 36);
        p.put(24, c.p0max, 4).put(32, c.p1max, 4);
        char density[32];
        std::snprintf(density, sizeof density, "density = %d\n", c.density);
        open_drive(p.key() + density);
        unsigned char format = 0xEE;
        ASSERT_EQ(dds_get_tape_format(&drv, &format), 0);
        EXPECT_EQ(format, c.format);
        EXPECT_EQ(dds_tape_format, c.format);
        EXPECT_EQ(commands(), (std::vector<std::string>{"cmd sg0 1A 00 00 00 0C 00",
                                                        "cmd sg0 4D 00 71 00 00 00 00 00 24 00"}));
        TearDown();
    }
}

TEST_F(DdsLogPages, TapeFormatFailuresGiveZero)
{
    const char *check = "status=2 sense=700005000000000A00000000240000000000";
    struct Case {
        const char *name;
        std::string bus;
    };
    const Case cases[] = {
        {"mode sense fails", std::string("override = 1a ") + check + "\n"},
        {"capacity fails", std::string("density = 0x8C\noverride = 4d ") + check + "\n"},
        {"capacity short", "density = 0\noverride = 4d short=1\n"},
        {"no density byte", "override = 1a short=8\n"},
        {"no block descriptor", "reply.1a0000 = 03 00 10 00\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        open_drive(c.bus);
        dds_set_tape_format(5);
        unsigned char format = 0xEE;
        EXPECT_EQ(dds_get_tape_format(&drv, &format), -1);
        EXPECT_EQ(format, 0);
        EXPECT_EQ(dds_tape_format, 0);
        TearDown();
    }
}

TEST_F(DdsLogPages, SetTapeFormatReturnsThePreviousValue)
{
    EXPECT_EQ(dds_set_tape_format(6), 0);
    EXPECT_EQ(dds_set_tape_format(0), 6);
    EXPECT_EQ(dds_set_tape_format(0x40), 0);
    EXPECT_EQ(dds_tape_format, 0x40);
}

// Every reader refuses a reply that ends before its last field, and leaves
// its outputs as they were; a failed command likewise.
TEST_F(DdsLogPages, ShortOrFailedRepliesLeaveOutputsUntouched)
{
    struct Case {
        const char *name;
        std::function<int32(DRIVE *)> op;
    };
    int32 v[4] = {1, 2, 3, 4};
    C1_count_type c1{};
    Tapelogtype t[3] = {};
    DCtfrtype dc{};
    int32 a[DDS_CHELT_COEFFS] = {}, b[DDS_CHELT_COEFFS] = {};
    auto reset = [&] {
        for (int i = 0; i < 4; ++i)
            v[i] = 0x5A5A;
        c1 = C1_count_type{};
        c1.framecount = 0x5A5A;
        c1.avg_pos_errate = 9;
        t[0] = t[1] = t[2] = Tapelogtype{0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A};
        dc = DCtfrtype{};
        dc.entities_written = 0x5A5A;
        a[0] = b[13] = 0x5A5A;
    };
    auto untouched = [&] {
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(v[i], 0x5A5A);
        EXPECT_EQ(c1.framecount, 0x5A5A);
        EXPECT_EQ(c1.avg_pos_errate, 9.0f);
        EXPECT_EQ(t[0].groups_written, 0x5A5A);
        EXPECT_EQ(t[2].ECC3_retries, 0x5A5A);
        EXPECT_EQ(dc.entities_written, 0x5A5A);
        EXPECT_EQ(a[0], 0x5A5A);
        EXPECT_EQ(b[13], 0x5A5A);
    };
    const Case cases[] = {
        {"errcounters", [&](DRIVE *d) { return dds_get_errcounters(d, 2, &v[0], &v[1], &v[2], &v[3]); }},
        {"C1", [&](DRIVE *d) { return dds_get_C1_counters(d, 0x35, &c1); }},
        {"tape log", [&](DRIVE *d) { return dds_read_tape_log(d, &t[0], &t[1], &t[2], &v[0]); }},
        {"compression", [&](DRIVE *d) { return dds_read_DC_performance(d, &dc); }},
        {"capacity", [&](DRIVE *d) { return dds_read_tape_capacity(d, &v[0], &v[1], &v[2], &v[3]); }},
        {"coefficients", [&](DRIVE *d) { return dds_get_chelt_coeffs(d, a, b, &v[0]); }},
    };
    dds_set_tape_format(5);
    for (const auto &c : cases) {
        for (const char *over : {"override = 4d short=6\n",
                                 "override = 4d status=2 sense=700005000000000A00000000240000000000\n"}) {
            SCOPED_TRACE(std::string(c.name) + " " + over);
            open_drive(over);
            reset();
            EXPECT_EQ(c.op(&drv), -1);
            untouched();
            EXPECT_EQ(commands().size(), 1u);
            TearDown();
        }
    }
}

TEST_F(DdsLogPages, PageCodesOutsideTheFieldAreRefused)
{
    open_drive();
    int32 v[4] = {};
    C1_count_type c1{};
    EXPECT_EQ(dds_get_errcounters(&drv, 0x74, &v[0], &v[1], &v[2], &v[3]), -1);
    EXPECT_EQ(dds_get_errcounters(&drv, -1, &v[0], &v[1], &v[2], &v[3]), -1);
    EXPECT_EQ(dds_get_C1_counters(&drv, 0x40, &c1), -1);
    EXPECT_TRUE(commands().empty());
}

}  // namespace
