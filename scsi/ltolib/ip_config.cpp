// The drive's network settings, read and written as a list of type-length
// descriptors with MAINTENANCE IN and OUT, sub-command 12h.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ip_config_layout.h"
#include "maintenance.h"
#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "scsilib.h"

namespace ltolib {
namespace {

// The reply as the zeroed buffer it was received into: bytes past the count
// read as 0, and nothing past the count is touched.
class Received {
public:
    Received(const u_int8 *bytes, size_t count) : bytes_(bytes), count_(count) {}
    u_int8 at(size_t i) const { return i < count_ ? bytes_[i] : 0; }
    u_int32 be(size_t i, size_t width) const
    {
        u_int32 v = 0;
        for (size_t k = 0; k < width; ++k)
            v = (v << 8) | at(i + k);
        return v;
    }
    void copy(u_int8 *to, size_t i, size_t width) const
    {
        for (size_t k = 0; k < width; ++k)
            to[k] = at(i + k);
    }

private:
    const u_int8 *bytes_;
    size_t count_;
};

// Takes the fields of one descriptor; false for a type it does not know.
bool take(const Received &r, u_int8 type, size_t body, LTOIPConfigType *c)
{
    switch (type) {
    case ip::kFlags:
        c->iadtdisc = (r.at(body) >> 1) & 1;
        c->disable = r.at(body) & 1;
        c->ipv4acq = r.at(body + 1) >> 4;
        c->ipv6acq = r.at(body + 1) & 0x0F;
        return true;
    case ip::kMac:
        r.copy(c->macaddr, body, ip::kMacBody);
        return true;
    case ip::kMtu:
        c->mtusize = r.be(body + 2, 2);
        return true;
    default:
        break;
    }
    for (const ip::Ipv4Field &f : ip::kIpv4)
        if (f.type == type) {
            c->*f.field = r.be(body, ip::kIpv4Body);
            return true;
        }
    for (const ip::Ipv6Field &f : ip::kIpv6)
        if (f.type == type) {
            r.copy(c->*f.field, body, ip::kIpv6Body);
            return true;
        }
    return false;
}

// Writes a descriptor header at `at`; returns where its body starts.
size_t descriptor(u_int8 *list, size_t at, u_int8 type, size_t body)
{
    list[at] = type;
    list[at + 3] = static_cast<u_int8>(body);
    return at + ip::kDescriptorHeader;
}

}  // namespace

int32 decode_ip_config(const u_int8 *reply, int32 len, LTOIPConfigType *config, DRIVE *log_to)
{
    if (reply == nullptr || config == nullptr || len < 0)
        return -1;
    std::memset(config, 0, sizeof *config);
    const size_t count = static_cast<size_t>(len);
    const Received r(reply, count);
    for (size_t at = ip::kListHeader; at < count;) {
        const u_int8 type = r.at(at);
        const size_t body = at + ip::kDescriptorHeader;
        if (!take(r, type, body, config)) {
            char text[80];
            std::snprintf(text, sizeof text, "Error - unknown descriptor type 0x%X found at offset %d!", type,
                          static_cast<int>(body));
            scsi_log(log_to, "Sys", text);
        }
        at = body + r.at(at + 3);
    }
    return len;
}

void encode_ip_config(const LTOIPConfigType *c, std::array<u_int8, LTO_IP_CONFIG_LIST_SIZE> &list)
{
    list.fill(0);
    u_int8 *p = list.data();
    scsilib::put_be16(p + 2, static_cast<u_int16>(list.size() - ip::kListHeader));
    size_t at = ip::kListHeader;
    size_t body = descriptor(p, at, ip::kFlags, ip::kFlagsBody);
    p[body] = static_cast<u_int8>((c->iadtdisc & 1) << 1 | (c->disable & 1));
    p[body + 1] = static_cast<u_int8>((c->ipv4acq & 0x0F) << 4 | (c->ipv6acq & 0x0F));
    at = body + ip::kFlagsBody;
    body = descriptor(p, at, ip::kMtu, ip::kMtuBody);
    scsilib::put_be16(p + body + 2, static_cast<u_int16>(c->mtusize));
    at = body + ip::kMtuBody;
    for (const ip::Ipv4Field &f : ip::kIpv4) {
        if (!f.settable)
            continue;
        body = descriptor(p, at, f.type, ip::kIpv4Body);
        scsilib::put_be32(p + body, c->*f.field);
        at = body + ip::kIpv4Body;
    }
    for (const ip::Ipv6Field &f : ip::kIpv6) {
        if (!f.settable)
            continue;
        body = descriptor(p, at, f.type, ip::kIpv6Body);
        std::memcpy(p + body, c->*f.field, ip::kIpv6Body);
        at = body + ip::kIpv6Body;
    }
}

}  // namespace ltolib

using namespace ltolib;

int32 lto_get_ip_config(DRIVE *drv, LTOIPConfigType *pConfig)
{
    if (pConfig == nullptr)
        return -1;
    std::memset(pConfig, 0, sizeof *pConfig);
    std::array<u_int8, LTO_IP_CONFIG_REPLY_SIZE> reply{};
    MaintenanceCdb cdb = maintenance_cdb(scsilib::kOpMaintenanceIn, kSubIpConfig, drv, true);
    scsilib::put_be16(&cdb[8], static_cast<u_int16>(reply.size()));
    const int32 n = send_maintenance(drv, cdb, reply.data(), static_cast<int32>(reply.size()));
    if (n < 0)
        return -1;
    return decode_ip_config(reply.data(), std::min(n, static_cast<int32>(reply.size())), pConfig, drv);
}

int32 lto_set_ip_config(DRIVE *drv, LTOIPConfigType *pConfig)
{
    if (pConfig == nullptr)
        return -1;
    std::array<u_int8, LTO_IP_CONFIG_LIST_SIZE> list{};
    encode_ip_config(pConfig, list);
    MaintenanceCdb cdb = maintenance_cdb(scsilib::kOpMaintenanceOut, kSubIpConfig, drv, true);
    scsilib::put_be16(&cdb[8], static_cast<u_int16>(list.size()));
    return send_maintenance(drv, cdb, list.data(), static_cast<int32>(list.size()));
}
