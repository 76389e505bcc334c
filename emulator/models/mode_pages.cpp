// Mode parameters of an emulated drive; see mode_pages.h.
#include "mode_pages.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr uint8_t kAllPages = 0x3F;
constexpr uint8_t kAllSubpages = 0xFF;
constexpr uint8_t kSubpageFormat = 0x40;  // SPF bit of a page's byte 0
constexpr size_t kBlockDescriptorLength = 8;

// Page control (MODE SENSE byte 2, bits 7-6).
enum PageControl { kCurrent = 0, kChangeable = 1, kDefault = 2, kSaved = 3 };

size_t page_header_length(uint8_t subpage) { return subpage ? 4 : 2; }

// The page length a page's header states.
size_t stated_length(const Bytes &page, uint8_t subpage) { return subpage ? be_at(page, 2, 2) : page[1]; }

// "mode.<pp>" or "mode.<pp>.<ss>", page and subpage in hex.
bool parse_page_key(const std::string &key, uint8_t &code, uint8_t &subpage)
{
    auto n = key_numbers(key, "mode.", {16, 16});
    if (!n || (*n)[0] > kAllPages || (n->size() == 2 && (*n)[1] > 0xFE))
        return false;
    code = static_cast<uint8_t>((*n)[0]);
    subpage = static_cast<uint8_t>(n->size() == 2 ? (*n)[1] : 0);
    return true;
}

}  // namespace

ModePages::ModePages(const Config &cfg, ModeHeader header, const std::vector<ModePageSpec> &pages)
    : header_(header)
{
    header_.medium_type = static_cast<uint8_t>(cfg.get_int("medium_type", header.medium_type));
    header_.write_protect = cfg.get_int("write_protect", header.write_protect) != 0;
    header_.buffered = static_cast<uint8_t>(cfg.get_int("buffered", header.buffered) & 7);
    header_.density = static_cast<uint8_t>(cfg.get_int("density", header.density));
    header_.block_length = static_cast<uint32_t>(cfg.get_int("block_length", header.block_length)) & 0xFFFFFF;

    for (const auto &spec : pages) {
        Page p{spec.defaults, spec.defaults, spec.changeable};
        p.changeable.resize(p.defaults.size(), 0);
        pages_[{spec.code, spec.subpage}] = p;
    }
    std::set<std::string> keys;
    for (const auto &kv : cfg.values)
        keys.insert(kv.first);
    for (const auto &key : keys) {
        uint8_t code = 0, subpage = 0;
        if (!parse_page_key(key, code, subpage))
            continue;
        Bytes bytes = cfg.get_bytes(key);
        if (bytes.size() < page_header_length(subpage))
            continue;
        Page &p = pages_[{code, subpage}];
        p.current = p.defaults = bytes;
        p.changeable.resize(bytes.size(), 0);
    }
}

Bytes ModePages::header_and_descriptor(bool ten, bool dbd) const
{
    Bytes d(ten ? 8 : 4, 0);
    const uint8_t device_specific = static_cast<uint8_t>((header_.write_protect ? 0x80 : 0) | header_.buffered
                                                                                                  << 4);
    d[ten ? 2 : 1] = header_.medium_type;
    d[ten ? 3 : 2] = device_specific;
    if (!dbd) {
        put_be_at(d, ten ? 6 : 3, kBlockDescriptorLength, ten ? 2 : 1);
        Bytes bd(kBlockDescriptorLength, 0);
        bd[0] = header_.density;
        put_be_at(bd, 5, header_.block_length, 3);
        d.insert(d.end(), bd.begin(), bd.end());
    }
    return d;
}

Reply ModePages::mode_sense(const Command &cmd) const
{
    const bool ten = cmd.cdb[0] == kOpModeSense10;
    if (cmd.cdb.size() < (ten ? 10u : 6u))
        return invalid_field_in_cdb();
    const bool dbd = (cmd.cdb[1] & 0x08) != 0;
    const int control = cmd.cdb[2] >> 6;
    const uint8_t code = cmd.cdb[2] & 0x3F;
    const uint8_t subpage = cmd.cdb[3];
    if (control == kSaved)
        return check_condition(kSenseIllegalRequest, kAscSavingParametersNotSupported, 0);

    // Page 0 is the header and block descriptor alone.
    std::vector<const std::pair<const Key, Page> *> chosen;
    if (code != 0 || subpage != 0) {
        for (const auto &entry : pages_) {
            const Key &k = entry.first;
            bool wanted = code == kAllPages
                              ? (subpage == kAllSubpages || k.second == subpage)
                              : k.first == code && (subpage == kAllSubpages || k.second == subpage);
            if (wanted)
                chosen.push_back(&entry);
        }
        // Page 3Fh asks for pages without subpages or for every subpage.
        bool all_known = code != kAllPages || subpage == 0 || subpage == kAllSubpages;
        if (chosen.empty() || !all_known)
            return invalid_field_in_cdb();
    }

    Bytes d = header_and_descriptor(ten, dbd);
    for (const auto *entry : chosen) {
        const Page &p = entry->second;
        const Bytes &values = control == kChangeable ? p.changeable
                              : control == kDefault  ? p.defaults
                                                     : p.current;
        // Only the parameters change with the page control; the page header stays.
        const size_t head = page_header_length(entry->first.second);
        d.insert(d.end(), p.current.begin(), p.current.begin() + static_cast<long>(head));
        d.insert(d.end(), values.begin() + static_cast<long>(head), values.end());
    }
    if (ten)
        put_be_at(d, 0, d.size() - 2, 2);
    else
        d[0] = static_cast<uint8_t>(std::min<size_t>(d.size() - 1, 0xFF));
    return good(d);
}

// Takes the buffered mode, a nonzero density, the block length and the pages
// sent, all or nothing. A page cut short changes only the bytes it carries; a
// bit the drive does not let change must come back as it is.
Reply ModePages::mode_select(const Command &cmd)
{
    const bool ten = cmd.cdb[0] != kOpModeSelect6;
    if (cmd.cdb.size() < (ten ? 10u : 6u))
        return invalid_field_in_cdb();
    if (cmd.cdb[1] & 0x01)  // SP: nothing can be saved
        return invalid_field_in_cdb();
    const size_t listed = ten ? be_at(cmd.cdb, 7, 2) : cmd.cdb[4];
    const Bytes d(cmd.data_out.begin(),
                  cmd.data_out.begin() + static_cast<long>(std::min(listed, cmd.data_out.size())));
    if (d.empty())
        return good();
    const size_t head = ten ? 8 : 4;
    if (d.size() < head)
        return invalid_field_in_parameters();
    const size_t mode_data_length = ten ? be_at(d, 0, 2) : d[0];
    const size_t bdl = ten ? be_at(d, 6, 2) : d[3];
    if (mode_data_length != 0 || (bdl != 0 && bdl != kBlockDescriptorLength) || d.size() < head + bdl)
        return invalid_field_in_parameters();

    std::map<Key, Page> pages = pages_;
    size_t off = head + bdl;
    while (off + 2 <= d.size()) {
        const bool spf = (d[off] & kSubpageFormat) != 0;
        if (spf && off + 4 > d.size())
            return invalid_field_in_parameters();
        const Key key{static_cast<uint8_t>(d[off] & 0x3F), spf ? d[off + 1] : uint8_t(0)};
        auto it = pages.find(key);
        const size_t hl = page_header_length(key.second);
        const Bytes sent_header(d.begin() + static_cast<long>(off), d.begin() + static_cast<long>(off + hl));
        if (it == pages.end() || (key.second == 0) == spf ||
            stated_length(sent_header, key.second) != stated_length(it->second.current, key.second))
            return invalid_field_in_parameters();
        Page &p = it->second;
        const size_t n = std::min(p.current.size(), d.size() - off);
        for (size_t i = hl; i < n; ++i) {
            if ((d[off + i] ^ p.current[i]) & ~p.changeable[i])
                return invalid_field_in_parameters();
            p.current[i] = d[off + i];
        }
        off += hl + stated_length(sent_header, key.second);
    }
    header_.buffered = static_cast<uint8_t>((d[ten ? 3 : 2] >> 4) & 7);
    if (bdl == kBlockDescriptorLength) {
        if (d[head] != 0)
            header_.density = d[head];
        header_.block_length = static_cast<uint32_t>(be_at(d, head + 5, 3));
    }
    pages_ = std::move(pages);
    return good();
}

}  // namespace kvemu
