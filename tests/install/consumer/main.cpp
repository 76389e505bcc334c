// A program outside the tree, built against the installed library only.
#include <cstdio>

#include "ddslib.h"
#include "scsi_constants.h"
#include "scsilib.h"

int main()
{
    unsigned char sense[18] = {0x70, 0, SCSI_SENSE_ILLEGAL_REQUEST, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
    char text[DDS_SENSE_TEXT_SIZE];
    std::printf("%s|%X|%s\n", scsi_spec[0x12].name, static_cast<unsigned>(dds_getvalue(sense + 12, 2)),
                dds_decode_sense(sense, text));
    return 0;
}
