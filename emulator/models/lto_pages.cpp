// The pages of a KV LTO drive: the standard pages of a tape drive. Error
// counter parameters are 4 bytes each, where the LTO library reads them.
#include "kv_lto.h"

namespace kvemu {
namespace {

// Write and read error counters (02h, 03h): the seven standard counters.
constexpr LogParamRun kErrorCounters[] = {{0x0000, 7, 4, kLogCounter}};
constexpr LogParamRun kTapeAlert[] = {{0x0001, 64, 1, kLogCounter}};
// Tape capacity (31h): remaining and maximum capacity of partitions 0 and 1.
constexpr LogParamRun kCapacity[] = {{0x0001, 4, 4, kLogCounter}};

}  // namespace

DriveTables lto_tables()
{
    DriveTables t;
    t.mode_header.density = 0x46;
    t.mode_pages = {
        // Read-write error recovery: PER may change.
        {0x01, 0, {0x01, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0x04}},
        // Control: nothing may change.
        {0x0A, 0, {0x0A, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}},
        // Data compression: DCE, DCC and DDE set.
        {0x0F, 0, {0x0F, 0x0E, 0xC0, 0x80, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0}, {0, 0, 0x80, 0x80}},
        // Device configuration: active partition, RSmk and REW, EEG and SEW,
        // compression algorithm.
        {0x10,
         0,
         {0x10, 0x0E, 0, 0, 0, 0, 0, 0, 0, 0, 0x18, 0, 0, 0, 0x01, 0},
         {0, 0, 0, 0xFF, 0, 0, 0, 0, 0x21, 0, 0x08, 0, 0, 0, 0xFF, 0}},
        // Device configuration extension: write-protect bits, early-warning size.
        {0x10,
         0x01,
         {0x50, 0x01, 0x00, 0x1C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
          0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0x07, 0, 0xFF, 0xFF}},
        // Medium partition: one additional partition at most.
        {0x11,
         0,
         {0x11, 0x0A, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0xFF, 0xF8, 0, 0x0F, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        // Informational exceptions: TapeAlert polled (DEXCPT), MRIE 3.
        {0x1C,
         0,
         {0x1C, 0x0A, 0x08, 0x03, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0x0C, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    t.log_pages = {log_page(0x02, kErrorCounters), log_page(0x03, kErrorCounters), log_page(0x2E, kTapeAlert),
                   log_page(0x31, kCapacity)};
    return t;
}

}  // namespace kvemu
