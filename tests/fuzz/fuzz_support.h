// Shared by the fuzz targets: checks that stop the run when a promise is broken
// (libFuzzer then keeps the input; the replay fails its test), and a reader that
// splits one fuzz input into the values a target needs.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : fuzz::fail(#cond, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] inline void fail(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

// True when a NUL ends the text within its first `size` bytes.
inline bool terminated(const char *text, size_t size) { return std::memchr(text, 0, size) != nullptr; }

// A text a report handed its sink: terminated within `longest` bytes, and
// whole lines (empty only where `may_be_empty`, the dump of nothing).
inline void check_sink_text(const void *p, size_t longest, bool may_be_empty)
{
    const char *text = static_cast<const char *>(p);
    FUZZ_CHECK(text != nullptr);
    FUZZ_CHECK(terminated(text, longest));
    const size_t n = std::strlen(text);
    FUZZ_CHECK(n == 0 ? may_be_empty : text[n - 1] == '\n');
}

// Takes values from the front of the input; past its end every value is 0 and
// every piece empty.
class Input {
public:
    Input(const uint8_t *data, size_t size) : p_(data), left_(size) {}

    uint8_t byte()
    {
        if (left_ == 0)
            return 0;
        --left_;
        return *p_++;
    }
    // Big-endian 16 bits.
    unsigned u16() { return static_cast<unsigned>(byte() << 8 | byte()); }
    std::vector<uint8_t> bytes(size_t n)
    {
        n = n < left_ ? n : left_;
        std::vector<uint8_t> out(p_, p_ + n);
        p_ += n;
        left_ -= n;
        return out;
    }
    std::vector<uint8_t> rest() { return bytes(left_); }
    size_t left() const { return left_; }

private:
    const uint8_t *p_;
    size_t left_;
};

}  // namespace fuzz

#endif
