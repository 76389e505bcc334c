// The fault log parser, new and old layouts (bit 4 of the flags), over any reply; maxdepth is unused.
#include "lto_log_fuzz.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    in.byte();
    const uint8_t flags = in.byte();
    ltofuzz::Kind kind(flags);
    ltofuzz::Reply reply(in.rest());
    const bool old = (flags & 0x10) != 0;
    const size_t room = old ? LTO_OLD_FAULT_LOG_MAX : LTO_FAULT_LOG_MAX;
    std::unique_ptr<LTOFaultLogType[]> log(new LTOFaultLogType[room]());
    const int32 n = lto_deasciify_fault_log(log.get(), old ? 1 : 0, reply.data(), reply.len());
    FUZZ_CHECK(n >= 0 && static_cast<size_t>(n) <= room && reply.unchanged());
    for (int32 i = 0; i < n; ++i) {
        FUZZ_CHECK(ltofuzz::text_field(log[static_cast<size_t>(i)].timestamp));
        FUZZ_CHECK(i == 0 ||
                   lto_compare_faults(&log[static_cast<size_t>(i) - 1], &log[static_cast<size_t>(i)]) <= 0);
    }
    return 0;
}
