// KV LTO drive model. command() dispatches by opcode; a handler may live in a
// file of its own (declare it here, define it there, add its case to the switch
// in kv_lto.cpp). What it shares with the DDS model stands in KvDrive.
#ifndef KVEMU_KV_LTO_H
#define KVEMU_KV_LTO_H

#include "kv_drive.h"

namespace kvemu {

class KvLto : public KvDrive {
public:
    explicit KvLto(const Config &c);
    Reply command(const Command &cmd) override;

    // kv_lto.cpp: what differs from the shared handlers, and the density report.
    Reply request_sense(const Command &cmd);
    Reply report_density_support(const Command &cmd);

    long busy_left = 0;           // BUSY answers still to give; -1: for ever
    bool unit_attention = false;  // pending: the next command reports it
    Bytes page_c1;
    Bytes density_report;  // REPORT DENSITY SUPPORT reply

protected:
    const Bytes *vendor_page(uint8_t code) const override;
    void finish_inquiry(Bytes &d) const override;
};

}  // namespace kvemu

#endif
