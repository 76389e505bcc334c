// The SCSI bus as a kernel without the proc device list shows it in sysfs:
// the flat bus list /sys/bus/scsi/devices (each device "H:C:T:L" with its
// scsi_generic/ directory and its type file, beside the adapters' "hostH" and
// the targets' "targetH:C:T"), the adapters in /sys/class/scsi_host and the
// sg driver's class directory /sys/class/scsi_generic. Entries are made from
// the bus sections (or given whole by a test) and read through the access,
// directory and open hooks of bus.cpp.
#ifndef KVEMU_SYSFS_H
#define KVEMU_SYSFS_H

#include <dirent.h>

#include <optional>
#include <string>

#include "kvemu.h"

namespace kvemu {
namespace sysfs {

// The entry a bus section gives, if any (see emulator/README.md).
std::optional<SysfsEntry> entry_for(const Config &cfg, bool raw, const Node &node);
// The entries of the loaded bus, or the given ones in their stead.
void build_from_bus();
void replace(std::vector<SysfsEntry> entries);
void clear();

enum class Kind {
    Outside,  // not at or below one of the three directories: the system's
    Missing,
    Dir,
    File,
};
// What `path` names now; `listed` false (the bus lists its devices only in
// /proc) makes everything at or below the three directories missing. A
// file's text goes to `text`.
Kind look_up(const char *path, bool listed, std::string *text);

// A directory stream over what the directory `path` holds now ("." and ".."
// first); null, with what `path` is in *kind, when it is no directory. The
// others say whether `dir` is such a stream, and if so serve it.
DIR *open_dir(const char *path, bool listed, Kind *kind);
bool read(DIR *dir, dirent64 **entry);
bool rewind(DIR *dir);
bool close(DIR *dir);
bool is_stream(DIR *dir);

}  // namespace sysfs
}  // namespace kvemu

#endif
