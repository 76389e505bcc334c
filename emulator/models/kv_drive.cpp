// The behaviour both KV drive models share; see kv_drive.h.
#include "kv_drive.h"

#include <algorithm>

#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {

using namespace scsilib;

void put_text(Bytes &b, size_t at, size_t width, const std::string &text)
{
    if (at >= b.size())
        return;
    width = std::min(width, b.size() - at);
    Bytes field = ascii(text, width);
    std::copy(field.begin(), field.end(), b.begin() + static_cast<long>(at));
}

Bytes vendor_page(uint8_t code, size_t size)
{
    Bytes p(size, 0);
    p[0] = 0x01;  // sequential-access device
    p[1] = code;
    p[3] = static_cast<uint8_t>(size - 4);
    return p;
}

KvDrive::KvDrive(const Config &c, const char *product, Commit commit, FirmwareText firmware_text,
                 const DriveTables &tables)
    : Device(c), download(*this, commit), modes(cfg, tables.mode_header, tables.mode_pages),
      logs(cfg, tables.log_pages), product_(product), firmware_text_(firmware_text)
{
    reserved_elsewhere = cfg.get_int("reserved_elsewhere", 0) != 0;
    reserve_attention_left = cfg.get_int("reserve_attention", 0);
}

std::optional<Reply> KvDrive::reservation(const Command &cmd)
{
    const uint8_t op = cmd.cdb[0];
    // What a drive answers whoever holds it.
    if (reserved_elsewhere && op != kOpInquiry && op != kOpRequestSense && op != kOpReportLuns) {
        Reply r;
        r.status = kStatusReservationConflict;
        return r;
    }
    if (op == kOpReserveUnit && reserve_attention_left > 0) {
        --reserve_attention_left;
        return check_condition(kSenseUnitAttention, kAscPowerOnReset, 0);
    }
    return std::nullopt;
}

Reply KvDrive::command(const Command &cmd)
{
    if (auto r = configured_reply(cmd))
        return *r;
    if (cmd.cdb.empty())
        return illegal_opcode();
    std::optional<Reply> held = reservation(cmd);
    Reply r = held ? *held : dispatch(cmd);
    if (r.status == kStatusCheckCondition)
        sense = r.sense;
    return r;
}

Reply KvDrive::dispatch(const Command &cmd)
{
    switch (cmd.cdb[0]) {
    case kOpTestUnitReady:
        return test_unit_ready(cmd);
    case kOpRequestSense:
        return request_sense(cmd);
    case kOpInquiry:
        return inquiry(cmd);
    case kOpModeSense6:
    case kOpModeSense10:
        return modes.mode_sense(cmd);
    case kOpModeSelect6:
    case kOpModeSelect10:
        return modes.mode_select(cmd);
    case kOpLogSense:
        return logs.log_sense(cmd);
    case kOpSendDiagnostic:
        return diagnostics.send_diagnostic(cmd);
    case kOpReceiveDiagnosticResults:
        return diagnostics.receive_diagnostic_results(cmd);
    case kOpWriteBuffer:
        return write_buffer(cmd);
    case kOpReportLuns:
        return report_luns(cfg, cmd);
    default:
        return illegal_opcode();
    }
}

Reply KvDrive::test_unit_ready(const Command &) { return configured_tur(cfg); }

// The sense of the last CHECK CONDITION once, else the drive's standing
// condition (no cartridge, say, or NO SENSE).
Reply KvDrive::request_sense(const Command &cmd)
{
    Bytes data = sense.empty() ? standing_sense(cfg) : sense;
    sense.clear();
    return request_sense_reply(cmd, data);
}

Reply KvDrive::inquiry(const Command &cmd)
{
    Config c = cfg;
    if (!c.has("type"))
        c.values.emplace("type", "1");
    if (!c.has("vendor"))
        c.values.emplace("vendor", "KV");
    if (!c.has("product"))
        c.values.emplace("product", product_);
    Bytes standard = standard_inquiry(c);
    finish_inquiry(standard);
    std::map<uint8_t, Bytes> pages;
    if (!page_c0.empty())
        pages[0xC0] = page_c0;
    if (!page_c1.empty())
        pages[0xC1] = page_c1;
    return inquiry_reply(cfg, cmd, standard, pages);
}

void KvDrive::put_firmware(const std::string &version)
{
    // A page too short for the field (or no page) has no room for it.
    if (firmware_text_.at + firmware_text_.width <= page_c0.size())
        put_text(page_c0, firmware_text_.at, firmware_text_.width, firmware_text_.label + version);
}

// A WRITE BUFFER outside modes 4 and 5 is refused.
Reply KvDrive::write_buffer(const Command &cmd)
{
    std::optional<Reply> r = download.write_buffer(cmd);
    if (!r)
        return invalid_field_in_cdb();
    if (download.installed())
        put_firmware(*download.installed());
    return *r;
}

}  // namespace kvemu
