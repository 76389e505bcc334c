// Cartridge-memory pages and whole images laid out field by field, and what
// a report writes to its sink, for the tests of the page decoders and the
// reports built on them.
#ifndef TESTS_CM_PAGE_BUILDER_H
#define TESTS_CM_PAGE_BUILDER_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "scsi_io.h"

namespace cmtest {

// Bytes with setters for big-endian fields and raw text at offsets, growing
// the bytes when a setter reaches past them. Self is the class the setters
// return, so calls chain.
template <class Self>
class Fields {
public:
    Self &u8(size_t at, u_int32 value) { return put(at, value, 1); }
    Self &be16(size_t at, u_int32 value) { return put(at, value, 2); }
    Self &be32(size_t at, u_int32 value) { return put(at, value, 4); }
    // The characters as they are, NULs included; no terminator is added.
    Self &text(size_t at, const std::string &chars);
    // Other bytes copied in from at.
    Self &bytes_at(size_t at, const std::vector<u_int8> &b);

    u_int8 *data() { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    const std::vector<u_int8> &bytes() const { return bytes_; }

protected:
    explicit Fields(size_t size) : bytes_(size, 0) {}
    Self &put(size_t at, u_int32 value, size_t width);
    std::vector<u_int8> bytes_;
};

// A page of `size` zero bytes whose header holds the version and id word and
// a page length of `size`.
class Page : public Fields<Page> {
public:
    Page(unsigned version, unsigned id, size_t size);
    // Every byte after the header holds its own offset (mod 256), so each
    // number a decoder prints tells where it was read.
    Page &ramp();
    // The page length field, when it must differ from the size.
    Page &length(u_int32 claimed) { return be16(2, claimed); }
};

// Plain bytes, all zero to start with: a CMMA area, a drive's reply.
class Block : public Fields<Block> {
public:
    explicit Block(size_t size) : Fields(size) {}
};

// One entry of a page table.
struct Entry {
    unsigned version;
    unsigned id;
    u_int32 start;
};

// A cartridge-memory image of `size` zero bytes (4096 or 8192) whose bytes
// 5..7 hold the validity marker of that size (04 00 01 or 08 00 02).
class Image : public Fields<Image> {
public:
    explicit Image(size_t size);
    // A table at `at`: the entries, the end entry pointing at `next`, the CRC.
    Image &table(size_t at, const std::vector<Entry> &entries, u_int32 next, u_int32 crc);
    // Another block of bytes (a page, the CMMA area) from `address` on.
    template <class Other>
    Image &place(size_t address, const Fields<Other> &other)
    {
        return bytes_at(address, other.bytes());
    }
};

// An image that holds every page kind the report decodes (pages 001h and 002h
// in the protected table, the rest in the unprotected one), each page of its
// largest layout with its fields as ramps, and a CMMA area with every field
// set. An 8192-byte image places the pages past 4096 too.
Image full_image(size_t size);

// Every text the sink was given during call, one element per sink call.
std::vector<std::string> capture(const std::function<void(pfvv)> &call);
// The calls joined into one text.
std::string joined(const std::vector<std::string> &calls);
// True when every call is one line: it ends in its only newline, or in one
// more that makes a blank line before it, or is a blank line.
bool one_line_per_call(const std::vector<std::string> &calls);

}  // namespace cmtest

#endif
