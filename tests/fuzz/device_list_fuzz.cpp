// The sg driver's device list: the lookup of one address in any list text,
// then an adapter scan over the same text on an emulated bus.
// Input: host, target id and LUN to look up (one signed byte each), then the
// list text.
#include <algorithm>
#include <memory>

#include "adapter_scan_check.h"
#include "fuzz_support.h"
#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

namespace {

// Nodes the list text may name: a tape drive, a disk that answers a short
// INQUIRY, a node that cannot be opened and one that never answers.
const char kBus[] = R"(
[device]
host = 0
target = 0
type = 1
record = 0
vendor = KV
product = DDS TAPE
[device]
host = 0
target = 1
type = 0
record = 0
inquiry = 00 80 05 02 1F 00 00 00 "OTHERCO DISK"
[device]
host = 0
target = 2
record = 0
open_fails = 1
[device]
host = 0
target = 3
record = 0
override = 12 times=* status=8
)";

// How many integers the text starts with: a record needs five, so no lookup
// can name a node past this count / 5.
size_t numbers_in(const std::string &text)
{
    size_t count = 0;
    const char *p = text.c_str();
    for (;;) {
        char *end = nullptr;
        std::strtol(p, &end, 10);
        if (end == p)
            return count;
        p = end;
        ++count;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    kvemu::load_bus_text(kBus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    int32 host = static_cast<int8_t>(in.byte());
    int32 id = static_cast<int8_t>(in.byte());
    int32 lun = static_cast<int8_t>(in.byte());
    std::vector<uint8_t> rest = in.rest();
    // The list exactly as long as the input gives it, with no NUL after it.
    std::unique_ptr<char[]> list(new char[rest.size() + 1]);
    std::copy(rest.begin(), rest.end(), list.get());
    std::string text(list.get(), rest.size());

    int32 node = scsi_find_device_node(list.get(), rest.size(), host, id, lun);
    FUZZ_CHECK(node >= -1);
    FUZZ_CHECK(node < 0 || static_cast<size_t>(node) <= numbers_in(text) / 5);

    kvemu::set_device_list_text(text);
    fuzz::check_adapter_scan(host);
    FUZZ_CHECK(kvemu::open_descriptors() == 0);
    kvemu::clear_trace();
    return 0;
}
