// Inside the LTO library: the MAINTENANCE IN/OUT frame of the vendor
// maintenance and timestamp commands, and the decoders of the maintenance
// replies over the bytes received and their count (nothing past the count is
// read).
#ifndef LTOLIB_MAINTENANCE_H
#define LTOLIB_MAINTENANCE_H

#include <array>

#include "ltolib.h"

namespace ltolib {

constexpr u_int8 kMaintenanceAction = 0x1F;

// Sub-commands, in CDB byte 2.
constexpr u_int8 kSubDownloadSegment = 0x05;  // out
constexpr u_int8 kSubReboot = 0x06;           // out
constexpr u_int8 kSubFirmwareInfo = 0x05;     // in
constexpr u_int8 kSubLihTable = 0x06;         // in
constexpr u_int8 kSubExtendedTrace = 0x10;    // in
constexpr u_int8 kSubIpConfig = 0x12;         // in and out

using MaintenanceCdb = std::array<u_int8, 12>;

// A 12-byte MAINTENANCE IN/OUT CDB: byte 0 the opcode, byte 1 the service
// action, the rest 0. with_control puts the handle's control byte in byte 11.
MaintenanceCdb service_action_cdb(u_int8 opcode, u_int8 action, const DRIVE *drv, bool with_control);
// The vendor maintenance frame: service action 1Fh, the sub-command in byte 2.
MaintenanceCdb maintenance_cdb(u_int8 opcode, u_int8 sub, const DRIVE *drv, bool with_control);
// Sends the CDB with `length` bytes of data; the command's result, or -1 when
// data is NULL but length is not 0.
int32 send_maintenance(DRIVE *drv, MaintenanceCdb &cdb, u_int8 *data, int32 length);

// The trace list: 8-byte entries after a 4-byte header; at most nelems are
// stored. Returns how many.
int32 decode_trace_list(const u_int8 *reply, int32 len, LTOfwtlistType *tlist, int32 nelems);

// Zeroes *config and fills it from the descriptors after the 4-byte header.
// A descriptor cut short reads zeros for its missing bytes. An unknown type
// is logged to log_to (when not NULL) and passed over. Returns len, or -1.
int32 decode_ip_config(const u_int8 *reply, int32 len, LTOIPConfigType *config, DRIVE *log_to);
// The 108-byte list that sets the settable fields.
void encode_ip_config(const LTOIPConfigType *config, std::array<u_int8, LTO_IP_CONFIG_LIST_SIZE> &list);

}  // namespace ltolib

#endif
