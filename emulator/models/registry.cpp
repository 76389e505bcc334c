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
    {"dds_memory", make_dds_memory},
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
