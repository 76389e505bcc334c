// A plain device: answers TEST UNIT READY and INQUIRY from its settings, plus any
// "reply.<cdb prefix>" data; refuses everything else.
#include <cstdio>

#include "models.h"

namespace kvemu {
namespace {

class Generic : public Device {
public:
    using Device::Device;

    Reply command(const Command &cmd) override
    {
        if (auto r = configured_reply(cmd))
            return *r;
        if (cmd.cdb.empty())
            return illegal_opcode();
        switch (cmd.cdb[0]) {
        case 0x00:
            return test_unit_ready();
        case 0x12:
            return inquiry(cmd);
        default:
            return illegal_opcode();
        }
    }

private:
    Reply test_unit_ready() const
    {
        Bytes s = cfg.get_bytes("tur");  // "key asc ascq" makes it answer CHECK CONDITION
        if (s.size() >= 3)
            return check_condition(s[0], s[1], s[2]);
        return good();
    }

    Reply inquiry(const Command &cmd) const
    {
        if (cmd.cdb.size() >= 3 && (cmd.cdb[1] & 0x01)) {
            char key[16];
            std::snprintf(key, sizeof key, "inquiry.%02x", cmd.cdb[2]);
            if (!cfg.has(key))
                return check_condition(0x05, 0x24, 0x00);
            return good(cfg.get_bytes(key));
        }
        if (cfg.has("inquiry"))
            return good(cfg.get_bytes("inquiry"));
        return good(standard_inquiry(cfg));
    }
};

}  // namespace

// Standard INQUIRY data built from type, vendor, product and revision.
Bytes standard_inquiry(const Config &cfg)
{
    Bytes d(96, 0);
    d[0] = static_cast<uint8_t>(cfg.get_int("type", 0) & 0x1f);
    d[1] = cfg.get_int("removable", 0) ? 0x80 : 0x00;
    d[2] = 0x03;
    d[3] = 0x02;
    d[4] = static_cast<uint8_t>(d.size() - 5);
    Bytes vendor = ascii(cfg.get("vendor"), 8);
    Bytes product = ascii(cfg.get("product"), 16);
    Bytes revision = ascii(cfg.get("revision"), 4);
    std::copy(vendor.begin(), vendor.end(), d.begin() + 8);
    std::copy(product.begin(), product.end(), d.begin() + 16);
    std::copy(revision.begin(), revision.end(), d.begin() + 32);
    return d;
}

std::unique_ptr<Device> make_generic(const Config &cfg) { return std::make_unique<Generic>(cfg); }

}  // namespace kvemu
