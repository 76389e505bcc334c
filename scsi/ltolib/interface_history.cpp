// Command histories of the library interfaces: the ACI (page A7h) and the ADI
// and AMI (pages B5h and BEh, one layout). Each entry is a power-on count, a
// tick count, the entry's codes and a payload of one number per byte.
#include "generation.h"
#include "text_log_frame.h"

namespace ltolib {
namespace {

constexpr int32 kAciHistoryPage = 0xA7;
constexpr int32 kAdiHistoryPage = 0xB5;
constexpr int32 kAmiHistoryPage = 0xBE;
constexpr size_t kAciPayload = 6;
constexpr size_t kAdiPayload = 11;

}  // namespace
}  // namespace ltolib

using namespace ltolib;

int32 lto_deasciify_aci_cmdhistory(LTOAciHistoryType *histlog, int32 maxdepth, u_int8 *diagres, int32 len)
{
    const u_int32 tick = tick_code();
    return parse_entries(diagres, len, histlog, maxdepth, lto_compare_acihist,
                         [tick](HexText &text, LTOAciHistoryType &r) {
                             u_int32 type = 0, in_use = 0, primitive = 0, seq = 0;
                             if (!read_stamp(text, r, tick) || !text.group(type, in_use, primitive, seq))
                                 return Step::stop;
                             r.entryType = low8(type);
                             r.payloadInUse = low8(in_use);
                             r.primitive = low8(primitive);
                             r.cmdSeqNo = low8(seq);
                             static_assert(sizeof r.payload >= kAciPayload, "payload room");
                             return read_tail(text, r.payload, kAciPayload, low8);
                         });
}

int32 lto_deasciify_adi_cmdhistory(LTOAdiHistoryType *histlog, int32 maxdepth, u_int8 *diagres, int32 len)
{
    const u_int32 tick = tick_code();
    return parse_entries(diagres, len, histlog, maxdepth, lto_compare_adihist,
                         [tick](HexText &text, LTOAdiHistoryType &r) {
                             u_int32 type = 0;
                             if (!read_stamp(text, r, tick) || !text.next(type))
                                 return Step::stop;
                             r.entryType = low8(type);
                             static_assert(sizeof r.payload >= kAdiPayload, "payload room");
                             return read_tail(text, r.payload, kAdiPayload, low8);
                         });
}


int32 lto_get_aci_cmdhistory(DRIVE *drv, int32 maxdepth, LTOAciHistoryType *histlog)
{
    return fetch_entries(drv, kAciHistoryPage, "lto_get_aci_cmdhistory", maxdepth, histlog,
                         lto_deasciify_aci_cmdhistory);
}

int32 lto_get_adi_cmdhistory(DRIVE *drv, int32 maxdepth, LTOAdiHistoryType *histlog)
{
    return fetch_entries(drv, kAdiHistoryPage, "lto_get_adi_cmdhistory", maxdepth, histlog,
                         lto_deasciify_adi_cmdhistory);
}

int32 lto_get_ami_cmdhistory(DRIVE *drv, int32 maxdepth, LTOAdiHistoryType *histlog)
{
    return fetch_entries(drv, kAmiHistoryPage, "lto_get_ami_cmdhistory", maxdepth, histlog,
                         lto_deasciify_adi_cmdhistory);
}
