// The emulated sysfs view of the bus: one entry per bus section that has one,
// giving a device in the bus list with its node and type, and its adapter.
#include "sysfs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace kvemu {
namespace sysfs {
namespace {

constexpr char kNodeClass[] = "/sys/class/scsi_generic";
constexpr char kHostClass[] = "/sys/class/scsi_host";
constexpr char kBusDevices[] = "/sys/bus/scsi/devices";

struct Listed {
    SysfsEntry entry;
    int node = -1;       // the bus node it is made from; -1 for entries given whole
    std::string target;  // "targetH:C:T" beside it in the bus list; empty for entries given whole
};

// One name a directory holds; shown while bus node `node` is present (-1:
// always).
struct Child {
    std::string name;
    unsigned char type;
    int node;
};
using Listing = std::shared_ptr<const std::vector<Child>>;

// The entries, and what is looked up in them on every call, made once per
// bus: a scan asks for an adapter at every address.
struct State {
    std::vector<Listed> entries;
    bool given = false;
    std::unordered_map<std::string, size_t> devices, names;  // the first entry of each name
    std::unordered_set<std::string> hosts, targets;
    Listing bus, nodes, adapters;  // the three directories
};

State &state()
{
    static State s;
    return s;
}

// A node that left the bus takes its device and node with it, as the kernel
// removes them; its adapter and target stay.
bool present(int number)
{
    if (number < 0)
        return true;
    Node *n = node(number);
    return n && !(n->device && n->device->vanished);
}

// The entry a device or node name leads to while it is present. A kernel
// keeps one device per address: a later entry of the same name is never seen.
const Listed *first(const std::unordered_map<std::string, size_t> &index, const std::string &name)
{
    auto it = index.find(name);
    if (it == index.end())
        return nullptr;
    const Listed &l = state().entries[it->second];
    return present(l.node) ? &l : nullptr;
}

void index()
{
    State &s = state();
    s.devices.clear();
    s.names.clear();
    s.hosts.clear();
    s.targets.clear();
    for (size_t i = 0; i < s.entries.size(); ++i) {
        const Listed &l = s.entries[i];
        if (l.entry.device)
            s.devices.emplace(*l.entry.device, i);
        if (l.entry.name)
            s.names.emplace(*l.entry.name, i);
    }
    auto bus = std::make_shared<std::vector<Child>>();
    auto nodes = std::make_shared<std::vector<Child>>();
    auto adapters = std::make_shared<std::vector<Child>>();
    for (auto *list : {bus.get(), nodes.get(), adapters.get()}) {
        list->push_back({".", DT_DIR, -1});
        list->push_back({"..", DT_DIR, -1});
    }
    // The directories promise no order: entries made from the bus come
    // highest node first, so a reader that wants the lowest must look at
    // them all. The kernel lists adapters and targets in the bus list too.
    for (size_t k = 0; k < s.entries.size(); ++k) {
        const size_t i = s.given ? k : s.entries.size() - 1 - k;
        const Listed &l = s.entries[i];
        const SysfsEntry &e = l.entry;
        if (e.host && s.hosts.insert(*e.host).second) {
            bus->push_back({*e.host, DT_LNK, -1});
            adapters->push_back({*e.host, DT_LNK, -1});
        }
        if (!l.target.empty() && s.targets.insert(l.target).second)
            bus->push_back({l.target, DT_LNK, -1});
        if (e.device && s.devices.at(*e.device) == i)
            bus->push_back({*e.device, DT_LNK, l.node});
        if (e.name && s.names.at(*e.name) == i)
            nodes->push_back({*e.name, DT_LNK, l.node});
    }
    s.bus = std::move(bus);
    s.nodes = std::move(nodes);
    s.adapters = std::move(adapters);
}

// A key's text: absent gives `def`, "none" gives nothing.
std::optional<std::string> text_of(const Config &cfg, const std::string &key, std::optional<std::string> def)
{
    if (!cfg.has(key))
        return def;
    std::string value = cfg.get(key);
    if (value == "none")
        return std::nullopt;
    return value;
}

// Which directory a path is.
enum class Dir {
    Nodes,        // /sys/class/scsi_generic
    Hosts,        // /sys/class/scsi_host
    Bus,          // /sys/bus/scsi/devices
    Device,       // <bus>/<device>
    DeviceNodes,  // <bus>/<device>/scsi_generic
    Empty,        // a node, an adapter, a target: nothing of theirs is modelled
};

struct Place {
    Kind kind = Kind::Outside;
    Dir dir = Dir::Empty;
    const Listed *entry = nullptr;  // the device of Device, DeviceNodes and its type file
};

// The path's components after `root`, when the path is `root` or below it.
bool below(const char *path, const char *root, std::vector<std::string> *parts)
{
    const size_t n = std::strlen(root);
    if (std::strncmp(path, root, n) != 0 || (path[n] != '\0' && path[n] != '/'))
        return false;
    parts->clear();
    for (const char *p = path + n; *p;) {
        while (*p == '/')
            ++p;
        const char *end = p;
        while (*end && *end != '/')
            ++end;
        if (end != p)
            parts->emplace_back(p, end);
        p = end;
    }
    return true;
}

Place find(const char *path, bool listed)
{
    const State &s = state();
    std::vector<std::string> parts;
    Place missing;
    missing.kind = Kind::Missing;
    auto dir = [](Dir d, const Listed *entry = nullptr) {
        Place p;
        p.kind = Kind::Dir;
        p.dir = d;
        p.entry = entry;
        return p;
    };
    if (below(path, kNodeClass, &parts)) {
        if (!listed || parts.size() > 1)
            return missing;
        if (parts.empty())
            return dir(Dir::Nodes);
        return first(s.names, parts[0]) ? dir(Dir::Empty) : missing;
    }
    if (below(path, kHostClass, &parts)) {
        if (!listed || parts.size() > 1)
            return missing;
        if (parts.empty())
            return dir(Dir::Hosts);
        return s.hosts.count(parts[0]) ? dir(Dir::Empty) : missing;
    }
    if (!below(path, kBusDevices, &parts))
        return Place{};
    if (!listed || parts.size() > 3)
        return missing;
    if (parts.empty())
        return dir(Dir::Bus);
    const Listed *device = first(s.devices, parts[0]);
    if (!device) {
        bool other = parts.size() == 1 && (s.hosts.count(parts[0]) || s.targets.count(parts[0]));
        return other ? dir(Dir::Empty) : missing;
    }
    if (parts.size() == 1)
        return dir(Dir::Device, device);
    if (parts[1] == "type" && parts.size() == 2 && device->entry.type) {
        Place file;
        file.kind = Kind::File;
        file.entry = device;
        return file;
    }
    if (parts[1] != "scsi_generic" || !device->entry.name)
        return missing;
    if (parts.size() == 2)
        return dir(Dir::DeviceNodes, device);
    return parts[2] == *device->entry.name ? dir(Dir::Empty) : missing;
}

// What a directory holds: the three directories share the listing made with
// the bus; a device's own are made when opened.
Listing children(const Place &p)
{
    const State &s = state();
    switch (p.dir) {
    case Dir::Nodes:
        return s.nodes;
    case Dir::Hosts:
        return s.adapters;
    case Dir::Bus:
        return s.bus;
    default:
        break;
    }
    auto out = std::make_shared<std::vector<Child>>(std::vector<Child>{{".", DT_DIR, -1}, {"..", DT_DIR, -1}});
    if (p.dir == Dir::Device) {
        if (p.entry->entry.name)
            out->push_back({"scsi_generic", DT_DIR, -1});
        if (p.entry->entry.type)
            out->push_back({"type", DT_REG, -1});
    } else if (p.dir == Dir::DeviceNodes) {
        out->push_back({*p.entry->entry.name, DT_DIR, -1});
    }
    return out;
}

// Directory streams live apart from the bus: one opened before the bus was
// unloaded is still closed here, never handed to libc. Each holds the names
// its directory held when it was opened, and passes over those of devices
// that have left the bus since.
struct Stream {
    Listing children;
    size_t next = 0;
    dirent64 entry{};
};

std::map<const void *, std::unique_ptr<Stream>> &streams()
{
    static std::map<const void *, std::unique_ptr<Stream>> s;
    return s;
}

Stream *stream_of(DIR *dir)
{
    auto it = streams().find(dir);
    return it == streams().end() ? nullptr : it->second.get();
}

}  // namespace

std::optional<SysfsEntry> entry_for(const Config &cfg, bool raw, const Node &n)
{
    bool keyed = cfg.has("sysfs.device") || cfg.has("sysfs.name") || cfg.has("sysfs.type") ||
                 cfg.has("sysfs.host");
    if (raw && !keyed)
        return std::nullopt;
    std::optional<std::string> device, name, type, host;
    if (!raw) {
        char address[64];
        std::snprintf(address, sizeof address, "%d:%d:%d:%d", n.host, n.channel, n.target, n.lun);
        device = address;
        name = "sg" + std::to_string(n.number);
        type = std::to_string(n.type);
        host = "host" + std::to_string(n.host);
    }
    SysfsEntry e;
    e.device = text_of(cfg, "sysfs.device", device);
    e.name = text_of(cfg, "sysfs.name", name);
    // The kernel ends the number with a line end.
    e.type = text_of(cfg, "sysfs.type", type);
    if (e.type)
        *e.type += '\n';
    e.host = text_of(cfg, "sysfs.host", host);
    return e;
}

void build_from_bus()
{
    State &s = state();
    s.entries.clear();
    s.given = false;
    for (int i = 0; i < node_count(); ++i) {
        const Node *n = node(i);
        if (!n || !n->sysfs)
            continue;
        Listed l{*n->sysfs, i, ""};
        if (!n->raw)
            l.target = "target" + std::to_string(n->host) + ":" + std::to_string(n->channel) + ":" +
                       std::to_string(n->target);
        s.entries.push_back(std::move(l));
    }
    index();
}

void replace(std::vector<SysfsEntry> entries)
{
    State &s = state();
    s.entries.clear();
    s.given = true;
    for (auto &e : entries)
        s.entries.push_back({std::move(e), -1, ""});
    index();
}

void clear()
{
    state().entries.clear();
    state().given = false;
    index();
}

Kind look_up(const char *path, bool listed, std::string *text)
{
    Place p = find(path, listed);
    if (p.kind == Kind::File)
        *text = *p.entry->entry.type;
    return p.kind;
}

DIR *open_dir(const char *path, bool listed, Kind *kind)
{
    Place p = find(path, listed);
    *kind = p.kind;
    if (p.kind != Kind::Dir)
        return nullptr;
    auto stream = std::make_unique<Stream>();
    stream->children = children(p);
    DIR *dir = reinterpret_cast<DIR *>(stream.get());
    streams()[dir] = std::move(stream);
    return dir;
}

bool read(DIR *dir, dirent64 **entry)
{
    Stream *s = stream_of(dir);
    if (!s)
        return false;
    const std::vector<Child> &children = *s->children;
    while (s->next < children.size() && !present(children[s->next].node))
        ++s->next;
    if (s->next >= children.size()) {
        *entry = nullptr;
        return true;
    }
    const Child &c = children[s->next++];
    dirent64 &e = s->entry;
    e.d_ino = s->next;
    e.d_off = static_cast<off64_t>(s->next);
    e.d_reclen = sizeof e;
    e.d_type = c.type;
    const size_t n = std::min(c.name.size(), sizeof e.d_name - 1);
    std::memcpy(e.d_name, c.name.data(), n);
    e.d_name[n] = '\0';
    *entry = &e;
    return true;
}

bool rewind(DIR *dir)
{
    Stream *s = stream_of(dir);
    if (s)
        s->next = 0;
    return s != nullptr;
}

bool close(DIR *dir) { return streams().erase(dir) != 0; }

bool is_stream(DIR *dir) { return stream_of(dir) != nullptr; }

}  // namespace sysfs
}  // namespace kvemu
