// The CMMA area of the cartridge memory: its record and its text report.
#include <cstring>
#include <ctime>

#include "../report_lines.h"
#include "byte_and_sense_helpers.h"
#include "cm_report.h"
#include "cmma_layout.h"
#include "scsilib/byte_order.h"

namespace ltolib {
namespace {

using cmma::Field;

u_int32 be(const u_int8 *area, Field f)
{
    return static_cast<u_int32>(scsilib::get_be(area + f.at, static_cast<int>(f.width)));
}
int16 be_signed16(const u_int8 *area, Field f) { return static_cast<int16>(be(area, f)); }

// Twelve characters and a NUL after them.
void serial(char (&to)[16], const u_int8 *area, Field f)
{
    std::memset(to, 0, sizeof to);
    std::memcpy(to, area + f.at, f.width);
}

// "0x<raw> (<local time>)", or "Unknown" in place of a time that cannot be had.
void date_line(CmLines &out, const char *label, u_int32 seconds)
{
    char when[64] = "Unknown";
    const time_t t = static_cast<time_t>(seconds);
    struct tm local;
    if (localtime_r(&t, &local) == nullptr ||
        std::strftime(when, sizeof when, "%H:%M:%S %Y/%m/%d", &local) == 0)
        std::strcpy(when, "Unknown");
    out.line("%s0x%X (%s)\n", label, seconds, when);
}

const char *state_text(unsigned state)
{
    constexpr size_t n = sizeof cmma::kStateTexts / sizeof cmma::kStateTexts[0];
    return state < n ? cmma::kStateTexts[state] : cmma::kStateIllegal;
}

void banner(CmLines &out)
{
    out.put("\n");
    out.put("####################################\n");
    out.put("#                                  #\n");
    out.put("#           CMMA Contents          #\n");
    out.put("#                                  #\n");
    out.put("####################################\n");
    out.put("\n");
}

}  // namespace

void cmma_from_area(const u_int8 *area, LTOCMMAType *c)
{
    using namespace cmma;
    std::memset(c, 0, sizeof *c);
    c->ctrl_area.revision = static_cast<u_int8>(be(area, kRevision));
    c->ctrl_area.state = static_cast<u_int8>(be(area, kState));
    c->ctrl_area.station_flags = static_cast<u_int8>(be(area, kStationFlags));
    c->ctrl_area.pes_flags = static_cast<u_int8>(be(area, kPesFlags));
    c->ctrl_area.ref_level = static_cast<u_int8>(be(area, kRefLevel));
    c->ctrl_area.times_used = be(area, kTimesUsed);
    c->ctrl_area.times_failed = be(area, kTimesFailed);
    c->ctrl_area.tape_pass_count = be(area, kTapePasses);
    c->ctrl_area.lifetime_tape_pass_count = be(area, kLifetimeTapePasses);

    c->qual_area.date = be(area, kQualDate);
    serial(c->qual_area.driveno, area, kQualDrive);
    c->qual_area.count = static_cast<u_int16>(be(area, kQualCount));
    c->qual_area.msrt_value = static_cast<u_int16>(be(area, kMsrt));
    c->qual_area.servoazi_value = be_signed16(area, kServoAzimuth);
    c->qual_area.ert.fwd = be_signed16(area, kErtForward);
    c->qual_area.ert.rev = be_signed16(area, kErtReverse);
    c->qual_area.pes.fwd_std = be_signed16(area, kPesForwardStd);
    c->qual_area.pes.rev_std = be_signed16(area, kPesReverseStd);
    c->qual_area.pes.fwd_count = be_signed16(area, kPesForwardCount);
    c->qual_area.pes.rev_count = be_signed16(area, kPesReverseCount);
    c->qual_area.pes.wi_hh = be_signed16(area, kWrittenInPesHh);
    c->qual_area.pes.wi_fh = be_signed16(area, kWrittenInPesFh);
    c->qual_area.grade = static_cast<char>(be(area, kGrade));
    c->qual_area.reuse = static_cast<u_int8>(be(area, kReuse));

    c->last_test_area.date = be(area, kLastTestDate);
    serial(c->last_test_area.driveno, area, kLastTestDrive);
    c->last_test_area.errorcode = be(area, kLastTestError);
}

void cm_decode_cmma(const u_int8 *area, size_t available, pfvv sink)
{
    if (area == nullptr || sink == nullptr)
        return;
    CmLines out(sink);
    banner(out);
    if (available < cmma::kSize) {
        out.put("CMMA area runs past the end of the image\n");
        return;
    }
    LTOCMMAType c;
    cmma_from_area(area, &c);
    const auto &ctrl = c.ctrl_area;
    const auto &qual = c.qual_area;
    const auto &last = c.last_test_area;

    out.line("CMMA format revision : %d\n", ctrl.revision);
    out.line("Cartridge state      : %d (%s)\n", ctrl.state, state_text(ctrl.state));
    out.line("Total # uses         : %d\n", static_cast<int32>(ctrl.times_used));
    out.line("Total # failures     : %d\n", static_cast<int32>(ctrl.times_failed));
    out.line("Station Flags        : 0x%2.2X\n", ctrl.station_flags);
    out.line("PES Flags            : 0x%2.2X\n", ctrl.pes_flags);
    char pattern[3 * cmma::kTestPattern.width + 1];
    dds_print_bytes(pattern, const_cast<u_int8 *>(area + cmma::kTestPattern.at),
                    static_cast<int32>(cmma::kTestPattern.width));
    out.line("Test pattern area    : %s\n", pattern);
    out.line("Tape pass count      : %d\n", static_cast<int32>(ctrl.tape_pass_count));
    out.line("Life tape pass count : %d\n", static_cast<int32>(ctrl.lifetime_tape_pass_count));

    out.put("\n");
    date_line(out, "Qual date            : ", qual.date);
    out.line("Qual drive           : %-12.12s\n", qual.driveno);
    out.line("Qual count           : %d\n", qual.count);
    out.line("MSRT value           : 0x%X (%3.3f)\n", qual.msrt_value, qual.msrt_value / cmma::kMsrtUnit);
    out.line("Servo tape azimuth   : 0x%hX (%3.3f)\n", static_cast<unsigned short>(qual.servoazi_value),
             qual.servoazi_value / cmma::kAzimuthUnit);
    out.line("Written-in PES (HH)  : 0x%hX (%3.3f)\n", static_cast<unsigned short>(qual.pes.wi_hh),
             qual.pes.wi_hh / cmma::kPesUnit);
    out.line("Written-in PES (FH)  : 0x%hX (%3.3f)\n", static_cast<unsigned short>(qual.pes.wi_fh),
             qual.pes.wi_fh / cmma::kPesUnit);

    out.put("\n");
    date_line(out, "Last test date       : ", last.date);
    out.line("Last tested drive    : %-12.12s\n", last.driveno);
    out.line("Last test errorcode  : 0x%8.8X\n", last.errorcode);
    out.separator();
}

}  // namespace ltolib

void lto_cm_decode_cmma(u_int8 *cm, pfvv output_handle)
{
    ltolib::cm_decode_cmma(cm, LTO_CM_CMMA_SIZE, output_handle);
}
