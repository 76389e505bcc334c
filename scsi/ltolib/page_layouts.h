// Where the LTO log and mode pages keep their fields: page codes, the length
// read and each field's offset and width (big-endian), checked at compile time
// to lie inside the length read.
#ifndef LTOLIB_PAGE_LAYOUTS_H
#define LTOLIB_PAGE_LAYOUTS_H

#include <array>

#include "ltolib.h"
#include "scsilib/log_page_reader.h"

namespace ltolib {

using scsilib::all_inside;
using scsilib::inside;
using scsilib::LogField;
using scsilib::LogMember;

// A 64-bit counter: the 32-bit high word at `offset`, the low word after it.
template <typename Record>
struct Counter64Member {
    double Record::*member;
    int offset;
};

// A byte count: 32-bit megabytes, and the 32-bit bytes beyond them.
struct ByteCountMember {
    double LTODCtfrtype::*member;
    int megabytes;
    int bytes;
};

// A compression ratio times 100, 16 bits.
struct RatioMember {
    double LTODCtfrtype::*member;
    int offset;
};

constexpr int32 kTapeLogPage = 0x30;
constexpr int32 kTransferPage = 0x32;
constexpr int32 kTemperaturePage = 0x0D;

// ---- Error counters (any page code the caller names), in output order ----
constexpr int32 kErrCounterLength = 60;
constexpr std::array<LogField, 4> kErrCounterFields = {{{32, 4}, {40, 4}, {48, 4}, {56, 4}}};

// ---- Tape usage log ----
constexpr int32 kTapeLogLength = 76;
constexpr std::array<LogMember<LTOTapelogtype>, 7> kTapeLogInts = {{
    {&LTOTapelogtype::loadCount, 8, 4},
    {&LTOTapelogtype::writeRetries, 28, 4},
    {&LTOTapelogtype::unrecoveredWrites, 36, 2},
    {&LTOTapelogtype::suspendedWrites, 42, 2},
    {&LTOTapelogtype::fatalSuspWrites, 48, 2},
    {&LTOTapelogtype::readRetries, 66, 4},
    {&LTOTapelogtype::unrecoveredReads, 74, 2},
}};
constexpr std::array<Counter64Member<LTOTapelogtype>, 2> kTapeLogCounters = {{
    {&LTOTapelogtype::writtenSets, 16},
    {&LTOTapelogtype::readSets, 54},
}};

// ---- Compression and transfer ----
constexpr int32 kTransferLength = 80;
constexpr std::array<RatioMember, 2> kTransferRatios = {{
    {&LTODCtfrtype::read_compression, 8},
    {&LTODCtfrtype::write_compression, 14},
}};
constexpr std::array<ByteCountMember, 4> kTransferCounts = {{
    {&LTODCtfrtype::bytes_to_host, 20, 28},
    {&LTODCtfrtype::bytes_from_tape, 36, 44},
    {&LTODCtfrtype::bytes_from_host, 52, 60},
    {&LTODCtfrtype::bytes_to_tape, 68, 76},
}};

// ---- Temperature: parameter 0000h, its value's second byte ----
constexpr int32 kTemperatureLength = 16;
constexpr LogField kTemperature = {9, 1};

constexpr int32 kLargestLogPage = kTransferLength;

// ---- Mode pages: a 4-byte header, one 8-byte block descriptor, then the page ----
constexpr int kModePageAt = 12;
constexpr int kBlockDescriptorLengthByte = 3;
constexpr int kModeDataLengthByte = 0;
constexpr int kDeviceSpecificByte = 2;  // bit 7: write-protected

// Drive clock, vendor page 3Ch.
constexpr int32 kClockPage = 0x3C;
constexpr int32 kClockLength = 48;
constexpr int kClockControl = 14;  // bits 0 and 1
constexpr LogField kClockPoc = {18, 2};
constexpr LogField kClockPtime = {20, 4};
constexpr int kClockOptions = 26;  // bits 0 and 1
constexpr LogField kClockWtime = {28, 4};
constexpr LogField kClockCtime = {44, 4};

// Control data protection, page 0Ah subpage F0h.
constexpr int32 kProtectionPage = 0x0A;
constexpr int32 kProtectionSubpage = 0xF0;
constexpr int32 kProtectionLength = 20;
constexpr int kProtectionMethod = 16;
constexpr int kProtectionInfoLength = 17;
constexpr int kProtectionBits = 18;  // LBP_W 80h, LBP_R 40h

// ---- Checks: every field lies inside the length read for it ----
// Fields kept apart from LogField (64-bit counters, ratios, byte counts) by
// offset and width.
constexpr bool inside(int offset, int width, int32 length)
{
    return offset >= 0 && width > 0 && offset + width <= length;
}

constexpr bool tape_log_inside()
{
    if (!all_inside(kTapeLogInts, kTapeLogLength))
        return false;
    for (const auto &c : kTapeLogCounters)
        if (!inside(c.offset, 8, kTapeLogLength))
            return false;
    return true;
}

constexpr bool transfer_inside()
{
    for (const auto &r : kTransferRatios)
        if (!inside(r.offset, 2, kTransferLength))
            return false;
    for (const auto &c : kTransferCounts)
        if (!inside(c.megabytes, 4, kTransferLength) || !inside(c.bytes, 4, kTransferLength))
            return false;
    return true;
}

static_assert(all_inside(kErrCounterFields, kErrCounterLength), "error counter outside its page");
static_assert(tape_log_inside(), "tape log field outside its page");
static_assert(transfer_inside(), "transfer counter outside its page");
static_assert(inside(kTemperature, kTemperatureLength), "temperature outside its page");
static_assert(kLargestLogPage >= kTapeLogLength && kLargestLogPage >= kErrCounterLength,
              "the transfer page is the largest read");
static_assert(inside(kClockCtime, kClockLength) && kClockPoc.offset > kClockControl &&
                  kClockWtime.offset > kClockOptions && kClockWtime.offset > kClockPtime.offset,
              "the clock is the last field every clock reply must hold");
static_assert(kProtectionBits < kProtectionLength, "protection bits outside the page");

}  // namespace ltolib

#endif
