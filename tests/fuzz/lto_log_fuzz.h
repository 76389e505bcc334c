// Shared by the fuzz targets of the LTO text-log parsers and EEPROM reports.
//
// Parser input: a byte for maxdepth (0..255; 255 stands for a large depth), a
// byte of layout flags (bits 0..2 pick the generation, bit 3 an 8-channel
// variant, bit 4 the old fault layout), then the reply handed over as diagres.
// Report input: the flags byte, then the log bytes.
#ifndef LTO_LOG_FUZZ_H
#define LTO_LOG_FUZZ_H

#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "ltolib.h"

namespace ltofuzz {

constexpr int32 kGenerations[] = {0, 1, 2, 3, 4, 153, 7, -1};
constexpr int32 kLargeDepth = 20000;

// The drive kind the flags ask for, set for one input.
class Kind {
public:
    explicit Kind(uint8_t flags)
        : variant_(lto_drive_hwconfig), generation_(lto_set_drive_generation(kGenerations[flags & 7]))
    {
        lto_drive_hwconfig = (flags & 8) ? static_cast<int32>(0x80020100) : static_cast<int32>(0x80000300);
    }
    ~Kind()
    {
        lto_drive_hwconfig = variant_;
        lto_set_drive_generation(generation_);
    }

private:
    int32 variant_;
    int32 generation_;
};

// The rest of the input in a heap buffer of exactly its size (a zero-size
// input gets one byte of room that is not part of it).
struct Reply {
    std::vector<uint8_t> bytes;
    std::unique_ptr<u_int8[]> buffer;
    explicit Reply(std::vector<uint8_t> b) : bytes(std::move(b)), buffer(new u_int8[bytes.size() + 1])
    {
        if (!bytes.empty())
            std::memcpy(buffer.get(), bytes.data(), bytes.size());
    }
    u_int8 *data() { return buffer.get(); }
    int32 len() const { return static_cast<int32>(bytes.size()); }
    // The parsers only read the reply.
    bool unchanged() const
    {
        return bytes.empty() || std::memcmp(buffer.get(), bytes.data(), bytes.size()) == 0;
    }
};

template <size_t N>
bool text_field(const char (&field)[N])
{
    return fuzz::terminated(field, N);
}

// One history or configuration parser: at most maxdepth records, in an array
// of exactly that many, each counted one checked by `check`.
template <typename T, typename Check>
void parse_history(const uint8_t *data, size_t size, int32 (*parser)(T *, int32, u_int8 *, int32), Check check)
{
    fuzz::Input in(data, size);
    const uint8_t depth_byte = in.byte();
    const int32 maxdepth = depth_byte == 255 ? kLargeDepth : depth_byte;
    Kind kind(in.byte());
    Reply reply(in.rest());
    std::unique_ptr<T[]> records(maxdepth > 0 ? new T[static_cast<size_t>(maxdepth)]() : nullptr);
    const int32 n = parser(records.get(), maxdepth, reply.data(), reply.len());
    FUZZ_CHECK(n >= -2 && n <= maxdepth && reply.unchanged());
    for (int32 i = 0; i < n; ++i)
        check(records[static_cast<size_t>(i)]);
}

// Every line a report hands over is terminated and ends in a newline.
inline void check_line(void *p)
{
    const char *text = static_cast<const char *>(p);
    FUZZ_CHECK(text != nullptr && fuzz::terminated(text, 4096));
    const size_t n = std::strlen(text);
    FUZZ_CHECK(n > 0 && text[n - 1] == '\n');
}

// One EEPROM report over exactly the bytes of the input after the flags.
inline void report(const uint8_t *data, size_t size, int32 (*decode)(const u_int8 *, size_t, pfvv))
{
    fuzz::Input in(data, size);
    Kind kind(in.byte());
    Reply log(in.rest());
    const int32 r = decode(log.data(), log.bytes.size(), check_line);
    FUZZ_CHECK((r == 0 || r == -1) && log.unchanged());
}

}  // namespace ltofuzz

#endif
