// Reed-Solomon CRC of logical block protection: four check bytes over a block,
// one table lookup per byte.
#include "scsilib.h"

#include "scan_crc_data.h"

u_int32 scsi_generate_CRC(u_int32 crc, u_int32 length, u_int8 *buffer)
{
    u_int32 reg = crc;
    for (u_int32 i = 0; i < length; ++i) {
        u_int32 index = (reg >> 24) ^ buffer[i];
        reg = (reg << 8) ^ scsilib::crcTable[index];
    }
    return reg;
}
