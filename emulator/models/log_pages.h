// Log pages of an emulated drive, built as a drive builds them: a page header,
// then parameters each with its code, control byte, length and value. A model
// describes its pages as runs of parameters; the values come from settings
// "log.<pp>.<code> = N" (0 without one). Answers LOG SENSE for the supported
// pages page (00h, and 00h/FFh with subpages), every described page and any
// page given whole by "log.<pp> = <bytes>". Settings: see emulator/README.md.
#ifndef KVEMU_LOG_PAGES_H
#define KVEMU_LOG_PAGES_H

#include <cstddef>
#include <map>
#include <vector>

#include "../kvemu.h"

namespace kvemu {

// Parameters with the codes first, first + 1, ..., each `length` bytes long.
struct LogParamRun {
    uint16_t first;
    uint16_t count;
    uint8_t length;
    uint8_t control;  // parameter control byte
};

struct LogPageLayout {
    uint8_t page;
    const LogParamRun *runs;
    size_t count;
};

template <size_t N>
constexpr LogPageLayout log_page(uint8_t page, const LogParamRun (&runs)[N])
{
    return {page, runs, N};
}

// Control byte of a parameter the drive cannot save: DS set, a counter that
// saturates (bounded data counter format).
constexpr uint8_t kLogCounter = 0x40;
// The same for a parameter of binary data.
constexpr uint8_t kLogBinary = 0x43;

class LogPages {
public:
    LogPages(const Config &cfg, const std::vector<LogPageLayout> &layouts);

    // LOG SENSE: page control 1 (current cumulative values) and 3 (default
    // cumulative values, all 0); the parameter pointer picks the first code.
    Reply log_sense(const Command &cmd) const;

private:
    struct Param {
        uint16_t code;
        uint8_t control;
        Bytes value;
    };
    Bytes supported_pages(bool with_subpages) const;

    std::map<uint8_t, std::vector<Param>> pages_;  // built pages
    std::map<uint8_t, Bytes> verbatim_;            // "log.<pp> = <bytes>"
};

}  // namespace kvemu

#endif
