// Mode and log pages of an emulated DDS drive: MODE SENSE(6), MODE SELECT(6) and
// LOG SENSE against a page store that MODE SELECT changes. DDS drive models hold
// one and hand it those three opcodes. Settings: see emulator/README.md.
#ifndef KVEMU_DDS_PAGES_H
#define KVEMU_DDS_PAGES_H

#include <map>

#include "../kvemu.h"

namespace kvemu {

class DdsPages {
public:
    explicit DdsPages(const Config &cfg);
    // Answers MODE SENSE(6) 1Ah, MODE SELECT(6) 15h and LOG SENSE 4Dh; refuses
    // anything else as an unknown opcode.
    Reply command(const Command &cmd);

private:
    Reply mode_sense(const Command &cmd) const;
    Reply mode_select(const Command &cmd);
    Reply log_sense(const Command &cmd) const;

    Config cfg_;
    uint8_t medium_type_ = 0;
    bool write_protect_ = false;
    uint8_t buffered_ = 1;
    uint8_t density_ = 0x26;
    uint32_t block_length_ = 0;
    std::map<int, Bytes> mode_pages_;  // page code -> page bytes from the page code on
};

}  // namespace kvemu

#endif
