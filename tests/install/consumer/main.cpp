// A program outside the tree, built against the installed library only.
#include <cstdio>

// Guard names a program may well use for headers of its own: they must not
// hide the library's headers.
#define COMMON_TYPES_H
#define SCSI_IO_H
#define SCSILIB_H
#define STLSG_H
#define BYTE_AND_SENSE_HELPERS_H
#define DDSLIB_H
#define LTOLIB_H
#define SCSI_CONSTANTS_H

#include "ddslib.h"
#include "ltolib.h"
#include "scsi_constants.h"
#include "scsilib.h"
#include "stlsg.h"

int main()
{
    unsigned char sense[18] = {0x70, 0, SCSI_SENSE_ILLEGAL_REQUEST, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
    char text[DDS_SENSE_TEXT_SIZE];
    DRIVE drv{};
    drv.fd = -1;
    if (scsi_close_device(&drv) != 0 || lto_set_drive_generation(0) != 0)
        return 1;
    std::printf("%s|%X|%s\n", scsi_spec[0x12].name, static_cast<unsigned>(dds_getvalue(sense + 12, 2)),
                dds_decode_sense(sense, text));
    return 0;
}
