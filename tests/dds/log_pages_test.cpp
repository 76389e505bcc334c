// DDS log-page readers and the tape-format cache through the emulated drive:
// each page decoded field by field from an image built here, the C1 error
// rates, TapeAlert, and replies too short for their fields.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bus_text.h"
#include "dds_drive.h"
#include "ddslib.h"

namespace {

using Lines = DdsDriveTest::Lines;

// A log page image: header with page code and length, fields put big-endian.
struct Page {
    kvemu::Bytes b;
    Page(int code, size_t size) : b(size, 0)
    {
        b[0] = static_cast<uint8_t>(code);
        put(2, static_cast<uint32_t>(size - 4), 2);
    }
    Page &put(size_t at, uint32_t value, int width)
    {
        for (int i = 0; i < width; ++i)
            b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
        return *this;
    }
    std::string key() const
    {
        char name[16];
        std::snprintf(name, sizeof name, "log.%02x", b[0]);
        return bus_text::bytes_key(name, b);
    }
};

Page c1_page(int code, uint32_t frames, uint32_t main_pos, uint32_t sub0_pos, uint32_t sub1_pos)
{
    Page p(code, 76);
    p.put(8, frames, 4).put(16, main_pos, 4).put(24, 7, 4).put(32, sub0_pos, 4).put(40, sub1_pos, 4);
    p.put(48, 11, 4).put(56, 13, 4).put(64, 17, 4).put(72, 19, 4);
    return p;
}

class DdsLogPages : public DdsDriveTest {
protected:
    void SetUp() override { dds_set_tape_format(0); }
};

// Each field gets its own value so a field read at the wrong offset shows.
TEST_F(DdsLogPages, EachPageDecodedFieldByField)
{
    Page err(0x03, 32);
    err.put(8, 0xBEEF, 2).put(14, 0x80000001u, 4).put(22, 123456789, 4).put(30, 0x0102, 2);
    Page tape(0x30, 92);
    const size_t tape_at[] = {8, 15, 21, 28, 34, 41, 47, 54, 60, 68, 75, 83, 90};
    const int tape_width[] = {3, 2, 3, 2, 3, 2, 3, 2, 4, 3, 4, 3, 2};
    for (int i = 0; i < 13; ++i)
        tape.put(tape_at[i], 0x8070605u + static_cast<uint32_t>(i), tape_width[i]);
    Page dc(0x39, 92), cap(0x31, 36), co(0x2D, 200);
    for (size_t i = 0; i < 11; ++i)
        dc.put(8 + 8 * i, 1000u * static_cast<uint32_t>(i + 1), 4);
    cap.put(8, 1, 4).put(16, 2, 4).put(24, 0x7FFFFFFF, 4).put(32, 4, 4);
    for (size_t i = 0; i < DDS_CHELT_COEFFS; ++i)
        co.put(13 + 6 * i, 0x100u + static_cast<uint32_t>(i), 2)
            .put(97 + 6 * i, 0x8000u + static_cast<uint32_t>(i), 2);
    co.put(191, 0xCAFEF00D, 4);
    open_drive(err.key() + tape.key() + dc.key() + cap.key() + co.key());

    int32 v[4] = {};
    ASSERT_EQ(dds_get_errcounters(&drv, 0x03, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(std::vector<int32>(v, v + 4),
              (std::vector<int32>{0xBEEF, int32(0x80000001u), 123456789, 0x0102}));

    Tapelogtype t[3] = {};
    int32 loads = 0;
    ASSERT_EQ(dds_read_tape_log(&drv, &t[0], &t[1], &t[2], &loads), 0);
    std::vector<int32> got;
    for (const auto &g : t)
        got.insert(got.end(), {g.groups_written, g.RAW_retries, g.groups_read, g.ECC3_retries});
    got.push_back(loads);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(got[size_t(i)], int32((0x8070605u + uint32_t(i)) & (0xFFFFFFFFu >> (32 - 8 * tape_width[i]))))
            << i;

    DCtfrtype d{};
    ASSERT_EQ(dds_read_DC_performance(&drv, &d), 0);
    EXPECT_EQ((std::vector<int32>{d.entities_written, d.entities_read, d.records_written, d.records_read,
                                  d.kbytes_from_host, d.kbytes_to_host, d.kbytes_to_tape, d.kbytes_from_tape,
                                  d.log_entity_size, d.phys_entity_size, d.non_DCLZ_entities}),
              (std::vector<int32>{1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 11000}));
    EXPECT_FLOAT_EQ(d.avg_compression, 5000.0f / 7000.0f);

    ASSERT_EQ(dds_read_tape_capacity(&drv, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(std::vector<int32>(v, v + 4), (std::vector<int32>{1, 2, 0x7FFFFFFF, 4}));

    // One slot past each row: the reader must stop at the row's end.
    int32 a[DDS_CHELT_COEFFS + 1] = {}, b[DDS_CHELT_COEFFS + 1] = {}, afn = 0;
    a[DDS_CHELT_COEFFS] = b[DDS_CHELT_COEFFS] = 0x5A5A;
    ASSERT_EQ(dds_get_chelt_coeffs(&drv, a, b, &afn), 0);
    for (int i = 0; i < DDS_CHELT_COEFFS; ++i)
        EXPECT_TRUE(a[i] == 0x100 + i && b[i] == 0x8000 + i) << i;
    EXPECT_TRUE(a[DDS_CHELT_COEFFS] == 0x5A5A && b[DDS_CHELT_COEFFS] == 0x5A5A);
    EXPECT_EQ(afn, int32(0xCAFEF00D));

    EXPECT_EQ(commands(), (Lines{"cmd 4D 00 43 00 00 00 00 00 20 00", "cmd 4D 00 70 00 00 00 00 00 5C 00",
                                 "cmd 4D 00 79 00 00 00 00 00 5C 00", "cmd 4D 00 71 00 00 00 00 00 24 00",
                                 "cmd 4D 00 6D 00 00 00 00 00 C8 00"}));

    // The ratio needs at least 1 KB on tape; with less there is none.
    const struct {
        uint32_t from_host, to_tape;
        float ratio;
    } ratios[] = {{5000, 0, 0.0f}, {3, 1, 3.0f}};
    for (const auto &r : ratios) {
        dc.put(8 + 8 * 4, r.from_host, 4).put(8 + 8 * 6, r.to_tape, 4);
        open_drive(dc.key());
        ASSERT_EQ(dds_read_DC_performance(&drv, &d), 0);
        EXPECT_EQ(d.avg_compression, r.ratio) << r.to_tape;
    }
}

// The drive's own pages, parameters with real headers and values from
// "log.<pp>.<code>": every counter must stand where the reader takes it.
TEST_F(DdsLogPages, BuiltPagesPutEachCounterWhereTheReaderTakesIt)
{
    std::string keys;
    auto set = [&](int page, int code, uint64_t value) {
        char k[48];
        std::snprintf(k, sizeof k, "log.%02x.%04x = %llu\n", page, code,
                      static_cast<unsigned long long>(value));
        keys += k;
    };
    const std::pair<int, uint32_t> errors[] = {{0, 0xBEEF}, {2, 0x80000001u}, {5, 123456789}, {6, 0x0102}};
    for (auto [code, value] : errors)
        set(0x03, code, value);
    for (int i = 0; i < 13; ++i)  // small values: a counter read a byte off reads wrong
        set(0x30, i, 1u + static_cast<uint32_t>(i));
    for (int i = 0; i < 11; ++i)
        set(0x39, i, 1000u * static_cast<uint32_t>(i + 1));
    for (int i = 0; i < 4; ++i)
        set(0x31, i + 1, 10u + static_cast<uint32_t>(i));
    for (int i = 0; i < DDS_CHELT_COEFFS; ++i) {
        set(0x2D, 1 + i, 0x100u + static_cast<uint32_t>(i));
        set(0x2D, 0x0F + i, 0x8000u + static_cast<uint32_t>(i));
    }
    set(0x2D, 0x1E, 0xCAFEF00D);
    for (int i = 0; i < 9; ++i)
        set(0x34, i, 100u + static_cast<uint32_t>(i));
    set(0x2E, 0x03, 1);
    set(0x2E, 0x14, 1);
    open_drive(keys);

    int32 v[4] = {};
    ASSERT_EQ(dds_get_errcounters(&drv, 0x03, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(std::vector<int32>(v, v + 4),
              (std::vector<int32>{0xBEEF, int32(0x80000001u), 123456789, 0x0102}));

    Tapelogtype t[3] = {};
    int32 loads = 0;
    ASSERT_EQ(dds_read_tape_log(&drv, &t[0], &t[1], &t[2], &loads), 0);
    std::vector<int32> got;
    for (const auto &g : t)
        got.insert(got.end(), {g.groups_written, g.RAW_retries, g.groups_read, g.ECC3_retries});
    got.push_back(loads);
    EXPECT_EQ(got, (std::vector<int32>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));

    DCtfrtype d{};
    ASSERT_EQ(dds_read_DC_performance(&drv, &d), 0);
    EXPECT_EQ((std::vector<int32>{d.entities_written, d.non_DCLZ_entities}), (std::vector<int32>{1000, 11000}));
    ASSERT_EQ(dds_read_tape_capacity(&drv, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(std::vector<int32>(v, v + 4), (std::vector<int32>{10, 11, 12, 13}));

    int32 a[DDS_CHELT_COEFFS] = {}, b[DDS_CHELT_COEFFS] = {}, afn = 0;
    ASSERT_EQ(dds_get_chelt_coeffs(&drv, a, b, &afn), 0);
    for (int i = 0; i < DDS_CHELT_COEFFS; ++i)
        EXPECT_TRUE(a[i] == 0x100 + i && b[i] == 0x8000 + i) << i;
    EXPECT_EQ(afn, int32(0xCAFEF00D));

    dds_set_tape_format(5);
    C1_count_type c{};
    ASSERT_EQ(dds_get_C1_counters(&drv, 0x34, &c), 0);
    EXPECT_EQ((std::vector<int32>{c.framecount, c.main_pos, c.sub1_neg, c.read_C2_uncorr}),
              (std::vector<int32>{100, 101, 106, 108}));

    PredictStructure *flags[DDS_TAPEALERT_FLAGS] = {};
    ASSERT_EQ(dds_get_predict_log(&drv, flags), 2);
    EXPECT_EQ(flags[0], &_predictflags[2]);
    EXPECT_EQ(flags[1], &_predictflags[0x13]);
}

TEST_F(DdsLogPages, C1RatesScaleByTapeFormat)
{
    const std::pair<u_int8, double> factors[] = {{1, 144}, {2, 144}, {3, 192},   {4, 192},
                                                 {5, 256}, {6, 768}, {0x40, 144}};
    for (auto [format, factor] : factors) {
        SCOPED_TRACE(int(format));
        open_drive(c1_page(0x35, 1000, 100, 20, 24).key());
        dds_set_tape_format(format);
        C1_count_type c{};
        ASSERT_EQ(dds_get_C1_counters(&drv, 0x35, &c), 0);
        EXPECT_EQ(commands(), Lines{"cmd 4D 00 75 00 00 00 00 00 4C 00"});
        EXPECT_EQ((std::vector<int32>{c.framecount, c.main_pos, c.main_neg, c.sub0_pos, c.sub1_pos, c.sub0_neg,
                                      c.sub1_neg, c.read_retry_count, c.read_C2_uncorr}),
                  (std::vector<int32>{1000, 100, 7, 20, 24, 11, 13, 17, 19}));
        EXPECT_FLOAT_EQ(c.avg_pos_errate, float(144 / (1000 * factor)));
        EXPECT_FLOAT_EQ(c.avg_neg_errate, float(31 / (1000 * factor)));
    }
}

TEST_F(DdsLogPages, C1RatesWithoutFramesAndPastThirtyTwoBits)
{
    C1_count_type c{};
    c.avg_pos_errate = 5;
    for (uint32_t frames : {0u, 0xFFFFFFFFu}) {
        dds_pull_out_C1_counters(&c, c1_page(0x34, frames, 100, 20, 24).b.data());
        EXPECT_EQ(c.avg_pos_errate, 0.0f);
        EXPECT_EQ(c.avg_neg_errate, 0.0f);
    }
    dds_set_tape_format(6);
    dds_pull_out_C1_counters(&c, c1_page(0x34, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF).b.data());
    EXPECT_FLOAT_EQ(c.avg_pos_errate, float(3.0 / 768));
}

TEST_F(DdsLogPages, C1CountersDecideTheFormatWhileTheCacheIsEmpty)
{
    open_drive(c1_page(0x34, 1000, 100, 20, 24).key() + "density = 0x26\n");
    C1_count_type c{};
    ASSERT_EQ(dds_get_C1_counters(&drv, 0x34, &c), 0);
    EXPECT_EQ(dds_tape_format, 4);
    EXPECT_FLOAT_EQ(c.avg_pos_errate, float(144.0 / 192000));
    EXPECT_EQ(commands(), (Lines{"cmd 4D 00 74 00 00 00 00 00 4C 00", "cmd 1A 00 00 00 0C 00"}));
    kvemu::clear_trace();
    ASSERT_EQ(dds_get_C1_counters(&drv, 0x34, &c), 0);
    EXPECT_EQ(commands().size(), 1u);  // a cached format is kept
}

TEST_F(DdsLogPages, C1LogLineNamesTheDirectionAtLogEverythingOnly)
{
    for (log_level_type level : {LOG_ERRORS_ONLY, LOG_EVERYTHING}) {
        open_drive(c1_page(0x34, 1000, 100, 20, 25).key() + c1_page(0x35, 1000, 100, 20, 25).key());
        dds_set_tape_format(5);
        log_at(level);
        C1_count_type c{};
        dds_get_C1_counters(&drv, 0x34, &c);
        dds_get_C1_counters(&drv, 0x35, &c);
        const char *line = "|5.66E-04|1.21E-04|   1000|   100|     7|   20|   25|   11|   13| 17| 19|\n";
        EXPECT_EQ(log_text(),
                  level == LOG_EVERYTHING
                      ? "T Sys | LogSense            |4D 00 74 00 00 00 00 00 4C 00 |0004C|00|00|\n"
                        "T ERT | W " +
                            std::string(line) +
                            "T Sys | LogSense            |4D 00 75 00 00 00 00 00 4C 00 |0004C|00|00|\n"
                            "T ERT | R " +
                            line
                      : "");
    }
}

TEST_F(DdsLogPages, TapeAlertLooksOnlyAtTheFlagsReturned)
{
    Page two(0x2E, 324);
    two.put(18, 1, 1).put(103, 0x80, 1);  // flags 03h and 14h
    open_drive(two.key());
    PredictStructure *flags[DDS_TAPEALERT_FLAGS] = {};
    ASSERT_EQ(dds_get_predict_log(&drv, flags), 2);
    EXPECT_EQ(commands(), Lines{"cmd 4D 00 6E 00 00 00 00 01 44 00"});
    EXPECT_EQ(flags[0], &_predictflags[2]);
    EXPECT_EQ(flags[1]->param_code, 0x14);
    EXPECT_EQ(flags[1]->flag_type, predict_critical);
    EXPECT_STREQ(flags[1]->text, "Clean Now Flag - drive thinks it needs cleaning");

    Page all(0x2E, 324);
    for (size_t i = 0; i < DDS_TAPEALERT_FLAGS; ++i)
        all.put(8 + 5 * i, 1, 1);
    // A residue claiming more than was asked counts as the whole page; one
    // claiming less than was moved hides the bytes past it.
    for (auto [over, count] : {std::pair{"short=0", 64},
                               {"short=1", 63},
                               {"short=311", 1},
                               {"short=310", 2},
                               {"short=316", 0},
                               {"resid=-100", 64},
                               {"resid=311", 1}}) {
        open_drive(all.key() + "override = 4d " + over + "\n");
        ASSERT_EQ(dds_get_predict_log(&drv, flags), count) << over;
        for (int32 i = 0; i < count; ++i)
            EXPECT_EQ(flags[i], &_predictflags[i]);
    }
}

TEST_F(DdsLogPages, TapeAlertTable)
{
    int kinds[3] = {};
    for (int i = 0; i < DDS_TAPEALERT_FLAGS; ++i) {
        EXPECT_EQ(_predictflags[i].param_code, i + 1);
        kinds[_predictflags[i].flag_type]++;
    }
    EXPECT_EQ(kinds[predict_information], 30);
    EXPECT_EQ(kinds[predict_warning], 16);
    EXPECT_EQ(kinds[predict_critical], 18);
    EXPECT_STREQ(_predictflags[4].text,
                 "Read Failure Flag - The drive can no     longer read data from the tape");
    EXPECT_STREQ(_predictflags[63].text, "Unsupported flag");
}

TEST_F(DdsLogPages, TapeFormatFromDensityOrCapacity)
{
    struct Case {
        int density;
        uint32_t p0max, p1max;
        unsigned char format;
        const char *bus = "";
    };
    // clang-format off
    const Case cases[] = {
        {0x13, 0, 0, 1}, {0x24, 0, 0, 2}, {0x25, 0, 0, 3}, {0x26, 0, 0, 4}, {0x47, 0, 0, 5}, {0x48, 0, 0, 6},
        {0x40, 0, 0, 0x40}, {0x30, 0, 0, 0}, {0xFF, 0, 0, 0},
        // Densities that leave it to the capacity of the two partitions.
        {0x00, 20000000, 0, 4}, {0x03, 12000000, 0, 3}, {0x8C, 12000000, 1, 4}, {0x00, 72000001, 0, 6},
        {0x00, 72000000, 0, 5}, {0x00, 24000001, 0, 5}, {0x00, 4000001, 0, 3}, {0x00, 2200001, 0, 2},
        {0x00, 2200000, 0, 1}, {0x00, 0x7FFFFFFF, 0x7FFFFFFF, 6},
        // Each threshold belongs to the format below it.
        {0x00, 24000000, 0, 4}, {0x00, 12000001, 0, 4}, {0x00, 4000000, 0, 2},
        // Header and density byte are enough.
        {0x26, 0, 0, 4, "override = 1a short=7\n"},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.density) + " " + std::to_string(c.p0max) + " " + c.bus);
        Page cap(0x31, 36);
        cap.put(24, c.p0max, 4).put(32, c.p1max, 4);
        open_drive(cap.key() + bus_text::keys({{"density", c.density}}) + c.bus);
        dds_set_tape_format(9);
        unsigned char format = 0xEE;
        ASSERT_EQ(dds_get_tape_format(&drv, &format), 0);
        EXPECT_EQ(format, c.format);
        EXPECT_EQ(dds_tape_format, c.format);
        bool by_capacity = c.density == 0 || c.density == 3 || c.density == 0x8C;
        EXPECT_EQ(commands().size(), by_capacity ? 2u : 1u);
        EXPECT_EQ(commands()[0], "cmd 1A 00 00 00 0C 00");
    }
}

TEST_F(DdsLogPages, TapeFormatFailuresGiveZero)
{
    const std::string cases[] = {
        std::string("override = 1a ") + kCheck, std::string("density = 0x8C\noverride = 4d ") + kCheck,
        "density = 0\noverride = 4d short=1",   "override = 1a short=8",
        "reply.1a0000 = 03 00 10 00",
    };
    for (const auto &bus : cases) {
        SCOPED_TRACE(bus);
        open_drive(bus + "\n");
        dds_set_tape_format(5);
        unsigned char format = 0xEE;
        EXPECT_EQ(dds_get_tape_format(&drv, &format), -1);
        EXPECT_EQ(format, 0);
        EXPECT_EQ(dds_tape_format, 0);
    }
    EXPECT_EQ(dds_set_tape_format(6), 0);
    EXPECT_EQ(dds_set_tape_format(0x40), 6);
}

// A reply ending before the last field, or a failed command, leaves every
// output as it was; page codes that do not fit the CDB are never sent.
TEST_F(DdsLogPages, ShortOrFailedRepliesLeaveOutputsUntouched)
{
    std::vector<int32> v(4 + 2 * DDS_CHELT_COEFFS);
    C1_count_type c1{};
    Tapelogtype t[3] = {};
    DCtfrtype dc{};
    int32 *o = v.data();
    const std::function<int32(DRIVE *)> ops[] = {
        [&](DRIVE *d) { return dds_get_errcounters(d, 2, &o[0], &o[1], &o[2], &o[3]); },
        [&](DRIVE *d) { return dds_get_C1_counters(d, 0x35, &c1); },
        [&](DRIVE *d) { return dds_read_tape_log(d, &t[0], &t[1], &t[2], &o[0]); },
        [&](DRIVE *d) { return dds_read_DC_performance(d, &dc); },
        [&](DRIVE *d) { return dds_read_tape_capacity(d, &o[0], &o[1], &o[2], &o[3]); },
        [&](DRIVE *d) { return dds_get_chelt_coeffs(d, &o[4], &o[4 + DDS_CHELT_COEFFS], &o[0]); },
    };
    dds_set_tape_format(5);
    for (const auto &over : {std::string("short=6"), std::string(kCheck)}) {
        for (const auto &op : ops) {
            open_drive("override = 4d " + over + "\n");
            std::fill(v.begin(), v.end(), 0x5A5A);
            c1 = C1_count_type{0x5A5A, 0, 0, 0, 0, 0, 0, 0, 0, 9, 9};
            t[0] = t[1] = t[2] = Tapelogtype{0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A};
            dc = DCtfrtype{};
            dc.entities_written = 0x5A5A;
            EXPECT_EQ(op(&drv), -1);
            EXPECT_EQ(v, std::vector<int32>(v.size(), 0x5A5A));
            EXPECT_TRUE(c1.framecount == 0x5A5A && c1.avg_pos_errate == 9.0f);
            EXPECT_TRUE(t[0].groups_written == 0x5A5A && t[2].ECC3_retries == 0x5A5A);
            EXPECT_EQ(dc.entities_written, 0x5A5A);
            EXPECT_EQ(commands().size(), 1u);
        }
    }
    // 3Fh is the last page code the CDB holds.
    open_drive(Page(0x3F, 32).put(8, 7, 2).key());
    for (auto [page, rc] : {std::pair{0x3F, 0}, {0x40, -1}, {0x74, -1}}) {
        kvemu::clear_trace();
        o[0] = 0x5A5A;
        EXPECT_EQ(dds_get_errcounters(&drv, page, &o[0], &o[1], &o[2], &o[3]), rc) << page;
        EXPECT_EQ(o[0], rc == 0 ? 7 : 0x5A5A) << page;
        EXPECT_EQ(commands(), rc == 0 ? Lines{"cmd 4D 00 7F 00 00 00 00 00 20 00"} : Lines{}) << page;
    }
    kvemu::clear_trace();
    EXPECT_EQ(dds_get_C1_counters(&drv, -1, &c1), -1);
    EXPECT_TRUE(commands().empty());
}

}  // namespace
