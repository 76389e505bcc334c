// Mode parameters of an emulated drive: the header, one block descriptor and
// the drive's mode pages (subpages included) with their current, changeable
// and default values. Answers MODE SENSE(6) and (10) with every page control
// but saved values (the drives save nothing), page 3Fh and subpage FFh, and
// MODE SELECT(6) and (10), which changes the current values for the life of
// the bus. Settings: see emulator/README.md.
#ifndef KVEMU_MODE_PAGES_H
#define KVEMU_MODE_PAGES_H

#include <map>
#include <utility>
#include <vector>

#include "../kvemu.h"

namespace kvemu {

// One mode page as a model defines it: its bytes from the page code on
// (header included, subpage format when `subpage` is not 0) and, byte for
// byte, the bits a host may change.
struct ModePageSpec {
    uint8_t code;
    uint8_t subpage;
    Bytes defaults;
    Bytes changeable;  // bytes past its end are not changeable
};

// What the mode parameter header and the block descriptor report.
struct ModeHeader {
    uint8_t medium_type = 0;
    bool write_protect = false;
    uint8_t buffered = 1;  // buffered mode, 3 bits
    uint8_t density = 0;
    uint32_t block_length = 0;
};

class ModePages {
public:
    // The settings medium_type, write_protect, buffered, density and
    // block_length replace the header's values; "mode.<pp>" and
    // "mode.<pp>.<ss>" replace a page (or add one nothing may change).
    ModePages(const Config &cfg, ModeHeader header, const std::vector<ModePageSpec> &pages);

    Reply mode_sense(const Command &cmd) const;  // 1Ah and 5Ah
    Reply mode_select(const Command &cmd);       // 15h and 55h

private:
    struct Page {
        Bytes current;
        Bytes defaults;
        Bytes changeable;
    };
    using Key = std::pair<uint8_t, uint8_t>;  // page code, subpage code

    Bytes header_and_descriptor(bool ten, bool dbd) const;

    ModeHeader header_;
    std::map<Key, Page> pages_;
};

}  // namespace kvemu

#endif
