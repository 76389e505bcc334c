// LTO log pages: error counters, tape usage, compression and transfer, and the
// drive temperature. Every field sits at a fixed offset of the page
// (page_layouts.h).
#include <array>

#include "page_layouts.h"
#include "replies.h"
#include "scsilib.h"
#include "scsilib/byte_order.h"

namespace ltolib {
namespace {

constexpr int32 kCumulativeValues = 1;  // LOG SENSE page control
constexpr double kMegabyte = 1048576.0;

u_int32 unsigned_at(const u_int8 *page, int offset, int width)
{
    return static_cast<u_int32>(scsilib::get_be(page + offset, width));
}

// Reads `page` with `alloc` bytes into a zeroed buffer and hands (bytes,
// length received) to decode; the LOG SENSE result when it failed, else the
// decoder's.
template <typename Decode>
int32 read_log_page(DRIVE *drv, int32 page, int32 alloc, Decode decode)
{
    std::array<u_int8, kLargestLogPage> bytes{};
    const int32 n = scsi_ext_log_sense(drv, kCumulativeValues, page, bytes.data(), alloc);
    if (n < 0)
        return n;
    return decode(bytes.data(), n > alloc ? alloc : n);
}

}  // namespace

int32 decode_errcounters(const u_int8 *page, int32 len, int32 *softerrs, int32 *err_corrected,
                         int32 *num_datasets, int32 *harderrs)
{
    if (page == nullptr || len < kErrCounterLength)
        return -1;
    int32 *const outs[] = {softerrs, err_corrected, num_datasets, harderrs};
    for (size_t i = 0; i < kErrCounterFields.size(); ++i)
        *outs[i] = static_cast<int32>(
            unsigned_at(page, kErrCounterFields[i].offset, kErrCounterFields[i].width));
    return 0;
}

int32 decode_tape_log(const u_int8 *page, int32 len, LTOTapelogtype *log)
{
    if (page == nullptr || len < kTapeLogLength)
        return -1;
    LTOTapelogtype t{};
    for (const auto &f : kTapeLogInts)
        t.*f.member = static_cast<int32>(unsigned_at(page, f.offset, f.width));
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
    *temp = static_cast<int32>(unsigned_at(page, kTemperature.offset, kTemperature.width));
    return 0;
}

}  // namespace ltolib

using namespace ltolib;

int32 lto_get_errcounters(DRIVE *drv, int32 pagecode, int32 *softerrs, int32 *err_corrected,
                          int32 *num_datasets, int32 *harderrs)
{
    if (pagecode < 0 || pagecode > 0x3F)
        return -1;
    return read_log_page(drv, pagecode, kErrCounterLength, [&](const u_int8 *page, int32 len) {
        return decode_errcounters(page, len, softerrs, err_corrected, num_datasets, harderrs);
    });
}

int32 lto_read_tape_log(DRIVE *drv, LTOTapelogtype *log)
{
    return read_log_page(drv, kTapeLogPage, kTapeLogLength,
                         [&](const u_int8 *page, int32 len) { return decode_tape_log(page, len, log); });
}

int32 lto_read_DC_performance(DRIVE *drv, LTODCtfrtype *performance)
{
    return read_log_page(drv, kTransferPage, kTransferLength, [&](const u_int8 *page, int32 len) {
        return decode_dc_performance(page, len, performance);
    });
}

int32 lto_get_drive_temperature(DRIVE *drv, int32 *temp)
{
    constexpr int32 kFailed = 255;
    if (read_log_page(drv, kTemperaturePage, kTemperatureLength,
                      [&](const u_int8 *page, int32 len) { return decode_temperature(page, len, temp); }) < 0) {
        *temp = kFailed;
        return -1;
    }
    return 0;
}
