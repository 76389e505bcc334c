// The KV LTO drive's vendor maintenance commands: MAINTENANCE OUT (A4h) and
// IN (A3h) with service action 1Fh. Firmware segments and reboots are taken
// and kept for tests; the IP configuration is a descriptor list that IN 12h
// answers and OUT 12h updates, so what is set reads back. The other IN
// sub-commands (firmware information, LIH table, traces) answer through
// "reply." keys. Keys are listed in emulator/README.md.
#ifndef KVEMU_LTO_MAINTENANCE_H
#define KVEMU_LTO_MAINTENANCE_H

#include <optional>
#include <vector>

#include "../kvemu.h"

namespace kvemu {

class LtoMaintenance {
public:
    explicit LtoMaintenance(const Config &cfg);

    // Answers service action 1Fh; nullopt for other service actions, which
    // the model answers itself.
    std::optional<Reply> command(const Command &cmd);

    struct Segment {
        uint32_t offset = 0;
        uint32_t length = 0;
        bool last = false;
        Bytes data;
    };
    // Segments taken, in order.
    const std::vector<Segment> &segments() const { return segments_; }
    // Reboots asked for, and the swap bit of the last one.
    int reboots() const { return reboots_; }
    int last_swap() const { return last_swap_; }
    // The IP configuration parameter data as IN 12h answers it.
    const Bytes &ip_config() const { return ip_; }

private:
    Reply segment(const Command &cmd);
    Reply set_ip_config(const Command &cmd);

    std::vector<Segment> segments_;
    int reboots_ = 0;
    int last_swap_ = 0;
    Bytes ip_;
};

// The maintenance state of an emulated KV LTO drive; nullptr for other nodes.
LtoMaintenance *lto_maintenance_of(Node *n);

}  // namespace kvemu

#endif
