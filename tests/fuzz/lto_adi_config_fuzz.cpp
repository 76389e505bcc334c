// The ADI and AMI configuration history parser (pages B6h and BFh) over any reply.
#include "lto_log_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ltofuzz::parse_history(data, size, lto_deasciify_adi_config,
                           [](const LTOAdiConfigType &r) { FUZZ_CHECK(ltofuzz::text_field(r.timestamp)); });
    return 0;
}
