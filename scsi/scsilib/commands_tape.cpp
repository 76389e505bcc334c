// Builders of the tape motion, positioning and block transfer commands.
#include "commands_frame.h"

using namespace scsilib;

int32 scsi_test_unit_ready(DRIVE *drv)
{
    scsi_io_type io = request(drv, kOpTestUnitReady, 6);
    return run(io);
}

int32 scsi_rewind(DRIVE *drv)
{
    scsi_io_type io = request(drv, kOpRewind, 6);
    io.cdb[1] = immed(drv);
    return run(io);
}

int32 scsi_request_block_address(DRIVE *drv)
{
    unsigned char address[3] = {0, 0, 0};
    scsi_io_type io = request(drv, kOpRequestBlockAddress, 6);
    io.cdb[4] = sizeof address;
    int32 got = run(io, address, sizeof address, HOST_READ);
    if (got < 0)
        return -1;
    if (got != static_cast<int32>(sizeof address))
        return 0;
    return static_cast<int32>(get_be24(address));
}

int32 scsi_format_medium(DRIVE *drv, int32 formatctrl)
{
    scsi_io_type io = request(drv, kOpFormatMedium, 6);
    io.cdb[1] = immed(drv);
    io.cdb[2] = static_cast<unsigned char>(formatctrl & 0x0F);
    return run(io);
}

int32 scsi_read_block_limits(DRIVE *drv, unsigned char *buffer, int32 /*length*/)
{
    // The reply has a fixed size of six bytes; the caller's length is not consulted.
    scsi_io_type io = request(drv, kOpReadBlockLimits, 6);
    return run(io, buffer, 6, HOST_READ);
}

namespace {

// READ(6) and WRITE(6): a 24-bit count of bytes, or of records in fixed mode.
int32 stream_transfer(DRIVE *drv, unsigned char opcode, unsigned char byte1, unsigned char *buffer,
                      int32 length, direction dir)
{
    if (length < 0)
        return refuse(drv);
    int32 count = clamp(length, kMax24);
    int32 bytes = transfer_bytes(drv, count);
    if (bytes < 0)
        return refuse(drv);
    scsi_io_type io = request(drv, opcode, 6);
    io.cdb[1] = byte1;
    put_be(&io.cdb[2], static_cast<uint32_t>(count), 3);
    return run(io, buffer, bytes, dir);
}

}  // namespace

int32 scsi_read(DRIVE *drv, unsigned char *buffer, int32 length)
{
    return stream_transfer(drv, kOpRead6, static_cast<unsigned char>(fixed(drv) | sili(drv) << 1), buffer,
                           length, HOST_READ);
}

int32 scsi_write(DRIVE *drv, unsigned char *buffer, int32 length)
{
    return stream_transfer(drv, kOpWrite6, fixed(drv), buffer, length, HOST_WRITE);
}

int32 scsi_set_capacity(DRIVE *drv, int32 proportion)
{
    scsi_io_type io = request(drv, kOpSetCapacity, 6);
    io.cdb[1] = immed(drv);
    put_be(&io.cdb[3], static_cast<uint32_t>(proportion > kMax16 ? kMax16 : proportion), 2);
    return run(io);
}

int32 scsi_seek_block(DRIVE *drv, int32 block)
{
    scsi_io_type io = request(drv, kOpSeekBlock, 6);
    io.cdb[1] = immed(drv);
    // A block number the field cannot carry goes out as block 0.
    put_be(&io.cdb[2], static_cast<uint32_t>(block > kMax24 ? 0 : block), 3);
    return run(io);
}

int32 scsi_write_marks(DRIVE *drv, int32 markcount, int32 marktype)
{
    scsi_io_type io = request(drv, kOpWriteFilemarks, 6);
    io.cdb[1] = static_cast<unsigned char>((marktype & 1) << 1 | immed(drv));
    put_be(&io.cdb[2], static_cast<uint32_t>(markcount), 3);
    return run(io);
}

int32 scsi_space(DRIVE *drv, int32 spacecount, int32 spacetype)
{
    scsi_io_type io = request(drv, kOpSpace, 6);
    io.cdb[1] = static_cast<unsigned char>(spacetype & 7);
    // Two's complement in 24 bits: a negative count spaces backwards.
    put_be(&io.cdb[2], static_cast<uint32_t>(spacecount), 3);
    return run(io);
}

int32 scsi_verify(DRIVE *drv, boolean bytcmp, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 count = clamp(length, kMax24);
    int32 bytes = 0;
    if (bytcmp) {
        bytes = transfer_bytes(drv, count);
        if (bytes < 0)
            return refuse(drv);
    }
    scsi_io_type io = request(drv, kOpVerify6, 6);
    io.cdb[1] = static_cast<unsigned char>((bytcmp ? 0x02 : 0x00) | fixed(drv));
    put_be(&io.cdb[2], static_cast<uint32_t>(count), 3);
    return run(io, buffer, bytes, HOST_WRITE);
}

int32 scsi_erase(DRIVE *drv, int32 erasetype)
{
    scsi_io_type io = request(drv, kOpErase, 6);
    io.cdb[1] = static_cast<unsigned char>((erasetype & 1) | immed(drv) << 1);
    return run(io);
}

int32 scsi_load_unload(DRIVE *drv, int32 media_id, int32 ldun, int32 magunld)
{
    scsi_io_type io = request(drv, kOpLoadUnload, 6);
    io.cdb[1] = immed(drv);
    put_be(&io.cdb[2], static_cast<uint32_t>(media_id), 2);
    io.cdb[4] = static_cast<unsigned char>(ldun);
    // Byte 5 carries the magazine bit beside the two low link bits.
    io.cdb[5] = static_cast<unsigned char>((magunld & 1) << 7 | (drv->link & 3));
    return run(io);
}

int32 scsi_prev_allow_media_removal(DRIVE *drv, int32 cass_prevent, int32 mag_prevent)
{
    scsi_io_type io = request(drv, kOpPreventAllowMediumRemoval, 6);
    io.cdb[4] = static_cast<unsigned char>((mag_prevent & 1) << 1 | (cass_prevent & 1));
    return run(io);
}

int32 scsi_locate(DRIVE *drv, int32 blockcount, int32 blocktype, int32 partition)
{
    scsi_io_type io = request(drv, kOpLocate10, 10);
    // Partition 2 stands for the current partition: no CP bit, and its bit 0 is 0.
    io.cdb[1] = static_cast<unsigned char>(immed(drv) | (partition != 2 ? 0x02 : 0x00) |
                                           (blocktype == 1 ? 0x04 : 0x00));
    put_be(&io.cdb[3], static_cast<uint32_t>(blockcount), 4);
    io.cdb[8] = static_cast<unsigned char>(partition & 1);
    return run(io);
}

int32 scsi_read_position(DRIVE *drv, int32 blocktype, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    scsi_io_type io = request(drv, kOpReadPosition, 10);
    io.cdb[1] = blocktype == 1 ? 0x01 : 0x00;
    return run(io, buffer, length, HOST_READ);
}

int32 scsi_ext_locate(DRIVE *drv, int64 identcount, int32 dest_type, int32 partition, int32 bam)
{
    scsi_io_type io = request(drv, kOpLocate16, 16);
    io.cdb[1] = static_cast<unsigned char>(immed(drv) | (partition != 2 ? 0x02 : 0x00) | (dest_type & 3) << 3);
    io.cdb[2] = static_cast<unsigned char>(bam & 1);
    io.cdb[3] = static_cast<unsigned char>(partition & 1);
    put_be(&io.cdb[4], static_cast<uint64_t>(identcount), 8);
    return run(io);
}
