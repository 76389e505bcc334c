// Bus-file sections for discovery tests: KV-style drives built on the generic
// model, with their standard INQUIRY data and vendor pages given byte for byte.
#ifndef DISCOVER_BUS_H
#define DISCOVER_BUS_H

#include <string>

namespace discover_bus {

struct Drive {
    int host = 0;
    int target = 0;
    int type = 1;  // peripheral device type
    std::string vendor = "KV";
    std::string product = "ULTRIUM 5-SCSI";
    std::string revision = "B6W1";
    std::string level = "1";  // text at standard INQUIRY byte 47
    std::string extra;        // further "key = value" lines for the section
};

// Standard INQUIRY data of 96 bytes as a bus-file byte list.
std::string standard_inquiry(const Drive &d);

// LTO page C0h: component 4-29, firmware 30-48, date 49-72, variant 73-95.
std::string lto_c0(const std::string &component, const std::string &firmware, const std::string &date,
                   const std::string &variant);
// LTO page C1h: component 4-29, hardware date 49-72, variant 73-95.
std::string lto_c1(const std::string &component, const std::string &date, const std::string &variant);
// DDS page C0h (128 bytes): firmware 5-29, variant 73-93, "FW_CONF = 0x.." at 94.
std::string dds_c0(const std::string &firmware, const std::string &variant,
                   const std::string &fw_conf = "FW_CONF = 0x02");

// One [device] section using the generic model.
std::string section(const Drive &d);
// An LTO drive answering both vendor pages.
std::string lto_drive(Drive d, const std::string &version, unsigned drive_id);
// A DDS drive whose page C0h carries its hardware code as the drive identifier.
std::string dds_drive(Drive d, const std::string &version, unsigned drive_id);

}  // namespace discover_bus

#endif
