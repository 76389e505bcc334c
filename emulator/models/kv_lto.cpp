// KV LTO drive: standard INQUIRY with the VUMA level, vendor pages C0h and C1h,
// REPORT DENSITY SUPPORT, with optional BUSY answers and a pending UNIT
// ATTENTION; the rest as every KV drive. Settings are listed in emulator/README.md.
#include "kv_lto.h"

#include <algorithm>

#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr size_t kPageSize = 96;
constexpr size_t kDescriptorSize = 52;
constexpr long kDataBufferSize = 0x100000;

Reply unit_attention_reply() { return check_condition(kSenseUnitAttention, kAscPowerOnReset, 0); }

}  // namespace

KvLto::KvLto(const Config &c)
    : KvDrive(c, "ULTRIUM TAPE", Commit::Mode5, {30, 19, "FIRMWARE="}, lto_tables()), memories(cfg),
      maintenance(cfg), buffers(cfg),
      data_buffer_size(
          static_cast<uint64_t>(std::clamp(cfg.get_int("buffer_size", kDataBufferSize), 0L, 0xFFFFFFL)))
{
    timestamp = static_cast<uint64_t>(cfg.get_int("timestamp", 0)) & 0xFFFFFFFFFFFFull;
    timestamp_origin = static_cast<uint8_t>(cfg.get_int("timestamp_origin", 0));
    add_vendor_diagnostics();

    std::string busy = cfg.get("busy", "0");
    busy_left = busy == "*" ? -1 : cfg.get_int("busy", 0);
    unit_attention = cfg.get_int("unit_attention", 0) != 0;

    std::string component = cfg.get("component", "KV LTO DRIVE");
    page_c0 = vendor_page(0xC0, kPageSize);
    put_text(page_c0, 4, 26, component);
    put_firmware(cfg.get("firmware", "1.00"));
    put_text(page_c0, 49, 24, cfg.get("firmware_date", "2011/05/05"));
    put_text(page_c0, 73, 23, cfg.get("variant", ""));

    page_c1 = vendor_page(0xC1, kPageSize);
    put_text(page_c1, 4, 26, component);
    put_text(page_c1, 49, 24, cfg.get("hardware_date", "2011/05/05"));
    put_text(page_c1, 73, 23, "DRIVE_ID=" + cfg.get("drive_id", "0"));

    // One descriptor per "density_org" setting, in order.
    std::vector<std::string> orgs = cfg.all("density_org");
    if (orgs.empty())
        orgs.push_back("LTO-CVE");
    size_t list = orgs.size() * kDescriptorSize;
    density_report.assign(4 + list, 0);
    put_be_at(density_report, 0, list + 2, 2);
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

Reply KvLto::dispatch(const Command &cmd)
{
    const uint8_t op = cmd.cdb[0];
    // INQUIRY and REQUEST SENSE are answered whatever state the drive is in;
    // REPORT LUNS too, but for BUSY.
    if (op != kOpInquiry && op != kOpRequestSense) {
        if (busy_left != 0) {
            if (busy_left > 0)
                --busy_left;
            Reply r;
            r.status = kStatusBusy;
            return r;
        }
        if (unit_attention && op != kOpReportLuns) {
            unit_attention = false;
            return unit_attention_reply();
        }
    }
    switch (op) {
    case kOpRequestSense:
        return request_sense(cmd);
    case kOpWriteBuffer: {
        Reply r = write_buffer(cmd);
        // The image installed may make the drive report another identifier.
        if (download.installed() && cfg.has("drive_id_after_download"))
            put_text(page_c1, 73, 23, "DRIVE_ID=" + cfg.get("drive_id_after_download"));
        return r;
    }
    case kOpReportDensitySupport:
        return report_density_support(cmd);
    case kOpReadBuffer:
        return read_buffer(cmd);
    case kOpMaintenanceIn:
    case kOpMaintenanceOut:
        if (auto r = maintenance.command(cmd))
            return *r;
        return op == kOpMaintenanceIn ? maintenance_in(cmd) : maintenance_out(cmd);
    default:
        return KvDrive::dispatch(cmd);
    }
}

// Asking for sense reports and clears a pending attention.
Reply KvLto::request_sense(const Command &cmd)
{
    if (!unit_attention)
        return KvDrive::request_sense(cmd);
    unit_attention = false;
    sense.clear();
    return request_sense_reply(cmd, unit_attention_reply().sense);
}

// The VUMA level, as decimal text from byte 47.
void KvLto::finish_inquiry(Bytes &d) const
{
    std::string vuma = cfg.get("vuma", "1");
    for (size_t i = 0; i < vuma.size() && 47 + i < d.size(); ++i)
        d[47 + i] = static_cast<uint8_t>(vuma[i]);
}

// With MEDIA set the report is of the loaded cartridge, which must be there.
Reply KvLto::report_density_support(const Command &cmd)
{
    const bool media = cmd.cdb.size() > 1 && (cmd.cdb[1] & 0x01) != 0;
    if (media && !cartridge_present())
        return check_condition(kSenseNotReady, kAscMediumNotPresent, 0);
    return good(density_report);
}

bool KvLto::cartridge_present() const
{
    const Bytes s = standing_sense(cfg);
    return !(s.size() > kSenseAscByte && (s[kSenseKeyByte] & 0x0F) == kSenseNotReady &&
             s[kSenseAscByte] == kAscMediumNotPresent);
}

std::unique_ptr<Device> make_kv_lto(const Config &cfg) { return std::make_unique<KvLto>(cfg); }

}  // namespace kvemu
