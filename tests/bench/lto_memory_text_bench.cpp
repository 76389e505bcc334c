// Decoding the hexadecimal text of a cartridge-memory read: an 8 KiB memory
// and one of 1 KiB, by the library's one-pass reader and, side by side, by a
// sscanf("%X%n") per number (which rescans the rest of the text every call).
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ltolib/replies.h"

namespace {

// The reply a drive gives for `bytes` bytes of 8-bit words: a 4-byte header,
// then "XX " per byte, sixteen to a line.
std::vector<u_int8> memory_reply(size_t bytes)
{
    std::string text;
    char word[4];
    for (size_t i = 0; i < bytes; ++i) {
        std::snprintf(word, sizeof word, "%2.2X", static_cast<unsigned>((i * 131 + 7) & 0xFF));
        text += word;
        text += (i % 16 == 15) ? '\n' : ' ';
    }
    std::vector<u_int8> reply(4 + text.size() + 1, 0);
    reply[0] = 0xB0;
    std::copy(text.begin(), text.end(), reply.begin() + 4);
    return reply;
}

void BM_MemoryText(benchmark::State &state)
{
    const size_t bytes = static_cast<size_t>(state.range(0));
    const auto reply = memory_reply(bytes);
    std::vector<u_int8> out(bytes);
    const int32 len = static_cast<int32>(reply.size() - 1);
    for (auto _ : state) {
        int32 n = ltolib::decode_memory_text(reply.data(), len, 8, out.data(), static_cast<int32>(bytes));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * len);
}
BENCHMARK(BM_MemoryText)->Arg(1024)->Arg(8192);

void BM_MemoryTextSscanf(benchmark::State &state)
{
    const size_t bytes = static_cast<size_t>(state.range(0));
    const auto reply = memory_reply(bytes);
    std::vector<u_int8> out(bytes);
    const int32 len = static_cast<int32>(reply.size() - 1);
    for (auto _ : state) {
        const char *p = reinterpret_cast<const char *>(reply.data()) + 4;
        unsigned v = 0;
        int used = 0;
        size_t count = 0;
        while (count < bytes && std::sscanf(p, "%X%n", &v, &used) == 1) {
            out[count++] = static_cast<u_int8>(v);
            p += used;
        }
        benchmark::DoNotOptimize(count);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * len);
}
BENCHMARK(BM_MemoryTextSscanf)->Arg(1024)->Arg(8192);

}  // namespace
