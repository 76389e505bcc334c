// One full discovery scan (256 adapters x 16 targets) over a bus of 23 drives.
#include <benchmark/benchmark.h>

#include <string>

#include "discover.h"
#include "discover_bus.h"
#include "kvemu.h"

namespace {

std::string bus_of_23()
{
    std::string bus;
    for (int i = 0; i < MAX_DRIVES; ++i) {
        discover_bus::Drive d;
        // Spread over the address space; the last one sits at the very last
        // address, so the scan walks all 4,096 of them.
        bool last = (i == MAX_DRIVES - 1);
        d.host = last ? 255 : i * 11;
        d.target = last ? 15 : i % 16;
        if (i % 2 == 0) {
            d.product = "ULTRIUM 5-SCSI";
            d.level = "2";
            bus += discover_bus::lto_drive(d, "2.5", static_cast<unsigned>(0x1000 + i));
        } else {
            d.product = "DAT160";
            bus += discover_bus::dds_drive(d, "4.1", static_cast<unsigned>(0x80013));
        }
    }
    return bus;
}

void BM_DiscoverFullScan(benchmark::State &state)
{
    kvemu::load_bus_text(bus_of_23());
    static driveinfo table[MAX_DRIVES];
    int found = 0;
    for (auto _ : state) {
        kvemu::clear_trace();
        found = discover(table);
        benchmark::DoNotOptimize(found);
    }
    kvemu::unload_bus();
    if (found != MAX_DRIVES)
        state.SkipWithError("not every drive was found");
}
BENCHMARK(BM_DiscoverFullScan)->Unit(benchmark::kMillisecond);

}  // namespace
