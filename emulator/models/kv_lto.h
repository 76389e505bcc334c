// KV LTO drive model. dispatch() switches on the opcode for what differs from
// the shared KvDrive handlers; a new command gets a handler declared here,
// defined in a file of its own, and a case in the switch in kv_lto.cpp.
#ifndef KVEMU_KV_LTO_H
#define KVEMU_KV_LTO_H

#include "buffer_regions.h"
#include "kv_drive.h"
#include "lto_maintenance.h"
#include "lto_memory.h"

namespace kvemu {

// The LTO model's mode and log pages (lto_pages.cpp).
DriveTables lto_tables();

class KvLto : public KvDrive {
public:
    explicit KvLto(const Config &c);

    // kv_lto.cpp: what differs from the shared handlers, and the density report.
    Reply request_sense(const Command &cmd);
    Reply report_density_support(const Command &cmd);

    // lto_timestamp.cpp: SET TIMESTAMP and REPORT TIMESTAMP (service action
    // 0Fh); service action 1Fh goes to `maintenance` first.
    Reply maintenance_out(const Command &cmd);
    Reply maintenance_in(const Command &cmd);

    // lto_buffer.cpp: READ BUFFER of the regions and of the data buffer.
    Reply read_buffer(const Command &cmd);

    // False while "tur" says no cartridge is loaded (02h/3Ah).
    bool cartridge_present() const;

    long busy_left = 0;            // BUSY answers still to give; -1: for ever
    bool unit_attention = false;   // pending: the next command reports it
    Bytes density_report;          // REPORT DENSITY SUPPORT reply
    LtoMemories memories;          // by id and width; id 16 width 8 the cartridge memory
    uint64_t timestamp = 0;        // device clock, milliseconds (48 bits)
    uint8_t timestamp_origin = 0;  // REPORT TIMESTAMP byte 2
    LtoMaintenance maintenance;    // MAINTENANCE IN/OUT, service action 1Fh
    BufferRegions buffers;         // "buffer.<id>.<mode>.<offset>" regions
    uint64_t data_buffer_size;     // capacity of buffer id 0 ("buffer_size")

protected:
    // lto_diagnostics.cpp: the vendor diagnostic pages and the memories behind them.
    void add_vendor_diagnostics();

    Reply dispatch(const Command &cmd) override;
    void finish_inquiry(Bytes &d) const override;
};

}  // namespace kvemu

#endif
