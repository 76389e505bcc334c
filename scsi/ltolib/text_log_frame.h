// Inside the LTO library: what the parsers of the drives' text logs (fault,
// write-fault and C1 logs, command histories, interface configurations) share:
// the reply text, the fetch of a page, the record loop bounded by the caller's
// array, tick counts as time text and the sort.
#ifndef LTOLIB_TEXT_LOG_FRAME_H
#define LTOLIB_TEXT_LOG_FRAME_H

#include <cstdlib>

#include "diag_page_buffers.h"
#include "hex_text.h"
#include "ltolib.h"

namespace ltolib {

// Allocation length of the log fetches: the builder sends at most 65535.
constexpr int32 kLogAlloc = 65536;

// The text of a diagnostic text reply (a log, mechanism data, memory words):
// the bytes after its 4-byte header up to len; none when len is 4 or less. The
// reply is only read.
inline HexText log_text(const u_int8 *diagres, int32 len)
{
    if (diagres == nullptr || len <= 4)
        return HexText(static_cast<const char *>(nullptr), 0);
    return HexText(diagres + 4, static_cast<size_t>(len) - 4);
}

// Reads `page` into a zeroed area of `alloc` bytes and hands (bytes, length)
// to parse; -1 when the page cannot be read.
template <typename Parse>
int32 fetch_log(DRIVE *drv, int32 page, int32 alloc, const char *who, Parse parse)
{
    TextReply reply(drv, alloc, who);
    if (!reply.ok() || reply.receive(drv, page) < 0)
        return -1;
    return parse(reply.data(), reply.length());
}

// A history or configuration page (up to 65535 bytes) parsed into at most
// maxdepth records of out; -1 when the page cannot be read.
template <typename T>
int32 fetch_entries(DRIVE *drv, int32 page, const char *who, int32 maxdepth, T *out,
                    int32 (*parse)(T *, int32, u_int8 *, int32))
{
    return fetch_log(drv, page, kLogAlloc, who,
                     [&](u_int8 *reply, int32 len) { return parse(out, maxdepth, reply, len); });
}

// Tick count as time text; false (nothing written) for an unknown tick code.
bool format_ticks(u_int64 count, u_int32 tick, char *out);
template <size_t N>
void put_ticks(u_int64 count, u_int32 tick, char (&out)[N])
{
    static_assert(N >= LTO_TIMESTAMP_SIZE, "time text room");
    format_ticks(count, tick, out);
}

// The power-on count and tick count that open most entries: the count into
// pwrOnCount, the ticks as time text.
template <typename T>
bool read_stamp(HexText &text, T &r, u_int32 tick)
{
    u_int64 ticks = 0;
    if (!text.group(r.pwrOnCount, ticks))
        return false;
    put_ticks(ticks, tick, r.timestamp);
    return true;
}

// What one entry of a log did to the parse.
enum class Step {
    counted,  // the entry counts, the parse goes on
    last,     // the entry counts, the parse ends
    stop,     // the entry does not count, the parse ends
};

// The numbers that close an entry, one per slot of out[0..count), each stored
// as as(number). A text that ends before the last ends the parse, but the
// entry still counts.
template <typename T, typename As>
Step read_tail(HexText &text, T *out, size_t count, As as)
{
    for (size_t i = 0; i < count; ++i) {
        u_int32 v = 0;
        if (!text.next(v))
            return Step::last;
        out[i] = as(v);
    }
    return Step::counted;
}

// The first n records in the order of `order` (records with equal keys in no
// defined order).
template <typename T>
void sort_records(T *records, int32 n, int (*order)(const void *, const void *))
{
    if (n > 1)
        std::qsort(records, static_cast<size_t>(n), sizeof(T), order);
}

// Entries from `text` into out[0..maxdepth), one entry(text, record) call per
// slot, then the counted ones sorted with `order`.
template <typename T, typename Entry>
int32 parse_entries(HexText &text, T *out, int32 maxdepth, int (*order)(const void *, const void *),
                    Entry entry)
{
    if (out == nullptr || maxdepth <= 0)
        return 0;
    int32 n = 0;
    while (n < maxdepth) {
        const Step step = entry(text, out[n]);
        if (step == Step::stop)
            break;
        ++n;
        if (step == Step::last)
            break;
    }
    sort_records(out, n, order);
    return n;
}

template <typename T, typename Entry>
int32 parse_entries(const u_int8 *diagres, int32 len, T *out, int32 maxdepth,
                    int (*order)(const void *, const void *), Entry entry)
{
    HexText text = log_text(diagres, len);
    return parse_entries(text, out, maxdepth, order, entry);
}

// Low bits of a number read as a field of the records.
inline u_int8 low8(u_int32 v) { return static_cast<u_int8>(v & 0xFF); }
inline u_int16 low16(u_int32 v) { return static_cast<u_int16>(v & 0xFFFF); }

// The write-fault log of one reply into log (LTO_WRFAULT_LOG_WRAPS records);
// the lines stored.
int32 decode_writefault_log(const u_int8 *diagres, int32 len, LTOWrFaultLogType *log);

}  // namespace ltolib

#endif
