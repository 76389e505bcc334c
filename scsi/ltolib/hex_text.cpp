// One pass over a hexadecimal text, with sscanf's conversion rules for "%X".
#include "hex_text.h"

#include <cstdlib>
#include <initializer_list>

namespace ltolib {
namespace {

// Class of every byte: its hex digit value, or one of the two markers.
constexpr signed char kSpace = -2;
constexpr signed char kOther = -1;

struct CharClasses {
    signed char of[256];
    constexpr CharClasses() : of()
    {
        for (int c = 0; c < 256; ++c)
            of[c] = kOther;
        for (int c = '0'; c <= '9'; ++c)
            of[c] = static_cast<signed char>(c - '0');
        for (int c = 'a'; c <= 'f'; ++c)
            of[c] = static_cast<signed char>(c - 'a' + 10);
        for (int c = 'A'; c <= 'F'; ++c)
            of[c] = static_cast<signed char>(c - 'A' + 10);
        for (int c : {' ', '\t', '\n', '\v', '\f', '\r'})
            of[c] = kSpace;
    }
};
constexpr CharClasses kClasses;

signed char class_of(char c) { return kClasses.of[static_cast<unsigned char>(c)]; }
bool is_space(char c) { return class_of(c) == kSpace; }
int hex_digit(char c) { return class_of(c) >= 0 ? class_of(c) : -1; }

}  // namespace

bool HexText::scan(u_int64 &value)
{
    size_t at = pos_;
    while (is_space(peek(at)))
        ++at;
    bool negative = false;
    if (peek(at) == '+' || peek(at) == '-') {
        negative = peek(at) == '-';
        ++at;
    }
    // A leading "0x" is taken even when no digit follows it; its 0 is then the
    // number, as glibc reads it.
    bool any_digit = false;
    if (peek(at) == '0' && (peek(at + 1) == 'x' || peek(at + 1) == 'X')) {
        at += 2;
        any_digit = true;
    }
    u_int64 v = 0;
    bool overflow = false;
    for (int d = hex_digit(peek(at)); d >= 0; d = hex_digit(peek(++at))) {
        any_digit = true;
        if (v >> 60 != 0)
            overflow = true;
        v = (v << 4) | static_cast<u_int64>(d);
    }
    if (!any_digit)
        return false;
    if (overflow)
        v = ~u_int64{0};
    else if (negative)
        v = ~v + 1;
    value = v;
    pos_ = at;
    return true;
}

bool HexText::next(u_int64 &value) { return scan(value); }

bool HexText::next(u_int32 &value)
{
    u_int64 v = 0;
    if (!scan(v))
        return false;
    value = static_cast<u_int32>(v);
    return true;
}

bool HexText::skip()
{
    u_int64 ignored = 0;
    return scan(ignored);
}

bool HexText::match(const char *literal)
{
    size_t at = pos_;
    for (const char *l = literal; *l != '\0'; ++l) {
        if (is_space(*l)) {
            while (is_space(peek(at)))
                ++at;
        } else if (peek(at) == *l) {
            ++at;
        } else {
            return false;
        }
    }
    pos_ = at;
    return true;
}

bool HexText::word(char *out, size_t size)
{
    size_t at = pos_;
    while (is_space(peek(at)))
        ++at;
    const size_t start = at;
    while (peek(at) != '\0' && !is_space(peek(at)))
        ++at;
    if (at == start || size == 0)
        return false;
    const size_t keep = at - start < size - 1 ? at - start : size - 1;
    for (size_t i = 0; i < keep; ++i)
        out[i] = text_[start + i];
    out[keep] = '\0';
    pos_ = at;
    return true;
}

bool HexText::next(float &value)
{
    size_t at = pos_;
    while (is_space(peek(at)))
        ++at;
    // strtof needs a terminated text; a number longer than this is cut.
    char copy[64];
    size_t n = 0;
    while (n < sizeof copy - 1 && peek(at + n) != '\0' && !is_space(peek(at + n))) {
        copy[n] = peek(at + n);
        ++n;
    }
    copy[n] = '\0';
    char *end = nullptr;
    const float v = std::strtof(copy, &end);
    if (end == copy)
        return false;
    value = v;
    pos_ = at + static_cast<size_t>(end - copy);
    return true;
}

}  // namespace ltolib
