// Builders of the buffer and diagnostic commands, and the pass-through for
// caller-built CDBs.
#include "commands_frame.h"

using namespace scsilib;

namespace {

int32 buffer_command(DRIVE *drv, unsigned char opcode, unsigned char *buffer, int32 id, int32 mode, int32 addr,
                     int32 length, direction dir)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax24);
    scsi_io_type io = request(drv, opcode, 10);
    io.cdb[1] = static_cast<unsigned char>(mode & 0x1F);
    io.cdb[2] = static_cast<unsigned char>(id);
    put_be(&io.cdb[3], static_cast<uint32_t>(addr > kMax24 ? kMax24 : addr), 3);
    put_be(&io.cdb[6], static_cast<uint32_t>(len), 3);
    return run(io, buffer, len, dir);
}

}  // namespace

int32 scsi_write_buffer(DRIVE *drv, unsigned char *buffer, int32 id, int32 mode, int32 addr, int32 length)
{
    return buffer_command(drv, kOpWriteBuffer, buffer, id, mode, addr, length, HOST_WRITE);
}

int32 scsi_read_buffer(DRIVE *drv, unsigned char *buffer, int32 id, int32 mode, int32 addr, int32 length)
{
    return buffer_command(drv, kOpReadBuffer, buffer, id, mode, addr, length, HOST_READ);
}

int32 scsi_receive_diagnostic_results(DRIVE *drv, boolean pcValid, int32 pagecode, unsigned char *buffer,
                                      int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax16);
    scsi_io_type io = request(drv, kOpReceiveDiagnosticResults, 6);
    io.cdb[1] = pcValid ? 0x01 : 0x00;
    io.cdb[2] = static_cast<unsigned char>(pagecode);
    put_be(&io.cdb[3], static_cast<uint32_t>(len), 2);
    return run(io, buffer, len, HOST_READ);
}

int32 scsi_send_diagnostic_page(DRIVE *drv, unsigned char byte1, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax16);
    scsi_io_type io = request(drv, kOpSendDiagnostic, 6);
    io.cdb[1] = byte1;
    put_be(&io.cdb[3], static_cast<uint32_t>(len), 2);
    return run(io, buffer, len, HOST_WRITE);
}

int32 scsi_general(DRIVE *drv, unsigned char *cmd, int32 cmd_length, unsigned char *data, int32 data_length)
{
    scsi_io_type io;
    std::memset(&io, 0, sizeof io);
    // The request holds a CDB of at most 16 bytes; anything else is refused unsent.
    if (cmd == nullptr || cmd_length < 1 || cmd_length > static_cast<int32>(sizeof io.cdb) || data_length < 0)
        return refuse(drv);
    io.drv = drv;
    std::memcpy(io.cdb, cmd, static_cast<size_t>(cmd_length));
    io.cdb_length = cmd_length;
    io.data = data;
    io.data_length = data_length;
    io.data_direction = scsi_spec[cmd[0]].dir;
    return scsi_exec(&io);
}
