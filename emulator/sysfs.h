// The sg nodes as a kernel without the proc device list publishes them:
// /sys/class/scsi_generic/<name> with its "device" link and the device's
// "type" file. Entries are made from the bus sections (or given whole by a
// test) and read through the directory, readlink and open hooks of bus.cpp.
#ifndef KVEMU_SYSFS_H
#define KVEMU_SYSFS_H

#include <dirent.h>

#include <optional>
#include <string>
#include <vector>

#include "kvemu.h"

namespace kvemu {
namespace sysfs {

// The entry a bus section gives, if any (see emulator/README.md).
std::optional<SysfsEntry> entry_for(const Config &cfg, bool raw, const Node &node);
// The entries of the loaded bus, or the given ones in their stead.
void build_from_bus();
void replace(std::vector<SysfsEntry> entries);
void clear();

enum class PathKind {
    Outside,   // not below the class directory
    ClassDir,  // /sys/class/scsi_generic
    Link,      // <class dir>/<name>/device
    Type,      // <class dir>/<name>/device/type
    Missing,   // anything else below the class directory
};
PathKind classify(const char *path, std::string *name);

// The link or type text of an entry on the bus now; null when it has none.
const std::string *link_of(const std::string &name);
const std::string *type_of(const std::string &name);

// A directory stream over the entries on the bus now. The others say whether
// `dir` is such a stream, and if so serve it.
DIR *open_dir();
bool read(DIR *dir, dirent64 **entry);
bool rewind(DIR *dir);
bool close(DIR *dir);
bool is_stream(DIR *dir);

}  // namespace sysfs
}  // namespace kvemu

#endif
