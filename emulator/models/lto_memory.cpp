// Memories of a KV LTO drive; see lto_memory.h.
#include "lto_memory.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "kv_lto.h"

namespace kvemu {
namespace {

constexpr size_t kCmSmall = 4096;
constexpr size_t kCmLarge = 8192;
constexpr size_t kCmSizeByte = 5;         // size in KiB
constexpr size_t kProtectedTable = 36;    // first page table
constexpr size_t kUnprotectedTable = 44;  // after the protected end entry and its CRC

size_t bytes_per_word(uint32_t width) { return width / 8; }

bool known_width(uint32_t width) { return width == 8 || width == 16 || width == 32; }

// "memory.<id>.<width>", both decimal.
bool parse_memory_key(const std::string &key, uint32_t &id, uint32_t &width)
{
    auto n = key_numbers(key, "memory.", {10, 10});
    if (!n || n->size() != 2 || !known_width(static_cast<uint32_t>((*n)[1])))
        return false;
    id = static_cast<uint32_t>((*n)[0]);
    width = static_cast<uint32_t>((*n)[1]);
    return true;
}

Bytes read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kvemu: cannot read cm_file '%s'\n", path.c_str());
        std::abort();
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

Bytes cartridge_image(const Config &cfg)
{
    Bytes given;
    if (cfg.has("cm"))
        given = cfg.get_bytes("cm");
    else if (cfg.has("cm_file"))
        given = read_file(cfg.get("cm_file"));

    size_t size = static_cast<size_t>(cfg.get_int("cm_size", 0));
    if (size == 0)
        size = given.size() > kCmSmall || (given.size() > kCmSizeByte && given[kCmSizeByte] == 8) ? kCmLarge
                                                                                                  : kCmSmall;
    Bytes image(size, 0);
    if (!given.empty()) {
        std::copy(given.begin(), given.begin() + static_cast<long>(std::min(given.size(), size)),
                  image.begin());
        return image;
    }
    // An empty cartridge memory: chip serial number (little-endian), size in
    // KiB, transponder type, then two page tables of one end entry each.
    put_le_at(image, 0, 0x0C0FFEE0, 4);
    image[kCmSizeByte] = static_cast<uint8_t>(size / 1024);
    put_be_at(image, 6, size == kCmLarge ? 2 : 1, 2);
    put_be_at(image, kProtectedTable, 0xFFFF, 2);
    put_be_at(image, kProtectedTable + 2, kUnprotectedTable, 2);
    put_be_at(image, kUnprotectedTable, 0xFFFF, 2);
    return image;
}

LtoMemories::LtoMemories(const Config &cfg)
{
    for (const auto &kv : cfg.values) {
        uint32_t id = 0, width = 0;
        if (parse_memory_key(kv.first, id, width))
            memories_.emplace(std::make_pair(id, width), parse_hex(kv.second));
    }
    memories_[{kCmId, kCmWidth}] = cartridge_image(cfg);
}

Bytes *LtoMemories::find(uint32_t id, uint32_t width)
{
    auto it = memories_.find({id, width});
    return it == memories_.end() ? nullptr : &it->second;
}

Bytes *LtoMemories::words(uint32_t id, uint32_t width, uint32_t addr, uint32_t count)
{
    Bytes *m = find(id, width);
    if (!m)
        return nullptr;
    const uint64_t end = static_cast<uint64_t>(addr) + static_cast<uint64_t>(count) * bytes_per_word(width);
    return end <= m->size() ? m : nullptr;
}

std::optional<std::string> LtoMemories::read_text(uint32_t id, uint32_t width, uint32_t addr, uint32_t count)
{
    const Bytes *m = words(id, width, addr, count);
    if (!m)
        return std::nullopt;
    const size_t n = bytes_per_word(width);
    std::string text;
    text.reserve(count * (2 * n + 1));
    char word[12];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(word, sizeof word, "%0*llX", static_cast<int>(2 * n),
                      static_cast<unsigned long long>(be_at(*m, addr + i * n, static_cast<int>(n))));
        text += word;
        text += (i % 16 == 15 || i + 1 == count) ? '\n' : ' ';
    }
    return text;
}

bool LtoMemories::write(uint32_t id, uint32_t width, uint32_t addr, const std::vector<uint32_t> &values)
{
    Bytes *m = words(id, width, addr, static_cast<uint32_t>(values.size()));
    if (!m)
        return false;
    const size_t n = bytes_per_word(width);
    for (size_t i = 0; i < values.size(); ++i)
        put_be_at(*m, addr + i * n, values[i], static_cast<int>(n));
    return true;
}

LtoMemories *lto_memories_of(Node *n)
{
    if (!n || !n->device)
        return nullptr;
    auto *d = dynamic_cast<KvLto *>(n->device.get());
    return d ? &d->memories : nullptr;
}

}  // namespace kvemu
