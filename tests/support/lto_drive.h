// Test fixture: one emulated KV LTO drive (see emulated_drive.h), with its
// memories (the cartridge memory among them) at hand, and the keys that give
// its text replies.
#ifndef TESTS_SUPPORT_LTO_DRIVE_H
#define TESTS_SUPPORT_LTO_DRIVE_H

#include <string>

#include "emulated_drive.h"
#include "models/lto_memory.h"

class LtoDriveTest : public EmulatedDriveTest {
public:
    // What RECEIVE DIAGNOSTIC RESULTS of page 93h answers after mechanism
    // command `opcode` (and, when given, first parameter `parameter`): `text`
    // behind the page header.
    static std::string mech_key(unsigned opcode, const std::string &text, long parameter = -1)
    {
        char name[40];
        if (parameter < 0)
            std::snprintf(name, sizeof name, "mech.%x", opcode);
        else
            std::snprintf(name, sizeof name, "mech.%x.%lx", opcode, static_cast<unsigned long>(parameter));
        return key(name, text);
    }
    // A page the drive reports as text behind the page header it builds.
    static std::string diag_text_key(unsigned page, const std::string &text)
    {
        char name[24];
        std::snprintf(name, sizeof name, "diag_text.%x", page);
        return key(name, text);
    }

protected:
    LtoDriveTest() : EmulatedDriveTest("kv_lto") {}

    // The drive's memories; the cartridge memory is memories().cartridge().
    static kvemu::LtoMemories &memories() { return *kvemu::lto_memories_of(kvemu::node(0)); }
};

#endif
