// Drive tick counts as hours:minutes:seconds.fraction, for every log parser.
#include <cstdio>

#include "diag_logs.h"

namespace ltolib {
namespace {

struct TickSize {
    u_int32 code;
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
    {16, 62500, [](u_int64 t) { return t * 16; }, kMicroseconds},
    {10, 100000, [](u_int64 t) { return t * 10; }, kMicroseconds},
    {9, 100100, [](u_int64 t) { return t * 999 / 100; }, kMicroseconds},
    {1000, 1000, [](u_int64 t) { return t; }, kMilliseconds},
};

}  // namespace

bool format_ticks(u_int64 count, u_int32 tick, char *out)
{
    for (const TickSize &size : kTickSizes) {
        if (size.code != tick)
            continue;
        // The whole quotient, however large, leaves minutes and seconds below
        // 60; only the hours printed are cut to 32 bits, so the text always
        // fits its 24 bytes.
        const u_int64 per_minute = size.per_second * 60, per_hour = per_minute * 60;
        const u_int64 hours = count / per_hour;
        u_int64 rest = count % per_hour;
        const u_int64 minutes = rest / per_minute;
        rest %= per_minute;
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
