// The protection CRC against the byte-at-a-time reference and against a plain
// read of the same block (an XOR of its words: the most any pass over it can
// hope for), at block sizes from one page to 16 MiB.
#include <cstdint>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "crc_reference.h"
#include "ratio_report.h"
#include "scsilib.h"
#include "scsilib/crc.h"

namespace {

std::vector<u_int8> block_of(benchmark::State &state)
{
    std::vector<u_int8> block(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<u_int8>(i * 131 + 17);
    return block;
}

void count_bytes(benchmark::State &state)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_CrcFast(benchmark::State &state)
{
    std::vector<u_int8> block = block_of(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(scsi_generate_CRC(0, static_cast<u_int32>(block.size()), block.data()));
    count_bytes(state);
}

// The library's CRC with its vector pass turned off.
void BM_CrcPortable(benchmark::State &state)
{
    std::vector<u_int8> block = block_of(state);
    scsilib::set_vector_fold(false);
    for (auto _ : state)
        benchmark::DoNotOptimize(scsi_generate_CRC(0, static_cast<u_int32>(block.size()), block.data()));
    scsilib::set_vector_fold(true);
    count_bytes(state);
}

void BM_CrcReference(benchmark::State &state)
{
    std::vector<u_int8> block = block_of(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc_reference::crc(0, block.data(), block.size()));
    count_bytes(state);
}

// XOR of the block into eight 32-byte lanes, the widest loads the processor
// offers: no pass over the block reads it faster. Written with the compilers'
// vector types so that neither compiler turns it into scalar code.
using Lane = uint64_t __attribute__((vector_size(32)));

#if defined(__x86_64__)
__attribute__((target_clones("avx2", "default")))
#endif
uint64_t
plain_read(const u_int8 *p, size_t n)
{
    Lane x[8] = {};
    for (size_t i = 0; i + sizeof x <= n; i += sizeof x) {
        for (size_t k = 0; k < 8; ++k) {
            Lane w;
            std::memcpy(&w, p + i + sizeof w * k, sizeof w);
            x[k] ^= w;
        }
    }
    Lane r = x[0] ^ x[1] ^ x[2] ^ x[3] ^ x[4] ^ x[5] ^ x[6] ^ x[7];
    return r[0] ^ r[1] ^ r[2] ^ r[3];
}

void BM_PlainRead(benchmark::State &state)
{
    std::vector<u_int8> block = block_of(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(plain_read(block.data(), block.size()));
    count_bytes(state);
}

void sizes(benchmark::internal::Benchmark *b)
{
    for (int64_t n : {int64_t{4} << 10, int64_t{256} << 10, int64_t{1} << 20, int64_t{16} << 20})
        b->Arg(n);
}

BENCHMARK(BM_CrcFast)->Apply(sizes);
BENCHMARK(BM_CrcPortable)->Apply(sizes);
BENCHMARK(BM_CrcReference)->Apply(sizes);
BENCHMARK(BM_PlainRead)->Apply(sizes);

}  // namespace

int main(int argc, char **argv)
{
    return ratio_report::run(argc, argv,
                             {{"BM_CrcFast", "BM_CrcReference"},
                              {"BM_CrcFast", "BM_PlainRead"},
                              {"BM_CrcPortable", "BM_CrcReference"},
                              {"BM_CrcPortable", "BM_PlainRead"}});
}
