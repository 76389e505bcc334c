// The cartridge-memory page decoders never read past the bytes they are
// given, and say so when a page is cut short.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "ddslib.h"
#include "ltolib.h"
#include "ltolib/cm_pages.h"

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
    {"cartstat v2", ltolib::cm_decode_cartstat_page, 2, 0x105, 32},
    {"cartstat v3", ltolib::cm_decode_cartstat_page, 3, 0x105, 64},
    {"mech", ltolib::cm_decode_mech_page, 0, 0x106, 384},
    {"suspapp v1", ltolib::cm_decode_suspapp_page, 1, 0x107, 184},
    {"usage v0", [](const u_int8 *p, size_t n, pfvv s) { ltolib::cm_decode_usage_page(p, n, 1, s); }, 0, 0x109,
     64},
    {"usage v1", [](const u_int8 *p, size_t n, pfvv s) { ltolib::cm_decode_usage_page(p, n, 1, s); }, 1, 0x109,
     96},
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

TEST(CmBounds, VendorDumpStopsAtTheBytesAvailable)
{
    Page page = Page(0, 0x181, 100).ramp().length(0xFFFF);
    char *dump = dds_sdump_buffer(page.data(), 100);
    const std::string dump100 = dump;
    std::free(dump);
    const std::string owner = "Partner #1 Mechanism-specific page: no decoder\n";
    EXPECT_EQ(decode(ltolib::cm_decode_mechspec_page, page.data(), 100),
              (std::vector<std::string>{kSep, owner, kSep, dump100, overrun(0x181)}));
    // Without the page length there is nothing to dump.
    std::vector<u_int8> header(page.bytes().begin(), page.bytes().begin() + 3);
    EXPECT_EQ(decode(ltolib::cm_decode_mechspec_page, header.data(), 3),
              (std::vector<std::string>{kSep, owner, kSep, overrun(0x181)}));
}

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
        [](u_int8 *p, pfvv s) { lto_cm_decode_usage_page(p, 0, s); },
        [](u_int8 *p, pfvv s) { lto_cm_decode_mech_subpage(p, 0, s); },
    };
    std::vector<u_int8> page(LTO_CM_VENDOR_PAGE_MAX, 0);
    for (auto decoder : publics) {
        EXPECT_TRUE(cmtest::capture([&](pfvv sink) { decoder(nullptr, sink); }).empty());
        decoder(page.data(), nullptr);
    }
}

TEST(CmBounds, BreakTimeCutsALongLabel)
{
    const std::string label(500, 'x');
    const char *text = lto_break_time(label.c_str(), 59);
    ASSERT_EQ(std::strlen(text), LTO_BREAK_TIME_SIZE - 1u);
    EXPECT_EQ(std::string(text), std::string(LTO_BREAK_TIME_SIZE - 2, 'x') + "\n");
    EXPECT_STREQ(lto_break_time(label.c_str() + 500 - 130, 59), (label.substr(0, 130) + "59 secs\n").c_str());
}

}  // namespace
