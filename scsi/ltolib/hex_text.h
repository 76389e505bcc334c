// Reader of the drives' hexadecimal diagnostic texts: numbers separated by white
// space, read one at a time. It gives what sscanf gives for "%X%n" (and for a
// literal part of a format), but walks the text once: calling sscanf per number
// rescans the rest of the text each time, which is quadratic on long replies.
#ifndef LTOLIB_HEX_TEXT_H
#define LTOLIB_HEX_TEXT_H

#include <cstddef>

#include "common_types.h"

namespace ltolib {

// A cursor over a text of known length. The text ends at `length` or at its
// first NUL, whichever comes first; nothing past the end is ever read, so a
// reply needs no terminator. A read that fails leaves the cursor where it was,
// as sscanf leaves "%n" unwritten.
class HexText {
public:
    HexText(const char *text, size_t length) : text_(text), end_(text == nullptr ? 0 : length) {}
    HexText(const u_int8 *text, size_t length) : HexText(reinterpret_cast<const char *>(text), length) {}

    // "%X": skips white space, takes an optional sign, an optional "0x" or "0X"
    // and the hex digits after it. A number too large for 64 bits reads as all
    // ones; a negative one wraps; the 32-bit form keeps the low 32 bits, as
    // glibc does.
    bool next(u_int32 &value);
    // "%llX".
    bool next(u_int64 &value);
    // "%*X": one number read and dropped.
    bool skip();
    // A literal part of a scanf format: white space in `literal` matches any
    // run of white space (none included), every other character itself.
    bool match(const char *literal);

    // Characters consumed so far: what "%n" stores.
    size_t consumed() const { return pos_; }
    bool at_end() const { return peek(pos_) == '\0'; }

private:
    char peek(size_t at) const { return at < end_ ? text_[at] : '\0'; }
    bool scan(u_int64 &value);

    const char *text_;
    size_t end_;
    size_t pos_ = 0;
};

}  // namespace ltolib

#endif
