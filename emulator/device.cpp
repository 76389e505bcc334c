// Replies shared by every device model.
#include <cstdlib>

#include "kvemu.h"

namespace kvemu {

Reply good(Bytes data)
{
    Reply r;
    r.data = std::move(data);
    return r;
}

Reply check_condition(uint8_t key, uint8_t asc, uint8_t ascq)
{
    Reply r;
    r.status = 2;
    r.sense.assign(18, 0);
    r.sense[0] = 0x70;
    r.sense[2] = key;
    r.sense[7] = 10;
    r.sense[12] = asc;
    r.sense[13] = ascq;
    return r;
}

Reply illegal_opcode() { return check_condition(0x05, 0x20, 0x00); }

// "reply.<hex prefix> = <data>": the longest prefix of the CDB that is configured wins.
std::optional<Reply> Device::configured_reply(const Command &cmd) const
{
    static const std::string key = "reply.";
    size_t best = 0;
    const std::string *found = nullptr;
    for (const auto &kv : cfg.values) {
        if (kv.first.compare(0, key.size(), key) != 0)
            continue;
        Bytes prefix = parse_hex(kv.first.substr(key.size()));
        if (prefix.empty() || prefix.size() > cmd.cdb.size() || prefix.size() <= best)
            continue;
        if (std::equal(prefix.begin(), prefix.end(), cmd.cdb.begin())) {
            best = prefix.size();
            found = &kv.second;
        }
    }
    if (!found)
        return std::nullopt;
    return good(parse_hex(*found));
}

Reply Device::command(const Command &cmd)
{
    if (auto r = configured_reply(cmd))
        return *r;
    return illegal_opcode();
}

}  // namespace kvemu
