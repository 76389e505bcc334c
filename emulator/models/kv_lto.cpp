// KV LTO drive: standard INQUIRY with the VUMA level, vendor pages C0h and C1h,
// REPORT DENSITY SUPPORT, TEST UNIT READY and REQUEST SENSE, with optional BUSY
// answers and a pending UNIT ATTENTION. Settings are listed in emulator/README.md.
#include "kv_lto.h"

namespace kvemu {
namespace {

constexpr size_t kPageSize = 96;
constexpr size_t kDescriptorSize = 52;

Bytes blank_page(uint8_t code)
{
    Bytes p(kPageSize, 0);
    p[0] = 0x01;
    p[1] = code;
    p[3] = static_cast<uint8_t>(kPageSize - 4);
    return p;
}

}  // namespace

KvLto::KvLto(const Config &c) : KvDrive(c, "ULTRIUM TAPE", Commit::Mode5, {30, 19, "FIRMWARE="})
{
    std::string busy = cfg.get("busy", "0");
    busy_left = busy == "*" ? -1 : cfg.get_int("busy", 0);
    unit_attention = cfg.get_int("unit_attention", 0) != 0;

    std::string component = cfg.get("component", "KV LTO DRIVE");
    page_c0 = blank_page(0xC0);
    put_text(page_c0, 4, 26, component);
    put_firmware(cfg.get("firmware", "1.00"));
    put_text(page_c0, 49, 24, cfg.get("firmware_date", "2011/05/05"));
    put_text(page_c0, 73, 23, cfg.get("variant", ""));

    page_c1 = blank_page(0xC1);
    put_text(page_c1, 4, 26, component);
    put_text(page_c1, 49, 24, cfg.get("hardware_date", "2011/05/05"));
    put_text(page_c1, 73, 23, "DRIVE_ID=" + cfg.get("drive_id", "0"));

    // One descriptor per "density_org" setting, in order.
    std::vector<std::string> orgs = cfg.all("density_org");
    if (orgs.empty())
        orgs.push_back("LTO-CVE");
    size_t list = orgs.size() * kDescriptorSize;
    density_report.assign(4 + list, 0);
    density_report[0] = static_cast<uint8_t>((list + 2) >> 8);
    density_report[1] = static_cast<uint8_t>(list + 2);
    for (size_t i = 0; i < orgs.size(); ++i) {
        size_t at = 4 + i * kDescriptorSize;
        density_report[at] = static_cast<uint8_t>(0x46 - i);  // primary density code
        density_report[at + 1] = density_report[at];          // secondary
        density_report[at + 2] = i == 0 ? 0xA0 : 0x80;        // WRTOK, DEFLT on the first
        density_report[at + 9] = 127;                         // media width, 12.7 mm
        put_text(density_report, at + 16, 8, orgs[i]);
        put_text(density_report, at + 24, 8, "ULTRIUM");
        put_text(density_report, at + 32, 20, "KV LTO density");
    }
}

Reply KvLto::command(const Command &cmd)
{
    if (auto r = configured_reply(cmd))
        return *r;
    if (cmd.cdb.empty())
        return illegal_opcode();
    const uint8_t op = cmd.cdb[0];
    // INQUIRY and REQUEST SENSE are answered whatever state the drive is in.
    if (op != 0x12 && op != 0x03) {
        if (busy_left != 0) {
            if (busy_left > 0)
                --busy_left;
            Reply r;
            r.status = 8;
            return r;
        }
        if (unit_attention) {
            unit_attention = false;
            return check(0x06, 0x29, 0x00);
        }
    }
    switch (op) {
    case 0x00:
        return test_unit_ready(cmd);
    case 0x03:
        return request_sense(cmd);
    case 0x12:
        return inquiry(cmd);
    case 0x3B:
        return write_buffer(cmd);
    case 0x44:
        return report_density_support(cmd);
    default:
        return illegal_opcode();
    }
}

// Asking for sense reports and clears a pending attention.
Reply KvLto::request_sense(const Command &cmd)
{
    if (!unit_attention)
        return KvDrive::request_sense(cmd);
    unit_attention = false;
    sense.clear();
    return good(check_condition(0x06, 0x29, 0x00).sense);
}

const Bytes *KvLto::vendor_page(uint8_t code) const
{
    return code == 0xC1 ? &page_c1 : KvDrive::vendor_page(code);
}

// The VUMA level, as decimal text from byte 47.
void KvLto::finish_inquiry(Bytes &d) const
{
    std::string vuma = cfg.get("vuma", "1");
    for (size_t i = 0; i < vuma.size() && 47 + i < d.size(); ++i)
        d[47 + i] = static_cast<uint8_t>(vuma[i]);
}

Reply KvLto::report_density_support(const Command &) { return good(density_report); }

std::unique_ptr<Device> make_kv_lto(const Config &cfg) { return std::make_unique<KvLto>(cfg); }

}  // namespace kvemu
