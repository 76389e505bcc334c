// The sg ioctls on an emulated node.
#ifndef KVEMU_SG_IOCTL_H
#define KVEMU_SG_IOCTL_H

#include <string>

#include "kvemu.h"

namespace kvemu {
int sg_ioctl(Node &node, unsigned long request, void *arg);
void record(const std::string &line);
}  // namespace kvemu

#endif
