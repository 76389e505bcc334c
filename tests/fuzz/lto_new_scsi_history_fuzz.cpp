// The SCSI command history parser of page AFh (version header, layouts 2 and 3) over any reply.
#include "lto_log_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ltofuzz::parse_history(data, size, lto_deasciify_new_scsi_cmdhistory, [](const LTOScsiHistoryType &r) {
        FUZZ_CHECK(ltofuzz::text_field(r.timestamp));
        FUZZ_CHECK(r.layoutversion == 2 || r.layoutversion == 3);
        FUZZ_CHECK(r.extrCount == 0);
    });
    return 0;
}
