// Emulator core: the loaded bus, the device list, descriptors and the trace.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "hooks.h"
#include "kvemu.h"
#include "sg_ioctl.h"
#include "sysfs.h"

namespace kvemu {
namespace {

// Where the emulated kernel lists its sg devices: the proc list (the default),
// only sysfs (a kernel built without the proc list), or both.
enum class Listing { Proc, Sysfs, Both };

struct Bus {
    bool loaded = false;
    Listing listing = Listing::Proc;
    std::vector<std::unique_ptr<Node>> nodes;
    std::optional<std::string> list_text;
    std::map<int, int> fds;  // descriptor -> node number
    std::vector<std::string> trace;
    std::vector<std::string> listing_calls;
    std::vector<unsigned> sleeps;
    std::map<std::string, std::string> redirects;
    std::string list_buffer;           // backing store of the FILE* served for the device list
    std::optional<std::time_t> clock;  // the stepped clock's next reading
};

Bus &bus()
{
    static Bus b;
    return b;
}

// Set while the emulator itself runs, so its own file access passes through.
bool in_emulator = false;
bool env_checked = false;

struct Guard {
    bool was;
    Guard() : was(in_emulator) { in_emulator = true; }
    ~Guard() { in_emulator = was; }
};

std::string trim(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

long to_long(const std::string &s, long def)
{
    std::string t = trim(s);
    if (t.empty())
        return def;
    char *end = nullptr;
    long v = std::strtol(t.c_str(), &end, 0);
    return (end && *end == '\0') ? v : def;
}

Override parse_override(const std::string &text)
{
    Override o;
    o.from_model = true;
    std::istringstream in(text);
    std::string word;
    bool first = true;
    while (in >> word) {
        if (first) {
            first = false;
            o.opcode = word == "*" ? -1 : static_cast<int>(std::strtol(word.c_str(), nullptr, 16));
            continue;
        }
        size_t eq = word.find('=');
        std::string k = word.substr(0, eq);
        std::string v = eq == std::string::npos ? "" : word.substr(eq + 1);
        if (k == "times")
            o.times = v == "*" ? -1 : static_cast<int>(to_long(v, 1));
        else if (k == "skip")
            o.skip = static_cast<int>(to_long(v, 0));
        else if (k == "status")
            o.status = static_cast<uint8_t>(to_long(v, 0));
        else if (k == "host")
            o.host_status = static_cast<uint8_t>(to_long(v, 0));
        else if (k == "driver")
            o.driver_status = static_cast<uint8_t>(to_long(v, 0));
        else if (k == "resid")
            o.resid = static_cast<int>(to_long(v, 0));
        else if (k == "sb_len")
            o.sb_len_wr = static_cast<int>(to_long(v, 0));
        else if (k == "short")
            o.short_by = static_cast<int>(to_long(v, 0));
        else if (k == "sense")
            o.sense = parse_hex(v);
        else if (k == "errno")
            o.ioctl_errno = static_cast<int>(to_long(v, EIO));
    }
    return o;
}

void add_node(const Config &cfg, bool raw)
{
    auto n = std::make_unique<Node>();
    n->number = static_cast<int>(bus().nodes.size());
    n->cfg = cfg;
    // Read once: every SG_IO asks it. "record = 0" keeps long runs (benchmarks)
    // from storing every byte sent.
    n->record = cfg.get_int("record", 1) != 0;
    n->raw = raw;
    if (raw) {
        n->line = cfg.get("line");
    } else {
        n->host = static_cast<int>(cfg.get_int("host"));
        n->channel = static_cast<int>(cfg.get_int("channel"));
        n->target = static_cast<int>(cfg.get_int("target"));
        n->lun = static_cast<int>(cfg.get_int("lun"));
        std::string model = cfg.get("model", "generic");
        if (model != "none") {
            Factory f = find_model(model);
            if (!f) {
                std::fprintf(stderr, "kvemu: unknown device model '%s'\n", model.c_str());
                std::abort();
            }
            n->device = f(cfg);
        }
        // The driver lists the type the device reports in its INQUIRY data.
        n->type = static_cast<int>(cfg.get_int("type", n->device ? n->device->default_type() : 0));
        char line[128];
        std::snprintf(line, sizeof line, "%d\t%d\t%d\t%d\t%d\t1\t2\t0\t1", n->host, n->channel, n->target,
                      n->lun, n->type);
        n->line = line;
        for (const auto &text : cfg.all("override"))
            n->overrides.push_back(parse_override(text));
    }
    n->sysfs = sysfs::entry_for(cfg, raw, *n);
    bus().nodes.push_back(std::move(n));
}

// A key ahead of the first section sets the bus as a whole.
void set_bus_key(const std::string &key, const std::string &value, const std::string &line)
{
    static const std::map<std::string, Listing> listings = {{"proc", Listing::Proc},
                                                            {"sysfs", Listing::Sysfs},
                                                            {"both", Listing::Both}};
    auto it = listings.find(value);
    if (key != "devlist" || it == listings.end()) {
        std::fprintf(stderr, "kvemu: bad bus file line '%s'\n", line.c_str());
        std::abort();
    }
    bus().listing = it->second;
}

void ensure_loaded()
{
    if (env_checked)
        return;
    env_checked = true;
    const char *path = std::getenv("KVEMU_BUS");
    if (path && *path)
        load_bus_file(path);
    const char *log = std::getenv("KVEMU_LOGFILE");
    if (log && *log)
        redirect_path("/var/vxt/Component.log", log);
}

// Trace lines also go to $KVEMU_TRACE, so tests of whole programs can read them.
void emit(const std::string &line)
{
    bus().trace.push_back(line);
    const char *path = std::getenv("KVEMU_TRACE");
    if (path && *path) {
        if (FILE *fp = std::fopen(path, "a")) {
            std::fprintf(fp, "%s\n", line.c_str());
            std::fclose(fp);
        }
    }
}

// A node whose drive answers: it has a model and has not left the bus.
bool answers(const Node *n) { return n && n->device && !n->device->vanished; }

int node_from_path(const char *path)
{
    static const char prefix[] = "/dev/sg";
    if (std::strncmp(path, prefix, sizeof prefix - 1) != 0)
        return -1;
    const char *digits = path + sizeof prefix - 1;
    if (!*digits)
        return -1;
    char *end = nullptr;
    long n = std::strtol(digits, &end, 10);
    if (*end || n < 0)
        return -1;
    return static_cast<int>(n);
}

// The node a chain of symbolic links ends at, followed as the kernel would (a
// relative link from its own directory, at most 40 links); -1 when `path` is
// no link or its last link names no node.
int node_behind_links(const char *path)
{
    const int saved = errno;
    std::string at = path;
    int number = -1;
    for (int hops = 0; hops < 40; ++hops) {
        char text[4096];
        ssize_t n = readlink(at.c_str(), text, sizeof text);
        if (n <= 0 || static_cast<size_t>(n) == sizeof text) {
            if (hops > 0)
                number = node_from_path(at.c_str());
            break;
        }
        std::string next(text, static_cast<size_t>(n));
        at = next[0] == '/' ? next : at.substr(0, at.rfind('/') + 1) + next;
    }
    errno = saved;
    return number;
}

}  // namespace

bool Config::has(const std::string &key) const { return values.count(key) != 0; }

std::string Config::get(const std::string &key, const std::string &def) const
{
    auto it = values.find(key);
    return it == values.end() ? def : it->second;
}

long Config::get_int(const std::string &key, long def) const { return has(key) ? to_long(get(key), def) : def; }

Bytes Config::get_bytes(const std::string &key) const { return parse_hex(get(key)); }

std::vector<std::string> Config::all(const std::string &key) const
{
    std::vector<std::string> out;
    auto range = values.equal_range(key);
    for (auto it = range.first; it != range.second; ++it)
        out.push_back(it->second);
    return out;
}

Bytes parse_hex(const std::string &text)
{
    Bytes out;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '"') {  // quoted ASCII
            size_t end = text.find('"', i + 1);
            if (end == std::string::npos)
                end = text.size();
            out.insert(out.end(), text.begin() + static_cast<long>(i) + 1,
                       text.begin() + static_cast<long>(end));
            i = end + 1;
        } else if (std::isxdigit(static_cast<unsigned char>(c)) && i + 1 < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
            out.push_back(static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
            i += 2;
        } else {
            ++i;
        }
    }
    return out;
}

std::optional<std::vector<unsigned long>> key_numbers(const std::string &key, const std::string &prefix,
                                                      std::initializer_list<int> bases)
{
    if (key.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    std::vector<unsigned long> numbers;
    const char *p = key.c_str() + prefix.size();
    for (int base : bases) {
        char *end = nullptr;
        unsigned long n = std::strtoul(p, &end, base);
        if (end == p || *p == '-' || *p == '+' || std::isspace(static_cast<unsigned char>(*p)))
            return std::nullopt;
        numbers.push_back(n);
        if (*end == '\0')
            return numbers;
        if (*end != '.')
            return std::nullopt;
        p = end + 1;
    }
    return std::nullopt;  // more numbers than the key may have
}

std::string to_hex(const uint8_t *p, size_t n)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
        s += b;
    }
    return s;
}

Bytes ascii(const std::string &s, size_t width, char pad)
{
    Bytes out(width, static_cast<uint8_t>(pad));
    for (size_t i = 0; i < width && i < s.size(); ++i)
        out[i] = static_cast<uint8_t>(s[i]);
    return out;
}

void load_bus_text(const std::string &text)
{
    Guard g;
    kvemu_interpose_linked = 1;
    env_checked = true;
    unload_bus();
    std::istringstream in(text);
    std::string raw_line;
    Config current;
    enum { NONE, DEVICE, RAW } section = NONE;
    auto flush = [&]() {
        if (section != NONE)
            add_node(current, section == RAW);
        current = Config();
    };
    while (std::getline(in, raw_line)) {
        std::string line = trim(raw_line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line == "[device]" || line == "[raw]") {
            flush();
            section = line == "[device]" ? DEVICE : RAW;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            std::fprintf(stderr, "kvemu: bad bus file line '%s'\n", line.c_str());
            std::abort();
        }
        std::string key = trim(line.substr(0, eq));
        std::string value = trim(line.substr(eq + 1));
        if (section == NONE)
            set_bus_key(key, value, line);
        else
            current.values.emplace(key, value);
    }
    flush();
    sysfs::build_from_bus();
    bus().loaded = true;
}

void load_bus_file(const std::string &path)
{
    Guard g;
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "kvemu: cannot read bus file %s\n", path.c_str());
        std::abort();
    }
    std::stringstream ss;
    ss << in.rdbuf();
    load_bus_text(ss.str());
}

void unload_bus()
{
    Bus &b = bus();
    b.loaded = false;
    b.listing = Listing::Proc;
    sysfs::clear();
    b.nodes.clear();
    b.list_text.reset();
    b.fds.clear();
    b.trace.clear();
    b.listing_calls.clear();
    b.sleeps.clear();
    b.clock.reset();
}

bool bus_loaded() { return bus().loaded; }

Node *node(int number)
{
    auto &nodes = bus().nodes;
    if (number < 0 || number >= static_cast<int>(nodes.size()))
        return nullptr;
    return nodes[static_cast<size_t>(number)].get();
}

Node *node_at(int host, int target, int lun)
{
    for (auto &n : bus().nodes)
        if (answers(n.get()) && n->host == host && n->target == target && n->lun == lun)
            return n.get();
    return nullptr;
}

int node_count() { return static_cast<int>(bus().nodes.size()); }

void add_override(int number, const Override &o)
{
    if (Node *n = node(number))
        n->overrides.push_back(o);
}

const std::vector<std::string> &trace() { return bus().trace; }
const std::vector<std::string> &listing_calls() { return bus().listing_calls; }
void clear_trace()
{
    bus().trace.clear();
    bus().listing_calls.clear();
}
void set_device_list_text(const std::string &text) { bus().list_text = text; }
void set_sysfs_entries(std::vector<SysfsEntry> entries) { sysfs::replace(std::move(entries)); }
const std::vector<unsigned> &sleeps() { return bus().sleeps; }
int open_descriptors() { return static_cast<int>(bus().fds.size()); }
void step_clock(std::time_t start) { bus().clock = start; }
void real_clock() { bus().clock.reset(); }

void redirect_path(const std::string &from, const std::string &to)
{
    if (to.empty())
        bus().redirects.erase(from);
    else
        bus().redirects[from] = to;
}

namespace {

// Common start of the path hooks: whether the emulator serves `path` itself.
// A redirection wins over what it serves (so a test can make the device list
// unreadable by pointing it at a path that does not exist): the call then
// passes through with `*mapped` in place of `path`.
bool serves_path(const char *path, const char **mapped)
{
    ensure_loaded();
    Bus &b = bus();
    if (!b.loaded)
        return false;
    if (b.redirects.empty())
        return true;
    auto r = b.redirects.find(path);
    if (r == b.redirects.end())
        return true;
    *mapped = r->second.c_str();
    return false;
}

// The node behind an emulated descriptor; null for any other descriptor.
Node *node_of_fd(int fd)
{
    auto it = bus().fds.find(fd);
    return it == bus().fds.end() ? nullptr : node(it->second);
}

int refuse_open(int number, int err, int *result)
{
    emit("open sg" + std::to_string(number) + " failed");
    errno = err;
    *result = -1;
    return 1;
}

}  // namespace

// Called by sg_ioctl.cpp to record lines of the trace.
void record(const std::string &line) { emit(line); }

}  // namespace kvemu

using namespace kvemu;

namespace {

const char kDeviceList[] = "/proc/scsi/sg/devices";

// The device list as the driver shows it now, into `text`.
void device_list_text(std::string &text)
{
    Bus &b = bus();
    if (b.list_text) {
        text = *b.list_text;
        return;
    }
    text.clear();
    // The sg driver lists a device that went away as a row of -1. Appended
    // piece by piece: a scan opens the list at every address.
    for (auto &n : b.nodes) {
        if (n->device && n->device->vanished)
            text += "-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1";
        else
            text += n->line;
        text += '\n';
    }
}

bool proc_listed() { return bus().listing != Listing::Sysfs; }
bool sysfs_listed() { return bus().listing != Listing::Proc; }

// A descriptor from which read() gives `text`: an anonymous file holding it,
// positioned at its start. These files are read-only.
int memory_file(const std::string &text, int flags)
{
    if ((flags & O_ACCMODE) != O_RDONLY) {
        errno = EACCES;
        return -1;
    }
    int fd = memfd_create("kvemu-file", (flags & O_CLOEXEC) ? MFD_CLOEXEC : 0);
    if (fd < 0)
        return -1;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            int err = errno;
            ::close(fd);
            errno = err;
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

// The paths where the emulated kernel lists its devices: the proc device
// list and, in sysfs, the bus list, the adapters and the sg driver's class.
// Everything at or below those sysfs directories is the emulator's, so the
// real host's devices never show through.
enum class File { NotOurs, DeviceList, Text, Dir, Missing };

File served_file(const char *path, std::string *text)
{
    if (std::strcmp(path, kDeviceList) == 0)
        return proc_listed() ? File::DeviceList : File::Missing;
    switch (sysfs::look_up(path, sysfs_listed(), text)) {
    case sysfs::Kind::Outside:
        return File::NotOurs;
    case sysfs::Kind::File:
        return File::Text;
    case sysfs::Kind::Dir:
        return File::Dir;
    case sysfs::Kind::Missing:
        break;
    }
    return File::Missing;
}

// One line of listing_calls(): the call, the path, and whether it failed.
void listing_call(const char *call, const char *path, bool failed)
{
    std::string line = call;
    line += ' ';
    line += path;
    if (failed)
        line += " failed";
    bus().listing_calls.push_back(std::move(line));
}

}  // namespace

extern "C" int kvemu_hook_fopen(const char *path, const char * /*mode*/, FILE **result, const char **mapped)
{
    if (in_emulator || !path)
        return 0;
    Guard g;
    if (!serves_path(path, mapped))
        return 0;
    std::string text;
    File file = served_file(path, &text);
    switch (file) {
    case File::NotOurs:
        return 0;
    case File::DeviceList: {
        Bus &b = bus();
        device_list_text(b.list_buffer);
        // fmemopen refuses an empty buffer; a lone newline reads as an empty list.
        if (b.list_buffer.empty())
            b.list_buffer = "\n";
        *result = fmemopen(b.list_buffer.data(), b.list_buffer.size(), "r");
        break;
    }
    case File::Text: {
        int fd = memory_file(text, O_RDONLY | O_CLOEXEC);
        *result = fd < 0 ? nullptr : fdopen(fd, "r");
        break;
    }
    case File::Dir:
    case File::Missing:
        errno = file == File::Dir ? EISDIR : ENOENT;
        *result = nullptr;
        break;
    }
    listing_call("fopen", path, *result == nullptr);
    return 1;
}

extern "C" int kvemu_hook_open(const char *path, int flags, int *result, const char **mapped)
{
    if (in_emulator || !path)
        return 0;
    Guard g;
    if (!serves_path(path, mapped))
        return 0;
    std::string text;
    File file = served_file(path, &text);
    switch (file) {
    case File::NotOurs:
        break;
    case File::DeviceList:
        device_list_text(text);
        *result = memory_file(text, flags);
        break;
    case File::Text:
        *result = memory_file(text, flags);
        break;
    case File::Dir:
    case File::Missing:
        errno = file == File::Dir ? EISDIR : ENOENT;
        *result = -1;
        break;
    }
    if (file != File::NotOurs) {
        listing_call("open", path, *result < 0);
        return 1;
    }
    int number = node_from_path(path);
    if (number < 0 && !(flags & O_NOFOLLOW))
        number = node_behind_links(path);
    if (number < 0)
        return 0;
    Node *n = node(number);
    if (!answers(n))
        return refuse_open(number, ENOENT, result);
    if (n->cfg.get_int("open_fails", 0))
        return refuse_open(number, EACCES, result);
    using open_fn = int (*)(const char *, int, ...);
    auto real_open = reinterpret_cast<open_fn>(dlsym(RTLD_NEXT, "open"));
    int fd = real_open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *result = -1;
        return 1;
    }
    bus().fds[fd] = number;
    n->opens++;
    emit("open sg" + std::to_string(number));
    *result = fd;
    return 1;
}

extern "C" int kvemu_hook_opendir(const char *path, DIR **result, const char **mapped)
{
    if (in_emulator || !path)
        return 0;
    Guard g;
    if (!serves_path(path, mapped))
        return 0;
    sysfs::Kind kind = sysfs::Kind::Outside;
    *result = sysfs::open_dir(path, sysfs_listed(), &kind);
    if (kind == sysfs::Kind::Outside)
        return 0;
    if (!*result)
        errno = kind == sysfs::Kind::File ? ENOTDIR : ENOENT;
    listing_call("opendir", path, *result == nullptr);
    return 1;
}

extern "C" int kvemu_hook_access(const char *path, int /*mode*/, int *result, const char **mapped)
{
    if (in_emulator || !path)
        return 0;
    Guard g;
    if (!serves_path(path, mapped))
        return 0;
    std::string text;
    File file = served_file(path, &text);
    if (file == File::NotOurs)
        return 0;
    // The emulated files and directories exist for every kind of access.
    *result = file == File::Missing ? -1 : 0;
    if (*result < 0)
        errno = ENOENT;
    listing_call("access", path, *result < 0);
    return 1;
}

// Only the emulator's own streams are served here, whoever asks.
extern "C" int kvemu_hook_readdir(DIR *dir, struct dirent64 **entry)
{
    Guard g;
    return sysfs::read(dir, entry);
}

extern "C" int kvemu_hook_rewinddir(DIR *dir)
{
    Guard g;
    return sysfs::rewind(dir);
}

extern "C" int kvemu_hook_is_stream(DIR *dir) { return sysfs::is_stream(dir); }

extern "C" int kvemu_hook_closedir(DIR *dir)
{
    Guard g;
    return sysfs::close(dir);
}

extern "C" int kvemu_hook_ioctl(int fd, unsigned long request, void *arg, int *result)
{
    if (in_emulator)
        return 0;
    Guard g;
    Node *n = bus().loaded ? node_of_fd(fd) : nullptr;
    if (!n)
        return 0;
    if (n->device->vanished) {
        errno = ENODEV;
        *result = -1;
        return 1;
    }
    *result = sg_ioctl(*n, request, arg);
    return 1;
}

extern "C" void kvemu_hook_close(int fd)
{
    if (in_emulator)
        return;
    Guard g;
    Node *n = node_of_fd(fd);
    if (!n)
        return;
    n->closes++;
    emit("close sg" + std::to_string(n->number));
    bus().fds.erase(fd);
}

extern "C" int kvemu_hook_sleep(unsigned seconds)
{
    if (in_emulator)
        return 0;
    Guard g;
    ensure_loaded();
    if (!bus().loaded)
        return 0;
    bus().sleeps.push_back(seconds);
    if (bus().clock)
        *bus().clock += seconds;
    emit("sleep " + std::to_string(seconds));
    return 1;
}

extern "C" int kvemu_hook_fd_node(int fd)
{
    if (in_emulator)
        return -1;
    Guard g;
    Node *n = bus().loaded ? node_of_fd(fd) : nullptr;
    return n ? n->number : -1;
}

extern "C" int kvemu_hook_path_node(const char *path, int follow)
{
    if (in_emulator || !path)
        return -1;
    Guard g;
    const char *mapped = path;
    if (!serves_path(path, &mapped))
        return -1;
    int number = node_from_path(path);
    if (number < 0 && follow)
        number = node_behind_links(path);
    Node *n = node(number);
    return answers(n) ? n->number : -1;
}

extern "C" int kvemu_hook_time(time_t *result)
{
    if (in_emulator || !bus().clock)
        return 0;
    *result = (*bus().clock)++;
    return 1;
}
