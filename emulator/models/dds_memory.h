// The memory and vendor diagnostics of a KV DDS drive: READ BUFFER regions and
// the 8-byte SEND DIAGNOSTIC lists with their results.
#ifndef KVEMU_DDS_MEMORY_H
#define KVEMU_DDS_MEMORY_H

#include <map>
#include <optional>

#include "../kvemu.h"
#include "buffer_regions.h"

namespace kvemu {

class DdsMemory {
public:
    explicit DdsMemory(const Config &cfg);
    // The answer to a READ BUFFER inside a region; nullopt outside every region.
    std::optional<Reply> read_region(const Command &cmd) const;
    // Takes one 8-byte vendor list of SEND DIAGNOSTIC and sets `result`, what
    // RECEIVE DIAGNOSTIC RESULTS answers next.
    Reply vendor_list(const Bytes &list, std::optional<Bytes> &result);

private:
    BufferRegions regions_;
    std::map<uint8_t, Bytes> diag_results_;  // "diag.<list byte 0>" settings
    Bytes servo_eeprom_;
    bool passthru_ = false;
};

}  // namespace kvemu

#endif
