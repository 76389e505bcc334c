// The tool's firmware download to an emulated bus of 23 KV LTO drives, each
// given the whole image, against a plain read of the same image as often (read
// in 32 KiB pieces, as `dd bs=32k` to /dev/null would). The images are sparse
// files of 64 MiB and 1 GiB; each run reports its peak resident memory, which
// must not grow with the image: the tool sends it in chunks straight from the
// file, and the emulator keeps no record of what it received.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "config.h"
#include "discover.h"
#include "upgrade.h"
#include "bus_text.h"
#include "kvemu.h"
#include "ratio_report.h"
#include "scratch.h"

namespace {

constexpr int kDrives = MAX_DRIVES;

// Peak resident memory from here on: resets the kernel's high-water mark.
void reset_peak_rss()
{
    if (FILE *fp = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", fp);
        std::fclose(fp);
    }
}

double peak_rss_mib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;  // kB
    return 0;
}

// A scratch directory holding fwimage/ with a sparse image and its
// configuration entry; the working directory while it lives.
class ImageDir {
public:
    explicit ImageDir(long long size)
    {
        std::error_code error;
        if (mkdir("fwimage", 0755) != 0)
            return;
        scratch::write_file("fwimage/firmware.cfg", "A1|LTO.BIN|2.00\n");
        scratch::write_file("fwimage/LTO.BIN", "");
        std::filesystem::resize_file("fwimage/LTO.BIN", static_cast<std::uintmax_t>(size), error);
        ok_ = !error;
    }
    bool ok() const { return ok_; }
    const std::string &path() const { return dir_.path(); }

private:
    scratch::Dir dir_{true};
    bool ok_ = false;
};

long long image_bytes(const benchmark::State &state) { return static_cast<long long>(state.range(0)) << 20; }

void finish(benchmark::State &state, double peak)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * image_bytes(state) * kDrives);
    state.counters["peak_rss_MiB"] = peak;
}

// Discovery, configuration and recommendation set the download up; the
// download itself, with the wait (emulated) and the verifying scan, is timed.
void BM_ToolDownload(benchmark::State &state)
{
    ImageDir dir(image_bytes(state));
    if (!dir.ok()) {
        state.SkipWithError("image directory");
        return;
    }
    std::string bus;
    for (int i = 0; i < kDrives; ++i)
        bus += bus_text::device({{"model", "kv_lto"},
                                 {"host", i / 16},
                                 {"target", i % 16},
                                 {"type", 1},
                                 {"drive_id", "A1"},
                                 {"firmware", "1.00"},
                                 {"record", 0},
                                 {"installs", std::to_string(image_bytes(state)) + " 2.00"}});

    auto discovered = std::make_unique<driveinfo[]>(MAX_DRIVES);
    auto config = std::make_unique<driveinfo[]>(MAX_DRIVES);
    auto list = std::make_unique<driveinfo[]>(MAX_DRIVES);
    int errors = 0;
    bool waited = true;
    reset_peak_rss();
    for (auto _ : state) {
        state.PauseTiming();
        kvemu::load_bus_text(bus);
        kvemu::redirect_path("/var/vxt/Component.log", dir.path() + "/Component.log");
        discover(discovered.get());
        read_firmware_config_file(config.get());
        std::FILE *saved = stdout;
        stdout = std::fopen("/dev/null", "w");  // the recommendation's lines
        recommend_upgrade(discovered.get(), config.get(), list.get());
        std::fclose(stdout);
        stdout = saved;
        state.ResumeTiming();

        errors += upgrade(list.get(), config.get());

        state.PauseTiming();
        waited = waited && kvemu::sleeps() == std::vector<unsigned>{150};
        kvemu::unload_bus();
        state.ResumeTiming();
    }
    double peak = peak_rss_mib();
    if (errors != 0 || !waited)
        state.SkipWithError("the download did not succeed on every drive");
    finish(state, peak);
}

// The same bytes read from the same file, and nothing else done with them.
void BM_PlainRead(benchmark::State &state)
{
    ImageDir dir(image_bytes(state));
    if (!dir.ok()) {
        state.SkipWithError("image directory");
        return;
    }
    std::vector<char> buffer(32768);
    reset_peak_rss();
    for (auto _ : state) {
        for (int d = 0; d < kDrives; ++d) {
            int fd = open("fwimage/LTO.BIN", O_RDONLY);
            ssize_t n;
            while ((n = read(fd, buffer.data(), buffer.size())) > 0)
                benchmark::DoNotOptimize(buffer.data());
            close(fd);
        }
    }
    finish(state, peak_rss_mib());
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->Arg(64)->Arg(1024)->ArgName("image_MiB")->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_ToolDownload)->Apply(sizes);
BENCHMARK(BM_PlainRead)->Apply(sizes);

}  // namespace

int main(int argc, char **argv) { return ratio_report::run(argc, argv, {{"BM_ToolDownload", "BM_PlainRead"}}); }
