// READ BUFFER regions shared by the KV models.
#include "buffer_regions.h"

namespace kvemu {
namespace {

// "buffer.<id>.<mode>.<offset hex>"
bool parse_region_key(const std::string &key, int &id, int &mode, uint32_t &offset)
{
    auto n = key_numbers(key, "buffer.", {10, 10, 16});
    if (!n || n->size() != 3)
        return false;
    id = static_cast<int>((*n)[0]);
    mode = static_cast<int>((*n)[1]);
    offset = static_cast<uint32_t>((*n)[2]);
    return true;
}

}  // namespace

BufferRegions::BufferRegions(const Config &cfg)
{
    for (const auto &kv : cfg.values) {
        Region r;
        if (parse_region_key(kv.first, r.id, r.mode, r.offset)) {
            r.bytes = parse_hex(kv.second);
            regions_.push_back(std::move(r));
        }
    }
}

std::optional<Reply> BufferRegions::read(const Command &cmd) const
{
    if (cmd.cdb.size() < 10)
        return std::nullopt;
    const int mode = cmd.cdb[1] & 0x1F;
    const int id = cmd.cdb[2];
    const uint32_t offset = static_cast<uint32_t>(be_at(cmd.cdb, 3, 3));
    // A region that starts at the offset wins over one that merely covers it.
    const Region *found = nullptr;
    for (const auto &r : regions_) {
        if (r.id != id || r.mode != mode || offset < r.offset || offset >= r.offset + r.bytes.size())
            continue;
        if (!found || r.offset == offset)
            found = &r;
    }
    if (!found)
        return std::nullopt;
    return good(Bytes(found->bytes.begin() + static_cast<long>(offset - found->offset), found->bytes.end()));
}

}  // namespace kvemu
