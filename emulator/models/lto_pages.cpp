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
// Temperature (0Dh): the temperature and the reference temperature, degrees
// Celsius in the second byte of each.
constexpr LogParamRun kTemperature[] = {{0x0000, 2, 2, kLogBinary}};
// Tape usage (30h): loads, data sets written (64 bits), write retries,
// unrecovered, suspended and fatal suspended writes, data sets read (64 bits),
// read retries, unrecovered reads.
constexpr LogParamRun kTapeUsage[] = {{0x0000, 1, 4, kLogCounter}, {0x0001, 1, 8, kLogCounter},
                                      {0x0002, 1, 4, kLogCounter}, {0x0003, 3, 2, kLogCounter},
                                      {0x0006, 1, 8, kLogCounter}, {0x0007, 1, 4, kLogCounter},
                                      {0x0008, 1, 2, kLogCounter}};
// Compression and transfer (32h): read and write compression ratios x 100,
// then megabytes and bytes to host, from tape, from host and to tape.
constexpr LogParamRun kTransfer[] = {{0x0000, 2, 2, kLogCounter}, {0x0002, 8, 4, kLogCounter}};

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
        // Control data protection: logical block protection method, its
        // information length, LBP_W and LBP_R.
        {0x0A, 0xF0, {0x4A, 0xF0, 0x00, 0x04, 0, 0, 0, 0}, {0, 0, 0, 0, 0xFF, 0x3F, 0xC0, 0}},
        // Informational exceptions: TapeAlert polled (DEXCPT), MRIE 3.
        {0x1C,
         0,
         {0x1C, 0x0A, 0x08, 0x03, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0x0C, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        // Vendor drive clock: control bits, power-on count, power-on time,
        // option bits, the clock, and a second clock the drive keeps. The
        // host may set the control and option bits and the clock.
        {0x3C,
         0,
         {0x3C, 0x22, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
          0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    t.log_pages = {log_page(0x02, kErrorCounters), log_page(0x03, kErrorCounters), log_page(0x0D, kTemperature),
                   log_page(0x2E, kTapeAlert),     log_page(0x30, kTapeUsage),     log_page(0x31, kCapacity),
                   log_page(0x32, kTransfer)};
    return t;
}

}  // namespace kvemu
