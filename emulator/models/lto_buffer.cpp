// READ BUFFER of a KV LTO drive: configured regions first, then its data
// buffer (id 0), whose descriptor gives the capacity and whose bytes read as
// zeros, as nothing the model takes is kept there.
#include <algorithm>

#include "kv_lto.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr unsigned kModeData = 0x02;
constexpr unsigned kModeDescriptor = 0x03;
constexpr unsigned kDataBufferId = 0;
constexpr size_t kDescriptorLength = 4;

}  // namespace

Reply KvLto::read_buffer(const Command &cmd)
{
    if (cmd.cdb.size() < 10)
        return invalid_field_in_cdb();
    if (auto r = buffers.read(cmd))
        return *r;
    const unsigned mode = cmd.cdb[1] & 0x1F;
    const uint64_t offset = be_at(cmd.cdb, 3, 3);
    if (cmd.cdb[2] != kDataBufferId)
        return invalid_field_in_cdb();
    if (mode == kModeDescriptor) {
        // Byte 0, the offset boundary, is 0: any byte offset will do.
        Bytes d(kDescriptorLength, 0);
        put_be_at(d, 1, data_buffer_size, 3);
        return good(d);
    }
    if (mode != kModeData || offset >= data_buffer_size)
        return invalid_field_in_cdb();
    // Only what the allocation length can carry is made.
    const uint64_t wanted = be_at(cmd.cdb, 6, 3);
    return good(Bytes(static_cast<size_t>(std::min(data_buffer_size - offset, wanted)), 0));
}

}  // namespace kvemu
