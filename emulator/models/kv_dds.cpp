// KV DDS drive: vendor page C0h in the layouts the drives use, page C1h with
// the servo firmware, buffer 1 (READ BUFFER mode 1) with the configuration
// codes, memory regions and vendor diagnostics; the rest as every KV drive.
// Settings are listed in emulator/README.md.
#include "kv_dds.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr size_t kPageC0Size = 160;
constexpr size_t kPageC1Size = 96;
constexpr size_t kServoAt = 17;         // servo firmware text of page C1h
constexpr size_t kVariantAt = 73;       // 21-byte variant field, read by discovery
constexpr size_t kFwConfAt = 94;        // firmware code text of the fixed layout
constexpr size_t kBuffer1Base = 0x100;  // where the probe reads buffer 1

std::string hex_text(const char *label, uint32_t value)
{
    char b[40];
    std::snprintf(b, sizeof b, "%s0x%X", label, value);
    return b;
}

}  // namespace

KvDds::KvDds(const Config &c)
    : KvDrive(c, "DDS TAPE", dds_download_commit(c), {5, 25, "FIRMWARE = "}, dds_tables(c))
{
    diagnostics.on_vendor_list(
        [this](const Bytes &list, std::optional<Bytes> &result) { return memory.vendor_list(list, result); });

    hw_conf = static_cast<uint32_t>(cfg.get_int("hw_conf", 0x80003));
    has_fw_conf = cfg.get("fw_conf") != "none";
    fw_conf = static_cast<uint32_t>(cfg.get_int("fw_conf", 1));

    std::string layout = cfg.get("c0", "fixed");
    size_t conf_at = static_cast<size_t>(cfg.get_int("conf_at", 100));
    if (layout != "none") {
        // Grows to hold the code texts of the free layout, up to what one INQUIRY can carry.
        size_t size = layout == "free" ? std::min<size_t>(std::max(kPageC0Size, conf_at + 48), 255)
                                       : kPageC0Size;
        page_c0 = vendor_page(0xC0, size);
        put_firmware(cfg.get("firmware", "1.00"));
        if (layout == "fixed") {
            // The variant field itself carries the hardware code, so discovery
            // reads the hardware code as the drive identifier.
            put_text(page_c0, kVariantAt, 21, hex_text("HW_CONF = ", hw_conf));
            put_text(page_c0, kFwConfAt, 24, has_fw_conf ? hex_text("FW_CONF = ", fw_conf) : "");
        } else {
            uint32_t id = static_cast<uint32_t>(cfg.get_int("drive_id", hw_conf));
            put_text(page_c0, kVariantAt, 21, hex_text("DRIVE_ID = ", id));
            if (layout == "free") {
                put_text(page_c0, conf_at, 24, hex_text("HW_CONF = ", hw_conf));
                if (has_fw_conf)
                    put_text(page_c0, conf_at + 24, 24, hex_text("FW_CONF = ", fw_conf));
            }
        }
    }

    // The servo firmware text, NUL-terminated as the drives write it.
    page_c1 = vendor_page(0xC1, kPageC1Size);
    std::string servo = cfg.get("servo_firmware", cfg.get("firmware", "1.00"));
    std::copy_n(servo.begin(), std::min(servo.size(), kPageC1Size - kServoAt - 1), page_c1.begin() + kServoAt);

    // "buffer1 = <word 0> <word 4>": equal non-zero words put the codes at
    // bytes 23 and 31, anything else at bytes 7 and 15.
    if (cfg.has("buffer1")) {
        std::string words = cfg.get("buffer1");
        char *end = nullptr;
        uint32_t a = static_cast<uint32_t>(std::strtoul(words.c_str(), &end, 0));
        uint32_t b = static_cast<uint32_t>(std::strtoul(end, nullptr, 0));
        buffer1.assign(kBuffer1Base + 48, 0);
        put_be_at(buffer1, kBuffer1Base, a, 4);
        put_be_at(buffer1, kBuffer1Base + 4, b, 4);
        size_t at = (a == b && a != 0) ? 23 : 7;
        put_be_at(buffer1, kBuffer1Base + at, hw_conf, 4);
        put_be_at(buffer1, kBuffer1Base + at + 8, fw_conf, 4);
    }
}

Reply KvDds::dispatch(const Command &cmd)
{
    switch (cmd.cdb[0]) {
    case kOpReadBuffer:
        return read_buffer(cmd);
    default:
        return KvDrive::dispatch(cmd);
    }
}

// The memory regions first, then buffer 1.
Reply KvDds::read_buffer(const Command &cmd)
{
    if (cmd.cdb.size() < 10)
        return invalid_field_in_cdb();
    if (auto r = memory.read_region(cmd))
        return *r;
    unsigned mode = cmd.cdb[1] & 0x1F;
    unsigned id = cmd.cdb[2];
    size_t offset = be_at(cmd.cdb, 3, 3);
    if (mode != 1 || id != 1 || buffer1.empty() || offset > buffer1.size())
        return invalid_field_in_cdb();
    return good(Bytes(buffer1.begin() + static_cast<long>(offset), buffer1.end()));
}

std::unique_ptr<Device> make_kv_dds(const Config &cfg) { return std::make_unique<KvDds>(cfg); }

}  // namespace kvemu
