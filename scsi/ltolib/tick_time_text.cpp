// Drive tick counts as hours:minutes:seconds.fraction, for every log parser.
#include <cstdio>

#include "text_log_frame.h"

namespace ltolib {
namespace {

// Each unit has its own tick count: with 9.99 us ticks a minute and an hour
// are not whole multiples of a second's count, and deriving them from it
// drifts by 3.6 ms an hour.
struct TickSize {
    u_int32 code;
    u_int64 per_hour;
    u_int64 per_minute;
    u_int64 per_second;
    // The fraction printed, from the ticks left over in the second.
    u_int64 (*fraction)(u_int64 ticks);
    const char *format;
};

constexpr char kMicroseconds[] = "%3.3u:%2.2u:%2.2u.%6.6u";
constexpr char kMilliseconds[] = "%3.3u:%2.2u:%2.2u.%3.3u";

// Code 9 stands for ticks of 9.99 us; the product is truncated, and integer
// arithmetic keeps it exact.
constexpr TickSize kTickSizes[] = {
    {16, 225000000, 3750000, 62500, [](u_int64 t) { return t * 16; }, kMicroseconds},
    {10, 360000000, 6000000, 100000, [](u_int64 t) { return t * 10; }, kMicroseconds},
    {9, 360360360, 6006006, 100100, [](u_int64 t) { return t * 999 / 100; }, kMicroseconds},
    {1000, 3600000, 60000, 1000, [](u_int64 t) { return t; }, kMilliseconds},
};

}  // namespace

bool format_ticks(u_int64 count, u_int32 tick, char *out)
{
    for (const TickSize &size : kTickSizes) {
        if (size.code != tick)
            continue;
        // The remainder comes from the whole quotient, however large, so the
        // minutes stay below 60 (the seconds reach 60 only in the last six
        // 9.99 us ticks of a minute); only the hours printed are cut to 32
        // bits, so the text always fits its 24 bytes.
        const u_int64 hours = count / size.per_hour;
        u_int64 rest = count % size.per_hour;
        const u_int64 minutes = rest / size.per_minute;
        rest %= size.per_minute;
        const u_int64 seconds = rest / size.per_second;
        rest %= size.per_second;
        std::snprintf(out, LTO_TIMESTAMP_SIZE, size.format, static_cast<unsigned>(hours),
                      static_cast<unsigned>(minutes), static_cast<unsigned>(seconds),
                      static_cast<unsigned>(size.fraction(rest)));
        return true;
    }
    return false;
}

}  // namespace ltolib

char *lto_translate_timestamp48(u_int64 count, char *string, u_int32 us_per_tick)
{
    if (string == nullptr || !ltolib::format_ticks(count, us_per_tick, string))
        return nullptr;
    return string;
}
