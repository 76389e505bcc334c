// Answers every SPC device gives alike, whatever the model: INQUIRY with its
// vital product data pages 00h (supported pages), 80h (unit serial number) and
// 83h (device identification), REQUEST SENSE in fixed or descriptor format, and
// REPORT LUNS. Each model calls these with what it holds.
#ifndef KVEMU_STANDARD_H
#define KVEMU_STANDARD_H

#include <map>
#include <string>

#include "../kvemu.h"

namespace kvemu {

// A page as SPC lays out vital product data, log and diagnostic pages: `byte0`
// and `byte1`, the body's length in bytes 2-3 (FFFFh when it does not fit),
// then the body.
Bytes page_with_body(uint8_t byte0, uint8_t byte1, const Bytes &body);

// CHECK CONDITION, ILLEGAL REQUEST with its most common codes.
Reply invalid_field_in_cdb();         // 24h/00h
Reply invalid_field_in_parameters();  // 26h/00h
Reply sequence_error();               // 2Ch/00h, command sequence error

// INQUIRY: the "inquiry" setting or `standard` for EVPD 0 (page code 0 only);
// for EVPD 1 the setting "inquiry.<pp>", else pages 00h, 80h, 83h and the
// model's own `vendor_pages`; anything else gives 24h/00h.
Reply inquiry_reply(const Config &cfg, const Command &cmd, const Bytes &standard,
                    const std::map<uint8_t, Bytes> &vendor_pages);

// The unit serial number: the setting "serial", else one made from the address
// (host, channel, target, lun) so every node has its own.
std::string serial_number(const Config &cfg);

// REQUEST SENSE data from fixed-format sense, in descriptor format when the
// CDB's DESC bit asks for it.
Reply request_sense_reply(const Command &cmd, const Bytes &fixed_sense);

// TEST UNIT READY as "tur = <key> <asc> <ascq>" sets it: CHECK CONDITION with
// that sense (a drive without a cartridge, say); GOOD without the setting.
Reply configured_tur(const Config &cfg);

// The sense that stands while the drive stays as configured: that of
// configured_tur(), else NO SENSE.
Bytes standing_sense(const Config &cfg);

// REPORT LUNS: the node's own LUN ("lun", default 0).
Reply report_luns(const Config &cfg, const Command &cmd);

}  // namespace kvemu

#endif
