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
}  // namespace kvemu

#endif
