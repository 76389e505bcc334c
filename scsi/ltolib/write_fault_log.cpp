// The write-fault log (page 89h): one line of five numbers per wrap, the wrap
// number first; the caller's array is indexed by it.
#include "text_log_frame.h"

namespace ltolib {
namespace {

constexpr int32 kWriteFaultPage = 0x89;
constexpr int32 kWriteFaultAlloc = 8192;

}  // namespace

int32 decode_writefault_log(const u_int8 *diagres, int32 len, LTOWrFaultLogType *log)
{
    if (log == nullptr)
        return 0;
    HexText text = log_text(diagres, len);
    int32 lines = 0;
    u_int32 wrap = 0;
    LTOWrFaultLogType line{};
    while (text.group(wrap, line.writecount, line.offtrackfaults, line.otherfaults, line.dsetrewrites)) {
        // A wrap beyond the array the interface promises is no line of it.
        if (wrap >= LTO_WRFAULT_LOG_WRAPS)
            continue;
        log[wrap] = line;
        ++lines;
    }
    return lines;
}

}  // namespace ltolib

int32 lto_get_writefault_log(DRIVE *drv, LTOWrFaultLogType *log)
{
    return ltolib::fetch_log(drv, ltolib::kWriteFaultPage, ltolib::kWriteFaultAlloc, "lto_get_writefault_log",
                             [log](u_int8 *reply, int32 len) {
                                 return ltolib::decode_writefault_log(reply, len, log);
                             });
}
