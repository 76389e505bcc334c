// Vendor diagnostic pages of a KV LTO drive: data collection (A1h, A2h), the
// error-rate tests (95h, 96h), mechanism commands (93h) whose text RECEIVE
// DIAGNOSTIC RESULTS answers next, memory read (B0h) and write (B1h), and the
// pages the drive only reports ("diag.<pp>", "diag_text.<pp>"). Keys: see
// emulator/README.md.
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "kv_lto.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

constexpr uint8_t kEnterDataCollection = 0xA1;
constexpr uint8_t kExitDataCollection = 0xA2;
constexpr uint8_t kReadErt = 0x95;
constexpr uint8_t kWriteErt = 0x96;
constexpr uint8_t kMechanism = 0x93;
constexpr uint8_t kMemoryRead = 0xB0;
constexpr uint8_t kMemoryWrite = 0xB1;
constexpr size_t kMaxWordsPerWrite = 16;

// The result of a text page: its header (page code, 0, text length), then the text.
Bytes text_page(uint8_t code, const Bytes &text) { return page_with_body(code, 0, text); }

uint32_t field(const Bytes &page, size_t at) { return static_cast<uint32_t>(be_at(page, at, 4)); }

// "diag.<pp>" or "diag_text.<pp>": the page code, or -1.
long page_key(const std::string &key, const std::string &prefix)
{
    auto n = key_numbers(key, prefix, {16});
    return n && (*n)[0] <= 0xFF ? static_cast<long>((*n)[0]) : -1;
}

// A page that only carries parameters the drive takes: accepted when it is
// exactly `size` bytes long.
Diagnostics::PageHandler fixed_size(size_t size)
{
    return [size](const Bytes &page, Bytes &result) {
        if (page.size() != size)
            return invalid_field_in_parameters();
        result = text_page(page[0], {});
        return good();
    };
}

}  // namespace

void KvLto::add_vendor_diagnostics()
{
    // Pages kept by the drive, answered whenever asked.
    // Texts of the mechanism commands, by opcode and first parameter (-1: any).
    auto mech = std::make_shared<std::map<std::pair<uint32_t, long>, Bytes>>();
    for (const auto &kv : cfg.values) {
        long code = page_key(kv.first, "diag.");
        if (code >= 0)
            diagnostics.answer(static_cast<uint8_t>(code), parse_hex(kv.second));
        code = page_key(kv.first, "diag_text.");
        if (code >= 0)
            diagnostics.answer(static_cast<uint8_t>(code),
                               text_page(static_cast<uint8_t>(code), parse_hex(kv.second)));
        // "mech.<opcode>" or "mech.<opcode>.<first parameter>", in hex.
        if (auto n = key_numbers(kv.first, "mech.", {16, 16})) {
            const long parameter = n->size() == 2 ? static_cast<long>((*n)[1] & 0xFFFFFFFF) : -1;
            mech->emplace(std::make_pair(static_cast<uint32_t>((*n)[0]), parameter), parse_hex(kv.second));
        }
    }

    diagnostics.on_page(kEnterDataCollection, fixed_size(32));
    diagnostics.on_page(kExitDataCollection, fixed_size(4));
    diagnostics.on_page(kReadErt, fixed_size(36));
    diagnostics.on_page(kWriteErt, fixed_size(36));

    // Mechanism command: opcode, then its parameters. What RECEIVE answers is
    // keyed by the opcode and the first parameter, else by the opcode alone.
    diagnostics.on_page(kMechanism, [mech](const Bytes &page, Bytes &result) {
        if (page.size() < 8 || page.size() % 4 != 0)
            return invalid_field_in_parameters();
        const uint32_t opcode = field(page, 4);
        auto it = page.size() >= 12 ? mech->find({opcode, static_cast<long>(field(page, 8))}) : mech->end();
        if (it == mech->end())
            it = mech->find({opcode, -1});
        result = text_page(kMechanism, it != mech->end() ? it->second : Bytes{});
        return good();
    });

    // Memory read: address, word count, memory id, word width.
    diagnostics.on_page(kMemoryRead, [this](const Bytes &page, Bytes &result) {
        if (page.size() != 20)
            return invalid_field_in_parameters();
        const uint32_t id = field(page, 12);
        if (id == kCmId && !cartridge_present())
            return check_condition(kSenseNotReady, kAscMediumNotPresent, 0);
        auto text = memories.read_text(id, field(page, 16), field(page, 4), field(page, 8));
        if (!text)
            return invalid_field_in_parameters();
        result = text_page(kMemoryRead, Bytes(text->begin(), text->end()));
        return good();
    });

    // Memory write: address, word count (1 to 16), memory id, word width, the words.
    diagnostics.on_page(kMemoryWrite, [this](const Bytes &page, Bytes &result) {
        const uint32_t count = field(page, 8);
        if (page.size() < 24 || count == 0 || count > kMaxWordsPerWrite || page.size() != 20 + 4 * count)
            return invalid_field_in_parameters();
        const uint32_t id = field(page, 12);
        if (id == kCmId && !cartridge_present())
            return check_condition(kSenseNotReady, kAscMediumNotPresent, 0);
        std::vector<uint32_t> values;
        for (uint32_t i = 0; i < count; ++i)
            values.push_back(field(page, 20 + 4 * i));
        if (!memories.write(id, field(page, 16), field(page, 4), values))
            return invalid_field_in_parameters();
        result = text_page(kMemoryWrite, {});
        return good();
    });
}

}  // namespace kvemu
