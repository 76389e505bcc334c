// The SCSI command history: page AFh behind its version header (layouts 2 and
// 3), or the old page A6h.
#include <cmath>

#include "scsilib.h"
#include "scsilib/byte_order.h"
#include "text_log_frame.h"

namespace ltolib {
namespace {

constexpr int32 kHistoryPage = 0xAF;
constexpr int32 kOldHistoryPage = 0xA6;
constexpr int32 kUnsupportedLayout = -2;
constexpr char kVersionHeader[] = "FFFF Primary Port CDB Log Version ";
// Layout 3 from above this version, none above the last.
constexpr float kLayout3After = 2.5f;
constexpr float kLastVersion = 3.0f;

// Stamps of the old layout and layout 2 count 10 us; layout 3 counts 9.99 us
// whatever the generation.
constexpr u_int32 kTick10us = 10;
constexpr u_int32 kTickLayout3 = 9;

// CDB length by group code (the top three bits of the operation code).
constexpr u_int8 kCdbLengthByGroup[8] = {6, 10, 10, 12, 16, 12, 12, 12};

u_int8 cdb_length(u_int8 opcode) { return kCdbLengthByGroup[opcode >> 5]; }

// CDB words, each most significant byte first, and the length they give.
template <size_t N>
bool read_cdb(HexText &text, LTOScsiHistoryType &r)
{
    static_assert(N * 4 <= sizeof r.cdb, "CDB room");
    u_int32 w[N] = {};
    HexText t = text;
    for (u_int32 &word : w)
        if (!t.next(word))
            return false;
    text = t;
    for (size_t i = 0; i < N; ++i)
        scsilib::put_be32(r.cdb + 4 * i, w[i]);
    r.cdblen = cdb_length(r.cdb[0]);
    return true;
}

void put_asc(LTOScsiHistoryType &r, u_int32 word)
{
    r.ASC = low8(word >> 8);
    r.ASCQ = low8(word);
}

Step old_entry(HexText &text, LTOScsiHistoryType &r)
{
    u_int64 stamp = 0;
    u_int32 a = 0, b = 0;
    if (!text.group(r.pwrOnCount, stamp, r.exectime, r.xid, r.iterationCount))
        return Step::stop;
    r.extrCount = static_cast<u_int32>((stamp >> 32) & 0xFFFF);
    put_ticks(stamp & 0xFFFFFFFFu, kTick10us, r.timestamp);
    put_ticks(r.exectime, kTick10us, r.execstamp);
    if (!text.group(a, b))
        return Step::stop;
    put_asc(r, a);
    r.status = low8((b >> 8) & 0x3F);
    r.lun = low8(b & 0x0F);
    r.initiator = ((b >> 4) & 0x0F) | (((b >> 14) & 0x03) << 4);
    return read_cdb<3>(text, r) ? Step::counted : Step::stop;
}

Step layout2_entry(HexText &text, LTOScsiHistoryType &r)
{
    r.extrCount = 0;
    r.layoutversion = 2;
    u_int64 stamp = 0;
    u_int32 a = 0, b = 0, c = 0;
    if (!text.group(r.pwrOnCount, stamp, r.exectime))
        return Step::stop;
    put_ticks(stamp, kTick10us, r.timestamp);
    put_ticks(r.exectime, kTick10us, r.execstamp);
    if (!text.group(a, b, c))
        return Step::stop;
    put_asc(r, a);
    r.xid = b & 0xFF;
    r.status = low8(c);
    if (!text.group(a, b, c))
        return Step::stop;
    r.initiator = a & 0xFF;
    r.lun = low8(b);
    r.port = low8(c);
    if (!text.group(a, b))
        return Step::stop;
    r.isTMF = low8(a);
    r.iterationCount = b & 0xFF;
    return read_cdb<3>(text, r) ? Step::counted : Step::stop;
}

// Sense words come most significant byte first, except from drives that mark
// little-endian words: a first word without the fixed-format response code
// bits (28..30) and a second word whose top byte is 10h.
void put_sense(LTOScsiHistoryType &r, const u_int32 (&w)[5])
{
    const bool little = ((w[0] >> 28) & 0x7) != 0x7 && (w[1] >> 24) == 0x10;
    for (size_t i = 0; i < 5; ++i)
        (little ? scsilib::put_le32 : scsilib::put_be32)(r.sense + 4 * i, w[i]);
    r.ASC = r.sense[12];
    r.ASCQ = r.sense[13];
}

Step layout3_entry(HexText &text, LTOScsiHistoryType &r)
{
    r.extrCount = 0;
    r.layoutversion = 3;
    u_int64 stamp = 0;
    u_int32 a = 0, b = 0, c = 0, code = 0;
    if (!text.group(r.pwrOnCount, stamp, code))
        return Step::stop;
    put_ticks(stamp, kTickLayout3, r.timestamp);
    r.entryCode = low8(code);
    if (r.entryCode == 0xFF) {
        // Ten numbers of no use follow; where the text ends before them the
        // entry still counts and the parse ends.
        for (int i = 0; i < 10; ++i)
            if (!text.skip())
                return Step::last;
        return Step::counted;
    }
    if (r.entryCode >= 0x20) {
        u_int32 w[5] = {};
        if (!text.group(a, r.xid, r.datalength))
            return Step::stop;
        r.status = low8(a);
        if (!text.group(w[0], w[1], w[2], w[3], w[4]))
            return Step::stop;
        text.match(" ");
        put_sense(r, w);
        return Step::counted;
    }
    if (!text.group(a, b, c))
        return Step::stop;
    r.port = low8(a);
    r.target = low8(b);
    r.lun = low8(c);
    if (!text.group(a, b, c))
        return Step::stop;
    r.xid = (a << 16) | (b & 0xFFFF);
    r.initiator = c;
    if (r.entryCode < 0x10)
        return read_cdb<4>(text, r) ? Step::counted : Step::stop;
    if (!text.group(a, b))
        return Step::stop;
    r.tag = low16(a);
    r.response = low16(b);
    return Step::counted;
}

}  // namespace
}  // namespace ltolib

using namespace ltolib;

int32 lto_deasciify_scsi_cmdhistory(LTOScsiHistoryType *histlog, int32 maxdepth, u_int8 *diagres, int32 len)
{
    return parse_entries(diagres, len, histlog, maxdepth, lto_compare_scsihist, old_entry);
}

int32 lto_deasciify_new_scsi_cmdhistory(LTOScsiHistoryType *histlog, int32 maxdepth, u_int8 *diagres, int32 len)
{
    HexText text = log_text(diagres, len);
    float version = 0;
    if (!text.match(kVersionHeader) || !text.next(version))
        return 0;
    if (!std::isfinite(version) || version > kLastVersion)
        return kUnsupportedLayout;
    if (version > kLayout3After)
        return parse_entries(text, histlog, maxdepth, lto_compare_scsihist, layout3_entry);
    return parse_entries(text, histlog, maxdepth, lto_compare_scsihist, layout2_entry);
}

int32 lto_get_scsi_cmdhistory(DRIVE *drv, int32 maxdepth, LTOScsiHistoryType *histlog)
{
    const int32 tagged = fetch_log(drv, kHistoryPage, kLogAlloc, "lto_get_scsi_cmdhistory",
                                   [&](u_int8 *reply, int32 len) -> int32 {
                                       if (len <= 0)
                                           return -1;
                                       const int32 n = lto_deasciify_new_scsi_cmdhistory(histlog, maxdepth,
                                                                                         reply, len);
                                       if (n == kUnsupportedLayout) {
                                           scsi_log(drv, "Sys", "Unsupported layout revision encountered");
                                           return kHistoryPage << 16;
                                       }
                                       return (kHistoryPage << 16) | n;
                                   });
    if (tagged >= 0)
        return tagged;
    const int32 n = fetch_entries(drv, kOldHistoryPage, "lto_get_scsi_cmdhistory", maxdepth, histlog,
                                  lto_deasciify_scsi_cmdhistory);
    return n < 0 ? -1 : (kOldHistoryPage << 16) | n;
}
