// KV DDS drive model. dispatch() switches on the opcode for what differs from
// the shared KvDrive handlers; a new command gets a handler declared here,
// defined in a file of its own, and a case in the switch in kv_dds.cpp.
#ifndef KVEMU_KV_DDS_H
#define KVEMU_KV_DDS_H

#include "dds_memory.h"
#include "dds_pages.h"
#include "kv_drive.h"

namespace kvemu {

class KvDds : public KvDrive {
public:
    explicit KvDds(const Config &c);

    // kv_dds.cpp: READ BUFFER of the memory regions, else of buffer 1, which
    // the identification probe reads.
    Reply read_buffer(const Command &cmd);

    uint32_t hw_conf = 0;  // hardware configuration code
    uint32_t fw_conf = 0;  // firmware configuration code
    bool has_fw_conf = true;
    Bytes buffer1;          // image of buffer 1 from offset 0; empty: not readable
    DdsMemory memory{cfg};  // memory regions and vendor diagnostics (dds_memory.cpp)

protected:
    Reply dispatch(const Command &cmd) override;
};

}  // namespace kvemu

#endif
