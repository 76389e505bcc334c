// Fuzz entry for the LTO reply decoders: the first byte picks the decoder, the
// rest is the reply, copied to a buffer of exactly its size so that any read
// past the end is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ltolib.h"
#include "ltolib/hex_text.h"
#include "ltolib/replies.h"

using namespace ltolib;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t pick = data[0];
    std::vector<u_int8> reply(data + 1, data + size);
    u_int8 *r = reply.empty() ? nullptr : reply.data();
    const int32 len = static_cast<int32>(reply.size());
    // An empty reply still gets a valid pointer, with nothing behind it.
    u_int8 none = 0;
    if (r == nullptr)
        r = &none;

    int32 a = 0, b = 0, c = 0, d = 0;
    u_int32 w = 0, x = 0, y = 0, z = 0;
    u_int64 ts = 0;
    u_int8 origin = 0;
    boolean valid = 0;
    LTOTapelogtype log;
    LTODCtfrtype perf;
    char sn[LTO_DRIVE_NUMBER_SIZE];
    int32 values[64];
    u_int32 words[64];

    switch (pick % 19) {
    case 0:
        decode_errcounters(r, len, &a, &b, &c, &d);
        break;
    case 1:
        decode_tape_log(r, len, &log);
        break;
    case 2:
        decode_dc_performance(r, len, &perf);
        break;
    case 3:
        decode_temperature(r, len, &a);
        break;
    case 4:
        decode_hex_values(r, len, values, pick % 65);
        break;
    case 5:
    case 6:
    case 7: {
        const int32 wsize = pick % 19 == 5 ? 8 : pick % 19 == 6 ? 16 : 32;
        decode_memory_text(r, len, wsize, words, 64);
        break;
    }
    case 8:
        decode_lp0(r, len, &a, &valid);
        break;
    case 9:
        decode_position(r, len, &a);
        break;
    case 10:
        decode_wraps(r, len, &a, &b);
        break;
    case 11:
        decode_variant(r, len, &w);
        break;
    case 12:
        decode_drive_number(r, len, sn);
        break;
    case 13:
        decode_drive_time(r, len, &w, &x, &y, &z, &a);
        break;
    case 14:
        edit_drive_time(r, len, 0x12345678, pick);
        break;
    case 15:
        edit_protection(r, len, pick % 5);
        break;
    case 16:
        decode_timestamp(r, len, &ts, &origin);
        break;
    case 17:
        if (len >= 18) {
            lto_decode_error(r);
            lto_get_errorcode(r);
        }
        break;
    default: {
        HexText text(r, reply.size());
        while (text.match("Variant = 0x") || text.next(ts) || text.skip())
            ;
        break;
    }
    }
    return 0;
}
