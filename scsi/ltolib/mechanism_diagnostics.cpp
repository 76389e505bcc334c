// LTO vendor diagnostic pages: data collection mode, servo defects, firmware
// trace, mechanism commands and their text replies (mechanism data, LP0, the
// physical position) and the error-rate test.
#include "diag_page_buffers.h"
#include "generation.h"
#include "hex_text.h"
#include "text_log_frame.h"

namespace ltolib {
namespace {

constexpr u_int8 kEnterDataCollection = 0xA1;
constexpr u_int8 kExitDataCollection = 0xA2;
constexpr int32 kServoDefectPage = 0xA3;
constexpr u_int8 kReadErtPage = 0x95;
constexpr u_int8 kWriteErtPage = 0x96;

constexpr int32 kPositionCommand = 0x200F;
constexpr int32 kWrapCommand = 0x2014;
constexpr int32 kLp0Parameter = 4;
constexpr int32 kPositionParameter = 2;
constexpr int32 kLp0Length = 24;
constexpr int32 kPositionLength = 16;
constexpr int32 kWrapLength = 72;

int32 sent(int32 result) { return result < 0 ? -1 : 0; }

// One fixed-size mechanism reply, read after its command; exactly `expect`
// bytes or -1.
template <int32 N>
struct FixedReply {
    u_int8 bytes[N + 2] = {};  // spare byte and NUL after the reply
    int32 receive(DRIVE *drv)
    {
        int32 n = scsi_receive_diagnostic_results(drv, 1, kMechPage, bytes, N);
        return n == N ? 0 : -1;
    }
};

}  // namespace

int32 decode_hex_values(const u_int8 *reply, int32 len, int32 *data, int32 max)
{
    if (reply == nullptr || (data == nullptr && max > 0))
        return -1;
    HexText text = log_text(reply, len);
    int32 count = 0;
    u_int32 v = 0;
    while (count < max && text.next(v))
        data[count++] = static_cast<int32>(v);
    return count;
}

int32 decode_lp0(const u_int8 *reply, int32 len, int32 *lp0, boolean *is_valid)
{
    if (reply == nullptr)
        return -1;
    HexText text = log_text(reply, len);
    u_int32 position = 0, valid = 0;
    if (!text.next(position) || !text.next(valid))
        return -1;
    *lp0 = static_cast<int32>(position);
    *is_valid = valid != 0 ? 1 : 0;
    return 0;
}

int32 decode_position(const u_int8 *reply, int32 len, int32 *posn)
{
    if (reply == nullptr)
        return -1;
    HexText text = log_text(reply, len);
    u_int32 v = 0;
    if (!text.next(v))
        return -1;
    *posn = static_cast<int32>(v);
    return 0;
}

int32 decode_wraps(const u_int8 *reply, int32 len, int32 *fwrap, int32 *bwrap)
{
    if (reply == nullptr)
        return -1;
    HexText text = log_text(reply, len);
    u_int32 strk = 0, band = 0;
    if (!text.skip() || !text.next(strk) || !text.next(band))
        return -1;
    int32 base = wrap_base(band);
    if (base < 0)
        return -1;
    // Unsigned arithmetic: a wild track number wraps instead of overflowing.
    *fwrap = static_cast<int32>(static_cast<u_int32>(base) + 2u * strk);
    *bwrap = static_cast<int32>(static_cast<u_int32>(base) + 11u - 2u * strk);
    return 0;
}

}  // namespace ltolib

using namespace ltolib;

int32 lto_enter_datacollection_mode(DRIVE *drv, int32 mode, int32 position, boolean posnByLPOS, int32 wrap,
                                    int32 bcLength, int32 trackOffset, int32 speed)
{
    DiagPage page(kEnterDataCollection, 32);
    page.put(4, static_cast<u_int32>(mode));
    page.put(8, posnByLPOS == 0 ? 1 : 0);
    page.put(12, static_cast<u_int32>(position));
    page.put(16, static_cast<u_int32>(wrap));
    page.put(20, static_cast<u_int32>(bcLength));
    page.put(24, static_cast<u_int32>(trackOffset));
    page.put(28, static_cast<u_int32>(speed));
    return sent(page.send(drv));
}

int32 lto_exit_datacollection_mode(DRIVE *drv)
{
    DiagPage page(kExitDataCollection, 4);
    return sent(page.send(drv));
}

int32 lto_get_servo_defects(DRIVE *drv, u_int8 *defects, int32 defectSpace)
{
    if (defectSpace < 0 || (defects == nullptr && defectSpace > 0))
        return -1;
    return scsi_receive_diagnostic_results(drv, 1, kServoDefectPage, defects, defectSpace);
}

int32 lto_get_firmware_trace(DRIVE *drv, int32 pagecode, u_int8 *trace, int32 length)
{
    if (length < 0 || (trace == nullptr && length > 0))
        return -1;
    return scsi_receive_diagnostic_results(drv, 1, pagecode, trace, length);
}

int32 lto_send_mech_cmd(DRIVE *drv, int32 opcode, int32 nparms, int32 *parmlist)
{
    if (nparms < 0 || nparms > LTO_MECH_MAX_PARMS || (parmlist == nullptr && nparms > 0))
        return -1;
    DiagPage page(static_cast<u_int8>(kMechPage), 8 + 4 * nparms);
    page.put(4, static_cast<u_int32>(opcode));
    for (int32 i = 0; i < nparms; ++i)
        page.put(8 + 4 * i, static_cast<u_int32>(parmlist[i]));
    return sent(page.send(drv));
}

int32 lto_get_mech_data(DRIVE *drv, int32 *data, int32 nValues)
{
    if (nValues < 0 || (data == nullptr && nValues > 0))
        return -1;
    TextReply reply(drv, TextReply::size_for(nValues, 10, 10), "lto_get_mech_data");
    if (!reply.ok() || reply.receive(drv, kMechPage) < 0)
        return -1;
    return decode_hex_values(reply.data(), reply.length(), data, nValues);
}

int32 lto_get_lp0(DRIVE *drv, int32 *lp0, boolean *is_valid)
{
    int32 parm = kLp0Parameter;
    if (lto_send_mech_cmd(drv, kPositionCommand, 1, &parm) < 0)
        return -1;
    FixedReply<kLp0Length> reply;
    if (reply.receive(drv) < 0)
        return -1;
    return decode_lp0(reply.bytes, kLp0Length, lp0, is_valid);
}

int32 lto_run_ert(DRIVE *drv, int32 startPos, int32 tapeSpeed, int32 wrapNum, int32 trackOffset, int32 length,
                  int32 threshold, boolean writeERT)
{
    DiagPage page(writeERT ? kWriteErtPage : kReadErtPage, 36);
    page.put(4, static_cast<u_int32>(length));
    page.put(12, static_cast<u_int32>(threshold));
    page.put(20, static_cast<u_int32>(tapeSpeed));
    page.put(24, static_cast<u_int32>(startPos));
    page.put(28, static_cast<u_int32>(wrapNum));
    page.put(32, static_cast<u_int32>(trackOffset));
    return sent(page.send(drv));
}

int32 lto_get_phys_position(DRIVE *drv, int32 *posn, int32 *fwrap, int32 *bwrap)
{
    int32 parm = kPositionParameter;
    if (lto_send_mech_cmd(drv, kPositionCommand, 1, &parm) < 0)
        return -1;
    FixedReply<kPositionLength> position;
    int32 p = 0;
    if (position.receive(drv) < 0 || decode_position(position.bytes, kPositionLength, &p) < 0)
        return -1;
    if (lto_send_mech_cmd(drv, kWrapCommand, 0, nullptr) < 0)
        return -1;
    FixedReply<kWrapLength> wraps;
    int32 f = 0, b = 0;
    if (wraps.receive(drv) < 0 || decode_wraps(wraps.bytes, kWrapLength, &f, &b) < 0)
        return -1;
    // Nothing is written until every step has succeeded.
    *posn = p;
    *fwrap = f;
    *bwrap = b;
    return 0;
}
