// Page store of an emulated DDS drive; see dds_pages.h.
#include "dds_pages.h"

#include <algorithm>
#include <cstdio>


namespace kvemu {
namespace {

Reply invalid_field_in_cdb() { return check_condition(0x05, 0x24, 0x00); }
Reply invalid_field_in_parameters() { return check_condition(0x05, 0x26, 0x00); }

// A page of `length` bytes after its two-byte header, zero but for the header.
Bytes blank_page(int code, int length)
{
    Bytes p(static_cast<size_t>(length) + 2, 0);
    p[0] = static_cast<uint8_t>(code);
    p[1] = static_cast<uint8_t>(length);
    return p;
}

// Full size of each log page a DDS drive answers, 4-byte header included.
int log_page_size(int page)
{
    switch (page) {
    case 0x02:
    case 0x03:
        return 32;  // write and read error counters
    case 0x2D:
        return 200;  // channel coefficients
    case 0x2E:
        return 324;  // TapeAlert
    case 0x30:
        return 92;  // tape log
    case 0x31:
        return 36;  // capacity
    case 0x34:
    case 0x35:
        return 76;  // C1 counters, write and read
    case 0x39:
        return 92;  // compression transfer
    default:
        return 0;
    }
}

}  // namespace

DdsPages::DdsPages(const Config &cfg) : cfg_(cfg)
{
    medium_type_ = static_cast<uint8_t>(cfg.get_int("medium_type", 0));
    write_protect_ = cfg.get_int("write_protect", 0) != 0;
    buffered_ = static_cast<uint8_t>(cfg.get_int("buffered", 1) & 7);
    density_ = static_cast<uint8_t>(cfg.get_int("density", 0x26));
    block_length_ = static_cast<uint32_t>(cfg.get_int("block_length", 0)) & 0xFFFFFF;

    Bytes compression = blank_page(0x0F, 0x0E);
    compression[2] = 0xC0;  // DCE and DCC
    compression[7] = 0x20;  // compression algorithm
    compression[11] = 0x20;
    mode_pages_[0x0F] = compression;
    mode_pages_[0x10] = blank_page(0x10, 0x0E);
    mode_pages_[0x11] = blank_page(0x11, static_cast<int>(cfg.get_int("partition_page_length", 0x0A)));
    mode_pages_[0x3E] = blank_page(0x3E, 0x02);
    for (int code : {0x0F, 0x10, 0x11, 0x3E}) {
        char key[16];
        std::snprintf(key, sizeof key, "mode.%02x", code);
        Bytes page = cfg.get_bytes(key);
        if (page.size() >= 2)
            mode_pages_[code] = page;
    }
}

Reply DdsPages::command(const Command &cmd)
{
    if (cmd.cdb.size() < 6)
        return illegal_opcode();
    switch (cmd.cdb[0]) {
    case 0x1A:
        return mode_sense(cmd);
    case 0x15:
        return mode_select(cmd);
    case 0x4D:
        return cmd.cdb.size() >= 10 ? log_sense(cmd) : illegal_opcode();
    default:
        return illegal_opcode();
    }
}

Reply DdsPages::mode_sense(const Command &cmd) const
{
    bool dbd = (cmd.cdb[1] & 0x08) != 0;
    int page = cmd.cdb[2] & 0x3F;
    Bytes d(4, 0);
    d[1] = medium_type_;
    d[2] = static_cast<uint8_t>((write_protect_ ? 0x80 : 0) | buffered_ << 4);
    if (!dbd) {
        d[3] = 8;
        Bytes bd = {density_,
                    0,
                    0,
                    0,
                    0,
                    static_cast<uint8_t>(block_length_ >> 16),
                    static_cast<uint8_t>(block_length_ >> 8),
                    static_cast<uint8_t>(block_length_)};
        d.insert(d.end(), bd.begin(), bd.end());
    }
    if (page != 0) {
        auto it = mode_pages_.find(page);
        if (it == mode_pages_.end())
            return invalid_field_in_cdb();
        d.insert(d.end(), it->second.begin(), it->second.end());
    }
    d[0] = static_cast<uint8_t>(d.size() - 1);
    return good(d);
}

// Takes what a host may change: buffered mode, density, block length and the
// pages sent. A page cut short by the host changes only the bytes it carries.
Reply DdsPages::mode_select(const Command &cmd)
{
    const Bytes &d = cmd.data_out;
    if (d.size() < 4 || d[0] != 0)
        return invalid_field_in_parameters();
    size_t bdl = d[3];
    if ((bdl != 0 && bdl != 8) || d.size() < 4 + bdl)
        return invalid_field_in_parameters();
    size_t off = 4 + bdl;
    std::map<int, Bytes> pages = mode_pages_;
    while (off + 2 <= d.size()) {
        int code = d[off] & 0x3F;
        auto it = pages.find(code);
        if (it == pages.end() || it->second[1] != d[off + 1])
            return invalid_field_in_parameters();
        size_t n = std::min<size_t>(it->second.size(), d.size() - off);
        for (size_t i = 2; i < n; ++i)
            it->second[i] = d[off + i];
        off += 2 + static_cast<size_t>(d[off + 1]);
    }
    buffered_ = static_cast<uint8_t>((d[2] >> 4) & 7);
    if (bdl == 8) {
        if (d[4] != 0)
            density_ = d[4];
        block_length_ = static_cast<uint32_t>(d[9]) << 16 | static_cast<uint32_t>(d[10]) << 8 | d[11];
    }
    mode_pages_ = std::move(pages);
    return good();
}

// "log.<pp>" gives a whole page; a known page without one answers zeros.
Reply DdsPages::log_sense(const Command &cmd) const
{
    int page = cmd.cdb[2] & 0x3F;
    char key[16];
    std::snprintf(key, sizeof key, "log.%02x", page);
    if (cfg_.has(key))
        return good(cfg_.get_bytes(key));
    int size = log_page_size(page);
    if (size == 0)
        return invalid_field_in_cdb();
    Bytes d(static_cast<size_t>(size), 0);
    d[0] = static_cast<uint8_t>(page);
    d[2] = static_cast<uint8_t>((size - 4) >> 8);
    d[3] = static_cast<uint8_t>(size - 4);
    return good(d);
}

}  // namespace kvemu
