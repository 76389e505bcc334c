// DDS identification probe: reads the drive's hardware and firmware
// configuration codes and names its platform.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config_code_names.h"
#include "ddslib.h"
#include "scsilib.h"
#include "scsilib/byte_order.h"

int32 dds_drive_hwconfig = 0;

namespace {

constexpr int32 kPageSize = 256;
constexpr int kFixedHwAt = 73;  // "HW_CONF" of the fixed page layout
constexpr int kFixedFwAt = 94;  // "FW_CONF = 0x..." of the fixed page layout
constexpr int32 kBuffer1Offset = 0x100;
constexpr int32 kBuffer1Length = 48;
constexpr int kCodeNameSize = 16;  // 15 characters and the NUL

// Reads "<label>0x<hex>" at `text` the way "<label>0x%X" would (blanks in the
// label match any run of white space), without scanf's undefined overflow.
bool parse_code(const char *text, const char *format, int32 *value)
{
    int pos = -1;
    std::sscanf(text, format, &pos);  // format is "<label>0x%n"
    if (pos < 0)
        return false;
    const char *start = text + pos;
    char *end = nullptr;
    unsigned long v = std::strtoul(start, &end, 16);
    if (end == start)
        return false;
    *value = static_cast<int32>(static_cast<uint32_t>(v));
    return true;
}

void code_name(int32 hw_code, bool known, char *out)
{
    const uint32_t code = static_cast<uint32_t>(hw_code);
    if (known) {
        for (std::size_t i = 0; i < ddslib::code_name_count; ++i) {
            const auto &row = ddslib::code_names[i];
            if ((code & row.mask) == row.code) {
                std::snprintf(out, kCodeNameSize, "%s", row.name);
                return;
            }
        }
    }
    std::snprintf(out, kCodeNameSize, "Unknown%s%s", (known && (code & 1)) ? "(DC)" : "",
                  (known && (code & 2)) ? "(AC)" : "");
}

}  // namespace

int32 dds_read_config_codes(DRIVE *drv, int32 *hw_code, int32 *fw_code, char *codename)
{
    unsigned char page[kPageSize] = {};
    int32 received = scsi_evpd_inquiry(drv, 1, 0xC0, page, kPageSize);
    if (received < 0) {
        dds_drive_hwconfig = 0;
        return -1;
    }
    if (received > kPageSize)
        received = kPageSize;

    // Only what the drive sent is looked at, as NUL-terminated text.
    char text[kPageSize + 1] = {};
    std::memcpy(text, page, static_cast<std::size_t>(received));

    // An unparsable hardware code text leaves code 0, named "Unknown"; a missing
    // or unparsable firmware code text leaves -1.
    int32 hw = 0;
    int32 fw = -1;
    bool hw_known = false;

    u_int8 hw_label[] = "HW_CONF = ";
    u_int8 fw_label[] = "FW_CONF = ";
    if (received >= kFixedHwAt + 7 && std::memcmp(page + kFixedHwAt, "HW_CONF", 7) == 0) {
        hw_known = parse_code(text + kFixedHwAt, "HW_CONF = 0x%n", &hw);
        if (received > kFixedFwAt)
            parse_code(text + kFixedFwAt, "FW_CONF = 0x%n", &fw);
    } else if (u_int8 *at = dds_buffer_contains(page, received, hw_label, 10)) {
        hw_known = parse_code(text + (at - page), "HW_CONF = 0x%n", &hw);
        if (u_int8 *fw_at = dds_buffer_contains(page, received, fw_label, 10))
            parse_code(text + (fw_at - page), "FW_CONF = 0x%n", &fw);
    } else {
        unsigned char buffer[kBuffer1Length] = {};
        int32 got = scsi_read_buffer(drv, buffer, 1, 1, kBuffer1Offset, kBuffer1Length);
        // The two leading words tell where the codes stand; a reply that stops
        // before the hardware code has not given it.
        int code_at = 7;
        const u_int32 first_word = scsilib::get_be32(buffer);
        if (got >= 8 && first_word == scsilib::get_be32(buffer + 4) && first_word != 0)
            code_at = 23;
        if (got < code_at + 4) {
            dds_drive_hwconfig = 0;
            return -1;
        }
        hw = static_cast<int32>(scsilib::get_be32(buffer + code_at));
        hw_known = true;
        if (got >= code_at + 12)
            fw = static_cast<int32>(scsilib::get_be32(buffer + code_at + 8));
    }

    *hw_code = hw;
    *fw_code = fw;
    code_name(hw, hw_known, codename);
    dds_drive_hwconfig = hw;
    return 0;
}
