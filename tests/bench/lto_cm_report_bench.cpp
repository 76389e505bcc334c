// Throughput of the whole cartridge-memory report (every section, every page
// kind) of 4 KiB and 8 KiB images into a sink that only counts, in MB/s of
// image bytes. The hex dump of the same image runs beside it as the
// reference: the least a report of those bytes could cost.
#include <cstdlib>
#include <cstring>

#include <benchmark/benchmark.h>

#include "cm_page_builder.h"
#include "ddslib.h"
#include "ltolib.h"
#include "ratio_report.h"

namespace {

size_t counted = 0;

void count(void *text) { counted += std::strlen(static_cast<const char *>(text)); }

void BM_CmReport(benchmark::State &state)
{
    const size_t size = static_cast<size_t>(state.range(0));
    cmtest::Image image = cmtest::full_image(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(lto_decode_cm_contents(image.data(), LTO_CM_ALL, count));
        benchmark::DoNotOptimize(counted);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_CmDump(benchmark::State &state)
{
    const size_t size = static_cast<size_t>(state.range(0));
    cmtest::Image image = cmtest::full_image(size);
    for (auto _ : state) {
        char *text = dds_sdump_buffer(image.data(), static_cast<int32>(size));
        count(text);
        std::free(text);
        benchmark::DoNotOptimize(counted);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

BENCHMARK(BM_CmReport)->Arg(4096)->Arg(8192);
BENCHMARK(BM_CmDump)->Arg(4096)->Arg(8192);

}  // namespace

int main(int argc, char **argv) { return ratio_report::run(argc, argv, {{"BM_CmReport", "BM_CmDump"}}); }
