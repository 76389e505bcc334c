// Drive memories through diagnostic pages: B0h asks for words that page B0h
// then answers as hexadecimal text, B1h writes up to 16 words at a time. The
// cartridge memory is memory 16 with 8-bit words.
#include <algorithm>

#include "diag_page_buffers.h"
#include "hex_text.h"
#include "text_log_frame.h"

namespace ltolib {
namespace {

constexpr int32 kCmHalf = 4096;
constexpr int kCmSizeByte = 5;  // cartridge-memory size in KiB
constexpr int32 kCmSmallKiB = 4;

// Bytes each word takes in the caller's buffer on a write, and so the address
// step from one word to the next.
int word_bytes(int32 wsize) { return wsize == 8 ? 1 : wsize == 16 ? 2 : 4; }

u_int32 word_at(const void *buffer, int32 wsize, int32 i)
{
    switch (word_bytes(wsize)) {
    case 1:
        return static_cast<const u_int8 *>(buffer)[i];
    case 2:
        return static_cast<const u_int16 *>(buffer)[i];
    default:
        return static_cast<const u_int32 *>(buffer)[i];
    }
}

}  // namespace

int32 decode_memory_text(const u_int8 *reply, int32 len, int32 wsize, void *buffer, int32 max_words)
{
    if (reply == nullptr || (buffer == nullptr && max_words > 0))
        return -1;
    HexText text = log_text(reply, len);
    int32 count = 0;
    u_int32 v = 0;
    while (count < max_words && text.next(v)) {
        if (wsize == 32)
            static_cast<u_int32 *>(buffer)[count] = v;
        else if (wsize == 16)
            static_cast<u_int16 *>(buffer)[count] = static_cast<u_int16>(v);
        else
            static_cast<u_int8 *>(buffer)[count] = static_cast<u_int8>(v);
        ++count;
    }
    return count;
}

}  // namespace ltolib

using namespace ltolib;

int32 lto_read_memory_diag(DRIVE *drv, int32 addr, int32 len, int32 id, int32 wsize, void *buffer)
{
    if (len < 0 || (buffer == nullptr && len > 0))
        return -1;
    DiagPage request(static_cast<u_int8>(kMemoryReadPage), 20);
    request.put(4, static_cast<u_int32>(addr));
    request.put(8, static_cast<u_int32>(len));
    request.put(12, static_cast<u_int32>(id));
    request.put(16, static_cast<u_int32>(wsize));
    if (request.send(drv) < 0)
        return -1;
    TextReply reply(drv, TextReply::size_for(len, 12, 6), "lto_read_memory_diag");
    if (!reply.ok() || reply.receive(drv, kMemoryReadPage) < 0)
        return -1;
    return decode_memory_text(reply.data(), reply.length(), wsize, buffer, len);
}

int32 lto_write_memory_diag(DRIVE *drv, int32 addr, int32 len, int32 id, int32 wsize, void *buffer)
{
    if (len < 0 || (buffer == nullptr && len > 0))
        return -1;
    const u_int32 step = static_cast<u_int32>(word_bytes(wsize));
    int32 done = 0;
    int32 last = 1;
    while (done < len && last > 0) {
        const int32 k = std::min(len - done, static_cast<int32>(LTO_MEMORY_WORDS_PER_PAGE));
        DiagPage page(static_cast<u_int8>(kMemoryWritePage), 20 + 4 * k);
        page.put(4, static_cast<u_int32>(addr) + static_cast<u_int32>(done) * step);
        page.put(8, static_cast<u_int32>(k));
        page.put(12, static_cast<u_int32>(id));
        page.put(16, static_cast<u_int32>(wsize));
        for (int32 j = 0; j < k; ++j)
            page.put(20 + 4 * j, word_at(buffer, wsize, done + j));
        last = page.send(drv);
        if (last <= 0)
            break;
        // A page that carried no whole word ends the write: sending it again
        // would go on for ever.
        const int32 carried = (last - 20) / 4;
        if (carried < 1)
            break;
        done += std::min(carried, k);
    }
    return last < 0 ? -1 : done;
}

int32 lto_read_cm(DRIVE *drv, u_int8 *contents, int32 len)
{
    if (len < 0 || (contents == nullptr && len > 0))
        return -1;
    const int32 first = lto_read_memory_diag(drv, 0, std::min(len, kCmHalf), LTO_CM_MEMORY_ID,
                                             LTO_CM_WORD_WIDTH, contents);
    if (len > kCmHalf && first == kCmHalf && contents[kCmSizeByte] > kCmSmallKiB) {
        const int32 second = lto_read_memory_diag(drv, kCmHalf, len - kCmHalf, LTO_CM_MEMORY_ID,
                                                  LTO_CM_WORD_WIDTH, contents + kCmHalf);
        return second <= 0 ? -1 : first + second;
    }
    return first;
}
