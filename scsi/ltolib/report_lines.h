// The lines of the text reports (the cartridge-memory report and the EEPROM
// reports): a bounded view of the bytes reported on and the line conventions
// (titles between separators, 24-character labels, text fields, the CRC line).
#ifndef LTOLIB_REPORT_LINES_H
#define LTOLIB_REPORT_LINES_H

#include <array>
#include <cstddef>

#include "scsi_io.h"

namespace ltolib {

// The bytes of one page, from its first byte to the end of what the caller
// has (the rest of the image, a record, a fuzz input). Decoders check that a
// layout fits before they read it; a read past the end yields 0 rather than
// touching memory that is not the page's.
class CmView {
public:
    CmView(const u_int8 *bytes, size_t size) : bytes_(bytes), size_(size) {}

    size_t size() const { return size_; }
    bool has(size_t end) const { return end <= size_; }
    const u_int8 *at(size_t offset) const { return bytes_ + offset; }

    // Big-endian unsigned field of 1 to 4 bytes.
    u_int32 be(size_t offset, size_t width) const;
    u_int32 u8(size_t offset) const { return be(offset, 1); }
    u_int32 be16(size_t offset) const { return be(offset, 2); }
    u_int32 be32(size_t offset) const { return be(offset, 4); }

    // The header word: version in bits 15..12, page id in bits 11..0. A view
    // too short for it has version 0 and the id the caller expected.
    unsigned version() const { return has(2) ? be16(0) >> 12 : 0; }
    unsigned id_or(unsigned expected) const { return has(2) ? be16(0) & 0xFFF : expected; }
    // The page length the header claims (header included); 0 without a header.
    size_t claimed_length() const { return has(4) ? be16(2) : 0; }

private:
    const u_int8 *bytes_;
    size_t size_;
};

// One line per sink call, built in this object's own buffer. Every line is
// cut to the buffer rather than overrun it.
class CmLines {
public:
    explicit CmLines(pfvv sink) : sink_(sink) {}
    CmLines(const CmLines &) = delete;
    CmLines &operator=(const CmLines &) = delete;

    // Hands text to the sink as it is.
    void put(const char *text);
    void line(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void separator();
    // Separator, title line, separator.
    void title(const char *title);
    // The label, then the field's bytes up to its width or a NUL, as they are.
    void text(const char *label, const CmView &page, size_t offset, size_t width);
    // The same text, right-aligned in the field's width ("%W.Ws" of the field).
    void text_right(const char *label, const CmView &page, size_t offset, size_t width);
    void crc(const CmView &page, size_t offset);
    // "n.abc (0xHHHHHHHH)" from a 4-byte identity field.
    void firmware_identity(const CmView &page, size_t offset);
    // Said instead of the fields when a page's layout runs past the bytes at hand.
    void overrun(unsigned page_id);
    // A hex dump of the bytes, several lines in one sink call.
    void dump(const u_int8 *bytes, size_t count);

private:
    pfvv sink_;
    std::array<char, 256> buffer_{};
};

}  // namespace ltolib

#endif
