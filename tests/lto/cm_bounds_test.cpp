// The cartridge-memory page decoders never read past the bytes they are
// given, and say so when a page is cut short.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "ddslib.h"
#include "ltolib.h"
#include "ltolib/cartridge_memory/cm_pages.h"

namespace {

using cmtest::Page;
using Bounded = void (*)(const u_int8 *, size_t, pfvv);

const std::string kSep = "------------------------------------\n";

std::string overrun(unsigned id)
{
    char text[64];
    std::snprintf(text, sizeof text, "Page 0x%3.3X runs past the end of the image\n", id);
    return text;
}

std::vector<std::string> decode(Bounded decoder, const u_int8 *page, size_t available)
{
    return cmtest::capture([&](pfvv sink) { decoder(page, available, sink); });
}

struct Layout {
    const char *name;
    Bounded decoder;
    unsigned version, id;
    size_t end;  // the bytes the layout spans
};

void usage1(const u_int8 *page, size_t available, pfvv sink)
{
    ltolib::cm_decode_usage_page(page, available, 1, sink);
}

const Layout kLayouts[] = {
    {"cartmfr", ltolib::cm_decode_cartmfr_page, 0, 0x001, 64},
    {"mediamfr", ltolib::cm_decode_mediamfr_page, 0, 0x002, 64},
    {"init v1", ltolib::cm_decode_init_page, 1, 0x101, 64},
    {"init v3", ltolib::cm_decode_init_page, 3, 0x101, 72},
    {"cartcont", ltolib::cm_decode_cartcont_page, 1, 0x10D, 64},
    {"tapewrpass", ltolib::cm_decode_tapewrpass_page, 0, 0x102, 48},
    {"tapedir v0", ltolib::cm_decode_tapedir_page, 0, 0x103, 1552},
    {"tapedir v4", ltolib::cm_decode_tapedir_page, 4, 0x103, 2576},
    {"eod v2", ltolib::cm_decode_eod_page, 2, 0x104, 96},
    {"eod v3", ltolib::cm_decode_eod_page, 3, 0x104, 40},
    {"cartstat v1", ltolib::cm_decode_cartstat_page, 1, 0x105, 32},
    {"cartstat v2", ltolib::cm_decode_cartstat_page, 2, 0x105, 32},
    {"cartstat v3", ltolib::cm_decode_cartstat_page, 3, 0x105, 64},
    {"mech", ltolib::cm_decode_mech_page, 0, 0x106, 384},
    {"suspapp v1", ltolib::cm_decode_suspapp_page, 1, 0x107, 184},
    {"usage v0", usage1, 0, 0x109, 64},
    {"usage v1", usage1, 1, 0x109, 96},
    {"fatal v1", ltolib::cm_decode_fatalerror_page, 1, 0x10C, 128},
    {"fatal v2", ltolib::cm_decode_fatalerror_page, 2, 0x10C, 160},
};

TEST(CmBounds, LayoutAtTheEndAndOnePast)
{
    for (const Layout &l : kLayouts) {
        Page page(l.version, l.id, l.end);
        auto whole = decode(l.decoder, page.data(), l.end);
        EXPECT_EQ(cmtest::joined(whole).find("runs past"), std::string::npos) << l.name;

        // One byte short: the title, the notice, no field. The copy keeps
        // the sanitizers watching the byte just past the view.
        std::vector<u_int8> cut(page.bytes().begin(), page.bytes().end() - 1);
        auto lines = decode(l.decoder, cut.data(), cut.size());
        ASSERT_EQ(lines.size(), 4u) << l.name;
        EXPECT_EQ(lines[0], kSep) << l.name;
        EXPECT_EQ(lines[2], kSep) << l.name;
        EXPECT_EQ(lines[3], overrun(l.id)) << l.name;

        // A view too short for the header still names the page it expected.
        u_int8 one = page.data()[0];
        EXPECT_EQ(decode(l.decoder, &one, 1).back(), overrun(l.id)) << l.name;
    }
}

TEST(CmBounds, SubpageAtTheEndAndOnePast)
{
    std::vector<u_int8> subpage(51);
    auto lines = cmtest::capture(
        [&](pfvv sink) { ltolib::cm_decode_mech_subpage(subpage.data(), 51, 1, sink); });
    EXPECT_EQ(lines, (std::vector<std::string>{"\nMech Usage subpage 1\n", "--------------------\n",
                                               "Subpage 1 runs past the end of the image\n"}));
    subpage.resize(52);
    lines = cmtest::capture([&](pfvv sink) { ltolib::cm_decode_mech_subpage(subpage.data(), 52, 1, sink); });
    EXPECT_EQ(lines.size(), 18u);
}

// A public form as a bounded one: it reads at most what its header gives.
template <void (*Public)(u_int8 *, pfvv)>
void whole(const u_int8 *page, size_t, pfvv sink)
{
    Public(const_cast<u_int8 *>(page), sink);
}

// A vendor page dumps its page length, or the bytes available when fewer and
// then the notice; without the length field it dumps nothing. Only 180h-184h
// and 200h have an owner line.
TEST(CmBounds, VendorPageDumps)
{
    const std::string p1 = "Partner #1 Mechanism-specific page: no decoder\n",
                      p2 = "Partner #2 Mechanism-specific page: no decoder\n",
                      app = "App-specific page (0x200): no decoder\n";
    struct Case {
        Bounded decoder;
        unsigned id;
        u_int32 length;
        size_t available, dumped;
        std::vector<std::string> head;
    };
    const Case cases[] = {
        {whole<lto_cm_decode_mechspec_page>, 0x182, 64, 80, 64, {kSep, p2, kSep}},
        {whole<lto_cm_decode_mechspec_page>, 0x185, 64, 80, 64, {kSep, kSep}},
        {whole<lto_cm_decode_appspec_page>, 0x200, 64, 80, 64, {kSep, app, kSep}},
        {ltolib::cm_decode_mechspec_page, 0x181, 0xFFFF, 100, 100, {kSep, p1, kSep}},
        {ltolib::cm_decode_mechspec_page, 0x181, 0xFFFF, 4, 4, {kSep, p1, kSep}},
        {ltolib::cm_decode_mechspec_page, 0x181, 0xFFFF, 3, 0, {kSep, p1, kSep}},
    };
    for (const Case &c : cases) {
        Page page = Page(0, c.id, 100).ramp().length(c.length);
        std::vector<u_int8> view(page.bytes().begin(),
                                 page.bytes().begin() + static_cast<std::ptrdiff_t>(c.available));
        std::vector<std::string> want = c.head;
        if (c.dumped > 0) {
            char *dump = dds_sdump_buffer(view.data(), static_cast<int>(c.dumped));
            want.push_back(dump);
            std::free(dump);
        }
        if (c.dumped < c.length)
            want.push_back(overrun(c.id));
        EXPECT_EQ(decode(c.decoder, view.data(), view.size()), want) << std::hex << c.id << " " << c.available;
    }
}

void usage0(u_int8 *page, pfvv sink) { lto_cm_decode_usage_page(page, 0, sink); }
void subpage0(u_int8 *page, pfvv sink) { lto_cm_decode_mech_subpage(page, 0, sink); }

TEST(CmBounds, NullPageOrSinkWritesNothing)
{
    const std::vector<void (*)(u_int8 *, pfvv)> publics = {
        lto_cm_decode_cartmfr_page,
        lto_cm_decode_mediamfr_page,
        lto_cm_decode_init_page,
        lto_cm_decode_cartcont_page,
        lto_cm_decode_tapewrpass_page,
        lto_cm_decode_tapedir_page,
        lto_cm_decode_eod_page,
        lto_cm_decode_cartstat_page,
        lto_cm_decode_mech_page,
        lto_cm_decode_suspapp_page,
        lto_cm_decode_fatalerror_page,
        lto_cm_decode_mechspec_page,
        lto_cm_decode_appspec_page,
        usage0,
        subpage0,
    };
    std::vector<u_int8> page(LTO_CM_VENDOR_PAGE_MAX, 0);
    for (auto decoder : publics) {
        EXPECT_TRUE(cmtest::capture([&](pfvv sink) { decoder(nullptr, sink); }).empty());
        decoder(page.data(), nullptr);
    }
}

}  // namespace
