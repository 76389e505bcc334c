#include "bus_text.h"

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

}  // namespace bus_text
