// Throughput of the logical block protection CRC over a 1 MiB block.
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "scsilib.h"

namespace {

void BM_GenerateCrc1MiB(benchmark::State &state)
{
    std::vector<u_int8> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<u_int8>(i * 131 + 17);
    for (auto _ : state) {
        u_int32 crc = scsi_generate_CRC(0, static_cast<u_int32>(block.size()), block.data());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_GenerateCrc1MiB);

}  // namespace
