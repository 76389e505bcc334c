// The EEPROM report lto_decode_ee_wrfltlog in its bounded form over any bytes.
#include "lto_log_fuzz.h"

#include "ltolib/eeprom_reports/reports.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ltofuzz::report(data, size, ltolib::ee_decode_wrfltlog);
    return 0;
}
