// Vendor diagnostic commands of DDS drives: each is an 8-byte list sent with
// SEND DIAGNOSTIC, its answer read with RECEIVE DIAGNOSTIC RESULTS.
#include <array>
#include <cstring>

#include "ddslib.h"
#include "scsilib.h"

namespace {

using DiagList = std::array<unsigned char, 8>;

constexpr unsigned char kDiagByte1 = 0x01;  // CDB byte 1 of every vendor list
constexpr int32 kSwitchReplyLength = 20;
constexpr int kMaxServoParms = 4;

int32 send_list(DRIVE *drv, DiagList &list)
{
    return scsi_send_diagnostic_page(drv, kDiagByte1, list.data(), static_cast<int32>(list.size()));
}

}  // namespace

int32 dds_read_switches(DRIVE *drv, int32 which, u_int8 *switches)
{
    if (switches == nullptr || which < 0 || which >= kSwitchReplyLength)
        return -1;
    DiagList list = {0x4B, 0x81, 0, 0, 0, 0, 0, 0};
    int32 r = send_list(drv, list);
    if (r < 0)
        return r;
    std::array<unsigned char, kSwitchReplyLength> reply{};
    r = scsi_receive_diagnostic_results(drv, 0, 0, reply.data(), kSwitchReplyLength);
    if (r < 0)
        return r;
    if (r <= which)  // the reply ends before the byte asked for
        return -1;
    *switches = reply[static_cast<size_t>(which)];
    return 0;
}

int32 dds_servo_cmd(DRIVE *drv, boolean alt_layout, servo_cmd_type *servocmd)
{
    if (servocmd == nullptr || servocmd->num_parms > kMaxServoParms)
        return -1;
    DiagList list{};
    list[0] = 0x41;
    list[2] = servocmd->cmd;
    if (alt_layout) {
        list[1] = 0x81;
        list[3] = servocmd->parms[0];
        list[4] = servocmd->parms[1];
        list[5] = servocmd->passthru ? 0xFF : 0x00;
    } else {
        list[1] = servocmd->passthru ? 0xA1 : 0x81;
        list[3] = servocmd->num_parms;
        // The drive takes the parameters last first.
        for (int i = 0; i < servocmd->num_parms; ++i)
            list[static_cast<size_t>(4 + i)] = servocmd->parms[servocmd->num_parms - 1 - i];
    }
    return send_list(drv, list) < 0 ? -1 : 0;
}

int32 dds_servo_status(DRIVE *drv, boolean alt_layout, unsigned char *status, int32 length)
{
    if (length < 0 || (status == nullptr && length > 0))
        return -1;
    DiagList list{};
    list[0] = 0x42;
    if (alt_layout) {
        list[1] = 0x81;
        list[5] = 0xFF;
    } else {
        list[1] = 0xA1;
    }
    // The drive answers a status request even when it refuses the list itself.
    (void)send_list(drv, list);
    if (length > 0)
        std::memset(status, 0, static_cast<size_t>(length));
    return scsi_receive_diagnostic_results(drv, 0, 0, status, length);
}

int32 dds_send_dai_command(DRIVE *drv, u_int8 command, u_int8 parm1, u_int8 parm2, u_int8 parm3, u_int8 parm4)
{
    DiagList list = {0x70, 0x81, command, parm4, parm3, parm2, parm1, 0};
    return send_list(drv, list) < 0 ? -1 : 0;
}
