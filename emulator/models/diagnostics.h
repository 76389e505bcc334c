// Diagnostics of an emulated drive: SEND DIAGNOSTIC with the default self-test
// (always passed), with a diagnostic page (PF set; page 00h lists the pages the
// drive supports) or with a model's vendor parameter list (PF clear), and
// RECEIVE DIAGNOSTIC RESULTS of the last SEND DIAGNOSTIC (PCV 0) or of one page
// (PCV 1). Models add their own pages and vendor lists.
#ifndef KVEMU_DIAGNOSTICS_H
#define KVEMU_DIAGNOSTICS_H

#include <functional>
#include <map>
#include <optional>

#include "../kvemu.h"

namespace kvemu {

class Diagnostics {
public:
    // Takes one page sent with PF set, its 4-byte header included; on GOOD,
    // `result` is what RECEIVE DIAGNOSTIC RESULTS answers for it.
    using PageHandler = std::function<Reply(const Bytes &page, Bytes &result)>;
    // Takes a parameter list sent without PF; may set `result`.
    using ListHandler = std::function<Reply(const Bytes &list, std::optional<Bytes> &result)>;

    void on_page(uint8_t code, PageHandler handler) { pages_[code] = std::move(handler); }
    void on_vendor_list(ListHandler handler) { vendor_ = std::move(handler); }
    // A page the drive reports without being sent (a log it keeps): RECEIVE
    // DIAGNOSTIC RESULTS with PCV 1 answers `result` until the page is sent.
    void answer(uint8_t code, Bytes result) { standing_[code] = std::move(result); }

    Reply send_diagnostic(const Command &cmd);
    Reply receive_diagnostic_results(const Command &cmd) const;

private:
    Bytes supported_pages() const;

    std::map<uint8_t, PageHandler> pages_;
    ListHandler vendor_;
    std::map<uint8_t, Bytes> results_;   // by page, for PCV 1
    std::map<uint8_t, Bytes> standing_;  // pages answered without being sent
    std::optional<Bytes> last_;          // for PCV 0
};

}  // namespace kvemu

#endif
