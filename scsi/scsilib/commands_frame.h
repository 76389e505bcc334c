// The common frame of the command builders: a zeroed request on the caller's
// stack, length clamps to the width of the CDB field, big-endian fields, the
// option bits and control byte from the handle, and the hand-off to the transport.
#ifndef SCSILIB_COMMANDS_FRAME_H
#define SCSILIB_COMMANDS_FRAME_H

#include <cstdint>
#include <cstring>

#include "byte_order.h"
#include "scsi_codes.h"
#include "scsilib.h"
#include "stlsg.h"

namespace scsilib {

constexpr int32 kMax8 = 0xFF;
constexpr int32 kMax16 = 0xFFFF;
constexpr int32 kMax24 = 0xFFFFFF;

// A length beyond the field's width asks for (and transfers) the widest value.
inline int32 clamp(int32 length, int32 max) { return length > max ? max : length; }

// Option bits follow only the value 1: the setters store whatever they are given.
inline unsigned char immed(const DRIVE *drv) { return drv->immediate == 1 ? 1 : 0; }
inline unsigned char fixed(const DRIVE *drv) { return drv->fixed == 1 ? 1 : 0; }
inline unsigned char sili(const DRIVE *drv) { return drv->sili == 1 ? 1 : 0; }

// A request that nothing was sent for: the handle reads as a failed request.
inline int32 refuse(DRIVE *drv)
{
    drv->driver_status = kDriverFailed;
    drv->scsi_status = kStatusNone;
    drv->actual_data_length = 0;
    return -1;
}

// A request with byte 0 the opcode, every other byte 0 and the control byte
// taken from the handle's link.
inline scsi_io_type request(DRIVE *drv, unsigned char opcode, int32 cdb_length)
{
    scsi_io_type io;
    std::memset(&io, 0, sizeof io);
    io.drv = drv;
    io.cdb[0] = opcode;
    io.cdb_length = cdb_length;
    io.cdb[cdb_length - 1] = static_cast<unsigned char>(drv->link & 0xFF);
    io.data = nullptr;
    io.data_length = 0;
    io.data_direction = NO_TRANSFER;
    return io;
}

inline int32 run(scsi_io_type &io, unsigned char *data, int32 length, direction dir)
{
    io.data = data;
    io.data_length = length;
    io.data_direction = dir;
    return scsi_exec(&io);
}

inline int32 run(scsi_io_type &io) { return scsi_exec(&io); }

// Transfer length of the six-byte READ, WRITE and VERIFY: a count of records in
// fixed-block mode, of bytes otherwise. -1 when the product does not fit a
// transfer length.
inline int32 transfer_bytes(const DRIVE *drv, int32 count)
{
    if (drv->fixed == 0)
        return count;
    int64_t bytes = static_cast<int64_t>(count) * drv->fixed_rec_size;
    if (bytes < 0 || bytes > INT32_MAX)
        return -1;
    return static_cast<int32>(bytes);
}

}  // namespace scsilib

#endif
