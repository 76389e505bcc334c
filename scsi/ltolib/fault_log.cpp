// The drive's fault log: page A5h (new layout, six numbers a record with a
// power-cycle count and a 64-bit tick count) or page 85h (old layout, five
// numbers a record with a 32-bit count of 16 us ticks).
#include <array>

#include "generation.h"
#include "text_log_frame.h"

namespace ltolib {
namespace {

constexpr int32 kFaultLogPage = 0xA5;
constexpr int32 kOldFaultLogPage = 0x85;
constexpr size_t kOldTokens = 500;
constexpr size_t kOldTokensPerRecord = 5;
constexpr u_int32 kOldTick = 16;
static_assert(kOldTokens / kOldTokensPerRecord == LTO_OLD_FAULT_LOG_MAX, "old layout record bound");

// The old layout takes every number first; a last record the reply cuts after
// its fourth number still counts, its position then reads as 0.
int32 parse_old(HexText &text, LTOFaultLogType *log)
{
    std::array<u_int32, kOldTokens> raw{};
    size_t tokens = 0;
    while (tokens < raw.size() && text.next(raw[tokens]))
        ++tokens;
    int32 records = static_cast<int32>((tokens + 1) / kOldTokensPerRecord);
    for (int32 k = 0; k < records; ++k) {
        const u_int32 *t = &raw[static_cast<size_t>(k) * kOldTokensPerRecord];
        LTOFaultLogType &r = log[k];
        r.pwrcycount = 0;
        r.errcode = t[0];
        put_ticks(t[1], kOldTick, r.timestamp);
        r.dataset = t[2];
        r.wrapno = t[3];
        r.tapepos_mm = t[4];
    }
    return records;
}

Step new_entry(HexText &text, LTOFaultLogType &r, u_int32 tick)
{
    u_int64 ticks = 0;
    if (!text.next(r.pwrcycount) || !text.next(ticks))
        return Step::stop;
    put_ticks(ticks, tick, r.timestamp);
    if (!text.next(r.errcode) || !text.next(r.dataset) || !text.next(r.wrapno) || !text.next(r.tapepos_mm))
        return Step::stop;
    return Step::counted;
}

}  // namespace
}  // namespace ltolib

using namespace ltolib;

int32 lto_deasciify_fault_log(LTOFaultLogType *log, boolean is_old_style, u_int8 *diagres, int32 len)
{
    if (log == nullptr)
        return 0;
    HexText text = log_text(diagres, len);
    if (!is_old_style) {
        const u_int32 tick = tick_code();
        return parse_entries(text, log, LTO_FAULT_LOG_MAX, lto_compare_faults,
                             [tick](HexText &t, LTOFaultLogType &r) { return new_entry(t, r, tick); });
    }
    const int32 n = parse_old(text, log);
    sort_records(log, n, lto_compare_faults);
    return n;
}

int32 lto_get_fault_log(DRIVE *drv, LTOFaultLogType *log)
{
    auto parse_as = [log](boolean old_style) {
        return [log, old_style](u_int8 *reply, int32 len) {
            return lto_deasciify_fault_log(log, old_style, reply, len);
        };
    };
    if (new_style_fault_log()) {
        const int32 n = fetch_log(drv, kFaultLogPage, kLogAlloc, "lto_get_fault_log", parse_as(0));
        if (n >= 0)
            return n;
    }
    return fetch_log(drv, kOldFaultLogPage, kLogAlloc, "lto_get_fault_log", parse_as(1));
}
