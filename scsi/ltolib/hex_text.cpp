// One pass over a hexadecimal text, with sscanf's conversion rules for "%X".
#include "hex_text.h"

namespace ltolib {
namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

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

}  // namespace ltolib
