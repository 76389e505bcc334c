// In-place string operations used to normalise drive identification texts and
// configuration lines, plus the number conversions shared by their readers.
// Character classes are fixed to ASCII: the tool never sets a locale, and a
// drive's reply must not be judged differently on a differently set-up host.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "stringhelper.h"
#include "toolkit.h"

namespace {

bool is_ascii_alnum(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

char *trim(char *s)
{
    // An empty text yields a shared empty string; it is cleared on every call so
    // a caller that wrote into it cannot make the next empty result non-empty.
    static char empty[1];
    if (s == nullptr || s[0] == '\0') {
        empty[0] = '\0';
        return empty;
    }
    const char *start = s;
    while (*start == ' ')
        ++start;
    size_t len = std::strlen(start);
    while (len > 0 && start[len - 1] == ' ')
        --len;
    std::memmove(s, start, len);
    s[len] = '\0';
    return s;
}

char *upper(char *s)
{
    if (s == nullptr)
        return s;
    for (char *p = s; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    return s;
}

char *alphanumeric(char *s)
{
    if (s == nullptr)
        return s;
    char *out = s;
    for (const char *p = s; *p; ++p)
        if (is_ascii_alnum(static_cast<unsigned char>(*p)))
            *out++ = *p;
    *out = '\0';
    return s;
}

void escape_unprintable(char *dst, size_t size, const char *src)
{
    if (dst == nullptr || size == 0)
        return;
    size_t n = 0;
    for (const char *p = src ? src : ""; *p; ++p) {
        std::string one = firmware::shown(std::string_view(p, 1));
        if (n + one.size() >= size)
            break;
        std::memcpy(dst + n, one.data(), one.size());
        n += one.size();
    }
    dst[n] = '\0';
}

std::string firmware::shown(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c <= 0x7E) {
            out += ch;
        } else {
            const char escape[] = {'\\', 'x', digits[c >> 4], digits[c & 0x0F]};
            out.append(escape, sizeof escape);
        }
    }
    return out;
}

u_int32 hex_value(const char *s)
{
    if (s == nullptr)
        return 0;
    errno = 0;
    unsigned long v = std::strtoul(s, nullptr, 16);
    // Out-of-range and negative texts saturate rather than wrap, so a garbled
    // identifier can never alias a real one by accident of truncation.
    if (errno == ERANGE || v > 0xFFFFFFFFUL)
        return 0xFFFFFFFFu;
    return static_cast<u_int32>(v);
}

double decimal_value(const char *s)
{
    if (s == nullptr)
        return 0.0;
    // The standard conversion, whole: "nan" stays not-a-number, so a drive that
    // reports it is recommended nothing and fails every check afterwards rather
    // than passing as version 0 and being sent an image.
    return std::strtod(s, nullptr);
}

int int_value(const char *s)
{
    if (s == nullptr)
        return 0;
    errno = 0;
    long v = std::strtol(s, nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}
