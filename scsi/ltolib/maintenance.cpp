// Vendor maintenance commands: firmware segments, reboot, firmware
// information, the LIH table and the firmware traces.
#include <algorithm>

#include "maintenance.h"
#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "scsilib.h"

namespace ltolib {
namespace {

using scsilib::put_be;

constexpr int32 kMax24 = 0xFFFFFF;
constexpr int32 kTraceListReply = 1024;
constexpr int32 kTraceHeader = 4;
constexpr int32 kTraceEntry = 8;

}  // namespace

MaintenanceCdb service_action_cdb(u_int8 opcode, u_int8 action, const DRIVE *drv, bool with_control)
{
    MaintenanceCdb cdb{};
    cdb[0] = opcode;
    cdb[1] = action;
    if (with_control)
        cdb[11] = static_cast<u_int8>(drv->link & 0xFF);
    return cdb;
}

MaintenanceCdb maintenance_cdb(u_int8 opcode, u_int8 sub, const DRIVE *drv, bool with_control)
{
    MaintenanceCdb cdb = service_action_cdb(opcode, kMaintenanceAction, drv, with_control);
    cdb[2] = sub;
    return cdb;
}

int32 send_maintenance(DRIVE *drv, MaintenanceCdb &cdb, u_int8 *data, int32 length)
{
    if (data == nullptr && length > 0)
        return -1;
    return scsi_general(drv, cdb.data(), static_cast<int32>(cdb.size()), data, length);
}

int32 decode_trace_list(const u_int8 *reply, int32 len, LTOfwtlistType *tlist, int32 nelems)
{
    if (reply == nullptr || (tlist == nullptr && nelems > 0))
        return -1;
    int32 stored = 0;
    for (int32 at = kTraceHeader; at + kTraceEntry <= len && stored < nelems; at += kTraceEntry) {
        tlist[stored].lognum = reply[at];
        tlist[stored].banknum = reply[at + 1];
        tlist[stored].logsize = scsilib::get_be32(reply + at + 4);
        ++stored;
    }
    return stored;
}

}  // namespace ltolib

using namespace ltolib;

int32 lto_download_fwsegment(DRIVE *drv, int32 offset, int32 length, u_int8 *data, int32 last)
{
    // The CDB carries 24 bits of each: a larger value would land the segment
    // elsewhere, or send more bytes than the drive was told of.
    if (offset < 0 || offset > kMax24 || length < 0 || length > kMax24)
        return -1;
    MaintenanceCdb cdb = maintenance_cdb(scsilib::kOpMaintenanceOut, kSubDownloadSegment, drv, false);
    put_be(&cdb[3], static_cast<u_int32>(offset), 3);
    put_be(&cdb[6], static_cast<u_int32>(length), 3);
    cdb[10] = static_cast<u_int8>(last & 1);
    return send_maintenance(drv, cdb, data, length);
}

int32 lto_reboot_fw(DRIVE *drv, int32 swap)
{
    MaintenanceCdb cdb = maintenance_cdb(scsilib::kOpMaintenanceOut, kSubReboot, drv, false);
    cdb[3] = static_cast<u_int8>(swap & 1);
    return send_maintenance(drv, cdb, nullptr, 0);
}

int32 lto_report_fwinfo(DRIVE *drv, u_int8 *info, int32 length)
{
    MaintenanceCdb cdb = maintenance_cdb(scsilib::kOpMaintenanceIn, kSubFirmwareInfo, drv, false);
    put_be(&cdb[6], static_cast<u_int32>(length), 2);
    return send_maintenance(drv, cdb, info, length);
}

int32 lto_read_lih_table(DRIVE *drv, int32 report_type, u_int8 *table, int32 length)
{
    MaintenanceCdb cdb = maintenance_cdb(scsilib::kOpMaintenanceIn, kSubLihTable, drv, false);
    cdb[3] = static_cast<u_int8>(report_type & 0x0F);
    put_be(&cdb[6], static_cast<u_int32>(length), 4);
    return send_maintenance(drv, cdb, table, length);
}

int32 lto_get_ext_firmware_trace(DRIVE *drv, u_int8 whichlog, u_int8 whichbank, u_int8 *buffer, int32 length)
{
    MaintenanceCdb cdb = maintenance_cdb(scsilib::kOpMaintenanceIn, kSubExtendedTrace, drv, true);
    cdb[3] = whichlog;
    cdb[4] = whichbank;
    put_be(&cdb[6], static_cast<u_int32>(length), 4);
    return send_maintenance(drv, cdb, buffer, length);
}

int32 lto_get_fwtracelist(DRIVE *drv, LTOfwtlistType *tlist, int32 nelems)
{
    if (tlist == nullptr && nelems > 0)
        return -1;
    std::array<u_int8, kTraceListReply> reply{};
    const int32 n = lto_get_ext_firmware_trace(drv, 0, 0, reply.data(), kTraceListReply);
    if (n < 0)
        return n;
    return decode_trace_list(reply.data(), std::min(n, kTraceListReply), tlist, nelems);
}
