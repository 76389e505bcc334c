// Platform names of DDS hardware configuration codes; data in config_code_names.cpp.
#ifndef DDSLIB_CONFIG_CODE_NAMES_H
#define DDSLIB_CONFIG_CODE_NAMES_H

#include <cstddef>
#include <cstdint>

namespace ddslib {

struct CodeName {
    uint32_t code;
    uint32_t mask;  // bits of the hardware code that must equal `code`
    const char *name;
};

// In matching order: the whole-code rows first, then those compared on the low 24 bits.
extern const CodeName code_names[];
extern const std::size_t code_name_count;

}  // namespace ddslib

#endif
