#include "bus_text.h"

#include <cstdint>
#include <cstdio>

namespace bus_text {

std::string keys(std::initializer_list<Key> keys)
{
    std::string s;
    for (const Key &k : keys)
        s += k.name + " = " + k.value.text + "\n";
    return s;
}

std::string device(std::initializer_list<Key> list) { return "[device]\n" + keys(list); }

std::string bytes_key(const std::string &name, const kvemu::Bytes &bytes)
{
    return name + " = " + kvemu::to_hex(bytes.data(), bytes.size()) + "\n";
}

std::string bytes_key(const std::string &name, const std::string &text)
{
    return bytes_key(name, kvemu::Bytes(text.begin(), text.end()));
}

std::string crc32(const kvemu::Bytes &image)
{
    uint32_t c = 0xFFFFFFFFu;
    for (uint8_t b : image) {
        c ^= b;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    char t[16];
    std::snprintf(t, sizeof t, "%08X", c ^ 0xFFFFFFFFu);
    return t;
}

}  // namespace bus_text
