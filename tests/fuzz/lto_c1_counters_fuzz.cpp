// The C1 counter parser over any reply; the depth byte picks the page (even: 88h, the write layout; odd: 89h).
#include "lto_log_fuzz.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int32 page = (in.byte() & 1) ? 0x89 : 0x88;
    ltofuzz::Kind kind(in.byte());
    ltofuzz::Reply reply(in.rest());
    LTOC1CountType counts{};
    const int32 n = lto_deasciify_c1_counters(page, &counts, reply.data(), reply.len());
    FUZZ_CHECK(n >= 0 && n <= 128 && reply.unchanged());
    FUZZ_CHECK(std::isfinite(counts.mean_c1_errate) && std::isfinite(counts.mean_bit_errate));
    return 0;
}
