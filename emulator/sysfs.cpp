// The emulated /sys/class/scsi_generic: one entry per bus section that has
// one, each a link to its device's address with the device's type beside it.
#include "sysfs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

namespace kvemu {
namespace sysfs {
namespace {

constexpr char kClassDir[] = "/sys/class/scsi_generic";

struct Listed {
    SysfsEntry entry;
    int node = -1;          // the bus node it is made from; -1 for entries given whole
    bool shadowed = false;  // an earlier entry has its name, and paths lead there
};

struct State {
    std::vector<Listed> entries;
    std::unordered_map<std::string, size_t> by_name;  // the first entry of each name
    bool given = false;
    // The entry readdir gave last: a reader asks for its link next.
    const Listed *last_read = nullptr;
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
    if (s.last_read && !s.last_read->shadowed && s.last_read->entry.name == name)
        return present(*s.last_read) ? s.last_read : nullptr;
    auto it = s.by_name.find(name);
    if (it == s.by_name.end() || !present(s.entries[it->second]))
        return nullptr;
    return &s.entries[it->second];
}

void index()
{
    State &s = state();
    s.by_name.clear();
    s.last_read = nullptr;
    for (size_t i = 0; i < s.entries.size(); ++i)
        s.entries[i].shadowed = !s.by_name.emplace(s.entries[i].entry.name, i).second;
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
// "." and "..", then the entries (by index) on the bus when it was opened.
struct Stream {
    std::vector<size_t> entries;
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

const std::string *link_of(const std::string &name)
{
    const Listed *l = find(name);
    return l && l->entry.link ? &*l->entry.link : nullptr;
}

const std::string *type_of(const std::string &name)
{
    const Listed *l = find(name);
    return l && l->entry.type ? &*l->entry.type : nullptr;
}

DIR *open_dir()
{
    auto stream = std::make_unique<Stream>();
    const State &s = state();
    stream->entries.reserve(s.entries.size());
    // The directory promises no order: entries made from the bus come highest
    // node first, so a reader that wants the lowest must look at them all.
    for (size_t k = 0; k < s.entries.size(); ++k) {
        const size_t i = s.given ? k : s.entries.size() - 1 - k;
        if (present(s.entries[i]))
            stream->entries.push_back(i);
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
    State &st = state();
    const size_t at = s->next;
    // An index past the entries now (the bus was reloaded since) ends the stream.
    if (at >= s->entries.size() + 2 || (at >= 2 && s->entries[at - 2] >= st.entries.size())) {
        *entry = nullptr;
        return true;
    }
    s->next++;
    const Listed *listed = at < 2 ? nullptr : &st.entries[s->entries[at - 2]];
    st.last_read = listed;
    static const std::string dots[] = {".", ".."};
    const std::string &name = listed ? listed->entry.name : dots[at];
    dirent64 &e = s->entry;
    e.d_ino = s->next;
    e.d_off = static_cast<off64_t>(s->next);
    e.d_reclen = sizeof e;
    e.d_type = listed ? DT_LNK : DT_DIR;
    const size_t n = std::min(name.size(), sizeof e.d_name - 1);
    std::memcpy(e.d_name, name.data(), n);
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
