// MAINTENANCE IN and OUT, service action 1Fh, of the KV LTO model; see
// lto_maintenance.h.
#include "lto_maintenance.h"

#include <algorithm>

#include "kv_lto.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr uint8_t kServiceAction = 0x1F;
constexpr uint8_t kSegment = 0x05;   // out
constexpr uint8_t kReboot = 0x06;    // out
constexpr uint8_t kIpConfig = 0x12;  // in and out

constexpr size_t kListHeader = 4;
constexpr size_t kDescriptorHeader = 4;

// Descriptors the drive reports but takes no value for: MAC address, the
// IPv4 address in use, the IPv6 addresses and DNS servers in use.
bool read_only(uint8_t type) { return type == 1 || type == 16 || (type >= 32 && type <= 35); }

struct Descriptor {
    uint8_t type;
    Bytes body;
};

// The descriptors of a list; nullopt when one is cut short.
std::optional<std::vector<Descriptor>> descriptors(const Bytes &list)
{
    std::vector<Descriptor> out;
    size_t end = std::min(list.size(), kListHeader + static_cast<size_t>(be_at(list, 2, 2)));
    for (size_t at = kListHeader; at < end;) {
        if (at + kDescriptorHeader > end)
            return std::nullopt;
        const size_t body = list[at + 3];
        if (at + kDescriptorHeader + body > end)
            return std::nullopt;
        const auto first = list.begin() + static_cast<long>(at + kDescriptorHeader);
        out.push_back({list[at], Bytes(first, first + static_cast<long>(body))});
        at += kDescriptorHeader + body;
    }
    return out;
}

Bytes list_of(const std::vector<Descriptor> &ds)
{
    Bytes list(kListHeader, 0);
    for (const Descriptor &d : ds) {
        list.insert(list.end(), {d.type, 0, 0, static_cast<uint8_t>(d.body.size())});
        list.insert(list.end(), d.body.begin(), d.body.end());
    }
    put_be_at(list, 2, list.size() - kListHeader, 2);
    return list;
}

// A drive as it leaves the factory: flags, MAC, MTU 1500, no addresses.
Bytes default_ip_config()
{
    std::vector<Descriptor> ds = {
        {0, Bytes(4, 0)},
        {1, {0x02, 0x4B, 0x56, 0x00, 0x00, 0x01}},
        {2, {0, 0, 0x05, 0xDC}},
    };
    for (uint8_t t : {3, 4, 5, 6, 7, 16})
        ds.push_back({t, Bytes(4, 0)});
    for (uint8_t t : {8, 9, 32, 33, 34, 35})
        ds.push_back({t, Bytes(20, 0)});
    return list_of(ds);
}

}  // namespace

LtoMaintenance::LtoMaintenance(const Config &cfg)
    : ip_(cfg.has("ip_config") ? cfg.get_bytes("ip_config") : default_ip_config())
{
}

std::optional<Reply> LtoMaintenance::command(const Command &cmd)
{
    if (cmd.cdb.size() < 12 || cmd.cdb[1] != kServiceAction)
        return std::nullopt;
    const uint8_t sub = cmd.cdb[2];
    if (cmd.cdb[0] == kOpMaintenanceIn)
        return sub == kIpConfig ? good(ip_) : invalid_field_in_cdb();
    switch (sub) {
    case kSegment:
        return segment(cmd);
    case kReboot:
        ++reboots_;
        last_swap_ = cmd.cdb[3] & 1;
        return good();
    case kIpConfig:
        return set_ip_config(cmd);
    default:
        return invalid_field_in_cdb();
    }
}

// The CDB's length must be what was sent.
Reply LtoMaintenance::segment(const Command &cmd)
{
    Segment s;
    s.offset = static_cast<uint32_t>(be_at(cmd.cdb, 3, 3));
    s.length = static_cast<uint32_t>(be_at(cmd.cdb, 6, 3));
    s.last = (cmd.cdb[10] & 1) != 0;
    if (s.length != cmd.data_out.size())
        return invalid_field_in_cdb();
    s.data = cmd.data_out;
    segments_.push_back(std::move(s));
    return good();
}

// Each descriptor sent replaces the one of its type; all or nothing.
Reply LtoMaintenance::set_ip_config(const Command &cmd)
{
    if (be_at(cmd.cdb, 8, 2) != cmd.data_out.size())
        return invalid_field_in_cdb();
    auto sent = descriptors(cmd.data_out);
    auto stored = descriptors(ip_);
    if (!sent || !stored)
        return invalid_field_in_parameters();
    for (const Descriptor &d : *sent) {
        if (read_only(d.type))
            return invalid_field_in_parameters();
        bool found = false;
        for (Descriptor &s : *stored)
            if (s.type == d.type) {
                s.body = d.body;
                found = true;
            }
        if (!found)
            stored->push_back(d);
    }
    ip_ = list_of(*stored);
    return good();
}

LtoMaintenance *lto_maintenance_of(Node *n)
{
    if (!n || !n->device)
        return nullptr;
    auto *d = dynamic_cast<KvLto *>(n->device.get());
    return d ? &d->maintenance : nullptr;
}

}  // namespace kvemu
