// The cartridge-memory page decoders through their exact text, one page per
// version branch the golden whole-image report does not already hold,
// compared with tests/golden/lto_cm/<case>.txt.
// KV_UPDATE_GOLDEN=1 rewrites the golden files from what the decoders wrote.
//
// Most pages are ramps (every byte holds its offset), so each number in a
// golden file tells where it was read; text fields get letters.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "ltolib.h"
#include "scratch.h"

namespace {

using cmtest::Page;

const std::string kGolden = KV_SOURCE_DIR "/tests/golden/lto_cm/";

struct Case {
    const char *golden;
    std::function<void(u_int8 *, pfvv)> decoder;
    Page page;
};

void check(std::vector<Case> cases)
{
    for (Case &c : cases) {
        auto calls = cmtest::capture([&](pfvv sink) { c.decoder(c.page.data(), sink); });
        EXPECT_TRUE(cmtest::one_line_per_call(calls)) << c.golden;
        scratch::expect_golden(kGolden + c.golden + ".txt", cmtest::joined(calls));
    }
}

TEST(CmPages, IdentityPages)
{
    const std::string servo = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuv";  // 48 characters
    auto cartmfr = [](u_int32 type) {
        // A NUL ends the serial.
        Page page = Page(0, 0x001, 64).ramp().text(4, "KVTAPES1").text(12, std::string("AB1\0XYZ123", 10));
        return page.be16(22, type).text(24, "20240131").be16(32, 3202).be16(34, 6554);
    };
    auto drive = [](unsigned version, unsigned id, size_t size) {
        return Page(version, id, size).ramp().text(4, "KVDRIVE1").text(12, "0123456789ABCDEF");
    };
    check({
        {"cartmfr_unknown_type", lto_cm_decode_cartmfr_page, cartmfr(0x0020)},
        {"cartmfr_worm4", lto_cm_decode_cartmfr_page, cartmfr(0x2008)},
        {"mediamfr_v0", lto_cm_decode_mediamfr_page, Page(0, 0x002, 64).ramp().text(4, servo)},
        {"init_v1", lto_cm_decode_init_page, drive(1, 0x101, 64)},
        {"init_v2", lto_cm_decode_init_page, drive(2, 0x101, 64).text(48, "2a5c")},
        // 'B' counts as its code, 66; a NUL shortens the version text.
        {"init_v3", lto_cm_decode_init_page, drive(3, 0x101, 72).text(56, std::string("B12\0", 4))},
        {"cartcont_v0", lto_cm_decode_cartcont_page, drive(0, 0x10D, 64)},
        {"cartcont_v1_one_partition", lto_cm_decode_cartcont_page,
         drive(1, 0x10D, 64).be32(32, 0x001B0000).text(48, "a123")},
        {"cartcont_v1_two_partitions", lto_cm_decode_cartcont_page, drive(1, 0x10D, 64).be32(32, 0x011B1E37)},
    });
}

// Entry n, field i holds n << 4 | i, so each line shows its entry.
Page tapedir(unsigned version, size_t entries, size_t entry_size)
{
    Page page(version, 0x103, 16 + entries * entry_size);
    for (u_int32 n = 0; n < entries; n++)
        for (u_int32 i = 0; i < entry_size / 4; i++)
            page.be32(16 + n * entry_size + 4 * i, n << 4 | i);
    return page;
}

TEST(CmPages, TapeAndStatusPages)
{
    auto eod = [](unsigned version, unsigned id, u_int32 validity) {
        // The 48-bit record count has high part 1 and low part 5.
        return Page(version, id, 96).ramp().be16(12, 1).be32(14, 5).be16(32, validity);
    };
    auto cartstat = [](unsigned version, u_int32 status) {
        // "%d" shows the count at 12 signed.
        Page page = Page(version, 0x105, 64).ramp().be32(4, 0x00018000).be32(12, 0xFFFFFFFF).be16(16, status);
        page.be32(22, 0xFFFFFFFF).be16(26, 0xFFFE).be32(28, 0xFFFFFFFF).be16(32, 0xFFFF);
        return page.be32(34, 0xFFFFFFFF).be16(38, 0);
    };
    check({
        {"tapedir_v0", lto_cm_decode_tapedir_page, tapedir(0, 96, 16)},
        {"tapedir_v1", lto_cm_decode_tapedir_page, tapedir(1, 64, 28)},
        {"tapedir_v2", lto_cm_decode_tapedir_page, tapedir(2, 44, 32)},
        {"tapedir_v3", lto_cm_decode_tapedir_page, tapedir(3, 56, 32)},
        {"tapedir_v4_guard_wrap", lto_cm_decode_tapedir_page,
         tapedir(4, 80, 32).be32(4, 0xF1D0).be32(8, 0xF1D1).be32(16 + 40 * 32 + 4, 0xFFFFFFFE)},
        {"tapedir_v5_unknown", lto_cm_decode_tapedir_page, tapedir(5, 0, 0)},
        {"eod_v0", lto_cm_decode_eod_page, eod(0, 0x104, 0)},
        {"eod_v1_partition1", lto_cm_decode_eod_page, eod(1, 0x10E, 3).text(40, "KVDRSN12345678")},
        // A maker's name shorter than its field stands right-aligned in it.
        {"eod_v2_partition1", lto_cm_decode_eod_page,
         eod(2, 0x10E, 7).text(40, std::string("KVDR\0\0\0\0SN12345678901234", 24))},
        {"eod_v2_partition0", lto_cm_decode_eod_page, eod(2, 0x104, 1).text(40, "KVDRIVE2SN12345678901234")},
        {"eod_v3", lto_cm_decode_eod_page, eod(3, 0x10E, 2)},
        {"cartstat_v0", lto_cm_decode_cartstat_page, cartstat(0, 1)},
        {"cartstat_v2", lto_cm_decode_cartstat_page, cartstat(2, 7)},
        {"cartstat_v3", lto_cm_decode_cartstat_page, cartstat(3, 2)},
    });
}

// A subpage whose every field differs, with the CCQ halves 1 and 80000000h
// and a highest temperature of 2D80h.
Page subpage(Page page, size_t at)
{
    page.be32(at, 1).be32(at + 4, 0x80000000).be32(at + 8, 0xFFFFFFFE).be32(at + 12, 3).be32(at + 16, 4);
    page.be32(at + 20, 0x05060708).be32(at + 24, 9).be32(at + 28, 90061).be32(at + 32, 1234);
    page.be32(at + 36, 10).be32(at + 40, 11).be32(at + 44, at).be16(at + 48, 0x2D80).be16(at + 50, 0x0A80);
    return page;
}

TEST(CmPages, UsageAndErrorPages)
{
    Page mech = Page(0, 0x106, 384).text(4, "KVMECH01").be32(380, 0xC5C5);
    for (size_t at : {12, 76, 140, 204})
        mech = subpage(mech, at);
    auto suspapp = [](unsigned version) {
        Page page(version, 0x107, 184);
        for (u_int32 n = 0; n < 22; n++)
            page.be32(8 + 8 * n, 0x100 + n).be32(12 + 8 * n, n);
        return page.be32(8 + 8 * 3, 0xFFFFFFFE).be32(12 + 8 * 3, 0);
    };
    auto fatal = [](unsigned version, size_t size, size_t read_block) {
        Page page = Page(version, 0x10C, size).ramp();
        page.text(4, size == 128 ? "WMFRWSERIAL001" : "WMFRLONGWSERIAL000000001");
        return page.text(read_block, size == 128 ? "RMFRRSERIAL001" : "RMFRLONGRSERIAL000000001");
    };
    check({
        {"mech", lto_cm_decode_mech_page, mech},
        {"suspapp_v0", lto_cm_decode_suspapp_page, suspapp(0)},
        {"suspapp_v1_separator", lto_cm_decode_suspapp_page, suspapp(1)},
        {"suspapp_v2", lto_cm_decode_suspapp_page, suspapp(2)},
        {"usage_v2_as_v0", [](u_int8 *p, pfvv sink) { lto_cm_decode_usage_page(p, 3, sink); },
         Page(2, 0x10B, 64).ramp().text(4, "KVUSAGE0").text(12, "DRIVEID012")},
        {"fatalerror_v0_rw", lto_cm_decode_fatalerror_page, fatal(0, 128, 64)},
        {"fatalerror_v1_worm", lto_cm_decode_fatalerror_page,
         fatal(1, 128, 64).text(8, std::string("WSER\0IAL01", 10))},
        {"fatalerror_v3_worm", lto_cm_decode_fatalerror_page, fatal(3, 160, 80)},
        {"fatalerror_v4_as_v2", lto_cm_decode_fatalerror_page, fatal(4, 160, 80)},
    });
}

// Codes at the edges of their text tables and of the firmware identity's
// character ranges, one line each.
TEST(CmPages, CodesAtTheEdgesOfTheirTexts)
{
    auto ident = [](const char *text) { return Page(1, 0x10D, 64).text(48, text); };
    auto eod = [](u_int32 validity) { return Page(3, 0x104, 96).be16(32, validity); };
    auto status = [](u_int32 code) { return Page(3, 0x105, 64).be16(16, code); };
    auto suspapp = [](u_int32 dataset, u_int32 write_pass) {
        return Page(1, 0x107, 184).be32(8, dataset).be32(12, write_pass);
    };
    const struct {
        void (*decoder)(u_int8 *, pfvv);
        Page page;
        std::string line;
    } cases[] = {
        {lto_cm_decode_cartcont_page, ident("9abc"), "Firmware identity     : 9.abc (0x39616263)\n"},
        {lto_cm_decode_cartcont_page, ident(":abc"), "Firmware identity     : 58.abc (0x3A616263)\n"},
        {lto_cm_decode_cartcont_page, ident("`abc"), "Firmware identity     : 96.abc (0x60616263)\n"},
        {lto_cm_decode_eod_page, eod(4), "EOD validity          : Unknown status\n"},
        {lto_cm_decode_cartstat_page, status(3), "Cartridge status      : Possibly snapped\n"},
        {lto_cm_decode_cartstat_page, status(4), "Cartridge status      : Unknown\n"},
        // The low part alone does not make a position unknown.
        {lto_cm_decode_cartstat_page, status(0).be32(22, 0xFFFFFFFE).be16(26, 0xFFFE),
         "First encr object partn0: 0xFFFFFFFEFFFE\n"},
        // The separator's data set id with a write pass is an entry like any other.
        {lto_cm_decode_suspapp_page, suspapp(0xFFFFFFFE, 1), "  0    0xFFFFFFFE 0x00000001\n"},
    };
    for (const auto &c : cases) {
        Page page = c.page;
        const auto lines = cmtest::capture([&](pfvv sink) { c.decoder(page.data(), sink); });
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << c.line;
    }
}

// The four forms and the plural rule; a label the 160-character buffer cannot
// hold is cut, keeping the newline.
TEST(CmPages, BreakTime)
{
    const std::string x(500, 'x');
    const struct {
        const char *label;
        u_int32 seconds;
        std::string text;
    } cases[] = {
        {"L: ", 3600, "L: 1 hr 0 mins 0 secs\n"},
        {"L: ", 0, "L: 0 secs\n"},
        {"L: ", 61, "L: 1 min 1 sec\n"},
        {"L: ", 180122, "L: 2 days 2 hrs 2 mins 2 secs\n"},
        {"L: ", 0xFFFFFFFF, "L: 49710 days 6 hrs 28 mins 15 secs\n"},
        {nullptr, 59, "59 secs\n"},
        {x.c_str() + 500 - 151, 59, x.substr(0, 151) + "59 secs\n"},  // 159 characters: it fits
        {x.c_str() + 500 - 152, 59, x.substr(0, 152) + "59 sec\n"},
        {x.c_str(), 59, x.substr(0, 158) + "\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(lto_break_time(c.label, c.seconds), c.text) << c.seconds;
}

}  // namespace
