// KV DDS drive: standard INQUIRY, vendor page C0h in the layouts the drives use,
// buffer 1 (READ BUFFER mode 1) with the configuration codes, TEST UNIT READY
// and REQUEST SENSE. Settings are listed in emulator/README.md.
#include "kv_dds.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kvemu {
namespace {

constexpr size_t kPageC0Size = 160;
constexpr size_t kVariantAt = 73;       // 21-byte variant field, read by discovery
constexpr size_t kFwConfAt = 94;        // firmware code text of the fixed layout
constexpr size_t kBuffer1Base = 0x100;  // where the probe reads buffer 1

std::string hex_text(const char *label, uint32_t value)
{
    char b[40];
    std::snprintf(b, sizeof b, "%s0x%X", label, value);
    return b;
}

void put_be32(Bytes &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

KvDds::KvDds(const Config &c) : KvDrive(c, "DDS TAPE", dds_download_commit(c), {5, 25, "FIRMWARE = "})
{
    hw_conf = static_cast<uint32_t>(cfg.get_int("hw_conf", 0x80003));
    has_fw_conf = cfg.get("fw_conf") != "none";
    fw_conf = static_cast<uint32_t>(cfg.get_int("fw_conf", 1));

    std::string layout = cfg.get("c0", "fixed");
    size_t conf_at = static_cast<size_t>(cfg.get_int("conf_at", 100));
    if (layout != "none") {
        // Grows to hold the code texts of the free layout, up to what one INQUIRY can carry.
        size_t size = layout == "free" ? std::min<size_t>(std::max(kPageC0Size, conf_at + 48), 255)
                                       : kPageC0Size;
        page_c0.assign(size, 0);
        page_c0[0] = 0x01;  // sequential-access device
        page_c0[1] = 0xC0;
        page_c0[3] = static_cast<uint8_t>(size - 4);
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

    // "buffer1 = <word 0> <word 4>": equal non-zero words put the codes at
    // bytes 23 and 31, anything else at bytes 7 and 15.
    if (cfg.has("buffer1")) {
        std::string words = cfg.get("buffer1");
        char *end = nullptr;
        uint32_t a = static_cast<uint32_t>(std::strtoul(words.c_str(), &end, 0));
        uint32_t b = static_cast<uint32_t>(std::strtoul(end, nullptr, 0));
        buffer1.assign(kBuffer1Base + 48, 0);
        put_be32(buffer1, kBuffer1Base, a);
        put_be32(buffer1, kBuffer1Base + 4, b);
        size_t at = (a == b && a != 0) ? 23 : 7;
        put_be32(buffer1, kBuffer1Base + at, hw_conf);
        put_be32(buffer1, kBuffer1Base + at + 8, fw_conf);
    }
}

Reply KvDds::command(const Command &cmd)
{
    if (auto r = configured_reply(cmd))
        return *r;
    if (cmd.cdb.empty())
        return illegal_opcode();
    switch (cmd.cdb[0]) {
    case 0x00:
        return test_unit_ready(cmd);
    case 0x03:
        return request_sense(cmd);
    case 0x12:
        return inquiry(cmd);
    case 0x1C:
    case 0x1D:
    case 0x3C:
        return memory_command(cmd);
    case 0x3B:
        return write_buffer(cmd);
    case 0x15:
    case 0x1A:
    case 0x4D:
        return pages.command(cmd);
    default:
        return illegal_opcode();
    }
}

Reply KvDds::read_buffer(const Command &cmd)
{
    if (cmd.cdb.size() < 10)
        return check(0x05, 0x24, 0x00);
    unsigned mode = cmd.cdb[1] & 0x1F;
    unsigned id = cmd.cdb[2];
    size_t offset = get_be(cmd.cdb, 3, 3);
    size_t length = get_be(cmd.cdb, 6, 3);
    if (mode != 1 || id != 1 || buffer1.empty() || offset > buffer1.size())
        return check(0x05, 0x24, 0x00);
    size_t n = std::min(length, buffer1.size() - offset);
    return good(
        Bytes(buffer1.begin() + static_cast<long>(offset), buffer1.begin() + static_cast<long>(offset + n)));
}

std::unique_ptr<Device> make_kv_dds(const Config &cfg) { return std::make_unique<KvDds>(cfg); }

}  // namespace kvemu
