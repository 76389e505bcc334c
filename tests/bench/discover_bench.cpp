// One full discovery scan (256 adapters x 16 targets) over a bus of 23 drives;
// and the same scan over buses of 8 and 64 devices listed by the proc list and
// by sysfs only, side by side (the ratio line: addresses per second through
// sysfs as a share of those through the proc list).
#include <benchmark/benchmark.h>

#include <string>

#include "discover.h"
#include "bus_text.h"
#include "discover_bus.h"
#include "kvemu.h"
#include "ratio_report.h"

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

// Discovery over `bus` for as long as the benchmark runs; false unless every
// scan accepted `drives` drives.
bool scans(benchmark::State &state, const std::string &bus, int drives)
{
    kvemu::load_bus_text(bus);
    static driveinfo table[MAX_DRIVES];
    int found = 0;
    for (auto _ : state) {
        kvemu::clear_trace();
        found = discover(table);
        benchmark::DoNotOptimize(found);
    }
    kvemu::unload_bus();
    if (found == drives)
        return true;
    state.SkipWithError("not every drive was found");
    return false;
}

void BM_DiscoverFullScan(benchmark::State &state) { scans(state, bus_of_23(), MAX_DRIVES); }
BENCHMARK(BM_DiscoverFullScan)->Unit(benchmark::kMillisecond);

constexpr int kAddresses = 256 * 16;

// `count` devices spread over the whole address space, the last at the last
// address: every fourth a KV drive (LTO and DDS in turn), the others disks,
// changers and array controllers.
std::string bus_of(int count)
{
    std::string bus;
    for (int i = 0; i < count; ++i) {
        discover_bus::Drive d;
        d.host = i * 255 / (count - 1);
        d.target = i == count - 1 ? 15 : i % 16;
        switch (i % 4) {
        case 0:
            bus += i % 8 == 0 ? discover_bus::lto_drive(d, "2.5", static_cast<unsigned>(0x1000 + i))
                              : discover_bus::dds_drive(d, "4.1", 0x80013);
            break;
        case 1:
            d.type = 0;
            d.vendor = "OTHERCO";
            d.product = "DISK";
            bus += discover_bus::section(d);
            break;
        case 2:
            d.type = 8;
            d.vendor = "OTHERCO";
            d.product = "LOADER";
            bus += discover_bus::section(d);
            break;
        default:
            bus += bus_text::device({{"host", d.host}, {"target", d.target}, {"type", 12}});
            break;
        }
    }
    return bus;
}

void scan(benchmark::State &state, const std::string &listing)
{
    const int count = static_cast<int>(state.range(0));
    if (!scans(state, listing + bus_of(count), (count + 3) / 4))
        return;
    // One "byte" per address visited, so the ratio report compares addresses per second.
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kAddresses);
}

void BM_ScanProc(benchmark::State &state) { scan(state, ""); }
void BM_ScanSysfs(benchmark::State &state) { scan(state, "devlist = sysfs\n"); }
BENCHMARK(BM_ScanProc)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanSysfs)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) { return ratio_report::run(argc, argv, {{"BM_ScanSysfs", "BM_ScanProc"}}); }
