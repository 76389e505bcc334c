// The hexadecimal text reader against glibc's sscanf, whose "%X%n" it replaces.
#include <cstdio>
#include <random>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "ltolib/hex_text.h"

namespace {

using ltolib::HexText;
using Read = std::tuple<bool, u_int64, size_t>;  // success, value, characters taken

// One sscanf of `format` ("%X%n" or "%llX%n") into a V.
template <typename V>
Read sscanf_hex(const std::string &s, const char *format)
{
    V v = 0;
    int n = 0;
    const bool ok = std::sscanf(s.c_str(), format, &v, &n) == 1;
    return Read(ok, ok ? v : 0, ok ? static_cast<size_t>(n) : 0);
}

template <typename T>
Read reader(const std::string &s)
{
    HexText text(s.data(), s.size());
    T v = 0;
    const bool ok = text.next(v);
    return Read(ok, ok ? v : 0, text.consumed());
}

TEST(HexText, ConvertsAsSscanfDoes)
{
    // "\x80\x35" is byte 80h, then '5'.
    // clang-format off
    const char *cases[] = {
        "1A",       " \t\n\v\f\r7f ",  "0",          "0x",         "0X1f",       "0xg",
        "0x0x12",   "00x5",            "-1",         "+a",         "-0x10",      "- 1",
        "-",        "+0x",             "x12",        "",           "   ",        "zz",
        "123456789", "FFFFFFFFF",      "-123456789", "FFFFFFFFFFFFFFFF", "10000000000000000",
        "-10000000000000000", "-FFFFFFFFF", "12 34", "\x80\x35", "ABCDEFabcdef",
    };
    // clang-format on
    for (const std::string s : cases) {
        EXPECT_EQ(sscanf_hex<unsigned>(s, "%X%n"), reader<u_int32>(s)) << '[' << s << ']';
        EXPECT_EQ(sscanf_hex<unsigned long long>(s, "%llX%n"), reader<u_int64>(s)) << '[' << s << ']';
    }
}

TEST(HexText, RandomTextsReadAsSscanfReadsThem)
{
    // Texts from the characters that matter to the conversion, walked token by
    // token both ways.
    const std::string alphabet = "0123456789abcdefABCDEFxX+- \t\ng";
    std::mt19937 rng(1234);
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        const size_t len = rng() % 40;
        for (size_t i = 0; i < len; ++i)
            s += alphabet[rng() % alphabet.size()];
        HexText text(s.data(), s.size());
        size_t at = 0;
        for (;;) {
            const Read want = sscanf_hex<unsigned long long>(s.substr(at), "%llX%n");
            u_int64 got = 0;
            ASSERT_EQ(text.next(got), std::get<0>(want)) << '[' << s << "] at " << at;
            if (!std::get<0>(want))
                break;
            ASSERT_EQ(got, std::get<1>(want)) << '[' << s << "] at " << at;
            at += std::get<2>(want);
            ASSERT_EQ(text.consumed(), at) << '[' << s << ']';
        }
        EXPECT_EQ(text.consumed(), at);  // a failed read leaves the cursor
    }
}

TEST(HexText, StopsAtTheLengthOrTheFirstNul)
{
    const char text[] = {'1', '2', ' ', '3', '4', '5'};  // no terminator
    HexText t(text, 4);
    u_int32 v = 0;
    ASSERT_TRUE(t.next(v));
    ASSERT_TRUE(t.next(v));
    EXPECT_EQ(v, 0x3u);  // the fifth byte is past the end
    EXPECT_FALSE(t.next(v));
    EXPECT_TRUE(t.at_end());

    const char with_nul[] = "12\0"
                            "34";
    HexText n(with_nul, sizeof with_nul - 1);
    ASSERT_TRUE(n.next(v));
    EXPECT_FALSE(n.next(v));
    EXPECT_EQ(n.consumed(), 2u);
}

TEST(HexText, LiteralsMatchAsInAFormat)
{
    const char *rows[] = {"Variant = 0x80040200", "Variant=0x  12", "Variant =\t\n 0x-1",
                          "Variant = 0X12",       "Variant = 0x",   "Variant"};
    for (const std::string s : rows) {
        unsigned want = 0;
        const bool want_ok = std::sscanf(s.c_str(), "Variant = 0x%X", &want) == 1;
        HexText t(s.data(), s.size());
        u_int32 got = 0;
        EXPECT_EQ(t.match("Variant = 0x") && t.next(got), want_ok) << s;
        EXPECT_EQ(got, want_ok ? want : 0u) << s;
    }
    HexText t("Vx", 2);
    EXPECT_FALSE(t.match("Variant"));
    EXPECT_EQ(t.consumed(), 0u);  // a literal that fails takes nothing
}

TEST(HexText, WordsAndFloatsReadAsSscanfReadsThem)
{
    // A word of 63 characters fits the 64-byte buffers whole.
    const std::string longest = "0." + std::string(60, '0') + "1";
    // clang-format off
    const char *cases[] = {
        longest.c_str(),
        "3.0", " 2.5 x", "\t2.6\n", "3.1", "1e3", "-0.5", "+4", ".5", "nan", "inf", "INFINITY", "0x1p3",
        "x", "", "  ", "3.0.1", "2,5", "500110A000112233 1", "abc\x80z", "1234567890123456789012345",
    };
    // clang-format on
    for (const std::string s : cases) {
        char want[64] = {}, got[64] = {};
        int n = 0;
        const bool word_ok = std::sscanf(s.c_str(), "%63s%n", want, &n) == 1;
        HexText w(s.data(), s.size());
        EXPECT_EQ(w.word(got, sizeof got), word_ok) << '[' << s << ']';
        if (word_ok) {
            EXPECT_STREQ(got, want);
            EXPECT_EQ(w.consumed(), static_cast<size_t>(n)) << '[' << s << ']';
        }

        float fwant = 0, fgot = 0;
        n = 0;
        const bool float_ok = std::sscanf(s.c_str(), "%f%n", &fwant, &n) == 1;
        HexText f(s.data(), s.size());
        EXPECT_EQ(f.next(fgot), float_ok) << '[' << s << ']';
        if (float_ok) {
            EXPECT_TRUE(fgot == fwant || (fgot != fgot && fwant != fwant)) << '[' << s << ']';
            EXPECT_EQ(f.consumed(), static_cast<size_t>(n)) << '[' << s << ']';
        }
    }

    // One character more: the word is cut to its buffer but taken whole; the
    // number is read from its first 63 characters.
    const std::string past = "0." + std::string(61, '0') + "1";
    char word[64] = {};
    HexText w(past.data(), past.size());
    ASSERT_TRUE(w.word(word, sizeof word));
    EXPECT_EQ(std::string(word), past.substr(0, 63));
    EXPECT_EQ(w.consumed(), 64u);
    float value = 1;
    HexText f(past.data(), past.size());
    ASSERT_TRUE(f.next(value));
    EXPECT_EQ(value, 0.0f);
    EXPECT_EQ(f.consumed(), 63u);
}

}  // namespace
