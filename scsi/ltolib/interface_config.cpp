// Configuration histories of the SCSI bus (page AAh), the ACI (page ABh) and
// the ADI and AMI (pages B6h and BFh, one layout).
#include <iterator>

#include "generation.h"
#include "text_log_frame.h"

namespace ltolib {
namespace {

constexpr int32 kScsiConfigPage = 0xAA;
constexpr int32 kAciConfigPage = 0xAB;
constexpr int32 kAdiConfigPage = 0xB6;
constexpr int32 kAmiConfigPage = 0xBF;

bool bit(u_int32 v, int n) { return ((v >> n) & 1) != 0; }

// An initiator with negotiated settings has talked, whatever its flag says.
LTOScsiInitiatorType initiator_of(u_int32 v)
{
    LTOScsiInitiatorType i{};
    i.isDT = bit(v, 16);
    i.isWide = bit(v, 17);
    i.isDisc = bit(v, 18);
    i.hasTalked = bit(v, 19);
    i.period = low8(v >> 8);
    i.offset = low8(v);
    if (!i.hasTalked && (i.isDT || i.isWide || i.isDisc || i.period || i.offset))
        i.hasTalked = 1;
    return i;
}

}  // namespace
}  // namespace ltolib

using namespace ltolib;

int32 lto_deasciify_scsi_config(LTOScsiConfigType *histlog, int32 maxdepth, u_int8 *diagres, int32 len)
{
    const u_int32 tick = tick_code();
    return parse_entries(diagres, len, histlog, maxdepth, lto_compare_scsicfg,
                         [tick](HexText &text, LTOScsiConfigType &r) {
                             u_int32 bus = 0;
                             if (!read_stamp(text, r, tick) || !text.next(bus))
                                 return Step::stop;
                             r.address = low8(bus & 0x0F);
                             r.isLVD = bit(bus, 7);
                             r.speedLimit = low8((bus >> 4) & 0x07);
                             return read_tail(text, r.initiator, std::size(r.initiator), initiator_of);
                         });
}

int32 lto_deasciify_aci_config(LTOAciConfigType *histlog, int32 maxdepth, u_int8 *diagres, int32 len)
{
    const u_int32 tick = tick_code();
    return parse_entries(diagres, len, histlog, maxdepth, lto_compare_acicfg,
                         [tick](HexText &text, LTOAciConfigType &r) {
                             u_int32 pwr = 0, baud = 0, stop = 0, autof = 0, notify = 0, period = 0;
                             u_int64 ticks = 0;
                             if (!text.group(pwr, ticks, baud, stop, autof, notify, period))
                                 return Step::stop;
                             r.pwrOnCount = pwr;
                             put_ticks(ticks, tick, r.timestamp);
                             r.baudrate = baud;
                             r.stopbits = low8(stop);
                             r.autoflags = low8(autof);
                             r.notifyflags = low8(notify);
                             r.respPeriod = low8(period);
                             return Step::counted;
                         });
}

int32 lto_deasciify_adi_config(LTOAdiConfigType *histlog, int32 maxdepth, u_int8 *diagres, int32 len)
{
    const u_int32 tick = tick_code();
    return parse_entries(diagres, len, histlog, maxdepth, lto_compare_adicfg,
                         [tick](HexText &text, LTOAdiConfigType &r) {
                             u_int32 pwr = 0, major = 0, minor = 0, baud = 0, ack = 0, payload = 0;
                             u_int32 b6 = 0, b7 = 0, b8 = 0, smc = 0, adc = 0;
                             u_int64 ticks = 0;
                             if (!text.group(pwr, ticks, major, minor, baud, ack, payload))
                                 return Step::stop;
                             r.pwrOnCount = pwr;
                             put_ticks(ticks, tick, r.timestamp);
                             r.adt_major = low8(major);
                             r.adt_minor = low8(minor);
                             r.baudrate = baud;
                             r.ackOffset = low16(ack);
                             r.maxPayload = low16(payload);
                             if (!text.group(b6, b7, b8, smc, adc))
                                 return Step::stop;
                             r.rmc_LU_b6 = low8(b6);
                             r.rmc_LU_b7 = low8(b7);
                             r.rmc_LU_b8 = low8(b8);
                             r.smc_LU_b6 = low8(smc);
                             r.adc_LU_b6 = low8(adc);
                             return Step::counted;
                         });
}

int32 lto_get_scsi_config(DRIVE *drv, int32 maxdepth, LTOScsiConfigType *histlog)
{
    return fetch_entries(drv, kScsiConfigPage, "lto_get_scsi_config", maxdepth, histlog,
                         lto_deasciify_scsi_config);
}

int32 lto_get_aci_config(DRIVE *drv, int32 maxdepth, LTOAciConfigType *histlog)
{
    return fetch_entries(drv, kAciConfigPage, "lto_get_aci_config", maxdepth, histlog,
                         lto_deasciify_aci_config);
}

int32 lto_get_adi_config(DRIVE *drv, int32 maxdepth, LTOAdiConfigType *histlog)
{
    return fetch_entries(drv, kAdiConfigPage, "lto_get_adi_config", maxdepth, histlog,
                         lto_deasciify_adi_config);
}

int32 lto_get_ami_config(DRIVE *drv, int32 maxdepth, LTOAdiConfigType *histlog)
{
    return fetch_entries(drv, kAmiConfigPage, "lto_get_ami_config", maxdepth, histlog,
                         lto_deasciify_adi_config);
}
