// Test helpers for the LTO text logs: replies built from token lists, and the
// drive kind (variant and generation) set for one test.
#ifndef TESTS_SUPPORT_LTO_LOG_TEXT_H
#define TESTS_SUPPORT_LTO_LOG_TEXT_H

#include <string>
#include <vector>

#include "ltolib.h"

namespace support {

using Bytes = std::vector<u_int8>;
using Tokens = std::vector<std::string>;

// The tokens joined by `separator`.
inline std::string join(const Tokens &tokens, const std::string &separator = " ")
{
    std::string text;
    for (size_t i = 0; i < tokens.size(); ++i)
        text += (i ? separator : "") + tokens[i];
    return text;
}

// A reply as the drive sends it: the 4-byte page header (page code, 0, and the
// text length), then the text, without a terminator.
inline Bytes log_reply(u_int8 page, const std::string &text)
{
    Bytes b{page, 0, static_cast<u_int8>(text.size() >> 8), static_cast<u_int8>(text.size())};
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

inline Bytes log_reply(u_int8 page, const Tokens &tokens) { return log_reply(page, join(tokens)); }

// The variant code and generation of the drive the library talks to; the
// test listener puts both back after each test.
inline void set_drive_kind(u_int32 variant, int32 generation)
{
    lto_drive_hwconfig = static_cast<int32>(variant);
    lto_set_drive_generation(generation);
}

}  // namespace support

#endif
