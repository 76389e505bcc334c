// The text of an emulator bus file (see emulator/README.md): [device]
// sections and "key = value" lines, written in the order given.
//
//   bus_text::device({{"host", 0}, {"target", 2}, {"model", "kv_lto"}})
//   bus_text::keys({{"devlist", "sysfs"}}) + bus_text::device() + ...
#ifndef TESTS_SUPPORT_BUS_TEXT_H
#define TESTS_SUPPORT_BUS_TEXT_H

#include <initializer_list>
#include <string>
#include <type_traits>
#include <utility>

#include "kvemu.h"

namespace bus_text {

// A key's value: text as given (bytes outside printable ASCII included),
// a number in decimal.
struct Value {
    Value(const char *text) : text(text) {}
    Value(std::string text) : text(std::move(text)) {}
    template <typename N, typename = std::enable_if_t<std::is_integral_v<N>>>
    Value(N number) : text(std::to_string(number))
    {
    }
    std::string text;
};

struct Key {
    std::string name;
    Value value;
};

// One "name = value" line per key.
std::string keys(std::initializer_list<Key> keys);
// A [device] section: its header line, then the keys.
std::string device(std::initializer_list<Key> keys = {});

// One key line whose value is `bytes` as hex pairs (any bytes, newlines included).
std::string bytes_key(const std::string &name, const kvemu::Bytes &bytes);
std::string bytes_key(const std::string &name, const std::string &text);

// The CRC-32 of an image as eight upper-case hex digits, as an installs key
// names it ("installs = crc32:<digits> <version>"). Worked out bit by bit
// here, apart from the emulator's own.
std::string crc32(const kvemu::Bytes &image);

}  // namespace bus_text

#endif
