// The SCSI configuration history parser (page AAh) over any reply.
#include "lto_log_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ltofuzz::parse_history(data, size, lto_deasciify_scsi_config, [](const LTOScsiConfigType &r) {
        FUZZ_CHECK(ltofuzz::text_field(r.timestamp) && r.address < 16 && r.isLVD < 2 && r.speedLimit < 8);
    });
    return 0;
}
