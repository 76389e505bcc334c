// LTO log pages: error counters, tape usage, compression and transfer, and the
// drive temperature. Every field sits at a fixed offset of the page
// (page_layouts.h).
#include "page_layouts.h"
#include "replies.h"
#include "scsilib/byte_order.h"

namespace ltolib {
namespace {

constexpr double kMegabyte = 1048576.0;

using LogPage = scsilib::LogPage<kLargestLogPage>;
using scsilib::field_value;

u_int32 unsigned_at(const u_int8 *page, int offset, int width) { return field_value(page, {offset, width}); }

}  // namespace

int32 decode_errcounters(const u_int8 *page, int32 len, int32 *softerrs, int32 *err_corrected,
                         int32 *num_datasets, int32 *harderrs)
{
    if (page == nullptr || len < kErrCounterLength)
        return -1;
    scsilib::take_fields(page, kErrCounterFields, {softerrs, err_corrected, num_datasets, harderrs});
    return 0;
}

int32 decode_tape_log(const u_int8 *page, int32 len, LTOTapelogtype *log)
{
    if (page == nullptr || len < kTapeLogLength)
        return -1;
    LTOTapelogtype t{};
    scsilib::take_members(page, kTapeLogInts, t);
    // High and low words together, unsigned.
    for (const auto &c : kTapeLogCounters)
        t.*c.member = static_cast<double>(scsilib::get_be64(page + c.offset));
    *log = t;
    return 0;
}

int32 decode_dc_performance(const u_int8 *page, int32 len, LTODCtfrtype *performance)
{
    if (page == nullptr || len < kTransferLength)
        return -1;
    LTODCtfrtype p{};
    for (const auto &r : kTransferRatios)
        p.*r.member = unsigned_at(page, r.offset, 2) / 100.0;
    for (const auto &c : kTransferCounts)
        p.*c.member = unsigned_at(page, c.megabytes, 4) * kMegabyte + unsigned_at(page, c.bytes, 4);
    *performance = p;
    return 0;
}

int32 decode_temperature(const u_int8 *page, int32 len, int32 *temp)
{
    if (page == nullptr || len < kTemperature.offset + kTemperature.width)
        return -1;
    *temp = static_cast<int32>(field_value(page, kTemperature));
    return 0;
}

}  // namespace ltolib

using namespace ltolib;

int32 lto_get_errcounters(DRIVE *drv, int32 pagecode, int32 *softerrs, int32 *err_corrected,
                          int32 *num_datasets, int32 *harderrs)
{
    if (pagecode < 0 || pagecode > 0x3F)
        return -1;
    LogPage lp;
    const int32 rc = lp.read(drv, pagecode, kErrCounterLength);
    return rc < 0 ? rc
                  : decode_errcounters(lp.data(), lp.length(), softerrs, err_corrected, num_datasets, harderrs);
}

int32 lto_read_tape_log(DRIVE *drv, LTOTapelogtype *log)
{
    LogPage lp;
    const int32 rc = lp.read(drv, kTapeLogPage, kTapeLogLength);
    return rc < 0 ? rc : decode_tape_log(lp.data(), lp.length(), log);
}

int32 lto_read_DC_performance(DRIVE *drv, LTODCtfrtype *performance)
{
    LogPage lp;
    const int32 rc = lp.read(drv, kTransferPage, kTransferLength);
    return rc < 0 ? rc : decode_dc_performance(lp.data(), lp.length(), performance);
}

int32 lto_get_drive_temperature(DRIVE *drv, int32 *temp)
{
    constexpr int32 kFailed = 255;
    LogPage lp;
    if (lp.read(drv, kTemperaturePage, kTemperatureLength) < 0 ||
        decode_temperature(lp.data(), lp.length(), temp) < 0) {
        *temp = kFailed;
        return -1;
    }
    return 0;
}
