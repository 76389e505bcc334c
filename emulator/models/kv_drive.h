// What the KV drive models have in common: the sense that REQUEST SENSE returns,
// TEST UNIT READY from "tur", INQUIRY with its configured and built answers,
// vendor page C0h with its firmware text, and the firmware download.
// KvLto and KvDds derive from it and keep their own commands and state.
#ifndef KVEMU_KV_DRIVE_H
#define KVEMU_KV_DRIVE_H

#include <string>

#include "download.h"
#include "models.h"

namespace kvemu {

// Where page C0h carries the firmware version: `label` then the version,
// blank-padded to `width` bytes from byte `at`.
struct FirmwareText {
    size_t at;
    size_t width;
    const char *label;
};

class KvDrive : public Device {
public:
    // `product` is the INQUIRY product without a "product" key; `commit` the
    // model's download road; `firmware_text` its field in page C0h.
    KvDrive(const Config &c, const char *product, Commit commit, FirmwareText firmware_text);

    Reply test_unit_ready(const Command &cmd);
    Reply request_sense(const Command &cmd);
    Reply inquiry(const Command &cmd);
    // Firmware download by WRITE BUFFER; an installed version shows in page C0h.
    Reply write_buffer(const Command &cmd);

    // CHECK CONDITION whose sense REQUEST SENSE returns afterwards as well.
    Reply check(uint8_t key, uint8_t asc, uint8_t ascq);

    FirmwareDownload download;
    Bytes page_c0;  // empty: the page is not supported
    Bytes sense;    // answer of the next REQUEST SENSE; empty: no sense

protected:
    // Writes the firmware text of page C0h (the model calls it once the page is built).
    void put_firmware(const std::string &version);
    // An EVPD page the model builds itself; null: not supported. The base serves C0h.
    virtual const Bytes *vendor_page(uint8_t code) const;
    // Changes the model makes to the standard INQUIRY data it builds.
    virtual void finish_inquiry(Bytes &) const {}

private:
    // Keeps the sense of a CHECK CONDITION for the next REQUEST SENSE.
    Reply remember(Reply r);

    const char *product_;
    FirmwareText firmware_text_;
};

// Writes `text` blank-padded into `width` bytes of `b` from `at`, cut at the end of `b`.
void put_text(Bytes &b, size_t at, size_t width, const std::string &text);
// The big-endian number in `n` bytes of `b` from `at`; bytes past the end read as 0.
uint32_t get_be(const Bytes &b, size_t at, size_t n);

}  // namespace kvemu

#endif
