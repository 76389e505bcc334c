// LTO log pages: error counters, tape usage, compression and transfer, and the
// drive temperature. Every field sits at a fixed offset of the page.
#include <array>

#include "replies.h"
#include "scsilib/byte_order.h"
#include "scsilib.h"

namespace ltolib {

using scsilib::get_be;
namespace {

constexpr int32 kCumulativeValues = 1;  // LOG SENSE page control
constexpr int32 kTapeLogPage = 0x30;
constexpr int32 kTransferPage = 0x32;
constexpr int32 kTemperaturePage = 0x0D;

constexpr int32 kErrCounterLength = 60;
constexpr int32 kTapeLogLength = 76;
constexpr int32 kTransferLength = 80;
constexpr int32 kTemperatureLength = 16;
constexpr int kTemperatureByte = 9;

constexpr double kMegabyte = 1048576.0;

u_int32 be32(const u_int8 *page, int at) { return static_cast<u_int32>(get_be(page + at, 4)); }
int32 be16(const u_int8 *page, int at) { return static_cast<int32>(get_be(page + at, 2)); }

// The 64-bit counter whose high word is the BE32 at `at`, its low word after it.
double counter64(const u_int8 *page, int at) { return static_cast<double>(get_be(page + at, 8)); }

// Megabytes and the bytes beyond them, both unsigned 32-bit.
double byte_count(const u_int8 *page, int mb_at, int rest_at)
{
    return be32(page, mb_at) * kMegabyte + be32(page, rest_at);
}

struct LogPage {
    std::array<u_int8, kTransferLength> bytes{};
    int32 length = 0;
};

// Reads `page` with `alloc` bytes into a zeroed buffer; the LOG SENSE result.
int32 read_log_page(DRIVE *drv, int32 page, int32 alloc, LogPage &lp)
{
    int32 n = scsi_ext_log_sense(drv, kCumulativeValues, page, lp.bytes.data(), alloc);
    if (n >= 0)
        lp.length = n > alloc ? alloc : n;
    return n;
}

}  // namespace

int32 decode_errcounters(const u_int8 *page, int32 len, int32 *softerrs, int32 *err_corrected,
                         int32 *num_datasets, int32 *harderrs)
{
    if (page == nullptr || len < kErrCounterLength)
        return -1;
    *softerrs = static_cast<int32>(be32(page, 32));
    *err_corrected = static_cast<int32>(be32(page, 40));
    *num_datasets = static_cast<int32>(be32(page, 48));
    *harderrs = static_cast<int32>(be32(page, 56));
    return 0;
}

int32 decode_tape_log(const u_int8 *page, int32 len, LTOTapelogtype *log)
{
    if (page == nullptr || len < kTapeLogLength)
        return -1;
    LTOTapelogtype t{};
    t.loadCount = static_cast<int32>(be32(page, 8));
    t.writtenSets = counter64(page, 16);
    t.writeRetries = static_cast<int32>(be32(page, 28));
    t.unrecoveredWrites = be16(page, 36);
    t.suspendedWrites = be16(page, 42);
    t.fatalSuspWrites = be16(page, 48);
    t.readSets = counter64(page, 54);
    t.readRetries = static_cast<int32>(be32(page, 66));
    t.unrecoveredReads = be16(page, 74);
    *log = t;
    return 0;
}

int32 decode_dc_performance(const u_int8 *page, int32 len, LTODCtfrtype *performance)
{
    if (page == nullptr || len < kTransferLength)
        return -1;
    LTODCtfrtype p{};
    p.read_compression = be16(page, 8) / 100.0;
    p.write_compression = be16(page, 14) / 100.0;
    p.bytes_to_host = byte_count(page, 20, 28);
    p.bytes_from_tape = byte_count(page, 36, 44);
    p.bytes_from_host = byte_count(page, 52, 60);
    p.bytes_to_tape = byte_count(page, 68, 76);
    *performance = p;
    return 0;
}

int32 decode_temperature(const u_int8 *page, int32 len, int32 *temp)
{
    if (page == nullptr || len <= kTemperatureByte)
        return -1;
    *temp = page[kTemperatureByte];
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
    int32 rc = read_log_page(drv, pagecode, kErrCounterLength, lp);
    if (rc < 0)
        return rc;
    return decode_errcounters(lp.bytes.data(), lp.length, softerrs, err_corrected, num_datasets, harderrs);
}

int32 lto_read_tape_log(DRIVE *drv, LTOTapelogtype *log)
{
    LogPage lp;
    int32 rc = read_log_page(drv, kTapeLogPage, kTapeLogLength, lp);
    if (rc < 0)
        return rc;
    return decode_tape_log(lp.bytes.data(), lp.length, log);
}

int32 lto_read_DC_performance(DRIVE *drv, LTODCtfrtype *performance)
{
    LogPage lp;
    int32 rc = read_log_page(drv, kTransferPage, kTransferLength, lp);
    if (rc < 0)
        return rc;
    return decode_dc_performance(lp.bytes.data(), lp.length, performance);
}

int32 lto_get_drive_temperature(DRIVE *drv, int32 *temp)
{
    constexpr int32 kFailed = 255;
    LogPage lp;
    if (read_log_page(drv, kTemperaturePage, kTemperatureLength, lp) < 0 ||
        decode_temperature(lp.bytes.data(), lp.length, temp) < 0) {
        *temp = kFailed;
        return -1;
    }
    return 0;
}
