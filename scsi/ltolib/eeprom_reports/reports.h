// The EEPROM log reports over a bounded view: log points at the bytes and size
// counts those that may be read. Each returns -1, writing nothing, when the
// sink is NULL or the bytes are fewer than the layout of the current generation
// and channel count needs; the public forms in ltolib.h call these with their
// documented sizes.
#ifndef LTOLIB_EEPROM_REPORTS_REPORTS_H
#define LTOLIB_EEPROM_REPORTS_REPORTS_H

#include <cstddef>

#include "scsi_io.h"

namespace ltolib {

int32 ee_decode_faultlog(const u_int8 *log, size_t size, pfvv sink);
int32 ee_decode_wrfltlog(const u_int8 *log, size_t size, pfvv sink);
int32 ee_decode_wertlog(const u_int8 *log, size_t size, pfvv sink);
int32 ee_decode_rertlog(const u_int8 *log, size_t size, pfvv sink);
int32 ee_decode_tapesusedlog(const u_int8 *log, size_t size, pfvv sink);

}  // namespace ltolib

#endif
