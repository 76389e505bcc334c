// The answers every SPC device gives alike; see standard.h.
#include "standard.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "models.h"
#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr uint8_t kEvpd = 0x01;
constexpr uint8_t kCmdDt = 0x02;  // obsolete command-support data
constexpr uint8_t kPageSupported = 0x00;
constexpr uint8_t kPageSerial = 0x80;
constexpr uint8_t kPageIdentification = 0x83;
constexpr uint8_t kDescriptorSense = 0x01;  // REQUEST SENSE byte 1: DESC

// The answer the setting "inquiry" (standard data) or "inquiry.<pp>" (EVPD page
// pp) gives; nullopt without one.
std::optional<Bytes> configured_inquiry(const Config &cfg, bool evpd, uint8_t page)
{
    std::string key = "inquiry";
    if (evpd) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, ".%02x", static_cast<unsigned>(page));
        key += suffix;
    }
    if (!cfg.has(key))
        return std::nullopt;
    return cfg.get_bytes(key);
}

// "inquiry.<pp>" settings, by page code.
std::set<uint8_t> configured_pages(const Config &cfg)
{
    static const std::string prefix = "inquiry.";
    std::set<uint8_t> pages;
    for (const auto &kv : cfg.values) {
        if (kv.first.compare(0, prefix.size(), prefix) != 0)
            continue;
        Bytes code = parse_hex(kv.first.substr(prefix.size()));
        if (code.size() == 1)
            pages.insert(code[0]);
    }
    return pages;
}

// One designator of type T10 vendor ID: vendor, product and serial number,
// the designation every device can give of itself.
Bytes identification_body(const Bytes &standard, const std::string &serial)
{
    Bytes id;
    for (size_t i = 8; i < 32; ++i)
        id.push_back(i < standard.size() ? standard[i] : ' ');
    id.insert(id.end(), serial.begin(), serial.end());
    const size_t n = std::min<size_t>(id.size(), 0xFF);
    Bytes d(4 + n, 0);
    d[0] = 0x02;  // ASCII
    d[1] = 0x01;  // logical unit, T10 vendor ID
    d[3] = static_cast<uint8_t>(n);
    std::copy(id.begin(), id.begin() + static_cast<long>(n), d.begin() + 4);
    return d;
}

}  // namespace

Bytes page_with_body(uint8_t byte0, uint8_t byte1, const Bytes &body)
{
    Bytes p(4 + body.size(), 0);
    p[0] = byte0;
    p[1] = byte1;
    put_be_at(p, 2, std::min<size_t>(body.size(), 0xFFFF), 2);
    std::copy(body.begin(), body.end(), p.begin() + 4);
    return p;
}

Reply invalid_field_in_cdb() { return check_condition(kSenseIllegalRequest, kAscInvalidFieldInCdb, 0); }

Reply invalid_field_in_parameters()
{
    return check_condition(kSenseIllegalRequest, kAscInvalidFieldInParameterList, 0);
}

Reply sequence_error() { return check_condition(kSenseIllegalRequest, kAscCommandSequenceError, 0); }

std::string serial_number(const Config &cfg)
{
    if (cfg.has("serial"))
        return cfg.get("serial");
    char s[16];
    std::snprintf(s, sizeof s, "%02lX%02lX%02lX%04lX", cfg.get_int("host") & 0xFF,
                  cfg.get_int("channel") & 0xFF, cfg.get_int("target") & 0xFF, cfg.get_int("lun") & 0xFFFF);
    return s;
}

Reply inquiry_reply(const Config &cfg, const Command &cmd, const Bytes &standard,
                    const std::map<uint8_t, Bytes> &vendor_pages)
{
    if (cmd.cdb.size() < 6 || (cmd.cdb[1] & kCmdDt))
        return invalid_field_in_cdb();
    const uint8_t page = cmd.cdb[2];
    const bool evpd = cmd.cdb[1] & kEvpd;
    if (!evpd && page != 0)
        return invalid_field_in_cdb();
    if (auto d = configured_inquiry(cfg, evpd, page))
        return good(*d);
    if (!evpd)
        return good(standard);

    const uint8_t peripheral = standard.empty() ? 0 : standard[0];
    switch (page) {
    case kPageSupported: {
        std::set<uint8_t> codes = configured_pages(cfg);
        codes.insert({kPageSupported, kPageSerial, kPageIdentification});
        for (const auto &p : vendor_pages)
            codes.insert(p.first);
        return good(page_with_body(peripheral, page, Bytes(codes.begin(), codes.end())));
    }
    case kPageSerial: {
        std::string serial = serial_number(cfg);
        return good(page_with_body(peripheral, page, Bytes(serial.begin(), serial.end())));
    }
    case kPageIdentification:
        return good(page_with_body(peripheral, page, identification_body(standard, serial_number(cfg))));
    default:
        break;
    }
    auto it = vendor_pages.find(page);
    if (it == vendor_pages.end())
        return invalid_field_in_cdb();
    return good(it->second);
}

Reply request_sense_reply(const Command &cmd, const Bytes &fixed)
{
    if (cmd.cdb.size() < 2 || !(cmd.cdb[1] & kDescriptorSense) || fixed.size() <= kSenseAscqByte)
        return good(fixed);
    // Descriptor format carries the same key and codes, with no descriptors.
    Bytes d(8, 0);
    d[0] = kSenseResponseDescriptorCurrent;
    d[1] = fixed[kSenseKeyByte] & 0x0F;
    d[2] = fixed[kSenseAscByte];
    d[3] = fixed[kSenseAscqByte];
    return good(d);
}

Reply configured_tur(const Config &cfg)
{
    Bytes s = cfg.get_bytes("tur");
    if (s.size() >= 3)
        return check_condition(s[0], s[1], s[2]);
    return good();
}

Bytes standing_sense(const Config &cfg)
{
    Reply tur = configured_tur(cfg);
    return tur.sense.empty() ? check_condition(kSenseNoSense, 0, 0).sense : tur.sense;
}

Reply report_luns(const Config &cfg, const Command &cmd)
{
    if (cmd.cdb.size() < 12)
        return invalid_field_in_cdb();
    // Select report 0 and 2 list the logical units; 1 lists only well-known
    // ones, of which there are none.
    const uint8_t select = cmd.cdb[2];
    if (select > 2)
        return invalid_field_in_cdb();
    Bytes d(8, 0);
    if (select != 1) {
        Bytes lun(8, 0);
        const long n = cfg.get_int("lun", 0);
        // Peripheral addressing below 256, flat space addressing above.
        if (n < 256)
            lun[1] = static_cast<uint8_t>(n);
        else
            put_be_at(lun, 0, 0x4000u | (static_cast<unsigned long>(n) & 0x3FFF), 2);
        d.insert(d.end(), lun.begin(), lun.end());
    }
    put_be_at(d, 0, d.size() - 8, 4);
    return good(d);
}

}  // namespace kvemu
