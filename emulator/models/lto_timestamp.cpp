// The device clock of a KV LTO drive: SET TIMESTAMP (MAINTENANCE OUT, service
// action 0Fh) sets it and REPORT TIMESTAMP (MAINTENANCE IN, 0Fh) reports it with
// its origin. The clock stands still between the two, so tests read back
// exactly what they set.
#include "kv_lto.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr uint8_t kTimestampAction = 0x0F;
constexpr size_t kParameterLength = 12;
constexpr uint8_t kOriginSetTimestamp = 2;  // set by SET TIMESTAMP

uint8_t service_action(const Command &cmd) { return cmd.cdb.size() > 1 ? cmd.cdb[1] & 0x1F : 0xFF; }

}  // namespace

Reply KvLto::maintenance_out(const Command &cmd)
{
    if (cmd.cdb.size() != 12 || service_action(cmd) != kTimestampAction)
        return invalid_field_in_cdb();
    if (be_at(cmd.cdb, 6, 4) != kParameterLength || cmd.data_out.size() < kParameterLength)
        return invalid_field_in_parameters();
    timestamp = be_at(cmd.data_out, 4, 6);
    timestamp_origin = kOriginSetTimestamp;
    return good();
}

Reply KvLto::maintenance_in(const Command &cmd)
{
    if (cmd.cdb.size() != 12 || service_action(cmd) != kTimestampAction)
        return invalid_field_in_cdb();
    Bytes d(kParameterLength, 0);
    put_be_at(d, 0, kParameterLength - 2, 2);
    d[2] = timestamp_origin;
    put_be_at(d, 4, timestamp, 6);
    return good(d);
}

}  // namespace kvemu
