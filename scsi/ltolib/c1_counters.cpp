// C1 error counters of one write or read pass: header counters, then five
// numbers per head channel, and the error rates derived from them.
#include <array>

#include "generation.h"
#include "text_log_frame.h"

namespace ltolib {
namespace {

constexpr int32 kC1Alloc = 1024;
// Pages of the write layout; every other page has the read layout.
constexpr int32 kWriteLayoutPages[] = {0x88, 0x34};
constexpr size_t kMaxTokens = 128;
constexpr size_t kTokensPerChannel = 5;
// Bits a C1 codeword stands for, and the codewords a CCP holds.
constexpr double kBitsPerCodeword = 1920.0;
constexpr double kCodewordsPerCcp = 2.0;

bool write_layout(int32 pagecode)
{
    for (int32 page : kWriteLayoutPages)
        if (page == pagecode)
            return true;
    return false;
}

// A channel without C1 errors counts half an error, so its rate is an upper
// bound rather than 0.
void rates(LTOC1ChannelType &c)
{
    if (c.ccps == 0) {
        c.c1_errate = 0;
        c.bit_errate = 0;
        return;
    }
    const double errors = c.c1_errs == 0 ? 0.5 : static_cast<double>(c.c1_errs);
    c.c1_errate = errors / (kCodewordsPerCcp * c.ccps);
    c.bit_errate = c.c1_errate / kBitsPerCodeword;
}

}  // namespace
}  // namespace ltolib

using namespace ltolib;

int32 lto_deasciify_c1_counters(int32 pagecode, LTOC1CountType *counts, u_int8 *diagres, int32 len)
{
    HexText text = log_text(diagres, len);
    // Numbers the reply does not carry read as 0.
    std::array<int32, kMaxTokens> t{};
    size_t tokens = 0;
    u_int32 v = 0;
    while (tokens < t.size() && text.next(v))
        t[tokens++] = static_cast<int32>(v);
    if (counts == nullptr)
        return static_cast<int32>(tokens);

    size_t k = 2;
    counts->datasets = t[0];
    counts->ccqsets = t[1];
    if (write_layout(pagecode)) {
        counts->ccqset_rewrites = t[k++];
        counts->unwritable_datasets = t[k++];
    } else {
        counts->subds_c2_errs = t[k++];
        counts->ds_c2_errs = t[k++];
        counts->xchan_interps = t[k++];
    }
    const int32 channels = channel_count();
    static_assert(5 + LTO_C1_CHANNELS * kTokensPerChannel <= kMaxTokens, "every channel's numbers are kept");
    double c1_sum = 0, bit_sum = 0;
    for (int32 c = 0; c < channels; ++c, k += kTokensPerChannel) {
        LTOC1ChannelType &ch = counts->channel[c];
        ch.chan_no = c;
        ch.c1_errs = t[k];
        ch.c1_uncorr = t[k + 1];
        ch.hdr_errs = t[k + 2];
        ch.wrpass_errs = t[k + 3];
        ch.ccps = t[k + 4];
        rates(ch);
        c1_sum += ch.c1_errate;
        bit_sum += ch.bit_errate;
    }
    counts->mean_c1_errate = c1_sum / channels;
    counts->mean_bit_errate = bit_sum / channels;
    return static_cast<int32>(tokens);
}

int32 lto_get_c1_counters(DRIVE *drv, int32 pagecode, LTOC1CountType *counts)
{
    const int32 n = fetch_log(drv, pagecode, kC1Alloc, "lto_get_c1_counters", [&](u_int8 *reply, int32 len) {
        return lto_deasciify_c1_counters(pagecode, counts, reply, len);
    });
    return n < 0 ? -1 : 0;
}
