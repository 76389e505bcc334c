// The SCSI bus as sysfs lists it: each device's name, its node's name and its
// type read strictly, then the lookup of one address and an adapter scan over
// those devices on an emulated kernel without the proc list.
// Input: host, target id and LUN to look up (one signed byte each), then up
// to eight devices, each four texts (length byte, FFh for none, bytes): its
// name in the bus list, its node's name, its type text and its adapter's name.
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

std::optional<std::string> text_of(fuzz::Input &in)
{
    unsigned length = in.byte();
    if (length == 0xFF)
        return std::nullopt;
    std::vector<uint8_t> bytes = in.bytes(length);
    return std::string(bytes.begin(), bytes.end());
}

// A name as a directory entry gives it: in a heap buffer of exactly its size
// and the NUL that ends it.
std::unique_ptr<char[]> entry_name(const std::string &name)
{
    std::unique_ptr<char[]> n(new char[name.size() + 1]);
    std::copy(name.begin(), name.end(), n.get());
    n[name.size()] = '\0';
    return n;
}

// Each parser given its piece as far as a directory entry can hold it (to a
// NUL); what it takes must be exactly the kernel's way of writing the numbers
// it read.
void check_parsers(const kvemu::SysfsEntry &e)
{
    if (e.name) {
        int node = -1;
        std::unique_ptr<char[]> n = entry_name(*e.name);
        if (stlsg::parse_node_name(n.get(), &node)) {
            FUZZ_CHECK(node >= 0);
            FUZZ_CHECK(std::string(n.get()) == "sg" + std::to_string(node));
        }
    }
    if (e.device) {
        stlsg::Address a{-1, -1, -1, -1};
        std::unique_ptr<char[]> d = entry_name(*e.device);
        if (stlsg::parse_device_name(d.get(), &a)) {
            FUZZ_CHECK(a.host >= 0 && a.channel >= 0 && a.id >= 0 && a.lun >= 0);
            FUZZ_CHECK(std::string(d.get()) == std::to_string(a.host) + ":" + std::to_string(a.channel) + ":" +
                                                   std::to_string(a.id) + ":" + std::to_string(a.lun));
        }
    }
    if (e.type) {
        std::unique_ptr<char[]> t(new char[e.type->size()]);
        std::copy(e.type->begin(), e.type->end(), t.get());
        int value = -1;
        if (stlsg::parse_type(t.get(), e.type->size(), &value))
            FUZZ_CHECK(value >= 0);
    }
}

// Whether `e` can be what an open of host, id and LUN found: a device at the
// address on an adapter sysfs shows, that is no array controller.
bool could_match(const kvemu::SysfsEntry &e, const std::vector<kvemu::SysfsEntry> &all, int32 host, int32 id,
                 int32 lun)
{
    stlsg::Address a{};
    int type = -1;
    if (!e.device || !stlsg::parse_device_name(e.device->c_str(), &a) || a.host != host || a.id != id ||
        a.lun != lun || !e.type || !stlsg::parse_type(e.type->data(), e.type->size(), &type) || type == 12)
        return false;
    const std::string adapter = "host" + std::to_string(host);
    return std::any_of(all.begin(), all.end(), [&](const kvemu::SysfsEntry &o) { return o.host == adapter; });
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
        e.device = text_of(in);
        e.name = text_of(in);
        e.type = text_of(in);
        e.host = text_of(in);
        check_parsers(e);
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
        // The node opened is that of a device at the address (its name read
        // as a directory entry holds it, to a NUL).
        const std::vector<std::string> &trace = kvemu::trace();
        FUZZ_CHECK(!trace.empty() && trace.back().rfind("open sg", 0) == 0);
        const std::string name = trace.back().substr(5);
        FUZZ_CHECK(std::any_of(entries.begin(), entries.end(), [&](const kvemu::SysfsEntry &e) {
            return e.name && e.name->c_str() == name && could_match(e, entries, host, id, lun);
        }));
        scsi_close_device(&drv);
    }

    fuzz::check_adapter_scan(host);
    FUZZ_CHECK(kvemu::open_descriptors() == 0);
    kvemu::clear_trace();
    return 0;
}
