// A count of seconds as days, hours, minutes and seconds behind a label.
#include <cstdio>

#include "ltolib.h"

namespace {

const char *plural(u_int32 count) { return count == 1 ? "" : "s"; }

}  // namespace

char *lto_break_time(const char *label, u_int32 value)
{
    static char text[LTO_BREAK_TIME_SIZE];
    if (!label)
        label = "";
    const u_int32 days = value / 86400, hrs = value % 86400 / 3600, mins = value % 3600 / 60, secs = value % 60;
    // Counts stay far below INT_MAX: 2^32 seconds are under 50000 days.
    const int d = static_cast<int>(days), h = static_cast<int>(hrs), m = static_cast<int>(mins),
              s = static_cast<int>(secs);
    int length;
    if (days != 0)
        length = std::snprintf(text, sizeof text, "%s%d day%s %d hr%s %d min%s %d sec%s\n", label, d,
                               plural(days), h, plural(hrs), m, plural(mins), s, plural(secs));
    else if (hrs != 0)
        length = std::snprintf(text, sizeof text, "%s%d hr%s %d min%s %d sec%s\n", label, h, plural(hrs), m,
                               plural(mins), s, plural(secs));
    else if (mins != 0)
        length = std::snprintf(text, sizeof text, "%s%d min%s %d sec%s\n", label, m, plural(mins), s,
                               plural(secs));
    else
        length = std::snprintf(text, sizeof text, "%s%d sec%s\n", label, s, plural(secs));
    // A label too long for the buffer is cut; the text stays one whole line.
    if (length >= static_cast<int>(sizeof text))
        text[sizeof text - 2] = '\n';
    return text;
}
