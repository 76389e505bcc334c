// READ BUFFER regions configured with "buffer.<id>.<mode>.<offset hex>" keys:
// what a drive answers from its buffers and memories at given places.
#ifndef KVEMU_BUFFER_REGIONS_H
#define KVEMU_BUFFER_REGIONS_H

#include <optional>
#include <vector>

#include "../kvemu.h"

namespace kvemu {

class BufferRegions {
public:
    explicit BufferRegions(const Config &cfg);
    // The answer to a READ BUFFER inside a region: the bytes from the offset
    // to the region's end; nullopt outside every region.
    std::optional<Reply> read(const Command &cmd) const;

private:
    struct Region {
        int id = 0;
        int mode = 0;
        uint32_t offset = 0;
        Bytes bytes;
    };
    std::vector<Region> regions_;
};

}  // namespace kvemu

#endif
