// What the KV drive models have in common: TEST UNIT READY from "tur", REQUEST
// SENSE with the sense of the last CHECK CONDITION, INQUIRY with its standard
// data, vendor pages C0h (with the firmware text) and C1h and the standard
// pages, the mode, log and diagnostic pages, REPORT LUNS and the firmware
// download. KvLto and KvDds derive from it and keep their own commands and state.
#ifndef KVEMU_KV_DRIVE_H
#define KVEMU_KV_DRIVE_H

#include <optional>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "download.h"
#include "log_pages.h"
#include "mode_pages.h"
#include "models.h"

namespace kvemu {

// Where page C0h carries the firmware version: `label` then the version,
// blank-padded to `width` bytes from byte `at`.
struct FirmwareText {
    size_t at;
    size_t width;
    const char *label;
};

// A model's mode and log pages.
struct DriveTables {
    ModeHeader mode_header;
    std::vector<ModePageSpec> mode_pages;
    std::vector<LogPageLayout> log_pages;
};

class KvDrive : public Device {
public:
    // `product` is the INQUIRY product without a "product" key; `commit` the
    // model's download road; `firmware_text` its field in page C0h.
    KvDrive(const Config &c, const char *product, Commit commit, FirmwareText firmware_text,
            const DriveTables &tables);

    // Configured replies first; then the model's dispatch(), whose CHECK
    // CONDITION sense REQUEST SENSE returns afterwards.
    Reply command(const Command &cmd) override;
    int default_type() const override { return 1; }  // sequential-access device

    Reply test_unit_ready(const Command &cmd);
    Reply request_sense(const Command &cmd);
    Reply inquiry(const Command &cmd);
    // Firmware download by WRITE BUFFER; an installed version shows in page C0h.
    Reply write_buffer(const Command &cmd);

    FirmwareDownload download;
    ModePages modes;
    LogPages logs;
    Diagnostics diagnostics;
    Bytes page_c0;  // empty: the page is not supported
    Bytes page_c1;  // empty: the page is not supported
    Bytes sense;    // answer of the next REQUEST SENSE; empty: none pending

    bool reserved_elsewhere = false;  // another initiator holds the drive
    long reserve_attention_left = 0;  // RESERVE commands still answered UNIT ATTENTION

protected:
    // A reservation another initiator holds, or a reset seen by RESERVE;
    // nullopt when neither applies to the command.
    std::optional<Reply> reservation(const Command &cmd);
    // The model's opcode switch; the base answers the commands all KV drives
    // share and refuses the rest as unknown opcodes.
    virtual Reply dispatch(const Command &cmd);
    // Writes the firmware text of page C0h (the model calls it once the page is built).
    void put_firmware(const std::string &version);
    // Changes the model makes to the standard INQUIRY data it builds.
    virtual void finish_inquiry(Bytes &) const {}

private:
    const char *product_;
    FirmwareText firmware_text_;
};

// Writes `text` blank-padded into `width` bytes of `b` from `at`, cut at the end of `b`.
void put_text(Bytes &b, size_t at, size_t width, const std::string &text);
// A vendor page of `size` bytes: peripheral type 1 (tape), `code`, page length.
Bytes vendor_page(uint8_t code, size_t size);

}  // namespace kvemu

#endif
