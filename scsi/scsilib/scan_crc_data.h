// The CRC table lives in a data file of its own; only the CRC reads it.
#ifndef SCSILIB_SCAN_CRC_DATA_H
#define SCSILIB_SCAN_CRC_DATA_H

#include "common_types.h"

namespace scsilib {
extern const u_int32 crcTable[256];
}

#endif
