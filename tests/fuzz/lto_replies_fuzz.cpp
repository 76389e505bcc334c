// The LTO reply decoders over any reply. Input: one byte that picks the decoder
// (and, for some, a count or width), then the reply, which sits in a heap
// buffer of exactly its size.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "ltolib.h"
#include "ltolib/hex_text.h"
#include "ltolib/replies.h"

using namespace ltolib;

namespace {

constexpr int32 kMaxWords = 64;
constexpr int kDecoders = 19;

// Each output slot is followed by a guard that no decoder may touch.
template <typename T>
struct Guarded {
    T value[kMaxWords];
    u_int32 guard = 0xA5A5A5A5;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const uint8_t pick = in.byte();
    const std::vector<uint8_t> rest = in.rest();
    std::unique_ptr<u_int8[]> reply(new u_int8[rest.size() + 1]);  // never a zero-size array
    if (!rest.empty())
        std::memcpy(reply.get(), rest.data(), rest.size());
    const u_int8 *r = reply.get();
    const int32 len = static_cast<int32>(rest.size());

    int32 a = 0, b = 0, c = 0, d = 0;
    u_int32 w = 0, x = 0, y = 0, z = 0;
    u_int64 ts = 0;
    u_int8 origin = 0;
    boolean valid = 0;
    LTOTapelogtype log;
    LTODCtfrtype perf;

    switch (pick % kDecoders) {
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
        if (decode_temperature(r, len, &a) == 0)
            FUZZ_CHECK(a >= 0 && a <= 255);
        break;
    case 4: {
        Guarded<int32> values;
        const int32 max = pick % (kMaxWords + 1);
        const int32 n = decode_hex_values(r, len, values.value, max);
        FUZZ_CHECK(n >= 0 && n <= max && values.guard == 0xA5A5A5A5);
        break;
    }
    case 5:
    case 6:
    case 7: {
        const int32 wsize = pick % kDecoders == 5 ? 8 : pick % kDecoders == 6 ? 16 : 32;
        Guarded<u_int32> words;
        const int32 n = decode_memory_text(r, len, wsize, words.value, kMaxWords);
        FUZZ_CHECK(n >= 0 && n <= kMaxWords && words.guard == 0xA5A5A5A5);
        break;
    }
    case 8:
        if (decode_lp0(r, len, &a, &valid) == 0)
            FUZZ_CHECK(valid == 0 || valid == 1);
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
    case 12: {
        std::unique_ptr<char[]> sn(new char[LTO_DRIVE_NUMBER_SIZE]);
        if (decode_drive_number(r, len, sn.get()) == 0)
            FUZZ_CHECK(fuzz::terminated(sn.get(), LTO_DRIVE_NUMBER_SIZE));
        break;
    }
    case 13:
        a = -1;
        if (decode_drive_time(r, len, &w, &x, &y, &z, &a) == 0)
            FUZZ_CHECK((a & ~0x1033) == 0);
        break;
    case 14:
        edit_drive_time(reply.get(), len, 0x12345678, pick);
        break;
    case 15:
        if (edit_protection(reply.get(), len, pick % 5) == 0)
            FUZZ_CHECK(pick % 5 < 4 && reply[0] == 0 && (reply[2] & 0x80) == 0);
        break;
    case 16:
        if (decode_timestamp(r, len, &ts, &origin) == 0)
            FUZZ_CHECK(ts <= 0xFFFFFFFFFFFFull);
        break;
    case 17:
        if (len >= 18) {
            const char *text = lto_decode_error(reply.get());
            FUZZ_CHECK(fuzz::terminated(text, 256) && std::strlen(text) > 0);
            lto_get_errorcode(reply.get());
        }
        break;
    default: {
        // Every successful read moves the cursor, so the walk ends.
        HexText text(r, rest.size());
        size_t before = 0;
        while (text.match("Variant = 0x") || text.next(ts) || text.next(w)) {
            FUZZ_CHECK(text.consumed() > before && text.consumed() <= rest.size());
            before = text.consumed();
        }
        break;
    }
    }
    return 0;
}
