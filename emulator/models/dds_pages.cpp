// The pages of a KV DDS drive. Log parameters are laid out so that each
// counter the DDS library reads stands at its fixed offset in the page.
#include "dds_pages.h"

namespace kvemu {
namespace {

// Write and read error counters (02h, 03h): soft errors, retries, groups
// processed, hard errors.
constexpr LogParamRun kErrorCounters[] = {{0x0000, 1, 2, kLogCounter},
                                          {0x0002, 1, 4, kLogCounter},
                                          {0x0005, 1, 4, kLogCounter},
                                          {0x0006, 1, 2, kLogCounter}};
// Channel coefficients (2Dh): a format byte, 14 coefficients of channel A, 14
// of channel B, a reserved block, the AFN word and a trailing byte.
constexpr LogParamRun kCoefficients[] = {{0x0000, 1, 1, kLogBinary},  {0x0001, 14, 2, kLogBinary},
                                         {0x000F, 14, 2, kLogBinary}, {0x001D, 1, 6, kLogBinary},
                                         {0x001E, 1, 4, kLogBinary},  {0x001F, 1, 1, kLogBinary}};
constexpr LogParamRun kTapeAlert[] = {{0x0001, 64, 1, kLogCounter}};
// Tape log (30h): groups written, RAW retries, groups read and ECC3 retries of
// the current and the previous tape, the totals, then the load count.
constexpr LogParamRun kTapeLog[] = {{0x0000, 1, 3, kLogCounter}, {0x0001, 1, 2, kLogCounter},
                                    {0x0002, 1, 3, kLogCounter}, {0x0003, 1, 2, kLogCounter},
                                    {0x0004, 1, 3, kLogCounter}, {0x0005, 1, 2, kLogCounter},
                                    {0x0006, 1, 3, kLogCounter}, {0x0007, 1, 2, kLogCounter},
                                    {0x0008, 1, 4, kLogCounter}, {0x0009, 1, 3, kLogCounter},
                                    {0x000A, 1, 4, kLogCounter}, {0x000B, 1, 3, kLogCounter},
                                    {0x000C, 1, 2, kLogCounter}};
// Tape capacity (31h): remaining and maximum capacity of partitions 0 and 1.
constexpr LogParamRun kCapacity[] = {{0x0001, 4, 4, kLogCounter}};
// C1 error counters (34h write, 35h read): frames, six error counts, retries,
// C2-uncorrectable reads.
constexpr LogParamRun kC1Counters[] = {{0x0000, 9, 4, kLogCounter}};
// Data compression transfer (39h): eleven counters.
constexpr LogParamRun kCompression[] = {{0x0000, 11, 4, kLogCounter}};

}  // namespace

DriveTables dds_tables(const Config &cfg)
{
    DriveTables t;
    t.mode_header.density = 0x26;
    const uint8_t partition_length = static_cast<uint8_t>(cfg.get_int("partition_page_length", 0x0A));
    Bytes partition(size_t(partition_length) + 2, 0), partition_mask(size_t(partition_length) + 2, 0);
    partition[0] = 0x11;
    partition[1] = partition_length;
    partition_mask[3] = 0xFF;  // additional partitions defined
    if (partition_mask.size() > 4)
        partition_mask[4] = 0xF8;  // FDP, SDP, IDP, PSUM
    for (size_t i = 8; i < partition_mask.size(); ++i)
        partition_mask[i] = 0xFF;  // partition sizes
    t.mode_pages = {
        // Data compression: DCE and DCC set.
        {0x0F,
         0,
         {0x0F, 0x0E, 0xC0, 0, 0, 0, 0, 0x20, 0, 0, 0, 0x20, 0, 0, 0, 0},
         {0, 0, 0x80, 0x80, 0xFF, 0xFF, 0xFF, 0xFF}},
        // Device configuration: partition and format bits, active partition,
        // buffer ratios and delay, RSmk and REW, SEW, compression algorithm.
        {0x10,
         0,
         {0x10, 0x0E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x21, 0, 0x08, 0, 0, 0, 0xFF, 0}},
        {0x11, 0, partition, partition_mask},
        // Vendor page: the VUMA recovery mode in bit 0 of byte 2.
        {0x3E, 0, {0x3E, 0x02, 0, 0}, {0, 0, 0x01, 0}},
    };
    t.log_pages = {log_page(0x02, kErrorCounters), log_page(0x03, kErrorCounters),
                   log_page(0x2D, kCoefficients),  log_page(0x2E, kTapeAlert),
                   log_page(0x30, kTapeLog),       log_page(0x31, kCapacity),
                   log_page(0x34, kC1Counters),    log_page(0x35, kC1Counters),
                   log_page(0x39, kCompression)};
    return t;
}

}  // namespace kvemu
