// Factories of the device models, one per file of this folder.
#ifndef KVEMU_MODELS_H
#define KVEMU_MODELS_H

#include "../kvemu.h"

namespace kvemu {
std::unique_ptr<Device> make_generic(const Config &cfg);
std::unique_ptr<Device> make_kv_lto(const Config &cfg);
std::unique_ptr<Device> make_kv_dds(const Config &cfg);

// Standard INQUIRY data (96 bytes) from the settings type, removable, vendor,
// product and revision; models that need more start from it.
Bytes standard_inquiry(const Config &cfg);
// True for an INQUIRY that asks for the EVPD page in CDB byte 2.
bool is_evpd(const Command &cmd);
// The answer the setting "inquiry" (standard data) or "inquiry.<pp>" (EVPD page
// pp) gives this INQUIRY; nullopt without one.
std::optional<Bytes> configured_inquiry(const Config &cfg, const Command &cmd);
// TEST UNIT READY as "tur = <key> <asc> <ascq>" sets it: CHECK CONDITION with that
// sense; GOOD without the setting.
Reply configured_tur(const Config &cfg);
}  // namespace kvemu

#endif
