// The cartridge-memory report over any image bytes, of any length.
// Input: two bytes that pick the selector (high nibble of the first: 0 a page
// id of the low 12 bits, 1 to 5 the named selectors, anything else a selector
// the report does not know), then the image, which is all the report may read.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "ltolib.h"
#include "ltolib/cartridge_memory/cm_report.h"

namespace {

constexpr int kNamed[] = {LTO_CM_ALL, LTO_CM_PAGE_TABLES, LTO_CM_PAGES, LTO_CM_MFR_INFO, LTO_CM_CMMA};

// The longest text a sink call may carry: the dump of a whole 8192-byte image.
constexpr size_t kLongestText = (LTO_CM_LARGE_SIZE / 16 + 1) * 80;

size_t calls = 0;

void check_text(void *p)
{
    fuzz::check_sink_text(p, kLongestText, true);  // a vendor page claiming no bytes dumps nothing
    ++calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const unsigned pick = in.u16();
    const unsigned kind = pick >> 12;
    const int whichpart = kind == 0   ? static_cast<int>(pick & 0xFFF)
                          : kind <= 5 ? kNamed[kind - 1]
                                      : static_cast<int>(0x40000 | pick);

    // The image in a heap buffer of exactly its size, so one byte too far shows.
    std::vector<uint8_t> rest = in.rest();
    std::unique_ptr<u_int8[]> image(new u_int8[rest.size()]);
    if (!rest.empty())
        std::memcpy(image.get(), rest.data(), rest.size());
    calls = 0;
    const int32 result = ltolib::cm_report(image.get(), rest.size(), whichpart, check_text);
    FUZZ_CHECK(result == 0 || result == -1);
    // A refused image gets its notice; an accepted one at least its banner
    // (the CMMA report has one of its own).
    FUZZ_CHECK(calls >= 6);
    FUZZ_CHECK((result == -1) == (ltolib::cm_marked_size(image.get(), rest.size()) == 0));
    return 0;
}
