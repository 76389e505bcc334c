// Fibre Channel configuration history (page ACh): per entry two port groups,
// then the WWNs of the device and of both ports as colon-separated text.
#include <cstdarg>
#include <cstdio>

#include "generation.h"
#include "text_log_frame.h"

namespace ltolib {
namespace {

constexpr int32 kFcConfigPage = 0xAC;

// Port speed and topology texts by code; codes past the tables print as
// numbers.
constexpr const char *kFcSpeed[] = {"Not set", "1Gb/s  ", "2Gb/s  ", "4Gb/s  ",
                                    "8Gb/s  ", "Unkwn5 ", "Unkwn6 ", "Unkwn7 "};
constexpr const char *kFcTopology[] = {"Unknown      ", "Private loop ", "Public loop  ", "Direct attach",
                                       "Fabric attach"};
constexpr u_int32 kPrivateLoop = 1;
constexpr u_int32 kPublicLoop = 2;

// Every text field is written cut to its room.
template <size_t N>
void put_text(char (&field)[N], const char *format, ...) __attribute__((format(printf, 2, 3)));

template <size_t N>
void put_text(char (&field)[N], const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(field, N, format, args);
    va_end(args);
}

template <size_t N, size_t M>
void put_table_text(char (&field)[N], const char *const (&table)[M], u_int32 code, const char *unknown)
{
    if (code < M)
        put_text(field, "%s", table[code]);
    else
        put_text(field, unknown, static_cast<int>(code));
}

// Only a port that is up on a loop has a loop id and an AL_PA.
void put_port(LTOFcPortType &p, u_int32 loop_id, u_int32 alpa, u_int32 flag, u_int32 speed, u_int32 topology)
{
    put_text(p.loop_id, "n/a");
    put_text(p.alpa, "n/a");
    put_text(p.initialised, "%s", flag == 1 ? "Yes" : "No");
    put_table_text(p.speed, kFcSpeed, speed, "Unkwn (%d)");
    put_table_text(p.topology, kFcTopology, topology, "Unknown (%d)");
    if ((topology == kPrivateLoop || topology == kPublicLoop) && flag != 0) {
        put_text(p.loop_id, "%d", static_cast<int>(loop_id));
        put_text(p.alpa, "0x%2.2X", alpa);
    }
}

// The next word as a WWN; a text that has ended leaves the field empty.
void read_wwn(HexText &text, char (&wwn)[LTO_WWN_SIZE])
{
    char digits[LTO_WWN_DIGITS + 1] = {};
    text.word(digits, sizeof digits);
    lto_format_wwn(digits, wwn);
}

Step fc_entry(HexText &text, LTOFcConfigType &r, u_int32 tick)
{
    if (!read_stamp(text, r, tick))
        return Step::stop;
    text.match(" ");
    Step step = Step::counted;
    for (LTOFcPortType &p : r.port) {
        u_int32 loop_id = 0, alpa = 0, flag = 0, speed = 0, topology = 0;
        if (!text.group(loop_id, alpa, flag, speed, topology)) {
            step = Step::last;
            break;
        }
        put_port(p, loop_id, alpa, flag, speed, topology);
    }
    read_wwn(text, r.device_wwn);
    read_wwn(text, r.port[0].wwn);
    read_wwn(text, r.port[1].wwn);
    return step;
}

}  // namespace
}  // namespace ltolib

using namespace ltolib;

int32 lto_format_wwn(char *instr, char *outstr)
{
    size_t o = 0;
    for (size_t i = 0; instr[i] != '\0'; ++i) {
        outstr[o++] = instr[i];
        if (i % 2 == 1 && instr[i + 1] != '\0')
            outstr[o++] = ':';
    }
    outstr[o] = '\0';
    return 0;
}

int32 lto_deasciify_fc_config(LTOFcConfigType *histlog, int32 maxdepth, u_int8 *diagres, int32 len)
{
    const u_int32 tick = tick_code();
    return parse_entries(diagres, len, histlog, maxdepth, lto_compare_fccfg,
                         [tick](HexText &text, LTOFcConfigType &r) { return fc_entry(text, r, tick); });
}

int32 lto_get_fc_config(DRIVE *drv, int32 maxdepth, LTOFcConfigType *histlog)
{
    return fetch_entries(drv, kFcConfigPage, "lto_get_fc_config", maxdepth, histlog, lto_deasciify_fc_config);
}
