// Reader of the drives' hexadecimal diagnostic texts: numbers separated by white
// space, read one at a time. It gives what sscanf gives for "%X%n", "%llX%n",
// "%s%n", "%f%n" and a literal part of a format, but walks the text once:
// calling sscanf per number rescans the rest of the text each time, which is
// quadratic on long replies.
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
    // "%s": skips white space and takes the whole run of characters up to the
    // next white space; keeps at most size - 1 of them and a NUL in `out`
    // (size 1 or more). Fails, writing nothing, where the text has no word left.
    bool word(char *out, size_t size);
    // "%f": skips white space and reads the longest prefix strtof takes of the
    // next word, looking at no more than its first 63 characters.
    bool next(float &value);

    // Several conversions of one format: all of them, or none (the cursor
    // stays where it was, as sscanf leaves "%n" unwritten when a conversion
    // fails). Values read before the failing one are written all the same.
    template <typename... T>
    bool group(T &...values)
    {
        const size_t at = pos_;
        if ((next(values) && ...))
            return true;
        pos_ = at;
        return false;
    }

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
