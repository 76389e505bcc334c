// The EEPROM error-rate test logs (write and read): summary counters, then
// per channel the counts and the rates derived from them.
#include <cmath>

#include "../generation.h"
#include "../report_lines.h"
#include "layouts.h"
#include "reports.h"

namespace ltolib {
namespace {

using namespace ee;

constexpr char kBoxRule[] = "----------------------------------\n";

struct ChannelRates {
    double error_rate = 0;
    double bit_error_exponent = 0;
    double blocks_per_uncorrectable = 0;
};

// From generation 4 on a channel's unit (CWI4) holds four codewords, not two.
// A channel without C1 errors counts half an error; a zero divisor gives 0.
ChannelRates rates_of(u_int32 c1cwe, u_int32 c1unc, u_int32 nccps, int32 generation)
{
    ChannelRates r;
    const bool later = generation > 3;
    if (c1unc != 0)
        r.blocks_per_uncorrectable = 2.0 * nccps / c1unc * (later ? 2 : 1);
    if (nccps == 0)
        return r;
    const double units = static_cast<double>(nccps);
    if (c1cwe == 0) {
        r.error_rate = 0.5 / (2 * units);
        r.bit_error_exponent = std::log10(0.5 / (2 * units * kBitsPerCodeword));
    } else {
        const double m = later ? 4 : 2;
        r.error_rate = c1cwe / (m * units);
        r.bit_error_exponent = std::log10(c1cwe / (m * units * kBitsPerCodeword));
    }
    return r;
}

int32 report(const ErrorRateLog &layout, const u_int8 *log, size_t size, pfvv sink)
{
    const int32 channels = channel_count();
    const size_t needed = layout.first_channel + static_cast<size_t>(channels) * kChannelRecordSize;
    if (sink == nullptr || log == nullptr || size < needed)
        return -1;
    const int32 generation = drive_generation();
    const CmView bytes(log, size);
    CmLines out(sink);
    out.line("Log written after %d Load/Unload cycles\n\n", static_cast<int32>(bytes.be32(kErtLoadCount)));
    out.put(kBoxRule);
    out.put(layout.title);
    out.put(kBoxRule);
    out.put("| Summary counters (decimal)     |\n");
    out.put("|--------------------------------|\n");
    for (size_t i = 0; i < layout.rows; ++i) {
        const SummaryRow &row = layout.summary[i];
        const u_int32 value = bytes.be32(row.at);
        if (row.invalid != nullptr && value == kNotRecorded)
            out.put(row.invalid);
        else
            out.line(row.line, value);
    }
    out.put("|-------------------------------------|----------------------------------------------------\n");
    out.put("|      |  No. of  |C1codeword|C1codewd| Header | WrPass | C1 codeword |BitErrate|BlocksPer|\n");
    out.put(
        generation < 4
            ? "| Chan |   CCPs   |  errors  | uncorr | errors | errors | error rate  | (log10) | uncorr. |\n"
            : "| Chan |  CWI4s   |  errors  | uncorr | errors | errors | error rate  | (log10) | uncorr. |\n");
    out.put("|------|----------|----------|--------|--------|--------|-------------|---------|---------|\n");
    for (int32 c = 0; c < channels; ++c) {
        const size_t at = layout.first_channel + static_cast<size_t>(c) * kChannelRecordSize;
        const u_int32 c1cwe = bytes.be32(at + kChanC1Errors), c1unc = bytes.be32(at + kChanC1Uncorrectable),
                      c1hdr = bytes.be32(at + kChanHeaderErrors), wpers = bytes.be32(at + kChanWritePassErrors),
                      nccps = bytes.be32(at + kChanCcps);
        const ChannelRates r = rates_of(c1cwe, c1unc, nccps, generation);
        out.line("|  %d   | %8u | %8u | %6u | %6u | %6u |  %4.3E%s|  % 3.2f  | %7.1f |\n", c, nccps, c1cwe,
                 c1unc, c1hdr, wpers, r.error_rate, "  ", r.bit_error_exponent, r.blocks_per_uncorrectable);
    }
    out.put("|-----------------------------------------------------------------------------------------|\n\n");
    return 0;
}

}  // namespace

int32 ee_decode_wertlog(const u_int8 *log, size_t size, pfvv sink)
{
    return report(kWriteErrorRate, log, size, sink);
}
int32 ee_decode_rertlog(const u_int8 *log, size_t size, pfvv sink)
{
    return report(kReadErrorRate, log, size, sink);
}

}  // namespace ltolib

int32 lto_decode_ee_wertlog(u_int8 *log, pfvv output_handle)
{
    return ltolib::ee_decode_wertlog(log, LTO_EE_WERTLOG_SIZE, output_handle);
}

int32 lto_decode_ee_rertlog(u_int8 *log, pfvv output_handle)
{
    return ltolib::ee_decode_rertlog(log, LTO_EE_RERTLOG_SIZE, output_handle);
}
