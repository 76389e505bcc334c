#include "cm_page_builder.h"

#include "scsilib/byte_order.h"

namespace cmtest {

template <class Self>
Self &Fields<Self>::put(size_t at, u_int32 value, size_t width)
{
    if (bytes_.size() < at + width)
        bytes_.resize(at + width, 0);
    scsilib::put_be(bytes_.data() + at, value, static_cast<int>(width));
    return static_cast<Self &>(*this);
}

template <class Self>
Self &Fields<Self>::text(size_t at, const std::string &chars)
{
    return bytes_at(at, std::vector<u_int8>(chars.begin(), chars.end()));
}

template <class Self>
Self &Fields<Self>::bytes_at(size_t at, const std::vector<u_int8> &b)
{
    if (bytes_.size() < at + b.size())
        bytes_.resize(at + b.size(), 0);
    std::copy(b.begin(), b.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
    return static_cast<Self &>(*this);
}

template class Fields<Page>;
template class Fields<Block>;
template class Fields<Image>;

Page::Page(unsigned version, unsigned id, size_t size) : Fields(size)
{
    be16(0, (version << 12) | (id & 0xFFF));
    be16(2, static_cast<u_int32>(size));
}

Page &Page::ramp()
{
    for (size_t i = 4; i < bytes_.size(); i++)
        bytes_[i] = static_cast<u_int8>(i);
    return *this;
}

Image::Image(size_t size) : Fields(size)
{
    u8(5, static_cast<u_int32>(size / 1024));
    be16(6, size > 4096 ? 2 : 1);
}

Image &Image::table(size_t at, const std::vector<Entry> &entries, u_int32 next, u_int32 crc)
{
    for (const Entry &e : entries) {
        be16(at, (e.version << 12) | (e.id & 0xFFF));
        be16(at + 2, e.start);
        at += 4;
    }
    be16(at, 0xFFF);
    be16(at + 2, next);
    return be32(at + 4, crc);
}

namespace {

// A ramp page with letters in its first text fields.
Page letters(unsigned version, unsigned id, size_t size)
{
    return Page(version, id, size).ramp().text(4, "KVDRIVE1").text(12, "0123456789ABCDEF");
}

}  // namespace

Image full_image(size_t size)
{
    const bool large = size > 4096;
    const std::vector<Page> protected_pages = {
        letters(0, 0x001, 64).text(12, "KV00123456").be16(22, 0x0010),
        letters(1, 0x002, 64),
    };
    std::vector<Page> pages = {
        letters(3, 0x101, 72),
        Page(0, 0x102, 48).ramp(),
        large ? Page(4, 0x103, 2576).ramp().be32(16 + 3 * 32 + 4, 0xFFFFFFFE) : Page(2, 0x103, 1424).ramp(),
        letters(2, 0x104, 96),
        Page(3, 0x105, 64).ramp(),
        letters(0, 0x106, 384),
        Page(1, 0x107, 184).ramp(),
    };
    for (unsigned id = 0x108; id <= 0x10B; id++)
        pages.push_back(letters(1, id, 96));
    pages.push_back(letters(2, 0x10C, 160));
    pages.push_back(letters(1, 0x10D, 64));
    pages.push_back(letters(2, 0x10E, 96));
    for (unsigned id = 0x180; id <= 0x184; id++)
        pages.push_back(Page(0, id, 64).ramp());
    pages.push_back(Page(0, 0x200, 64).ramp());

    Image image(size);
    // Chip serial (little-endian), check byte, the two write-protect bytes.
    scsilib::put_le32(image.data(), 0x12345678);
    image.u8(4, 0x5A).u8(32, 0x03).u8(33, 0x01);

    // Pages from 100h on, in table order, around the CMMA area at F00h.
    size_t cursor = 0x100;
    auto place = [&](const Page &p) {
        if (cursor < 0xFA0 && cursor + p.size() > 0xF00)
            cursor = 0xFA0;
        const size_t at = cursor;
        image.place(at, p);
        cursor += (p.size() + 15) / 16 * 16;
        return static_cast<u_int32>(at);
    };
    // The entry of a page says what its header says.
    auto entry = [&](const Page &p) {
        const unsigned word = scsilib::get_be16(p.bytes().data());
        return Entry{word >> 12, word & 0xFFF, place(p)};
    };
    std::vector<Entry> first, second;
    for (const Page &p : protected_pages)
        first.push_back(entry(p));
    for (const Page &p : pages)
        second.push_back(entry(p));
    // An invalid page, an id without a decoder, an id that names no page.
    second.push_back({0, 0x000, 0});
    second.push_back({0, 0x150, 0x100});
    second.push_back({0, 0xFFC, 0});

    const size_t unprotected = 36 + 4 * (first.size() + 2);
    image.table(36, first, static_cast<u_int32>(unprotected), 0xC0C0C0C0);
    image.table(unprotected, second, 0, 0xC1C1C1C1);

    // The CMMA area.
    image.u8(0xF00, 2).u8(0xF01, 1).be32(0xF02, 1000).be32(0xF06, 3);
    image.u8(0xF0A, 0x81).u8(0xF0B, 0x42).u8(0xF0C, 7);
    for (u_int8 i = 0; i < 16; i++)
        image.u8(0xF10 + i, i * 0x11u);
    image.be32(0xF20, 1234).be32(0xF24, 5678).be32(0xF40, 0x5F5E1000).text(0xF44, "KVQUAL000001");
    image.be16(0xF50, 0x1800).be16(0xF52, 0xFF38).be16(0xF54, 9).u8(0xF56, 'A').be16(0xF64, 0x0100);
    image.be16(0xF66, 0xFF00).u8(0xF70, 1).be32(0xF80, 0x60000000).text(0xF84, "KVDRIVE00042");
    image.be32(0xF90, 0xDEADBEEF);
    return image;
}

namespace {

std::vector<std::string> *captured = nullptr;

void keep(void *text) { captured->push_back(static_cast<const char *>(text)); }

}  // namespace

std::vector<std::string> capture(const std::function<void(pfvv)> &call)
{
    std::vector<std::string> calls;
    captured = &calls;
    call(keep);
    captured = nullptr;
    return calls;
}

std::string joined(const std::vector<std::string> &calls)
{
    std::string text;
    for (const std::string &c : calls)
        text += c;
    return text;
}

bool one_line_per_call(const std::vector<std::string> &calls)
{
    for (const std::string &c : calls) {
        if (c == "\n")
            continue;  // a blank line
        if (c.empty() || c.find('\n', c[0] == '\n' ? 1 : 0) != c.size() - 1)
            return false;
    }
    return true;
}

}  // namespace cmtest
