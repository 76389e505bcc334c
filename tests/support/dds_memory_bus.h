// A DDS drive on the emulated bus for the EEPROM and diagnostics tests.
#ifndef TESTS_DDS_MEMORY_BUS_H
#define TESTS_DDS_MEMORY_BUS_H

#include <string>
#include <vector>

#include "bus_text.h"
#include "kvemu.h"
#include "scsi_io.h"

namespace ddstest {

// Bus text of one KV DDS drive (node 0, host 0, target 3) whose probe reads
// the hardware and firmware codes given; `extra` adds key lines.
std::string dds_bus(int32 hw, int32 fw, const std::string &extra = "");
// One key line, "<key> = <hex bytes>\n".
inline std::string key(const std::string &name, const kvemu::Bytes &bytes)
{
    return bus_text::bytes_key(name, bytes);
}

// Loads the bus, opens its drive and clears the trace.
void open_drive(const std::string &bus, DRIVE &drv);
void close_drive(DRIVE &drv);

// The command and data-out lines of the trace, in order.
std::vector<std::string> sent();
// The probe's INQUIRY of page C0h, as it appears in sent().
extern const char *const kProbeLine;

// A text at `at` of a test image, growing the image when it ends there.
void put_text(kvemu::Bytes &b, size_t at, const std::string &text);

}  // namespace ddstest

#endif
