// Reading and updating the CMMA area of a loaded cartridge through the
// cartridge memory (memory 16, 8-bit words): each step moves exactly the
// stretch it names, or the operation fails there.
#include <array>
#include <cstring>
#include <ctime>

#include "cm_report.h"
#include "cmma_layout.h"
#include "scsilib/byte_order.h"

namespace ltolib {
namespace {

using cmma::Field;

bool read_exactly(DRIVE *drv, Field f, u_int8 *into)
{
    const int32 len = static_cast<int32>(f.width);
    return lto_read_memory_diag(drv, static_cast<int32>(cmma::kAddress + f.at), len, LTO_CM_MEMORY_ID,
                                LTO_CM_WORD_WIDTH, into) == len;
}

bool write_exactly(DRIVE *drv, Field f, u_int8 *from)
{
    const int32 len = static_cast<int32>(f.width);
    return lto_write_memory_diag(drv, static_cast<int32>(cmma::kAddress + f.at), len, LTO_CM_MEMORY_ID,
                                 LTO_CM_WORD_WIDTH, from) == len;
}

// The counters only grow: they stop at their largest value instead of
// wrapping back to a small count.
void add_saturating(u_int8 *field, u_int32 extra)
{
    const u_int32 now = scsilib::get_be32(field);
    const u_int32 sum = now > 0xFFFFFFFFu - extra ? 0xFFFFFFFFu : now + extra;
    scsilib::put_be32(field, sum);
}

}  // namespace

}  // namespace ltolib

using namespace ltolib;

int32 lto_get_cmma(DRIVE *drv, LTOCMMAType *cmma_record)
{
    if (cmma_record == nullptr)
        return -1;
    std::array<u_int8, cmma::kSize> area{};
    if (!read_exactly(drv, {0, cmma::kSize}, area.data()))
        return -1;
    cmma_from_area(area.data(), cmma_record);
    return 0;
}

int32 lto_update_cmma_tapepasses(DRIVE *drv, u_int32 extras)
{
    constexpr Field stretch = cmma::kTapePassCounts;
    std::array<u_int8, stretch.width> counts{};
    if (!read_exactly(drv, stretch, counts.data()))
        return -1;
    add_saturating(counts.data() + (cmma::kTapePasses.at - stretch.at), extras);
    add_saturating(counts.data() + (cmma::kLifetimeTapePasses.at - stretch.at), extras);
    return write_exactly(drv, stretch, counts.data()) ? 0 : -1;
}

int32 lto_update_cmma_drivelog(DRIVE *drv, char *serialno, u_int32 errorcode, boolean set_state)
{
    if (serialno == nullptr)
        return -1;
    constexpr Field last = cmma::kLastTest;
    std::array<u_int8, last.width> test{};
    scsilib::put_be32(test.data() + (cmma::kLastTestDate.at - last.at), static_cast<u_int32>(time(nullptr)));
    // At most 12 characters, zero-padded, without a terminator when all 12 are used.
    u_int8 *drive = test.data() + (cmma::kLastTestDrive.at - last.at);
    for (size_t i = 0; i < cmma::kLastTestDrive.width && serialno[i] != '\0'; ++i)
        drive[i] = static_cast<u_int8>(serialno[i]);
    scsilib::put_be32(test.data() + (cmma::kLastTestError.at - last.at), errorcode);
    if (!write_exactly(drv, last, test.data()))
        return -1;

    constexpr Field stretch = cmma::kUseCounts;
    std::array<u_int8, stretch.width> control{};
    if (!read_exactly(drv, stretch, control.data()))
        return -1;
    add_saturating(control.data() + cmma::kTimesUsed.at, 1);
    if (errorcode != 0) {
        add_saturating(control.data() + cmma::kTimesFailed.at, 1);
        if (set_state)
            control[cmma::kState.at] = static_cast<u_int8>(cmma::kStateUnusable);
    }
    return write_exactly(drv, stretch, control.data()) ? 0 : -1;
}
