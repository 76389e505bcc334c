// The write-fault log parser (page 89h) over any reply; maxdepth is unused.
#include "lto_log_fuzz.h"

#include <memory>

#include "ltolib/text_log_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    in.byte();
    ltofuzz::Kind kind(in.byte());
    ltofuzz::Reply reply(in.rest());
    std::unique_ptr<LTOWrFaultLogType[]> log(new LTOWrFaultLogType[LTO_WRFAULT_LOG_WRAPS]());
    const int32 n = ltolib::decode_writefault_log(reply.data(), reply.len(), log.get());
    FUZZ_CHECK(n >= 0 && reply.unchanged());
    return 0;
}
