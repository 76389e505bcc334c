// The CRC tables live in a data file of their own; only the CRC reads them.
#ifndef SCSILIB_SCAN_CRC_DATA_H
#define SCSILIB_SCAN_CRC_DATA_H

#include <array>
#include <cstddef>

#include "common_types.h"

namespace scsilib {

// Eight slices of 256 entries; slice 0 is the byte table, and slice s gives a
// byte's share of the register when s more bytes follow it.
using CrcSlices = std::array<std::array<u_int32, 256>, 8>;
extern const CrcSlices crcSlices;

}  // namespace scsilib

#endif
