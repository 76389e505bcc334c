// The behaviour both KV drive models share; see kv_drive.h.
#include "kv_drive.h"

#include <algorithm>

namespace kvemu {

void put_text(Bytes &b, size_t at, size_t width, const std::string &text)
{
    if (at >= b.size())
        return;
    width = std::min(width, b.size() - at);
    Bytes field = ascii(text, width);
    std::copy(field.begin(), field.end(), b.begin() + static_cast<long>(at));
}

uint32_t get_be(const Bytes &b, size_t at, size_t n)
{
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = (v << 8) | (at + i < b.size() ? b[at + i] : 0);
    return v;
}

KvDrive::KvDrive(const Config &c, const char *product, Commit commit, FirmwareText firmware_text)
    : Device(c), download(*this, commit), product_(product), firmware_text_(firmware_text)
{
}

Reply KvDrive::remember(Reply r)
{
    if (r.status == 2)
        sense = r.sense;
    return r;
}

Reply KvDrive::check(uint8_t key, uint8_t asc, uint8_t ascq)
{
    return remember(check_condition(key, asc, ascq));
}

Reply KvDrive::test_unit_ready(const Command &) { return remember(configured_tur(cfg)); }

Reply KvDrive::request_sense(const Command &)
{
    Bytes data = sense.empty() ? check_condition(0, 0, 0).sense : sense;
    sense.clear();
    return good(data);
}

Reply KvDrive::inquiry(const Command &cmd)
{
    if (auto d = configured_inquiry(cfg, cmd))
        return good(*d);
    if (is_evpd(cmd)) {
        if (const Bytes *page = vendor_page(cmd.cdb[2]))
            return good(*page);
        return check(0x05, 0x24, 0x00);
    }
    Config c = cfg;
    if (!c.has("type"))
        c.values.emplace("type", "1");
    if (!c.has("vendor"))
        c.values.emplace("vendor", "KV");
    if (!c.has("product"))
        c.values.emplace("product", product_);
    Bytes d = standard_inquiry(c);
    finish_inquiry(d);
    return good(d);
}

const Bytes *KvDrive::vendor_page(uint8_t code) const
{
    return code == 0xC0 && !page_c0.empty() ? &page_c0 : nullptr;
}

void KvDrive::put_firmware(const std::string &version)
{
    // A page too short for the field (or no page) has no room for it.
    if (firmware_text_.at + firmware_text_.width <= page_c0.size())
        put_text(page_c0, firmware_text_.at, firmware_text_.width, firmware_text_.label + version);
}

// A WRITE BUFFER outside modes 4 and 5 is refused; the download keeps no sense
// of its own, so the drive keeps what it reports.
Reply KvDrive::write_buffer(const Command &cmd)
{
    std::optional<Reply> r = download.write_buffer(cmd);
    if (!r)
        return check(0x05, 0x24, 0x00);
    if (download.installed())
        put_firmware(*download.installed());
    return remember(*r);
}

}  // namespace kvemu
