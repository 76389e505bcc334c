// READ BUFFER memory and vendor diagnostics of a KV DDS drive.
#include "dds_memory.h"

#include <cstdlib>

#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

// Byte 0 of the vendor diagnostic lists.
constexpr uint8_t kListServoCommand = 0x41;
constexpr uint8_t kListServoStatus = 0x42;
constexpr uint8_t kListSwitches = 0x4B;
constexpr uint8_t kListDaiCommand = 0x70;
constexpr size_t kServoReplyLength = 20;
constexpr uint8_t kServoReadEeprom = 0x61;

}  // namespace

DdsMemory::DdsMemory(const Config &cfg) : regions_(cfg)
{
    static const std::string diag = "diag.";
    for (const auto &kv : cfg.values) {
        if (kv.first.compare(0, diag.size(), diag) == 0) {
            const std::string code = kv.first.substr(diag.size());
            diag_results_[static_cast<uint8_t>(std::strtoul(code.c_str(), nullptr, 16))] = parse_hex(kv.second);
        }
    }
    servo_eeprom_ = cfg.get_bytes("servo_eeprom");
}

std::optional<Reply> DdsMemory::read_region(const Command &cmd) const { return regions_.read(cmd); }

Reply DdsMemory::vendor_list(const Bytes &list, std::optional<Bytes> &result)
{
    if (list.size() != 8)
        return invalid_field_in_parameters();
    const uint8_t code = list[0];
    auto configured = diag_results_.find(code);
    switch (code) {
    case kListServoCommand: {
        if (list[1] == 0xA1)
            passthru_ = true;
        else if (list[1] == 0x81)
            passthru_ = false;
        if (passthru_ && list[2] == kServoReadEeprom) {
            // The address comes high byte last: bytes 5 and 4 of the list.
            const size_t address = (size_t(list[5]) << 8) | list[4];
            Bytes reply(kServoReplyLength, 0);
            reply[8] = address < servo_eeprom_.size() ? servo_eeprom_[address] : 0xFF;
            reply[9] = address + 1 < servo_eeprom_.size() ? servo_eeprom_[address + 1] : 0xFF;
            result = reply;
        } else {
            result = configured != diag_results_.end() ? configured->second : Bytes(kServoReplyLength, 0);
        }
        return good();
    }
    case kListServoStatus:
    case kListSwitches:
        if (configured == diag_results_.end())
            return invalid_field_in_parameters();
        result = configured->second;
        return good();
    case kListDaiCommand:
        result = configured != diag_results_.end() ? configured->second : Bytes();
        return good();
    default:
        return invalid_field_in_parameters();
    }
}

}  // namespace kvemu
