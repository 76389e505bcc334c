// Log pages of an emulated drive; see log_pages.h.
#include "log_pages.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr uint8_t kSupportedPages = 0x00;
constexpr uint8_t kAllSubpages = 0xFF;

// Page control (LOG SENSE byte 2, bits 7-6).
enum PageControl { kThreshold = 0, kCumulative = 1, kDefaultThreshold = 2, kDefaultCumulative = 3 };

// "log.<pp>" (whole page) or "log.<pp>.<code>", both in hex.
bool parse_key(const std::string &key, uint8_t &page, long &code)
{
    auto n = key_numbers(key, "log.", {16, 16});
    if (!n || (*n)[0] > 0x3F || (n->size() == 2 && (*n)[1] > 0xFFFF))
        return false;
    page = static_cast<uint8_t>((*n)[0]);
    code = n->size() == 2 ? static_cast<long>((*n)[1]) : -1;
    return true;
}

}  // namespace

LogPages::LogPages(const Config &cfg, const std::vector<LogPageLayout> &layouts)
{
    for (const auto &layout : layouts) {
        std::vector<Param> &params = pages_[layout.page];
        for (size_t r = 0; r < layout.count; ++r) {
            const LogParamRun &run = layout.runs[r];
            for (uint16_t i = 0; i < run.count; ++i)
                params.push_back({static_cast<uint16_t>(run.first + i), run.control, Bytes(run.length, 0)});
        }
    }
    std::set<std::string> keys;
    for (const auto &kv : cfg.values)
        keys.insert(kv.first);
    for (const auto &key : keys) {
        uint8_t page = 0;
        long code = -1;
        if (!parse_key(key, page, code))
            continue;
        if (code < 0) {
            verbatim_[page] = cfg.get_bytes(key);
            continue;
        }
        auto it = pages_.find(page);
        if (it == pages_.end())
            continue;
        // The value fills its parameter big-endian; what does not fit is dropped.
        unsigned long long value = std::strtoull(cfg.get(key).c_str(), nullptr, 0);
        for (auto &p : it->second)
            if (p.code == code && !p.value.empty())
                put_be_at(p.value, p.value.size() - std::min<size_t>(p.value.size(), 8), value,
                          static_cast<int>(std::min<size_t>(p.value.size(), 8)));
    }
}

Bytes LogPages::supported_pages(bool with_subpages) const
{
    std::set<uint8_t> codes = {kSupportedPages};
    for (const auto &p : pages_)
        codes.insert(p.first);
    for (const auto &p : verbatim_)
        codes.insert(p.first);
    Bytes body;
    for (uint8_t c : codes) {
        body.push_back(c);
        if (with_subpages)
            body.push_back(0);
    }
    if (with_subpages) {
        // The list of pages and subpages is itself page 00h, subpage FFh.
        body.insert(body.begin() + 2, {kSupportedPages, kAllSubpages});
        return page_with_body(0x40 | kSupportedPages, kAllSubpages, body);
    }
    return page_with_body(kSupportedPages, 0, body);
}

Reply LogPages::log_sense(const Command &cmd) const
{
    if (cmd.cdb.size() < 10 || (cmd.cdb[1] & 0x01))  // SP: nothing can be saved
        return invalid_field_in_cdb();
    const int control = cmd.cdb[2] >> 6;
    const uint8_t page = cmd.cdb[2] & 0x3F;
    const uint8_t subpage = cmd.cdb[3];
    const uint16_t pointer = static_cast<uint16_t>(be_at(cmd.cdb, 5, 2));
    // The drives keep no thresholds.
    if (control == kThreshold || control == kDefaultThreshold)
        return invalid_field_in_cdb();

    if (page == kSupportedPages && (subpage == 0 || subpage == kAllSubpages) && !verbatim_.count(page))
        return pointer == 0 ? good(supported_pages(subpage == kAllSubpages)) : invalid_field_in_cdb();
    if (subpage != 0)
        return invalid_field_in_cdb();
    auto v = verbatim_.find(page);
    if (v != verbatim_.end())
        return good(v->second);
    auto it = pages_.find(page);
    if (it == pages_.end())
        return invalid_field_in_cdb();

    Bytes body;
    bool any = it->second.empty() && pointer == 0;
    for (const auto &p : it->second) {
        if (p.code < pointer)
            continue;
        any = true;
        Bytes head = {0, 0, p.control, static_cast<uint8_t>(p.value.size())};
        put_be_at(head, 0, p.code, 2);
        body.insert(body.end(), head.begin(), head.end());
        if (control == kDefaultCumulative)
            body.insert(body.end(), p.value.size(), 0);
        else
            body.insert(body.end(), p.value.begin(), p.value.end());
    }
    // A pointer past the last parameter points at nothing.
    if (!any)
        return invalid_field_in_cdb();
    return good(page_with_body(page, 0, body));
}

}  // namespace kvemu
