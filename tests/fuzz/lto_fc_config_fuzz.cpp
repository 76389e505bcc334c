// The Fibre Channel configuration history parser (page ACh) over any reply.
#include "lto_log_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ltofuzz::parse_history(data, size, lto_deasciify_fc_config, [](const LTOFcConfigType &r) {
        FUZZ_CHECK(ltofuzz::text_field(r.timestamp) && ltofuzz::text_field(r.device_wwn));
        for (const LTOFcPortType &p : r.port)
            FUZZ_CHECK(ltofuzz::text_field(p.wwn));
    });
    return 0;
}
