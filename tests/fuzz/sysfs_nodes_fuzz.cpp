// The sg nodes as sysfs lists them: each entry's name, device link and type
// read strictly, then the lookup of one address and an adapter scan over
// those entries on an emulated kernel without the proc list.
// Input: host, target id and LUN to look up (one signed byte each), then up
// to eight entries, each a name (length byte, bytes), a link (16-bit length,
// FFFFh for none, bytes) and a type text (length byte, FFh for none, bytes).
#include <algorithm>
#include <memory>
#include <optional>

#include "adapter_scan_check.h"
#include "device_list.h"
#include "fuzz_support.h"
#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

namespace {

// Nodes the entries may name: a tape drive, a disk, a node that cannot be
// opened and one that never answers.
const char kBus[] = R"(devlist = sysfs
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

constexpr size_t kMaxEntries = 8;

std::string text_of(const std::vector<uint8_t> &bytes) { return std::string(bytes.begin(), bytes.end()); }

// Each parser given its piece in a heap buffer of exactly its size (a name
// with the NUL a directory entry ends it with).
void check_parsers(const std::string &name, const std::optional<std::string> &link,
                   const std::optional<std::string> &type)
{
    std::unique_ptr<char[]> n(new char[name.size() + 1]);
    std::copy(name.begin(), name.end(), n.get());
    n[name.size()] = '\0';
    int node = -1;
    if (stlsg::parse_node_name(n.get(), &node)) {
        // Only the node's own name is taken.
        FUZZ_CHECK(node >= 0);
        FUZZ_CHECK(std::string(n.get()) == "sg" + std::to_string(node));
    }
    if (link) {
        std::unique_ptr<char[]> l(new char[link->size()]);
        std::copy(link->begin(), link->end(), l.get());
        stlsg::Address a{-1, -1, -1, -1};
        if (stlsg::parse_address(l.get(), link->size(), &a)) {
            FUZZ_CHECK(a.host >= 0 && a.channel >= 0 && a.id >= 0 && a.lun >= 0);
            std::string last = link->substr(link->rfind('/') == std::string::npos ? 0 : link->rfind('/') + 1);
            FUZZ_CHECK(std::count(last.begin(), last.end(), ':') == 3);
            FUZZ_CHECK(last.find_first_not_of("0123456789:") == std::string::npos);
        }
    }
    if (type) {
        std::unique_ptr<char[]> t(new char[type->size()]);
        std::copy(type->begin(), type->end(), t.get());
        int value = -1;
        if (stlsg::parse_type(t.get(), type->size(), &value))
            FUZZ_CHECK(value >= 0);
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
    std::vector<kvemu::SysfsEntry> entries;
    while (in.left() > 0 && entries.size() < kMaxEntries) {
        kvemu::SysfsEntry e;
        e.name = text_of(in.bytes(in.byte()));
        unsigned link_length = in.u16();
        if (link_length != 0xFFFF)
            e.link = text_of(in.bytes(link_length));
        unsigned type_length = in.byte();
        if (type_length != 0xFF)
            e.type = text_of(in.bytes(type_length));
        check_parsers(e.name, e.link, e.type);
        entries.push_back(std::move(e));
    }
    kvemu::set_sysfs_entries(entries);

    DRIVE drv;
    std::memset(&drv, 0, sizeof drv);
    drv.fd = -1;
    drv.card_id = host;
    drv.bus_addr = id;
    drv.lun = lun;
    if (scsi_open_device(&drv) == 0) {
        // The node opened is one an entry is named after.
        const std::vector<std::string> &trace = kvemu::trace();
        FUZZ_CHECK(!trace.empty() && trace.back().rfind("open sg", 0) == 0);
        const std::string name = trace.back().substr(5);
        FUZZ_CHECK(std::any_of(entries.begin(), entries.end(),
                               [&](const kvemu::SysfsEntry &e) { return e.name == name; }));
        scsi_close_device(&drv);
    }

    fuzz::check_adapter_scan(host);
    FUZZ_CHECK(kvemu::open_descriptors() == 0);
    kvemu::clear_trace();
    return 0;
}
