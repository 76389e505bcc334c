// The EEPROM write-fault log: write and fault counts per wrap.
#include "../generation.h"
#include "../report_lines.h"
#include "layouts.h"
#include "reports.h"

namespace ltolib {

namespace {

// Generations outside the table, negative ones included, have 48 wraps.
size_t wraps_of(int32 generation)
{
    if (generation < 0 || static_cast<size_t>(generation) >= ee::kWrapCounts.size())
        return ee::kOtherGenerationWraps;
    return ee::kWrapCounts[static_cast<size_t>(generation)];
}

}  // namespace

int32 ee_decode_wrfltlog(const u_int8 *log, size_t size, pfvv sink)
{
    using namespace ee;
    const size_t wraps = wraps_of(drive_generation());
    if (sink == nullptr || log == nullptr || size < kWrfFirst + wraps * kWrfRecordSize)
        return -1;
    const CmView bytes(log, size);
    CmLines out(sink);
    out.line("Log written after %d Load/Unload cycles\n\n", static_cast<int32>(bytes.be32(kWrfLoadCount)));
    out.put("Wrap  Times written  NumOfftrk  NumOther  DSrewrites\n");
    out.put("----  -------------  ---------  --------  ----------\n");
    for (size_t w = 0; w < wraps; ++w) {
        const size_t at = kWrfFirst + w * kWrfRecordSize;
        auto value = [&](size_t k) { return static_cast<int>(bytes.be16(at + 2 * k)); };
        out.line(" %2d      %4d          %4d      %4d       %4d\n", value(0), value(1), value(2), value(3),
                 value(4));
    }
    return 0;
}

}  // namespace ltolib

int32 lto_decode_ee_wrfltlog(u_int8 *log, pfvv output_handle)
{
    return ltolib::ee_decode_wrfltlog(log, LTO_EE_WRFLTLOG_SIZE, output_handle);
}
