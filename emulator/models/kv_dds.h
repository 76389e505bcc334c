// KV DDS drive model. command() dispatches by opcode; each handler may live in
// a file of its own (declare it here, define it there, add its case to the
// switch in kv_dds.cpp). State shared by the handlers stands in this class.
#ifndef KVEMU_KV_DDS_H
#define KVEMU_KV_DDS_H

#include "dds_memory.h"
#include "dds_pages.h"
#include "download.h"
#include "models.h"

namespace kvemu {

class KvDds : public Device {
public:
    explicit KvDds(const Config &c);
    Reply command(const Command &cmd) override;

    // kv_dds.cpp: identity and the data the identification probe reads.
    Reply test_unit_ready(const Command &cmd);
    Reply request_sense(const Command &cmd);
    Reply inquiry(const Command &cmd);
    Reply read_buffer(const Command &cmd);

    // dds_memory.cpp: READ BUFFER regions and the vendor diagnostics.
    Reply memory_command(const Command &cmd);

    // download.cpp: firmware download by WRITE BUFFER.
    Reply write_buffer(const Command &cmd);
    FirmwareDownload download{*this, dds_download_commit(cfg)};

    // CHECK CONDITION whose sense REQUEST SENSE returns afterwards as well.
    Reply check(uint8_t key, uint8_t asc, uint8_t ascq);

    uint32_t hw_conf = 0;  // hardware configuration code
    uint32_t fw_conf = 0;  // firmware configuration code
    bool has_fw_conf = true;
    Bytes page_c0;         // empty: the page is not supported
    Bytes buffer1;         // image of buffer 1 from offset 0; empty: not readable
    Bytes sense;           // answer of the next REQUEST SENSE; empty: no sense
    DdsPages pages{cfg};   // mode and log pages (dds_pages.cpp)
    DdsMemory memory{cfg};  // memory regions and diagnostic state (dds_memory.cpp)
};

}  // namespace kvemu

#endif
