// Throughput of the cartridge-memory page decoders: each over its pages of
// every version it knows, into a sink that only counts, in MB/s of page
// bytes. The hex dump of the same pages (what a report shows for a page it
// cannot decode) runs beside them as the reference.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "cm_page_builder.h"
#include "ddslib.h"
#include "ltolib/cartridge_memory/cm_pages.h"

namespace {

using cmtest::Page;
using Decoder = void (*)(const u_int8 *, size_t, pfvv);

size_t counted = 0;

void count(void *text) { counted += std::strlen(static_cast<const char *>(text)); }

// Pages of one id in the given versions and sizes, their text fields in letters.
std::vector<Page> pages(unsigned id, std::vector<std::pair<unsigned, size_t>> versions)
{
    std::vector<Page> out;
    for (const auto &v : versions) {
        Page p = Page(v.first, id, v.second).ramp();
        for (size_t at = 4; at + 1 < std::min<size_t>(v.second, 64); at += 8)
            p.text(at, "KV0123");
        out.push_back(p);
    }
    return out;
}

void run(benchmark::State &state, Decoder decoder, std::vector<Page> set)
{
    int64_t bytes = 0;
    for (const Page &p : set)
        bytes += static_cast<int64_t>(p.size());
    for (auto _ : state) {
        for (Page &p : set)
            decoder(p.data(), p.size(), count);
        benchmark::DoNotOptimize(counted);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void dump(const u_int8 *page, size_t size, pfvv sink)
{
    char *text = dds_sdump_buffer(const_cast<u_int8 *>(page), static_cast<int32>(size));
    sink(text);
    std::free(text);
}

void subpage(const u_int8 *p, size_t n, pfvv s) { ltolib::cm_decode_mech_subpage(p, n, 1, s); }
void usage(const u_int8 *p, size_t n, pfvv s) { ltolib::cm_decode_usage_page(p, n, 1, s); }

}  // namespace

BENCHMARK_CAPTURE(run, cartmfr, ltolib::cm_decode_cartmfr_page, pages(0x001, {{0, 64}}));
BENCHMARK_CAPTURE(run, mediamfr, ltolib::cm_decode_mediamfr_page, pages(0x002, {{0, 64}, {1, 64}}));
BENCHMARK_CAPTURE(run, init, ltolib::cm_decode_init_page, pages(0x101, {{1, 64}, {2, 64}, {3, 72}}));
BENCHMARK_CAPTURE(run, cartcont, ltolib::cm_decode_cartcont_page, pages(0x10D, {{0, 64}, {1, 64}}));
BENCHMARK_CAPTURE(run, tapewrpass, ltolib::cm_decode_tapewrpass_page, pages(0x102, {{0, 48}}));
BENCHMARK_CAPTURE(run, tapedir, ltolib::cm_decode_tapedir_page,
                  pages(0x103, {{0, 1552}, {1, 1808}, {2, 1424}, {3, 1808}, {4, 2576}}));
BENCHMARK_CAPTURE(run, eod, ltolib::cm_decode_eod_page, pages(0x10E, {{0, 64}, {1, 64}, {2, 96}, {3, 40}}));
BENCHMARK_CAPTURE(run, cartstat, ltolib::cm_decode_cartstat_page, pages(0x105, {{0, 32}, {2, 32}, {3, 64}}));
BENCHMARK_CAPTURE(run, mech, ltolib::cm_decode_mech_page, pages(0x106, {{0, 384}}));
BENCHMARK_CAPTURE(run, mech_subpage, subpage, pages(0, {{0, 64}}));
BENCHMARK_CAPTURE(run, suspapp, ltolib::cm_decode_suspapp_page, pages(0x107, {{0, 120}, {1, 184}}));
BENCHMARK_CAPTURE(run, usage, usage, pages(0x109, {{0, 64}, {1, 96}}));
BENCHMARK_CAPTURE(run, fatalerror, ltolib::cm_decode_fatalerror_page,
                  pages(0x10C, {{0, 128}, {1, 128}, {2, 160}, {3, 160}}));
BENCHMARK_CAPTURE(run, mechspec, ltolib::cm_decode_mechspec_page, pages(0x182, {{0, 64}, {0, 512}}));
BENCHMARK_CAPTURE(run, appspec, ltolib::cm_decode_appspec_page, pages(0x200, {{0, 64}, {0, 512}}));
// The same pages as the decoders above, dumped instead.
BENCHMARK_CAPTURE(run, dump_reference_small_pages, dump,
                  pages(0x10C, {{0, 128}, {1, 128}, {2, 160}, {3, 160}}));
BENCHMARK_CAPTURE(run, dump_reference_tapedir, dump,
                  pages(0x103, {{0, 1552}, {1, 1808}, {2, 1424}, {3, 1808}, {4, 2576}}));
