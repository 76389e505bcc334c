// Inside the LTO library: the decoders of the drives' replies, each over the
// bytes received and their count, so that they run (and are fuzzed) without a
// drive. Every decoder reads nothing past `len`, returns -1 and leaves its
// outputs alone when the reply ends before the last field it decodes, and
// otherwise returns 0 or the count of values it stored.
#ifndef LTOLIB_REPLIES_H
#define LTOLIB_REPLIES_H

#include "ltolib.h"

namespace ltolib {

// Log pages, taken at fixed offsets.
int32 decode_errcounters(const u_int8 *page, int32 len, int32 *softerrs, int32 *err_corrected,
                         int32 *num_datasets, int32 *harderrs);
int32 decode_tape_log(const u_int8 *page, int32 len, LTOTapelogtype *log);
int32 decode_dc_performance(const u_int8 *page, int32 len, LTODCtfrtype *performance);
int32 decode_temperature(const u_int8 *page, int32 len, int32 *temp);

// Hexadecimal texts behind a 4-byte page header.
// At most `max` numbers into data; returns how many.
int32 decode_hex_values(const u_int8 *reply, int32 len, int32 *data, int32 max);
// At most `max_words` numbers into buffer, as 32-bit words when wsize is 32,
// 16-bit words when 16, else bytes (the low bits); returns how many.
int32 decode_memory_text(const u_int8 *reply, int32 len, int32 wsize, void *buffer, int32 max_words);
int32 decode_lp0(const u_int8 *reply, int32 len, int32 *lp0, boolean *is_valid);
int32 decode_position(const u_int8 *reply, int32 len, int32 *posn);
int32 decode_wraps(const u_int8 *reply, int32 len, int32 *fwrap, int32 *bwrap);

// Vendor page C1h: the number after "Variant = 0x".
int32 decode_variant(const u_int8 *reply, int32 len, u_int32 *variant);
// Page 80h: the serial number text (LTO_DRIVE_NUMBER_SIZE bytes of room).
int32 decode_drive_number(const u_int8 *reply, int32 len, char *driveno);

// MODE SENSE(6) replies with one 8-byte block descriptor and the page from
// byte 12. `needed` is the reply length that holds every byte used; a reply
// with another block descriptor length, page or subpage is refused.
bool mode_reply_holds(const u_int8 *reply, int32 len, int32 page, int32 subpage, int32 needed);
int32 decode_drive_time(const u_int8 *reply, int32 len, u_int32 *wtime, u_int32 *ptime, u_int32 *poc,
                        u_int32 *ctime, int32 *flags);
// Edits a page 3Ch reply in place into the MODE SELECT list that sets the clock.
int32 edit_drive_time(u_int8 *reply, int32 len, u_int32 newtime, int32 flags);
// Edits a page 0Ah/F0h reply in place into the list that sets the protection.
int32 edit_protection(u_int8 *reply, int32 len, int32 protection_type);

// REPORT TIMESTAMP parameter data (12 bytes).
int32 decode_timestamp(const u_int8 *reply, int32 len, u_int64 *tstamp, u_int8 *origin);

}  // namespace ltolib

#endif
