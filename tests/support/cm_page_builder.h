// Cartridge-memory pages laid out field by field, and what a report writes
// to its sink, for the tests of the page decoders and the reports built on them.
#ifndef TESTS_CM_PAGE_BUILDER_H
#define TESTS_CM_PAGE_BUILDER_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "scsi_io.h"

namespace cmtest {

// A page of `size` zero bytes whose header holds the version and id word and
// a page length of `size`. Setters write big-endian fields and raw text at
// offsets from the page's first byte, growing the page when they reach past it.
class Page {
public:
    Page(unsigned version, unsigned id, size_t size);

    Page &u8(size_t at, u_int32 value);
    Page &be16(size_t at, u_int32 value);
    Page &be32(size_t at, u_int32 value);
    // The characters as they are, NULs included; no terminator is added.
    Page &text(size_t at, const std::string &chars);
    // Every byte after the header holds its own offset (mod 256), so each
    // number a decoder prints tells where it was read.
    Page &ramp();
    // The page length field, when it must differ from the size.
    Page &length(u_int32 claimed) { return be16(2, claimed); }

    u_int8 *data() { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    const std::vector<u_int8> &bytes() const { return bytes_; }

private:
    Page &put(size_t at, u_int32 value, size_t width);
    std::vector<u_int8> bytes_;
};

// Every text the sink was given during call, one element per sink call.
std::vector<std::string> capture(const std::function<void(pfvv)> &call);
// The calls joined into one text.
std::string joined(const std::vector<std::string> &calls);
// True when every call is one line: it ends in its only newline, or in one
// more that makes a blank line before it.
bool one_line_per_call(const std::vector<std::string> &calls);

}  // namespace cmtest

#endif
