// DDS log-page readers (error and C1 counters, tape log, compression transfer,
// capacity, TapeAlert, channel coefficients) and the tape-format cache.
#include <array>
#include <cstdint>
#include <cstdio>

#include "ddslib.h"
#include "log_page_layouts.h"
#include "scsilib.h"

unsigned char dds_tape_format = 0;

using namespace ddslib;

namespace {

char kErtTag[] = "ERT";

using scsilib::take_fields;
using scsilib::take_members;
// One buffer, of the largest page read, serves every reader.
using LogPage = scsilib::LogPage<kLargestLogPage>;

bool valid_page_code(int32 pagecode) { return pagecode >= 0 && pagecode <= 0x3F; }

// Frames of the C1 counter are scaled by the number of C1 codewords per frame,
// which depends on the tape format.
int64_t codewords_per_frame(unsigned char format)
{
    switch (format) {
    case 3:
    case 4:
        return 192;
    case 5:
        return 256;
    case 6:
        return 768;
    default:
        return 144;
    }
}

// Sums and the divisor can pass 32 bits on a long-used drive; keep them in 64.
float error_rate(int32 a, int32 b, int32 c, int64_t frames_scaled)
{
    int64_t sum = static_cast<int64_t>(a) + b + c;
    return static_cast<float>(static_cast<double>(sum) / static_cast<double>(frames_scaled));
}

unsigned char format_from_density(int density, bool &from_capacity)
{
    from_capacity = false;
    switch (density) {
    case 0x13:
        return 1;
    case 0x24:
        return 2;
    case 0x25:
        return 3;
    case 0x26:
        return 4;
    case 0x47:
        return 5;
    case 0x48:
        return 6;
    case 0x40:
        return 0x40;
    case 0x00:
    case 0x03:
    case 0x8C:
        from_capacity = true;
        return 0;
    default:
        return 0;
    }
}

unsigned char format_from_capacity(int64_t total)
{
    if (total > 72000000)
        return 6;
    if (total > 24000000)
        return 5;
    if (total > 12000000)
        return 4;
    if (total > 4000000)
        return 3;
    if (total > 2200000)
        return 2;
    return 1;
}

}  // namespace

int32 dds_get_errcounters(DRIVE *drv, int32 pagecode, int32 *softerrs, int32 *retries, int32 *groups,
                          int32 *harderrs)
{
    if (!valid_page_code(pagecode))
        return -1;
    LogPage lp;
    int32 rc = lp.read(drv, pagecode, kErrCounterLength, kErrCounterLength);
    if (rc < 0)
        return rc;
    take_fields(lp.data(), kErrCounterFields, {softerrs, retries, groups, harderrs});
    return 0;
}

void dds_pull_out_C1_counters(C1_count_type *C1_counts, u_int8 *logpage)
{
    C1_count_type c = *C1_counts;
    take_members(logpage, kC1Fields, c);
    if (c.framecount < 1) {
        c.avg_pos_errate = 0;
        c.avg_neg_errate = 0;
    } else {
        int64_t scaled = static_cast<int64_t>(c.framecount) * codewords_per_frame(dds_tape_format);
        c.avg_pos_errate = error_rate(c.main_pos, c.sub0_pos, c.sub1_pos, scaled);
        c.avg_neg_errate = error_rate(c.main_neg, c.sub0_neg, c.sub1_neg, scaled);
    }
    *C1_counts = c;
}

int32 dds_get_C1_counters(DRIVE *drv, int32 pagecode, C1_count_type *C1_counts)
{
    if (!valid_page_code(pagecode))
        return -1;
    LogPage lp;
    int32 rc = lp.read(drv, pagecode, kC1Length, kC1Length);
    if (rc < 0)
        return rc;
    if (dds_tape_format == 0) {
        unsigned char format = 0;
        (void)dds_get_tape_format(drv, &format);
    }
    C1_count_type c{};
    dds_pull_out_C1_counters(&c, lp.data());
    *C1_counts = c;
    if (drv->loglevel == LOG_EVERYTHING) {
        char line[160];
        std::snprintf(line, sizeof line, "%c |%5.2E|%5.2E|%7d|%6d|%6d|%5d|%5d|%5d|%5d|%3d|%3d",
                      pagecode == DDS_C1_WRITE_PAGE ? 'W' : 'R', static_cast<double>(c.avg_pos_errate),
                      static_cast<double>(c.avg_neg_errate), static_cast<int>(c.framecount),
                      static_cast<int>(c.main_pos), static_cast<int>(c.main_neg), static_cast<int>(c.sub0_pos),
                      static_cast<int>(c.sub1_pos), static_cast<int>(c.sub0_neg), static_cast<int>(c.sub1_neg),
                      static_cast<int>(c.read_retry_count), static_cast<int>(c.read_C2_uncorr));
        scsi_log(drv, kErtTag, line);
    }
    return 0;
}

int32 dds_read_tape_log(DRIVE *drv, Tapelogtype *current, Tapelogtype *previous, Tapelogtype *total,
                        int32 *loadcount)
{
    LogPage lp;
    int32 rc = lp.read(drv, kTapeLogPage, kTapeLogLength, kTapeLogLength);
    if (rc < 0)
        return rc;
    Tapelogtype now{}, before{}, life{};
    take_members(lp.data(), kTapeLogCurrent, now);
    take_members(lp.data(), kTapeLogPrevious, before);
    take_members(lp.data(), kTapeLogTotal, life);
    *current = now;
    *previous = before;
    *total = life;
    *loadcount = static_cast<int32>(lp.value(kTapeLogLoadCount));
    return 0;
}

int32 dds_read_DC_performance(DRIVE *drv, DCtfrtype *performance)
{
    LogPage lp;
    int32 rc = lp.read(drv, kCompressionPage, kCompressionLength, kCompressionLength);
    if (rc < 0)
        return rc;
    DCtfrtype p{};
    take_members(lp.data(), kCompressionFields, p);
    p.avg_compression = p.kbytes_to_tape >= 1
                            ? static_cast<float>(static_cast<double>(p.kbytes_from_host) / p.kbytes_to_tape)
                            : 0.0f;
    *performance = p;
    return 0;
}

int32 dds_read_tape_capacity(DRIVE *drv, int32 *p0remain, int32 *p1remain, int32 *p0max, int32 *p1max)
{
    LogPage lp;
    int32 rc = lp.read(drv, kCapacityPage, kCapacityLength, kCapacityLength);
    if (rc < 0)
        return rc;
    take_fields(lp.data(), kCapacityFields, {p0remain, p1remain, p0max, p1max});
    return 0;
}

int32 dds_get_predict_log(DRIVE *drv, PredictStructure **p)
{
    LogPage lp;
    int32 rc = lp.read(drv, kTapeAlertPage, kTapeAlertLength);
    if (rc < 0)
        return rc;
    // Only the flags the drive sent are looked at; a short page covers fewer.
    int32 count = 0;
    for (int32 pos = kTapeAlertFirstFlag, flag = 0; pos < lp.length() && flag < DDS_TAPEALERT_FLAGS;
         pos += kTapeAlertFlagStride, ++flag) {
        if (lp.data()[pos] != 0)
            p[count++] = const_cast<PredictStructure *>(&_predictflags[flag]);
    }
    return count;
}

int32 dds_get_chelt_coeffs(DRIVE *drv, int32 *chanA, int32 *chanB, int32 *afn)
{
    LogPage lp;
    int32 rc = lp.read(drv, kCoefficientPage, kCoefficientLength,
                       kCoefficientAfn.offset + kCoefficientAfn.width);
    if (rc < 0)
        return rc;
    for (int i = 0; i < DDS_CHELT_COEFFS; ++i) {
        chanA[i] = static_cast<int32>(
            lp.value({kCoefficientA.offset + kCoefficientStride * i, kCoefficientA.width}));
        chanB[i] = static_cast<int32>(
            lp.value({kCoefficientB.offset + kCoefficientStride * i, kCoefficientB.width}));
    }
    *afn = static_cast<int32>(lp.value(kCoefficientAfn));
    return 0;
}

int32 dds_get_tape_format(DRIVE *drv, unsigned char *format)
{
    // Header and block descriptor: the density code is descriptor byte 0.
    std::array<unsigned char, 12> reply{};
    unsigned char decided = 0;
    int32 rc = scsi_ext_mode_sense_subpage(drv, 0, 0, 0, 0, reply.data(), static_cast<int32>(reply.size()));
    if (rc >= 0 && (rc < 5 || reply[3] != 8))
        rc = -1;  // no block descriptor came back: no density to go by
    if (rc >= 0) {
        bool from_capacity = false;
        decided = format_from_density(reply[4], from_capacity);
        if (from_capacity) {
            int32 p0remain = 0, p1remain = 0, p0max = 0, p1max = 0;
            rc = dds_read_tape_capacity(drv, &p0remain, &p1remain, &p0max, &p1max);
            if (rc >= 0)
                decided = format_from_capacity(static_cast<int64_t>(p0max) + p1max);
        }
    }
    *format = decided;
    dds_tape_format = decided;
    return rc < 0 ? rc : 0;
}

u_int8 dds_set_tape_format(u_int8 newformat)
{
    u_int8 before = dds_tape_format;
    dds_tape_format = newformat;
    return before;
}
