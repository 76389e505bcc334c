// Diagnostics of an emulated drive; see diagnostics.h.
#include "diagnostics.h"

#include <algorithm>
#include <set>

#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr uint8_t kSupportedPages = 0x00;
constexpr uint8_t kPageFormat = 0x10;     // PF, SEND DIAGNOSTIC byte 1
constexpr uint8_t kSelfTest = 0x04;       // SELFTEST, SEND DIAGNOSTIC byte 1
constexpr uint8_t kPageCodeValid = 0x01;  // PCV, RECEIVE DIAGNOSTIC RESULTS byte 1

}  // namespace

Bytes Diagnostics::supported_pages() const
{
    std::set<uint8_t> codes;
    for (const auto &p : pages_)
        codes.insert(p.first);
    for (const auto &p : standing_)
        codes.insert(p.first);
    Bytes list(1 + codes.size(), kSupportedPages);
    std::copy(codes.begin(), codes.end(), list.begin() + 1);
    return page_with_body(kSupportedPages, 0, list);
}

Reply Diagnostics::send_diagnostic(const Command &cmd)
{
    if (cmd.cdb.size() < 6)
        return invalid_field_in_cdb();
    const uint8_t flags = cmd.cdb[1];
    const uint8_t self_test_code = flags >> 5;
    const size_t listed = be_at(cmd.cdb, 3, 2);
    const Bytes list(cmd.data_out.begin(),
                     cmd.data_out.begin() + static_cast<long>(std::min(listed, cmd.data_out.size())));
    // The default self-test takes no parameters and passes; the drives run no
    // other self-test.
    if (flags & kSelfTest)
        return self_test_code == 0 && listed == 0 ? good() : invalid_field_in_cdb();
    if (self_test_code != 0)
        return invalid_field_in_cdb();
    if (list.empty())
        return good();
    if (!(flags & kPageFormat)) {
        if (!vendor_)
            return invalid_field_in_parameters();
        return vendor_(list, last_);
    }

    if (list.size() < 4 || list.size() < 4 + be_at(list, 2, 2))
        return invalid_field_in_parameters();
    const uint8_t code = list[0];
    const Bytes page(list.begin(), list.begin() + static_cast<long>(4 + be_at(list, 2, 2)));
    Bytes result;
    Reply r;
    if (code == kSupportedPages) {
        result = supported_pages();
    } else {
        auto it = pages_.find(code);
        if (it == pages_.end())
            return invalid_field_in_parameters();
        r = it->second(page, result);
    }
    if (r.status == kStatusGood) {
        results_[code] = result;
        last_ = result;
    }
    return r;
}

Reply Diagnostics::receive_diagnostic_results(const Command &cmd) const
{
    if (cmd.cdb.size() < 6)
        return invalid_field_in_cdb();
    if (!(cmd.cdb[1] & kPageCodeValid))
        return last_ ? good(*last_) : sequence_error();
    const uint8_t code = cmd.cdb[2];
    if (code == kSupportedPages)
        return good(supported_pages());
    auto it = results_.find(code);
    if (it != results_.end())
        return good(it->second);
    it = standing_.find(code);
    if (it != standing_.end())
        return good(it->second);
    // A page the drive takes but has not been sent yet has no results.
    return pages_.count(code) ? sequence_error() : invalid_field_in_cdb();
}

}  // namespace kvemu
