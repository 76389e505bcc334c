// The road of mode all (scan, configuration, recommendation, scan, download,
// wait, verifying scan) over an emulated bus of 23 KV LTO drives, each given
// the whole image. Reports the wall time and the peak resident memory: the
// image goes out in chunks straight from the file, so the peak must not grow
// with the image size.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "common.h"
#include "kvemu.h"

namespace {

double peak_rss_mib()
{
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Writes the image a chunk at a time, so the benchmark itself never holds it.
void write_image(const std::string &path, long size)
{
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp)
        return;
    std::vector<unsigned char> chunk(1 << 20);
    for (long done = 0; done < size;) {
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<unsigned char>((done + static_cast<long>(i)) * 31 / 7);
        size_t n = static_cast<size_t>(std::min<long>(size - done, static_cast<long>(chunk.size())));
        std::fwrite(chunk.data(), 1, n, fp);
        done += static_cast<long>(n);
    }
    std::fclose(fp);
}

void BM_ModeAllDownload(benchmark::State &state)
{
    const long image_size = state.range(0) << 20;
    const int drives = MAX_DRIVES;
    char old_cwd[PATH_MAX];
    if (!getcwd(old_cwd, sizeof old_cwd)) {
        state.SkipWithError("getcwd");
        return;
    }
    char tmpl[] = "/tmp/kvupgbenchXXXXXX";
    if (!mkdtemp(tmpl)) {
        state.SkipWithError("mkdtemp");
        return;
    }
    std::string dir = tmpl;
    if (chdir(dir.c_str()) != 0 || mkdir("fwimage", 0755) != 0) {
        state.SkipWithError("work directory");
        return;
    }
    write_image("fwimage/LTO.BIN", image_size);
    if (FILE *fp = std::fopen("fwimage/firmware.cfg", "w")) {
        std::fputs("A1|LTO.BIN|2.00\n", fp);
        std::fclose(fp);
    }

    std::string bus;
    for (int i = 0; i < drives; ++i)
        bus += "[device]\nmodel = kv_lto\nhost = " + std::to_string(i / 16) +
               "\ntarget = " + std::to_string(i % 16) +
               "\ntype = 1\ndrive_id = A1\nfirmware = 1.00\nrecord = 0\ninstalls = " +
               std::to_string(image_size) + " 2.00\n";

    auto discovered = std::make_unique<driveinfo[]>(MAX_DRIVES);
    auto config = std::make_unique<driveinfo[]>(MAX_DRIVES);
    auto list = std::make_unique<driveinfo[]>(MAX_DRIVES);
    int errors = 0;
    for (auto _ : state) {
        state.PauseTiming();
        kvemu::load_bus_text(bus);
        kvemu::redirect_path("/var/vxt/Component.log", dir + "/Component.log");
        state.ResumeTiming();

        discover(discovered.get());
        read_firmware_config_file(config.get());
        std::FILE *saved = stdout;
        stdout = std::fopen("/dev/null", "w");  // the recommendation's lines
        recommend_upgrade(discovered.get(), config.get(), list.get());
        std::fclose(stdout);
        stdout = saved;
        discover(discovered.get());
        errors = upgrade(list.get(), config.get());
    }
    double peak = peak_rss_mib();
    bool waited = kvemu::sleeps() == std::vector<unsigned>{150};
    kvemu::unload_bus();
    if (chdir(old_cwd) != 0)
        state.SkipWithError("chdir back");
    std::filesystem::remove_all(dir);
    if (errors != 0 || !waited)
        state.SkipWithError("the download did not succeed on every drive");

    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * image_size * drives);
    state.counters["image_MiB"] = static_cast<double>(image_size >> 20);
    // Peak of the whole process so far: compare the runs of the two sizes.
    state.counters["peak_rss_MiB"] = peak;
}

BENCHMARK(BM_ModeAllDownload)->Arg(8)->Arg(64)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
