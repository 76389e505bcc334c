// The EEPROM tapes-used log: four tape records, each with the usage pages and
// mechanism subpages of the cartridge-memory layout.
#include "../cartridge_memory/cm_pages.h"
#include "../generation.h"
#include "../report_lines.h"
#include "layouts.h"
#include "reports.h"

namespace ltolib {

int32 ee_decode_tapesusedlog(const u_int8 *log, size_t size, pfvv sink)
{
    using namespace ee;
    const size_t usage = drive_generation() <= 3 ? kSmallUsagePage : kLargeUsagePage;
    const size_t record = tape_record_size(usage);
    if (sink == nullptr || log == nullptr || size < kTapes * record)
        return -1;
    CmLines out(sink);
    for (size_t t = 0; t < kTapes; ++t) {
        const u_int8 *tape = log + t * record;
        const CmView bytes(tape, record);
        out.line("Tape Log %d\n", static_cast<int>(t));
        out.put("----------\n");
        out.line("Mechanism load count : %d\n", static_cast<int32>(bytes.be32(kTapeLoadCount)));
        out.line("Cartridge serial no  : %10.10s\n", reinterpret_cast<const char *>(tape + kTapeSerial));
        out.line("Cartridge type       : 0x%4.4X\n", bytes.be16(kTapeType));
        out.line("Tape length          : %dm\n", static_cast<int>(bytes.be16(kTapeLength) / 4));
        for (size_t k = 0; k < kUsagePages; ++k)
            cm_decode_usage_page(tape + kTapeUsagePages + k * usage, usage, static_cast<int>(k), sink);
        for (size_t k = 0; k < kMechSubpages; ++k)
            cm_decode_mech_subpage(tape + mech_subpages_at(usage) + k * kMechSubpageSize, kMechSubpageSize,
                                   static_cast<int>(k), sink);
        out.put("\n");
    }
    return 0;
}

}  // namespace ltolib

int32 lto_decode_ee_tapesusedlog(u_int8 *log, pfvv output_handle)
{
    return ltolib::ee_decode_tapesusedlog(log, LTO_EE_TAPESUSEDLOG_SIZE, output_handle);
}
