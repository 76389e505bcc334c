// Replies shared by every device model, and the allocation length that bounds
// every data-in reply.
#include <cstdlib>
#include <stdexcept>

#include "kvemu.h"
#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"

namespace kvemu {
namespace {

using namespace scsilib;

// Where a command carries its allocation length: CDB bytes [at, at + width).
// A row with `action` (CDB byte 1) and `sub` (byte 2) serves only the
// sub-command they name; the first matching row wins.
struct AllocationField {
    uint8_t opcode;
    uint8_t at;
    uint8_t width;
    int action = -1;  // -1: any
    int sub = -1;     // -1: any

    bool matches(const Bytes &cdb) const
    {
        return cdb[0] == opcode && (action < 0 || (cdb.size() > 1 && cdb[1] == action)) &&
               (sub < 0 || (cdb.size() > 2 && cdb[2] == sub));
    }
};

// The KV LTO drive's firmware information (MAINTENANCE IN, vendor service
// action 1Fh, sub-command 05h) has 16 bits in bytes 6-7, not the 32 of its kin,
// so its row stands ahead of theirs.
constexpr AllocationField kAllocationFields[] = {
    {kOpRequestSense, 4, 1},         {kOpInquiry, 3, 2},
    {kOpModeSense6, 4, 1},           {kOpReceiveDiagnosticResults, 3, 2},
    {kOpMediaCensus, 3, 2},          {kOpReadBuffer, 6, 3},
    {kOpReportDensitySupport, 7, 2}, {kOpLogSense, 7, 2},
    {kOpModeSense10, 7, 2},          {kOpPersistentReserveIn, 7, 2},
    {kOpReadAttribute, 10, 4},       {kOpReportLuns, 6, 4},
    {kOpSecurityProtocolIn, 6, 4},   {kOpMaintenanceIn, 6, 2, 0x1F, 0x05},
    {kOpMaintenanceIn, 6, 4},        {kOpServiceActionIn12, 6, 4},
    {kOpReadElementStatus, 7, 3},
};

}  // namespace

std::optional<uint32_t> allocation_length(const Bytes &cdb)
{
    if (cdb.empty())
        return std::nullopt;
    for (const auto &f : kAllocationFields)
        if (f.matches(cdb))
            return cdb.size() >= size_t(f.at) + f.width
                       ? std::optional<uint32_t>(static_cast<uint32_t>(be_at(cdb, f.at, f.width)))
                       : std::nullopt;
    return std::nullopt;
}

Reply answer(Device &device, const Command &cmd)
{
    Reply r = device.command(cmd);
    std::optional<uint32_t> limit = allocation_length(cmd.cdb);
    if (limit && r.data.size() > *limit)
        r.data.resize(*limit);
    return r;
}

using namespace scsilib;

Reply good(Bytes data)
{
    Reply r;
    r.data = std::move(data);
    return r;
}

Reply check_condition(uint8_t key, uint8_t asc, uint8_t ascq)
{
    Reply r;
    r.status = kStatusCheckCondition;
    r.sense.assign(kSenseFixedLength, 0);
    r.sense[0] = kSenseResponseCurrent;
    r.sense[kSenseKeyByte] = key;
    r.sense[kSenseAdditionalLengthByte] = kSenseFixedLength - 8;
    r.sense[kSenseAscByte] = asc;
    r.sense[kSenseAscqByte] = ascq;
    return r;
}

Reply illegal_opcode() { return check_condition(kSenseIllegalRequest, kAscInvalidOpcode, 0x00); }

uint64_t be_at(const Bytes &b, size_t at, int width)
{
    unsigned char field[8] = {};
    for (int i = 0; i < width && i < 8; ++i)
        field[i] = at + static_cast<size_t>(i) < b.size() ? b[at + static_cast<size_t>(i)] : 0;
    return get_be(field, width < 8 ? width : 8);
}

namespace {

unsigned char *field_at(Bytes &b, size_t at, int width)
{
    if (width < 0 || at > b.size() || b.size() - at < static_cast<size_t>(width))
        throw std::out_of_range("kvemu: field past the end of the bytes");
    return b.data() + at;
}

}  // namespace

void put_be_at(Bytes &b, size_t at, uint64_t value, int width) { put_be(field_at(b, at, width), value, width); }

void put_le_at(Bytes &b, size_t at, uint64_t value, int width) { put_le(field_at(b, at, width), value, width); }

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
