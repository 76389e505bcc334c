// Bounded reads and the line conventions of the text reports.
#include "report_lines.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "byte_and_sense_helpers.h"
#include "scsilib/byte_order.h"

namespace ltolib {

namespace {

constexpr char kSeparator[] = "------------------------------------\n";

struct FreeText {
    void operator()(char *text) const { std::free(text); }
};

}  // namespace

u_int32 CmView::be(size_t offset, size_t width) const
{
    // Decoders test has() before reading; this only keeps a slip from
    // reading outside the page.
    assert(offset + width <= size_);
    if (offset + width > size_ || width > 4)
        return 0;
    return static_cast<u_int32>(scsilib::get_be(bytes_ + offset, static_cast<int>(width)));
}

void CmLines::put(const char *text) { sink_(const_cast<char *>(text)); }

void CmLines::line(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer_.data(), buffer_.size(), format, args);
    va_end(args);
    put(buffer_.data());
}

void CmLines::separator() { put(kSeparator); }

void CmLines::title(const char *title)
{
    separator();
    put(title);
    separator();
}

void CmLines::text(const char *label, const CmView &page, size_t offset, size_t width)
{
    const size_t room = buffer_.size() - 2;  // the newline and the NUL
    size_t n = std::strlen(label);
    if (n > room)
        n = room;
    std::memcpy(buffer_.data(), label, n);
    if (page.has(offset + width)) {
        const u_int8 *field = page.at(offset);
        for (size_t i = 0; i < width && field[i] != 0 && n < room; i++)
            buffer_[n++] = static_cast<char>(field[i]);
    }
    buffer_[n++] = '\n';
    buffer_[n] = '\0';
    put(buffer_.data());
}

void CmLines::text_right(const char *label, const CmView &page, size_t offset, size_t width)
{
    char field[64] = {};
    const size_t room = sizeof field - 1;
    if (page.has(offset + width)) {
        const u_int8 *bytes = page.at(offset);
        for (size_t i = 0; i < width && i < room && bytes[i] != 0; i++)
            field[i] = static_cast<char>(bytes[i]);
    }
    // A text shorter than its field is padded with leading blanks to the width.
    line("%s%*s\n", label, static_cast<int>(width < room ? width : room), field);
}

void CmLines::crc(const CmView &page, size_t offset)
{
    line("CRC                   : 0x%X\n", page.be32(offset));
}

void CmLines::firmware_identity(const CmView &page, size_t offset)
{
    // The first byte counts from '0' up to '9' (a byte below '0' comes out
    // negative), from 'a' as 10 and up; a byte between is shown as its code.
    const int c = static_cast<int>(page.u8(offset));
    const int number = c <= 0x39 ? c - 0x30 : c > 0x60 ? c - 0x57 : c;
    char tail[4] = {};
    for (size_t i = 0; i < 3 && page.u8(offset + 1 + i) != 0; i++)
        tail[i] = static_cast<char>(page.u8(offset + 1 + i));
    line("Firmware identity     : %d.%3.3s (0x%X)\n", number, tail, page.be32(offset));
}

void CmLines::overrun(unsigned page_id) { line("Page 0x%3.3X runs past the end of the image\n", page_id); }

void CmLines::dump(const u_int8 *bytes, size_t count)
{
    std::unique_ptr<char, FreeText> text(
        dds_sdump_buffer(const_cast<u_int8 *>(bytes), static_cast<int32>(count)));
    // Without memory for the text the dump is left out.
    if (text)
        put(text.get());
}

}  // namespace ltolib
