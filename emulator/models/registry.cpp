// Model names as a bus file uses them ("model = <name>").
#include <cstring>

#include "models.h"

namespace kvemu {

namespace {
struct Entry {
    const char *name;
    Factory make;
};

const Entry models[] = {
    {"generic", make_generic},
    {"kv_lto", make_kv_lto},
    {"kv_dds", make_kv_dds},
};
}  // namespace

Factory find_model(const std::string &name)
{
    for (const auto &e : models)
        if (name == e.name)
            return e.make;
    return nullptr;
}

}  // namespace kvemu
