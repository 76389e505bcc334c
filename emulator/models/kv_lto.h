// KV LTO drive model. command() dispatches by opcode; a handler may live in a
// file of its own (declare it here, define it there, add its case to the switch
// in kv_lto.cpp). State shared by the handlers stands in this class.
#ifndef KVEMU_KV_LTO_H
#define KVEMU_KV_LTO_H

#include "download.h"
#include "models.h"

namespace kvemu {

class KvLto : public Device {
public:
    explicit KvLto(const Config &c);
    Reply command(const Command &cmd) override;

    // kv_lto.cpp: identity, the identification probe's commands.
    Reply test_unit_ready(const Command &cmd);
    Reply request_sense(const Command &cmd);
    Reply inquiry(const Command &cmd);
    Reply report_density_support(const Command &cmd);

    // download.cpp: firmware download by WRITE BUFFER.
    Reply write_buffer(const Command &cmd);
    FirmwareDownload download{*this, Commit::Mode5};

    // CHECK CONDITION whose sense REQUEST SENSE returns afterwards as well.
    Reply check(uint8_t key, uint8_t asc, uint8_t ascq);

    long busy_left = 0;            // BUSY answers still to give; -1: for ever
    bool unit_attention = false;   // pending: the next command reports it
    Bytes page_c0, page_c1;
    Bytes density_report;          // REPORT DENSITY SUPPORT reply
    Bytes sense;                   // answer of the next REQUEST SENSE; empty: no sense
};

}  // namespace kvemu

#endif
