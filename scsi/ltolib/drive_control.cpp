// Small LTO drive operations: tape format, serial number, the drive clock of
// vendor mode page 3Ch, SCSI timestamps and logical-block protection.
#include <algorithm>
#include <array>
#include <cstring>

#include "maintenance.h"
#include "page_layouts.h"
#include "replies.h"
#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "scsilib.h"

namespace ltolib {

using scsilib::field_value;
using scsilib::get_be;
using scsilib::put_be;
namespace {

constexpr int32 kSerialPage = 0x80;
constexpr int32 kSerialLength = 20;
constexpr int kSerialMax = LTO_DRIVE_NUMBER_SIZE - 1;
constexpr char kUnknownSerial[] = "UnknownSN";

constexpr int32 kDensityLength = 56;
constexpr u_int16 kMediumNotPresent = scsilib::kAscMediumNotPresent << 8;

// A clock reply must hold the clock; ctime is read when it came whole.
constexpr int32 kClockNeeded = kClockWtime.offset + kClockWtime.width;
constexpr int32 kClockCtimeNeeded = kClockCtime.offset + kClockCtime.width;
constexpr int32 kProtectionNeeded = kProtectionBits + 1;
constexpr u_int8 kBlockDescriptorLength = 8;

constexpr int32 kTimestampLength = 12;
// Service action 0Fh of MAINTENANCE OUT and IN.
constexpr u_int8 kTimestampAction = 0x0F;

// MODE SELECT wants a zero mode data length and the write-protect bit clear.
void prepare_select(u_int8 *reply)
{
    reply[kModeDataLengthByte] = 0;
    reply[kDeviceSpecificByte] &= 0x7F;
}

void set_bit(u_int8 &byte, u_int8 mask, bool on)
{
    byte = static_cast<u_int8>(on ? (byte | mask) : (byte & ~mask));
}

// The CDB of the two timestamp commands, with the handle's control byte.
MaintenanceCdb timestamp_cdb(u_int8 opcode, const DRIVE *drv)
{
    MaintenanceCdb cdb = service_action_cdb(opcode, kTimestampAction, drv, true);
    cdb[9] = kTimestampLength;
    return cdb;
}

}  // namespace

int32 decode_drive_number(const u_int8 *reply, int32 len, char *driveno)
{
    if (reply == nullptr || len < 4)
        return -1;
    if (len > 4 && reply[4] == 0xFF) {
        std::memcpy(driveno, kUnknownSerial, sizeof kUnknownSerial);
        return 0;
    }
    const int n = std::min(static_cast<int>(reply[3]), kSerialMax);
    if (len < 4 + n)
        return -1;
    int i = 0;
    for (; i < n && reply[4 + i] != 0; ++i)
        driveno[i] = static_cast<char>(reply[4 + i]);
    std::memset(driveno + i, 0, static_cast<size_t>(n - i + 1));
    return 0;
}

bool mode_reply_holds(const u_int8 *reply, int32 len, int32 page, int32 subpage, int32 needed)
{
    if (reply == nullptr || len < needed || len < kModePageAt + 2)
        return false;
    if (reply[kBlockDescriptorLengthByte] != kBlockDescriptorLength || (reply[kModePageAt] & 0x3F) != page)
        return false;
    return subpage == 0 || reply[kModePageAt + 1] == subpage;
}

int32 decode_drive_time(const u_int8 *reply, int32 len, u_int32 *wtime, u_int32 *ptime, u_int32 *poc,
                        u_int32 *ctime, int32 *flags)
{
    if (!mode_reply_holds(reply, len, kClockPage, 0, kClockNeeded))
        return -1;
    int32 f = reply[kClockControl] & 0x03;
    if (reply[kClockOptions] & 0x01)
        f |= 0x20;
    if (reply[kClockOptions] & 0x02)
        f |= 0x10;
    *poc = field_value(reply, kClockPoc);
    *ptime = field_value(reply, kClockPtime);
    *wtime = field_value(reply, kClockWtime);
    if (len >= kClockCtimeNeeded) {
        *ctime = field_value(reply, kClockCtime);
        f |= 0x1000;
    }
    *flags = f;
    return 0;
}

int32 edit_drive_time(u_int8 *reply, int32 len, u_int32 newtime, int32 flags)
{
    if (!mode_reply_holds(reply, len, kClockPage, 0, kClockNeeded))
        return -1;
    prepare_select(reply);
    reply[kClockControl] = 0x02;
    set_bit(reply[kClockOptions], 0x01, (flags & 0x20) != 0);
    set_bit(reply[kClockOptions], 0x02, (flags & 0x10) != 0);
    put_be(reply + kClockWtime.offset, newtime, kClockWtime.width);
    return 0;
}

int32 edit_protection(u_int8 *reply, int32 len, int32 protection_type)
{
    if (protection_type < 0 || protection_type > 3 ||
        !mode_reply_holds(reply, len, kProtectionPage, kProtectionSubpage, kProtectionNeeded))
        return -1;
    prepare_select(reply);
    // Any protection uses the CRC method with four bytes of protection information.
    reply[kProtectionMethod] = protection_type == 0 ? 0 : 1;
    reply[kProtectionInfoLength] = protection_type == 0 ? 0 : 4;
    reply[kProtectionBits] = static_cast<u_int8>((protection_type & 3) << 6);
    return 0;
}

int32 decode_timestamp(const u_int8 *reply, int32 len, u_int64 *tstamp, u_int8 *origin)
{
    if (reply == nullptr || len < 10)
        return -1;
    *origin = reply[2];
    *tstamp = get_be(reply + 4, 6);
    return 0;
}

}  // namespace ltolib

using namespace ltolib;

int32 lto_get_tape_format(DRIVE *drv, u_int8 *format)
{
    std::array<u_int8, kDensityLength> reply{};
    const int32 n = scsi_ext_report_density_support(drv, 1, 0, reply.data(), kDensityLength);
    if (n == kDensityLength) {
        *format = reply[4];
        return 0;
    }
    *format = 0;
    // The sense fields speak of this command only after its CHECK CONDITION.
    const bool no_tape = n < 0 && drv->scsi_status == scsilib::kStatusCheckCondition &&
                         drv->sense_byte == scsilib::kSenseNotReady && drv->addl_sense == kMediumNotPresent;
    return no_tape ? 0 : -1;
}

int32 lto_get_drive_number(DRIVE *drv, char *driveno)
{
    std::array<u_int8, kSerialLength> reply{};
    const int32 n = scsi_evpd_inquiry(drv, 1, kSerialPage, reply.data(), kSerialLength);
    if (n < 0)
        return -1;
    return decode_drive_number(reply.data(), std::min(n, kSerialLength), driveno);
}

int32 lto_get_drive_time(DRIVE *drv, u_int32 *wtime, u_int32 *ptime, u_int32 *poc, u_int32 *ctime, int32 *flags)
{
    std::array<u_int8, kClockLength> reply{};
    const int32 n = scsi_ext_mode_sense_subpage(drv, 0, 0, kClockPage, 0, reply.data(), kClockLength);
    if (n < 0)
        return -1;
    return decode_drive_time(reply.data(), std::min(n, kClockLength), wtime, ptime, poc, ctime, flags);
}

int32 lto_set_drive_time(DRIVE *drv, u_int32 newtime, int32 flags)
{
    std::array<u_int8, kClockLength> reply{};
    int32 n = scsi_ext_mode_sense_subpage(drv, 0, 0, kClockPage, 0, reply.data(), kClockLength);
    if (n < 0)
        return -1;
    n = std::min(n, kClockLength);
    if (edit_drive_time(reply.data(), n, newtime, flags) < 0)
        return -1;
    return scsi_mode_select(drv, reply.data(), n) < 0 ? -1 : 0;
}

int32 lto_set_timestamp(DRIVE *drv, u_int64 tstamp)
{
    auto cdb = timestamp_cdb(scsilib::kOpMaintenanceOut, drv);
    std::array<u_int8, kTimestampLength> data{};
    put_be(data.data() + 4, tstamp, 6);
    return send_maintenance(drv, cdb, data.data(), kTimestampLength);
}

int32 lto_report_timestamp(DRIVE *drv, u_int64 *tstamp, u_int8 *origin)
{
    auto cdb = timestamp_cdb(scsilib::kOpMaintenanceIn, drv);
    std::array<u_int8, kTimestampLength> data{};
    if (send_maintenance(drv, cdb, data.data(), kTimestampLength) != kTimestampLength)
        return -1;
    return decode_timestamp(data.data(), kTimestampLength, tstamp, origin);
}

int32 lto_set_protection_mode(DRIVE *drv, int32 protection_type)
{
    if (protection_type < 0 || protection_type > 3)
        return -1;
    std::array<u_int8, kProtectionLength> reply{};
    int32 n = scsi_ext_mode_sense_subpage(drv, 0, 0, kProtectionPage, kProtectionSubpage, reply.data(),
                                          kProtectionLength);
    if (n < 0)
        return -1;
    n = std::min(n, kProtectionLength);
    if (edit_protection(reply.data(), n, protection_type) < 0)
        return -1;
    if (scsi_mode_select(drv, reply.data(), n) < 0)
        return -1;
    drv->lblock_prot_type = protection_type;
    return 0;
}
