// A plain device: answers TEST UNIT READY, REQUEST SENSE, INQUIRY and REPORT
// LUNS from its settings (standard.h, as the KV models do), plus any
// "reply.<cdb prefix>" data; refuses everything else.
#include "models.h"
#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

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
        case kOpTestUnitReady:
            return configured_tur(cfg);
        case kOpRequestSense:
            return request_sense_reply(cmd, standing_sense(cfg));
        case kOpInquiry:
            return inquiry_reply(cfg, cmd, standard_inquiry(cfg), {});
        case kOpReportLuns:
            return report_luns(cfg, cmd);
        default:
            return illegal_opcode();
        }
    }
};

}  // namespace

// Standard INQUIRY data built from type, removable, vendor, product and revision.
Bytes standard_inquiry(const Config &cfg)
{
    Bytes d(96, 0);
    const long type = cfg.get_int("type", 0);
    d[0] = static_cast<uint8_t>(type & 0x1f);
    // Tape drives take removable media.
    d[1] = cfg.get_int("removable", type == 1) ? 0x80 : 0x00;
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
