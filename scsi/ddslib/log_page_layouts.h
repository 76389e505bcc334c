// Where the DDS log pages keep their counters: page codes, the length read and
// each field's offset and width (big-endian), checked at compile time to lie
// inside the length read.
#ifndef DDSLIB_LOG_PAGE_LAYOUTS_H
#define DDSLIB_LOG_PAGE_LAYOUTS_H

#include <array>
#include <cstddef>

#include "ddslib.h"
#include "scsilib/log_page_reader.h"

namespace ddslib {

using scsilib::all_inside;
using scsilib::inside;
using scsilib::LogField;
using scsilib::LogMember;

constexpr int32 kTapeAlertPage = 0x2E;
constexpr int32 kCoefficientPage = 0x2D;
constexpr int32 kTapeLogPage = 0x30;
constexpr int32 kCapacityPage = 0x31;
constexpr int32 kCompressionPage = 0x39;

// ---- Error counters (any page code the caller names) ----
// Soft errors, retries, groups and hard errors, in the order of the outputs.
constexpr int32 kErrCounterLength = 32;
constexpr std::array<LogField, 4> kErrCounterFields = {{{8, 2}, {14, 4}, {22, 4}, {30, 2}}};

// ---- C1 counters (DDS_C1_WRITE_PAGE and its read twin) ----
constexpr int32 kC1Length = 76;
constexpr std::array<LogMember<C1_count_type>, 9> kC1Fields = {{
    {&C1_count_type::framecount, 8, 4},
    {&C1_count_type::main_pos, 16, 4},
    {&C1_count_type::main_neg, 24, 4},
    {&C1_count_type::sub0_pos, 32, 4},
    {&C1_count_type::sub1_pos, 40, 4},
    {&C1_count_type::sub0_neg, 48, 4},
    {&C1_count_type::sub1_neg, 56, 4},
    {&C1_count_type::read_retry_count, 64, 4},
    {&C1_count_type::read_C2_uncorr, 72, 4},
}};

// ---- Tape log: this load, the load before, and the life of the tape ----
constexpr int32 kTapeLogLength = 92;
using TapeLogFields = std::array<LogMember<Tapelogtype>, 4>;
constexpr TapeLogFields kTapeLogCurrent = {{{&Tapelogtype::groups_written, 8, 3},
                                            {&Tapelogtype::RAW_retries, 15, 2},
                                            {&Tapelogtype::groups_read, 21, 3},
                                            {&Tapelogtype::ECC3_retries, 28, 2}}};
constexpr TapeLogFields kTapeLogPrevious = {{{&Tapelogtype::groups_written, 34, 3},
                                             {&Tapelogtype::RAW_retries, 41, 2},
                                             {&Tapelogtype::groups_read, 47, 3},
                                             {&Tapelogtype::ECC3_retries, 54, 2}}};
constexpr TapeLogFields kTapeLogTotal = {{{&Tapelogtype::groups_written, 60, 4},
                                          {&Tapelogtype::RAW_retries, 68, 3},
                                          {&Tapelogtype::groups_read, 75, 4},
                                          {&Tapelogtype::ECC3_retries, 83, 3}}};
constexpr LogField kTapeLogLoadCount = {90, 2};

// ---- Compression transfer counters ----
constexpr int32 kCompressionLength = 92;
constexpr std::array<LogMember<DCtfrtype>, 11> kCompressionFields = {{
    {&DCtfrtype::entities_written, 8, 4},
    {&DCtfrtype::entities_read, 16, 4},
    {&DCtfrtype::records_written, 24, 4},
    {&DCtfrtype::records_read, 32, 4},
    {&DCtfrtype::kbytes_from_host, 40, 4},
    {&DCtfrtype::kbytes_to_host, 48, 4},
    {&DCtfrtype::kbytes_to_tape, 56, 4},
    {&DCtfrtype::kbytes_from_tape, 64, 4},
    {&DCtfrtype::log_entity_size, 72, 4},
    {&DCtfrtype::phys_entity_size, 80, 4},
    {&DCtfrtype::non_DCLZ_entities, 88, 4},
}};

// ---- Capacity: remaining and maximum of partitions 0 and 1, in output order ----
constexpr int32 kCapacityLength = 36;
constexpr std::array<LogField, 4> kCapacityFields = {{{8, 4}, {16, 4}, {24, 4}, {32, 4}}};

// ---- TapeAlert: one flag byte every 5 bytes from byte 8 ----
constexpr int kTapeAlertFirstFlag = 8;
constexpr int kTapeAlertFlagStride = 5;
constexpr int32 kTapeAlertLength = kTapeAlertFirstFlag + kTapeAlertFlagStride * (DDS_TAPEALERT_FLAGS - 1) + 1;

// ---- Channel coefficients: two rows of DDS_CHELT_COEFFS, then the AFN word ----
constexpr int32 kCoefficientLength = 200;
constexpr LogField kCoefficientA = {13, 2};  // first of channel A
constexpr LogField kCoefficientB = {97, 2};  // first of channel B
constexpr int kCoefficientStride = 6;
constexpr LogField kCoefficientAfn = {191, 4};

// The largest page read: one buffer serves every reader.
constexpr int32 kLargestLogPage = kTapeAlertLength;

// ---- Checks: every field lies inside the length read for it ----
static_assert(all_inside(kErrCounterFields, kErrCounterLength), "error counter outside its page");
static_assert(all_inside(kC1Fields, kC1Length), "C1 counter outside its page");
static_assert(all_inside(kTapeLogCurrent, kTapeLogLength) && all_inside(kTapeLogPrevious, kTapeLogLength) &&
                  all_inside(kTapeLogTotal, kTapeLogLength) && inside(kTapeLogLoadCount, kTapeLogLength),
              "tape log field outside its page");
static_assert(all_inside(kCompressionFields, kCompressionLength), "compression counter outside its page");
static_assert(all_inside(kCapacityFields, kCapacityLength), "capacity field outside its page");
static_assert(inside({kCoefficientA.offset + kCoefficientStride * (DDS_CHELT_COEFFS - 1), kCoefficientA.width},
                     kCoefficientLength) &&
                  inside({kCoefficientB.offset + kCoefficientStride * (DDS_CHELT_COEFFS - 1),
                          kCoefficientB.width},
                         kCoefficientLength) &&
                  inside(kCoefficientAfn, kCoefficientLength),
              "coefficient outside its page");
static_assert(kTapeAlertLength == 324 && kLargestLogPage >= kCompressionLength &&
                  kLargestLogPage >= kCoefficientLength,
              "the TapeAlert page is the largest read");

}  // namespace ddslib

#endif
