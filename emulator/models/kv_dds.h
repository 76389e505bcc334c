// KV DDS drive model. command() dispatches by opcode; each handler may live in
// a file of its own (declare it here, define it there, add its case to the
// switch in kv_dds.cpp). What it shares with the LTO model stands in KvDrive.
#ifndef KVEMU_KV_DDS_H
#define KVEMU_KV_DDS_H

#include "dds_memory.h"
#include "dds_pages.h"
#include "kv_drive.h"

namespace kvemu {

class KvDds : public KvDrive {
public:
    explicit KvDds(const Config &c);
    Reply command(const Command &cmd) override;

    // kv_dds.cpp: buffer 1, which the identification probe reads.
    Reply read_buffer(const Command &cmd);

    // dds_memory.cpp: READ BUFFER regions and the vendor diagnostics.
    Reply memory_command(const Command &cmd);

    uint32_t hw_conf = 0;  // hardware configuration code
    uint32_t fw_conf = 0;  // firmware configuration code
    bool has_fw_conf = true;
    Bytes buffer1;          // image of buffer 1 from offset 0; empty: not readable
    DdsPages pages{cfg};    // mode and log pages (dds_pages.cpp)
    DdsMemory memory{cfg};  // memory regions and diagnostic state (dds_memory.cpp)
};

}  // namespace kvemu

#endif
