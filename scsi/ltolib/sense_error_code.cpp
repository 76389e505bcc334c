// The drive's own error code in fixed-format sense data: bytes 16..17 hold it,
// unless byte 15 bit 7 says they hold a field pointer.
#include <cstdio>

#include "ltolib.h"

namespace {

char errstring[256];

unsigned error_field(const u_int8 *sense) { return static_cast<unsigned>(sense[16] << 8 | sense[17]); }
bool is_field_pointer(const u_int8 *sense) { return (sense[15] & 0x80) != 0; }

}  // namespace

char *lto_decode_error(u_int8 *sensedata)
{
    errstring[0] = '\0';
    if (sensedata == nullptr)
        return errstring;
    const unsigned value = error_field(sensedata);
    if (is_field_pointer(sensedata))
        std::snprintf(errstring, sizeof errstring, "Field pointer = 0x%X", value);
    else
        std::snprintf(errstring, sizeof errstring, "Drive error = 0x%4.4X (module 0x%X code 0x%X)", value,
                      value >> 10, value & 0x3FF);
    return errstring;
}

int32 lto_get_errorcode(u_int8 *sensedata)
{
    if (sensedata == nullptr || is_field_pointer(sensedata))
        return 0;
    return static_cast<int32>(error_field(sensedata));
}
