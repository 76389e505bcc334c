// The emulated /sys/class/scsi_generic: one entry per bus section that has
// one, each a link to its device's address with the device's type beside it.
#include "sysfs.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace kvemu {
namespace sysfs {
namespace {

constexpr char kClassDir[] = "/sys/class/scsi_generic";

struct Listed {
    SysfsEntry entry;
    int node = -1;  // the bus node it is made from; -1 for entries given whole
};

struct State {
    std::vector<Listed> entries;
    std::map<std::string, size_t> by_name;  // the first entry of each name
    bool given = false;
};

State &state()
{
    static State s;
    return s;
}

// A node that left the bus takes its entry with it, as the kernel removes it.
bool present(const Listed &l)
{
    if (l.node < 0)
        return true;
    Node *n = node(l.node);
    return n && !(n->device && n->device->vanished);
}

const Listed *find(const std::string &name)
{
    State &s = state();
    auto it = s.by_name.find(name);
    if (it == s.by_name.end() || !present(s.entries[it->second]))
        return nullptr;
    return &s.entries[it->second];
}

void index()
{
    State &s = state();
    s.by_name.clear();
    for (size_t i = 0; i < s.entries.size(); ++i)
        s.by_name.emplace(s.entries[i].entry.name, i);
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

// Directory streams live apart from the bus: one opened before the bus was
// unloaded is still closed here, never handed to libc.
struct Stream {
    std::vector<std::string> names;
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
    bool keyed = cfg.has("sysfs.name") || cfg.has("sysfs.link") || cfg.has("sysfs.type");
    if (raw && !keyed)
        return std::nullopt;
    std::optional<std::string> name = text_of(cfg, "sysfs.name", "sg" + std::to_string(n.number));
    if (!name)
        return std::nullopt;
    SysfsEntry e;
    e.name = *name;
    std::optional<std::string> link, type;
    if (!raw) {
        char address[64];
        std::snprintf(address, sizeof address, "../../../%d:%d:%d:%d", n.host, n.channel, n.target, n.lun);
        link = address;
        type = std::to_string(n.type);
    }
    e.link = text_of(cfg, "sysfs.link", link);
    // The kernel ends the number with a line end.
    e.type = text_of(cfg, "sysfs.type", type);
    if (e.type)
        *e.type += '\n';
    return e;
}

void build_from_bus()
{
    State &s = state();
    s.entries.clear();
    s.given = false;
    for (int i = 0; i < node_count(); ++i)
        if (const Node *n = node(i))
            if (n->sysfs)
                s.entries.push_back({*n->sysfs, i});
    index();
}

void replace(std::vector<SysfsEntry> entries)
{
    State &s = state();
    s.entries.clear();
    s.given = true;
    for (auto &e : entries)
        s.entries.push_back({std::move(e), -1});
    index();
}

void clear()
{
    state().entries.clear();
    state().given = false;
    index();
}

PathKind classify(const char *path, std::string *name)
{
    const size_t dir_length = sizeof kClassDir - 1;
    if (std::strncmp(path, kClassDir, dir_length) != 0)
        return PathKind::Outside;
    const char *rest = path + dir_length;
    if (*rest == '\0' || std::strcmp(rest, "/") == 0)
        return PathKind::ClassDir;
    if (*rest != '/')
        return PathKind::Outside;  // a neighbour such as ".../scsi_generic2"
    ++rest;
    const char *slash = std::strchr(rest, '/');
    if (!slash || slash == rest)
        return PathKind::Missing;
    name->assign(rest, slash);
    if (std::strcmp(slash, "/device") == 0)
        return PathKind::Link;
    if (std::strcmp(slash, "/device/type") == 0)
        return PathKind::Type;
    return PathKind::Missing;
}

std::optional<std::string> link_of(const std::string &name)
{
    const Listed *l = find(name);
    return l ? l->entry.link : std::nullopt;
}

std::optional<std::string> type_of(const std::string &name)
{
    const Listed *l = find(name);
    return l ? l->entry.type : std::nullopt;
}

DIR *open_dir()
{
    auto stream = std::make_unique<Stream>();
    stream->names = {".", ".."};
    const State &s = state();
    // The directory promises no order: entries made from the bus come highest
    // node first, so a reader that wants the lowest must look at them all.
    for (size_t k = 0; k < s.entries.size(); ++k) {
        const Listed &l = s.entries[s.given ? k : s.entries.size() - 1 - k];
        if (present(l))
            stream->names.push_back(l.entry.name);
    }
    DIR *dir = reinterpret_cast<DIR *>(stream.get());
    streams()[dir] = std::move(stream);
    return dir;
}

bool read(DIR *dir, dirent64 **entry)
{
    Stream *s = stream_of(dir);
    if (!s)
        return false;
    if (s->next == s->names.size()) {
        *entry = nullptr;
        return true;
    }
    const std::string &name = s->names[s->next++];
    dirent64 &e = s->entry;
    e.d_ino = s->next;
    e.d_off = static_cast<off64_t>(s->next);
    e.d_reclen = sizeof e;
    e.d_type = s->next <= 2 ? DT_DIR : DT_LNK;
    std::snprintf(e.d_name, sizeof e.d_name, "%s", name.c_str());
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
