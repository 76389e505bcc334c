// The cartridge-memory page decoders over any page bytes, and lto_break_time
// over any label and count.
// Input: one selector byte (low four bits: the decoder, 15 for lto_break_time;
// high four bits: the subpage or usage page number), then the page bytes,
// which are all the decoder may read. For lto_break_time: four bytes of
// seconds, then the label up to its first NUL.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "ltolib.h"
#include "ltolib/cartridge_memory/cm_pages.h"

namespace {

using Decoder = void (*)(const u_int8 *, size_t, int, pfvv);

// clang-format off
const Decoder kDecoders[] = {
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_cartmfr_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_mediamfr_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_init_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_cartcont_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_tapewrpass_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_tapedir_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_eod_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_cartstat_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_mech_page(p, n, s); },
    [](const u_int8 *p, size_t n, int w, pfvv s) { ltolib::cm_decode_mech_subpage(p, n, w, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_suspapp_page(p, n, s); },
    [](const u_int8 *p, size_t n, int w, pfvv s) { ltolib::cm_decode_usage_page(p, n, w, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_fatalerror_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_mechspec_page(p, n, s); },
    [](const u_int8 *p, size_t n, int, pfvv s) { ltolib::cm_decode_appspec_page(p, n, s); },
};
// clang-format on
constexpr size_t kDecoderCount = sizeof kDecoders / sizeof kDecoders[0];

// The longest text a decoder may hand over: the dump of a 65535-byte page.
constexpr size_t kLongestText = (0xFFFF / 16 + 1) * 80;

size_t calls = 0;

// Every text is terminated within the longest dump and is whole lines; only
// the dump of a page that claims no bytes is empty.
void check_text(void *p)
{
    fuzz::check_sink_text(p, kLongestText, true);
    ++calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const uint8_t selector = in.byte();
    const size_t pick = selector & 0x0F;
    const int which = selector >> 4;

    if (pick >= kDecoderCount) {
        const uint32_t seconds = static_cast<uint32_t>(in.u16()) << 16 | in.u16();
        std::vector<uint8_t> rest = in.rest();
        const std::string label(rest.begin(), rest.end());  // stops at a NUL when passed on
        const char *text = lto_break_time(label.c_str(), seconds);
        FUZZ_CHECK(fuzz::terminated(text, LTO_BREAK_TIME_SIZE));
        const size_t n = std::strlen(text);
        FUZZ_CHECK(n > 0 && text[n - 1] == '\n');
        return 0;
    }

    // The page in a heap buffer of exactly its size, so one byte too far shows.
    std::vector<uint8_t> rest = in.rest();
    std::unique_ptr<u_int8[]> page(new u_int8[rest.size()]);
    if (!rest.empty())
        std::memcpy(page.get(), rest.data(), rest.size());
    calls = 0;
    kDecoders[pick](page.get(), rest.size(), which, check_text);
    // Every page shows at least its title.
    FUZZ_CHECK(calls >= 2);
    return 0;
}
