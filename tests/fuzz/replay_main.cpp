// Runs a fuzz target without libFuzzer, so every build checks it: each seed of
// its corpus folder whole, then a fixed-seed batch of cut, altered and random
// inputs. Each input is handed over in a buffer of exactly its size, so a
// read past the end shows under AddressSanitizer.
//
// usage: <name>_replay CORPUS_DIR [RANDOM_INPUTS]
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace {

using Bytes = std::vector<uint8_t>;

constexpr unsigned kSeed = 20240611;    // same inputs on every run
constexpr size_t kDefaultRandom = 400;  // random inputs after the seeds
constexpr size_t kAlteredPerSeed = 12;  // copies of each seed with a few bytes changed
constexpr size_t kCutsPerSeed = 24;     // prefixes of a long seed
constexpr size_t kRandomMax = 1024;     // longest random input

size_t runs = 0;

void run(const Bytes &input)
{
    // A buffer of exactly the input's size; an empty input gets no buffer.
    std::unique_ptr<uint8_t[]> copy(input.empty() ? nullptr : new uint8_t[input.size()]);
    std::copy(input.begin(), input.end(), copy.get());
    LLVMFuzzerTestOneInput(copy.get(), input.size());
    ++runs;
}

std::vector<std::string> seed_files(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(dir + "/" + e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every prefix of a short seed; evenly spaced ones of a long seed.
void run_cuts(const Bytes &seed)
{
    size_t step = seed.size() <= kCutsPerSeed ? 1 : seed.size() / kCutsPerSeed;
    for (size_t n = 0; n < seed.size(); n += step)
        run(Bytes(seed.begin(), seed.begin() + static_cast<long>(n)));
    if (!seed.empty())
        run(Bytes(seed.begin(), seed.end() - 1));
}

void run_altered(const Bytes &seed, std::mt19937 &rng)
{
    if (seed.empty())
        return;
    std::uniform_int_distribution<size_t> where(0, seed.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> how_many(1, 4);
    for (size_t k = 0; k < kAlteredPerSeed; ++k) {
        Bytes b = seed;
        for (int n = how_many(rng); n > 0; --n)
            b[where(rng)] = static_cast<uint8_t>(byte(rng));
        run(b);
    }
}

void run_random(size_t count, std::mt19937 &rng)
{
    std::uniform_int_distribution<size_t> length(0, kRandomMax);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> printable(0x20, 0x7E);
    for (size_t k = 0; k < count; ++k) {
        Bytes b(length(rng));
        // Half the inputs are text, which the text parsers get further into.
        bool text = k % 2 == 1;
        for (auto &c : b)
            c = static_cast<uint8_t>(text ? printable(rng) : byte(rng));
        run(b);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [RANDOM_INPUTS]\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    size_t random_inputs = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : kDefaultRandom;

    std::vector<std::string> files = seed_files(argv[1]);
    if (files.empty()) {
        std::fprintf(stderr, "%s: no seeds in %s\n", argv[0], argv[1]);
        return 1;
    }
    std::mt19937 rng(kSeed);
    for (const auto &f : files) {
        Bytes seed = read_file(f);
        run(seed);
        run_cuts(seed);
        run_altered(seed, rng);
    }
    run_random(random_inputs, rng);
    std::printf("%zu seeds, %zu inputs\n", files.size(), runs);
    return 0;
}
