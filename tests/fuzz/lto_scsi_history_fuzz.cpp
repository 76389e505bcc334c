// The old SCSI command history parser (page A6h) over any reply.
#include "lto_log_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ltofuzz::parse_history(data, size, lto_deasciify_scsi_cmdhistory, [](const LTOScsiHistoryType &r) {
        FUZZ_CHECK(ltofuzz::text_field(r.timestamp) && ltofuzz::text_field(r.execstamp));
        FUZZ_CHECK(r.cdblen == 6 || r.cdblen == 10 || r.cdblen == 12 || r.cdblen == 16);
    });
    return 0;
}
