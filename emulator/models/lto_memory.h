// Memories of a KV LTO drive, reached through diagnostic pages B0h (read, as
// hexadecimal text) and B1h (write). Each memory has an id and a word width in
// bits (8, 16 or 32) and is a byte array addressed in bytes; a word is its
// width's bytes, big-endian. Id 16 with width 8 is the cartridge memory, whose
// image is 4096 or 8192 bytes. Keys: see emulator/README.md.
#ifndef KVEMU_LTO_MEMORY_H
#define KVEMU_LTO_MEMORY_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "../kvemu.h"

namespace kvemu {

constexpr uint32_t kCmId = 16;
constexpr uint32_t kCmWidth = 8;

class LtoMemories {
public:
    // "memory.<id>.<width> = <bytes>" (decimal id and width) for any memory;
    // "cm", "cm_file" and "cm_size" for the cartridge memory, which holds an
    // empty but valid image without them.
    explicit LtoMemories(const Config &cfg);

    // The memory of that id and width; null when the drive has none.
    Bytes *find(uint32_t id, uint32_t width);
    Bytes &cartridge() { return memories_[{kCmId, kCmWidth}]; }

    // `count` words from byte address `addr` as the drive's text: hexadecimal
    // words of 2, 4 or 8 digits, a blank between them, sixteen to a line.
    // nullopt when the memory is unknown or the words lie outside it.
    std::optional<std::string> read_text(uint32_t id, uint32_t width, uint32_t addr, uint32_t count);
    // Stores the low bits of each value as one word from `addr`; false (nothing
    // stored) when the memory is unknown or the words lie outside it.
    bool write(uint32_t id, uint32_t width, uint32_t addr, const std::vector<uint32_t> &values);

private:
    Bytes *words(uint32_t id, uint32_t width, uint32_t addr, uint32_t count);

    std::map<std::pair<uint32_t, uint32_t>, Bytes> memories_;
};

// The cartridge-memory image that "cm", "cm_file" and "cm_size" describe, or
// the empty default: serial number, size byte, transponder type, and both page
// tables with nothing but their end entries. Tests build their images on it.
Bytes cartridge_image(const Config &cfg);

// The memories of the KV LTO drive at node n; null for any other device.
LtoMemories *lto_memories_of(Node *n);

}  // namespace kvemu

#endif
