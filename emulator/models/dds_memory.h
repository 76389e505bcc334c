// The memory and vendor diagnostics of a KV DDS drive: READ BUFFER regions and
// the 8-byte SEND DIAGNOSTIC lists with their results.
#ifndef KVEMU_DDS_MEMORY_H
#define KVEMU_DDS_MEMORY_H

#include "../kvemu.h"

namespace kvemu {

class DdsMemory {
public:
    explicit DdsMemory(const Config &cfg);
    // The answer to READ BUFFER inside a region, SEND DIAGNOSTIC or RECEIVE
    // DIAGNOSTIC RESULTS; nullopt for every other command.
    std::optional<Reply> command(const Command &cmd);

private:
    struct Region {
        int id = 0;
        int mode = 0;
        uint32_t offset = 0;
        Bytes bytes;
    };
    std::optional<Reply> read_region(const Command &cmd) const;
    Reply send_diagnostic(const Command &cmd);
    Reply receive_diagnostic() const;

    std::vector<Region> regions_;
    std::map<uint8_t, Bytes> diag_results_;  // "diag.<list byte 0>" settings
    Bytes servo_eeprom_;
    bool passthru_ = false;
    std::optional<Bytes> result_;  // what RECEIVE DIAGNOSTIC RESULTS answers
};

}  // namespace kvemu

#endif
