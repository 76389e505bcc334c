// Where the EEPROM logs keep their fields. Big-endian throughout, but for the
// fault ring's start offset. Constant data only; the reports read it.
#ifndef LTOLIB_EEPROM_REPORTS_LAYOUTS_H
#define LTOLIB_EEPROM_REPORTS_LAYOUTS_H

#include <array>
#include <cstddef>

#include "ltolib.h"

namespace ltolib {
namespace ee {

// A field value that was never recorded.
constexpr u_int32 kNotRecorded = 0xFFFFFFFF;

// ---- Fault log: a ring of slots, then the byte offset of the first slot ----
constexpr size_t kFaultSlots = 200;
constexpr size_t kFaultSlotSize = 24;
constexpr size_t kFaultRing = kFaultSlots * kFaultSlotSize;
constexpr size_t kFaultStart = kFaultRing;  // little-endian 16 bits
constexpr size_t kFaultLogSize = kFaultStart + 2;
// The last start offset at which a whole slot lies inside the ring.
constexpr size_t kFaultLastStart = kFaultRing - kFaultSlotSize;
// Slot fields, 32 bits each.
constexpr size_t kSlotLoadCount = 0;  // signed
constexpr size_t kSlotErrorCode = 4;
constexpr size_t kSlotTicks = 8;  // 16 us ticks
constexpr size_t kSlotDataSet = 12;
constexpr size_t kSlotWrap = 16;      // signed
constexpr size_t kSlotPosition = 20;  // signed, millimetres
constexpr u_int32 kSlotTick = 16;
static_assert(kSlotPosition + 4 == kFaultSlotSize, "fault slot fields");
static_assert(kFaultLogSize == LTO_EE_FAULTLOG_SIZE && kFaultLastStart == 4776, "fault log size");

// ---- Write-fault log: load count, then five 16-bit values per wrap ----
constexpr size_t kWrfLoadCount = 0;
constexpr size_t kWrfFirst = 4;
constexpr size_t kWrfRecordSize = 10;
// Wraps of the tape by generation index; any other generation has 48.
constexpr std::array<size_t, 5> kWrapCounts = {48, 64, 44, 56, 80};
constexpr size_t kOtherGenerationWraps = 48;
constexpr size_t most_wraps()
{
    size_t most = kOtherGenerationWraps;
    for (size_t w : kWrapCounts)
        most = w > most ? w : most;
    return most;
}
static_assert(kWrfFirst + most_wraps() * kWrfRecordSize == LTO_EE_WRFLTLOG_SIZE, "write-fault log size");

// ---- Error-rate test logs: load count, summary counters, channel records ----
constexpr size_t kErtLoadCount = 0;
constexpr size_t kChannelRecordSize = 20;
// Channel record fields, unsigned 32 bits each.
constexpr size_t kChanC1Errors = 0;
constexpr size_t kChanC1Uncorrectable = 4;
constexpr size_t kChanHeaderErrors = 8;
constexpr size_t kChanWritePassErrors = 12;
constexpr size_t kChanCcps = 16;  // CCPs, or CWI4s from generation 4 on
static_assert(kChanCcps + 4 == kChannelRecordSize, "channel record fields");
// Bits a C1 codeword stands for.
constexpr double kBitsPerCodeword = 1920.0;

struct SummaryRow {
    size_t at;
    const char *line;     // "%8u" of the counter
    const char *invalid;  // the line when the counter is FFFFFFFFh, or none
};

struct ErrorRateLog {
    const char *title;
    std::array<SummaryRow, 5> summary;
    size_t rows;
    size_t first_channel;
};

constexpr ErrorRateLog kWriteErrorRate = {
    "|    Write Error Rate Results    |\n",
    {{{4, "| Datasets written    : %8u |\n", nullptr},
      {8, "| CCQ sets written    : %8u |\n", nullptr},
      {12, "| CCQ set rewrites    : %8u |\n", nullptr},
      {16, "| Unwritable datasets : %8u |\n", nullptr},
      {}}},
    4,
    20,
};

constexpr ErrorRateLog kReadErrorRate = {
    "|    Read Error Rate Results     |\n",
    {{{4, "| Datasets read       : %8u |\n", nullptr},
      {8, "| CCQ sets read       : %8u |\n", "| CCQ sets read       :  invalid |\n"},
      {12, "| Subdataset C2 errs  : %8u |\n", nullptr},
      {16, "| Dataset C2 errors   : %8u |\n", nullptr},
      {20, "| X-chan interpltions : %8u |\n", nullptr}}},
    5,
    24,
};

constexpr size_t error_rate_size(const ErrorRateLog &log)
{
    return log.first_channel + 16 * kChannelRecordSize;
}
static_assert(error_rate_size(kWriteErrorRate) == LTO_EE_WERTLOG_SIZE &&
                  error_rate_size(kReadErrorRate) == LTO_EE_RERTLOG_SIZE,
              "error-rate log sizes");
static_assert(kWriteErrorRate.summary[kWriteErrorRate.rows - 1].at + 4 == kWriteErrorRate.first_channel &&
                  kReadErrorRate.summary[kReadErrorRate.rows - 1].at + 4 == kReadErrorRate.first_channel,
              "summary counters end where the channels begin");

// ---- Tapes-used log: four tape records ----
constexpr size_t kTapes = 4;
constexpr size_t kTapeLoadCount = 0;  // 32 bits
constexpr size_t kTapeSerial = 4;
constexpr size_t kTapeSerialWidth = 10;
constexpr size_t kTapeType = 14;    // 16 bits
constexpr size_t kTapeLength = 16;  // 16 bits, quarter metres
constexpr size_t kTapeUsagePages = 18;
constexpr size_t kUsagePages = 4;
constexpr size_t kMechSubpages = 4;
constexpr size_t kMechSubpageSize = 64;
constexpr size_t kTapeTrailer = 14;  // not reported
// Usage pages are 64 bytes up to generation 3, 96 above.
constexpr size_t kSmallUsagePage = 64;
constexpr size_t kLargeUsagePage = 96;

constexpr size_t mech_subpages_at(size_t usage_page) { return kTapeUsagePages + kUsagePages * usage_page; }
constexpr size_t tape_record_size(size_t usage_page)
{
    return mech_subpages_at(usage_page) + kMechSubpages * kMechSubpageSize + kTapeTrailer;
}
static_assert(tape_record_size(kSmallUsagePage) == 544 && tape_record_size(kLargeUsagePage) == 672,
              "tape record sizes");
static_assert(kTapes * tape_record_size(kLargeUsagePage) == LTO_EE_TAPESUSEDLOG_SIZE, "tapes-used log size");

}  // namespace ee
}  // namespace ltolib

#endif
