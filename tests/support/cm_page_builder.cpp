#include "cm_page_builder.h"

#include "scsilib/byte_order.h"

namespace cmtest {

Page::Page(unsigned version, unsigned id, size_t size) : bytes_(size, 0)
{
    be16(0, (version << 12) | (id & 0xFFF));
    be16(2, static_cast<u_int32>(size));
}

Page &Page::put(size_t at, u_int32 value, size_t width)
{
    if (bytes_.size() < at + width)
        bytes_.resize(at + width, 0);
    scsilib::put_be(bytes_.data() + at, value, static_cast<int>(width));
    return *this;
}

Page &Page::u8(size_t at, u_int32 value) { return put(at, value, 1); }
Page &Page::be16(size_t at, u_int32 value) { return put(at, value, 2); }
Page &Page::be32(size_t at, u_int32 value) { return put(at, value, 4); }

Page &Page::ramp()
{
    for (size_t i = 4; i < bytes_.size(); i++)
        bytes_[i] = static_cast<u_int8>(i);
    return *this;
}

Page &Page::text(size_t at, const std::string &chars)
{
    for (size_t i = 0; i < chars.size(); i++)
        u8(at + i, static_cast<unsigned char>(chars[i]));
    return *this;
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
        if (c.empty() || c.find('\n', c[0] == '\n' ? 1 : 0) != c.size() - 1)
            return false;
    }
    return true;
}

}  // namespace cmtest
