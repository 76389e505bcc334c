// The sg driver's device list, as the transport reads it: the driver's own
// list in /proc when the kernel has one, else the SCSI bus as sysfs lists it.
// Both sources feed one lookup, so every open matches an address the same way.
// Internal to the transport; not installed.
#ifndef STLSG_DEVICE_LIST_H
#define STLSG_DEVICE_LIST_H

#include <cstddef>

namespace stlsg {

constexpr const char *kProcDeviceList = "/proc/scsi/sg/devices";
// Present while the sg driver is loaded: without it no node can be opened.
constexpr char kSysfsNodes[] = "/sys/class/scsi_generic";
// One entry "hostH" per adapter.
constexpr char kSysfsHosts[] = "/sys/class/scsi_host";
// Every SCSI device, flat whatever the transport, as "H:C:T:L", with its
// sg node in "scsi_generic/" and its peripheral type in "type".
constexpr char kSysfsDevices[] = "/sys/bus/scsi/devices";

// The number N of the node "/dev/sgN" for host, target id and LUN, read now
// (nothing is kept from one call to the next); -1 when no device there is
// usable. When neither source can be read, -1 with *list_errno set to why the
// proc list could not be opened; otherwise *list_errno is 0.
int find_node(int host, int id, int lun, int *list_errno);

// The same lookup over a proc list given as text (`length` bytes, read up to
// the first NUL).
int find_node_in_text(const char *text, size_t length, int host, int id, int lun);

// What sysfs says of a device, read strictly: anything else matches nothing.
struct Address {
    int host, channel, id, lun;
};
// A node's name in a device's "scsi_generic/": "sg" and the node number, in
// decimal without leading zeros, within int.
bool parse_node_name(const char *name, int *node);
// A device's name in the bus list: H:C:T:L, four decimal numbers within int
// and nothing else.
bool parse_device_name(const char *name, Address *out);
// The content of a device's "type" file: a decimal number within int,
// blanks and a line end around it allowed.
bool parse_type(const char *text, size_t length, int *type);

}  // namespace stlsg

#endif
