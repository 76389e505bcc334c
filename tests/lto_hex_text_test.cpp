// The hexadecimal text reader against glibc's sscanf, whose "%X%n" it replaces.
#include <cstdio>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "ltolib/hex_text.h"

namespace {

using ltolib::HexText;

// What one sscanf("%X%n") or ("%llX%n") gives: success, value, characters taken.
template <typename T>
struct Scan {
    bool ok;
    T value;
    size_t consumed;
};

Scan<u_int32> sscanf32(const std::string &s)
{
    unsigned v = 0;
    int n = 0;
    bool ok = std::sscanf(s.c_str(), "%X%n", &v, &n) == 1;
    return {ok, ok ? v : 0, ok ? static_cast<size_t>(n) : 0};
}

Scan<u_int64> sscanf64(const std::string &s)
{
    unsigned long long v = 0;
    int n = 0;
    bool ok = std::sscanf(s.c_str(), "%llX%n", &v, &n) == 1;
    return {ok, ok ? v : 0, ok ? static_cast<size_t>(n) : 0};
}

template <typename T>
Scan<T> reader(const std::string &s)
{
    HexText text(s.data(), s.size());
    T v = 0;
    bool ok = text.next(v);
    return {ok, ok ? v : 0, text.consumed()};
}

void expect_same(const std::string &s)
{
    auto a = sscanf32(s), b = reader<u_int32>(s);
    EXPECT_EQ(a.ok, b.ok) << '[' << s << ']';
    EXPECT_EQ(a.value, b.value) << '[' << s << ']';
    EXPECT_EQ(a.consumed, b.consumed) << '[' << s << ']';
    auto c = sscanf64(s), d = reader<u_int64>(s);
    EXPECT_EQ(c.ok, d.ok) << '[' << s << ']';
    EXPECT_EQ(c.value, d.value) << '[' << s << ']';
    EXPECT_EQ(c.consumed, d.consumed) << '[' << s << ']';
}

TEST(HexText, ConvertsAsSscanfDoes)
{
    // clang-format off
    const char *cases[] = {
        "1A",       " \t\n\v\f\r7f ",  "0",          "0x",         "0X1f",       "0xg",
        "0x0x12",   "00x5",            "-1",         "+a",         "-0x10",      "- 1",
        "-",        "+0x",             "x12",        "",           "   ",        "zz",
        "123456789", "FFFFFFFFF",      "-123456789", "FFFFFFFFFFFFFFFF", "10000000000000000",
        "-10000000000000000", "-FFFFFFFFF", "12 34", "\x80" "5", "ABCDEFabcdef",
    };
    // clang-format on
    for (const char *c : cases)
        expect_same(c);
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
            auto want = sscanf64(s.substr(at));
            u_int64 got = 0;
            ASSERT_EQ(text.next(got), want.ok) << '[' << s << "] at " << at;
            if (!want.ok)
                break;
            ASSERT_EQ(got, want.value) << '[' << s << "] at " << at;
            at += want.consumed;
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
    EXPECT_EQ(v, 0x12u);
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
    // clang-format off
    const char *cases[] = {
        "3.0", " 2.5 x", "\t2.6\n", "3.1", "1e3", "-0.5", "+4", ".5", "nan", "inf", "INFINITY", "0x1p3",
        "x", "", "  ", "3.0.1", "2,5", "500110A000112233 1", "abc\x80z", "1234567890123456789012345",
    };
    // clang-format on
    for (const char *c : cases) {
        const std::string s = c;
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
}

TEST(HexText, WordsAreCutToTheirRoomButReadWhole)
{
    const std::string s = "0123456789ABCDEF0123 next";
    HexText t(s.data(), s.size());
    char word[17];
    ASSERT_TRUE(t.word(word, sizeof word));
    EXPECT_STREQ(word, "0123456789ABCDEF");
    ASSERT_TRUE(t.word(word, sizeof word));
    EXPECT_STREQ(word, "next");
    EXPECT_FALSE(t.word(word, sizeof word));
}

TEST(HexText, GroupsReadAllOrLeaveTheCursor)
{
    const std::string s = "1 2 3 x";
    HexText t(s.data(), s.size());
    u_int32 a = 0, b = 0, c = 0, d = 0;
    u_int64 wide = 0;
    EXPECT_FALSE(t.group(a, b, c, d));
    EXPECT_EQ(t.consumed(), 0u);
    ASSERT_TRUE(t.group(a, wide, c));
    EXPECT_EQ(wide, 2u);
    EXPECT_EQ(t.consumed(), 5u);
}

}  // namespace
