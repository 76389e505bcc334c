// Finding an address in the sg driver's device list: the driver's proc list,
// or on kernels built without it, the SCSI bus as sysfs lists it.
#include "device_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace stlsg {
namespace {

constexpr int kArrayControllerType = 12;
// A longer proc list is read only this far; nothing past it is looked at.
constexpr size_t kMaxDeviceListBytes = 1 << 20;
// A "type" file holds a number and a line end.
constexpr size_t kTypeBuffer = 32;
// The longest device name that can read as H:C:T:L.
constexpr size_t kMaxDeviceName = 4 * 10 + 3;

// One device a source offers: the node number and the address it names.
struct Candidate {
    int node = -1;
    Address address{};
    int type = 0;  // the proc list gives it with the address; sysfs on request
};

// The address asked for: host, target id and LUN; the channel is ignored.
bool at_address(const Address &a, int host, int id, int lun)
{
    return a.host == host && a.id == id && a.lun == lun;
}

// Storage array controllers are never opened as drives.
bool usable_type(int type) { return type != kArrayControllerType; }

// The lowest node at the address whose type is usable, -1 for none. A source
// that offers its nodes in ascending order stops at the first; any other is
// read to its end, and asked for a type only when the node could win.
template <class Source>
int lowest_match(Source &source, int host, int id, int lun)
{
    int best = -1;
    Candidate c;
    while (source.next(&c)) {
        if (!at_address(c.address, host, id, lun) || (best >= 0 && c.node >= best))
            continue;
        int type = 0;
        if (!source.type_of(c, &type) || !usable_type(type))
            continue;
        best = c.node;
        if (Source::kInNodeOrder)
            break;
    }
    return best;
}

// The proc list, read as "%d" would read its integers: leading white space,
// an optional sign, decimal digits; a value beyond int is clamped. Once a read
// fails every later one fails too, as the list is read no further. The
// driver's list comes a buffer-full at a time, only as far as the integers
// asked for reach, through buffers of our own (no allocation, no size query).
// Record N, counted from 0 whatever it holds, describes node N: five integers
// (host, channel, id, LUN, type) and four more that are skipped; the reading
// stops at the first record without the five.
class ProcList {
public:
    static constexpr bool kInNodeOrder = true;

    // The driver's list.
    ProcList() : fp_(fopen(kProcDeviceList, "rb"))
    {
        if (fp_)
            setvbuf(fp_, stream_buffer_, _IOFBF, sizeof stream_buffer_);
        else
            open_errno_ = errno;
    }
    // A list given as text; a NUL in it ends it, as it would end a read.
    ProcList(const char *text, size_t length) : fp_(nullptr), pos_(text), end_(text + length), ended_(true) {}
    ~ProcList()
    {
        if (fp_)
            fclose(fp_);
    }
    ProcList(const ProcList &) = delete;
    ProcList &operator=(const ProcList &) = delete;

    bool is_open() const { return fp_ != nullptr; }
    int open_errno() const { return open_errno_; }

    bool next(Candidate *c)
    {
        // The previous record's tail, read only once another record is wanted.
        if (started_)
            for (int k = 0; k < 4; k++)
                if (!number(nullptr))
                    break;
        started_ = true;
        Address &a = c->address;
        if (!number(&a.host) || !number(&a.channel) || !number(&a.id) || !number(&a.lun) || !number(&c->type))
            return false;
        c->node = count_++;
        return true;
    }
    bool type_of(const Candidate &c, int *type)
    {
        *type = c.type;
        return true;
    }

private:
    bool number(int *out)
    {
        if (failed_)
            return false;
        int c = peek();
        while (c == ' ' || (c >= '\t' && c <= '\r'))
            c = advance();
        bool negative = c == '-';
        if (c == '-' || c == '+')
            c = advance();
        if (c < '0' || c > '9') {
            failed_ = true;
            return false;
        }
        // Past this the value is clamped anyway; stop growing it.
        constexpr long long kCap = static_cast<long long>(INT_MAX) + 1;
        long long v = 0;
        for (; c >= '0' && c <= '9'; c = advance())
            if (v < kCap)
                v = v * 10 + (c - '0');
        if (negative)
            v = -v;
        if (out)
            *out = static_cast<int>(v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v);
        return true;
    }
    // The character under the cursor, or EOF at the end of the list.
    int peek()
    {
        if (pos_ == end_ && !refill())
            return EOF;
        return static_cast<unsigned char>(*pos_);
    }
    int advance()
    {
        ++pos_;
        return peek();
    }
    bool refill()
    {
        if (ended_ || read_ >= kMaxDeviceListBytes)
            return false;
        size_t want = std::min(sizeof window_, kMaxDeviceListBytes - read_);
        size_t n = fread(window_, 1, want, fp_);
        read_ += n;
        ended_ = n < want;  // end of the list or a read error: do not ask again
        pos_ = window_;
        end_ = window_ + n;
        return n > 0;
    }

    // One read fills these with a list of about 150 devices.
    char stream_buffer_[4096];
    char window_[4096];
    FILE *fp_;  // null for a list given as text
    int open_errno_ = 0;
    const char *pos_ = nullptr;
    const char *end_ = nullptr;
    size_t read_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    bool started_ = false;
    int count_ = 0;
};

// The devices at one address in the bus list sysfs keeps, each named H:C:T:L,
// in whatever order the directory gives them. Only a device at the address
// is looked into: its "scsi_generic/" directory names its node, and its
// "type" file is read on request. A name that does not read as these is
// passed over.
class SysfsBus {
public:
    static constexpr bool kInNodeOrder = false;

    SysfsBus(int host, int id, int lun) : host_(host), id_(id), lun_(lun), dir_(opendir(kSysfsDevices)) {}
    ~SysfsBus()
    {
        if (dir_)
            closedir(dir_);
    }
    SysfsBus(const SysfsBus &) = delete;
    SysfsBus &operator=(const SysfsBus &) = delete;

    bool next(Candidate *c)
    {
        if (!dir_)
            return false;
        while (const dirent *entry = readdir(dir_)) {
            Address a{};
            if (!parse_device_name(entry->d_name, &a) || !at_address(a, host_, id_, lun_))
                continue;
            const size_t length = strnlen(entry->d_name, kMaxDeviceName);
            std::memcpy(device_, entry->d_name, length);
            device_[length] = '\0';
            int node = node_of_device();
            if (node < 0)
                continue;
            c->node = node;
            c->address = a;
            return true;
        }
        return false;
    }

    // The type of the device next() gave last.
    bool type_of(const Candidate &, int *type)
    {
        int fd = open(device_path("/type"), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        char text[kTypeBuffer];
        ssize_t n = read(fd, text, sizeof text);
        close(fd);
        // A text that fills the buffer may go on past it.
        return n > 0 && static_cast<size_t>(n) < sizeof text && parse_type(text, static_cast<size_t>(n), type);
    }

private:
    // The node in the current device's "scsi_generic/", -1 for none. The
    // kernel puts exactly one there; should more show, the lowest stands.
    int node_of_device()
    {
        DIR *dir = opendir(device_path("/scsi_generic"));
        if (!dir)
            return -1;
        int best = -1;
        while (const dirent *entry = readdir(dir)) {
            int node = -1;
            if (parse_node_name(entry->d_name, &node) && (best < 0 || node < best))
                best = node;
        }
        closedir(dir);
        return best;
    }

    const char *device_path(const char *tail)
    {
        std::snprintf(path_, sizeof path_, "%s/%s%s", kSysfsDevices, device_, tail);
        return path_;
    }

    int host_, id_, lun_;
    DIR *dir_;
    char device_[kMaxDeviceName + 1] = "";
    char path_[96] = "";
};

// The lookup when the kernel keeps no proc list. An adapter that does not
// exist costs one failed call, so a scan of every address stays cheap; on
// one that does, the bus list is read once for the devices at the address.
// The channel is ignored, so every device named H:*:T:L counts.
int find_in_sysfs(int host, int id, int lun)
{
    if (host < 0 || id < 0 || lun < 0)
        return -1;  // no name in sysfs reads as a negative number
    char adapter[48];
    std::snprintf(adapter, sizeof adapter, "%s/host%d", kSysfsHosts, host);
    if (access(adapter, F_OK) != 0)
        return -1;
    SysfsBus bus(host, id, lun);
    return lowest_match(bus, host, id, lun);
}

// Decimal digits from p (at least one, no sign) within int; *p is left on the
// first character after them.
bool decimal(const char *&p, const char *end, int *out)
{
    if (p == end || *p < '0' || *p > '9')
        return false;
    long long v = 0;
    for (; p != end && *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + (*p - '0');
        if (v > INT_MAX)
            return false;
    }
    *out = static_cast<int>(v);
    return true;
}

// The same, as the kernel writes numbers into names: no leading zero.
bool name_number(const char *&p, const char *end, int *out)
{
    if (p != end && *p == '0' && p + 1 != end && p[1] >= '0' && p[1] <= '9')
        return false;
    return decimal(p, end, out);
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool parse_node_name(const char *name, int *node)
{
    if (name[0] != 's' || name[1] != 'g')
        return false;
    const char *p = name + 2;
    // Eleven digits without a leading zero are past any int: a longer name
    // need not be looked at whole. "sg01" is not the name of node 1.
    const char *end = p;
    while (end < p + 12 && *end != '\0')
        ++end;
    int n = 0;
    if (!name_number(p, end, &n) || p != end)
        return false;
    *node = n;
    return true;
}

bool parse_device_name(const char *name, Address *out)
{
    // Four numbers within int and three colons make at most 43 characters: a
    // longer name need not be looked at whole.
    const char *end = name;
    while (end < name + kMaxDeviceName + 1 && *end != '\0')
        ++end;
    if (*end != '\0')
        return false;
    const char *p = name;
    // Each number into a local of its own, written out together at the end.
    int host = 0, channel = 0, id = 0, lun = 0;
    auto colon = [&p, end] { return p != end && *p++ == ':'; };
    if (!name_number(p, end, &host) || !colon() || !name_number(p, end, &channel) || !colon() ||
        !name_number(p, end, &id) || !colon() || !name_number(p, end, &lun) || p != end)
        return false;
    *out = Address{host, channel, id, lun};
    return true;
}

bool parse_type(const char *text, size_t length, int *type)
{
    const char *p = text;
    const char *end = text + length;
    while (p != end && is_blank(*p))
        ++p;
    int t = 0;
    if (!decimal(p, end, &t))
        return false;
    while (p != end && is_blank(*p))
        ++p;
    if (p != end)
        return false;
    *type = t;
    return true;
}

int find_node(int host, int id, int lun, int *list_errno)
{
    *list_errno = 0;
    int proc_errno = 0;
    {
        ProcList proc;
        if (proc.is_open())
            return lowest_match(proc, host, id, lun);
        proc_errno = proc.open_errno();
    }
    // Without the proc list, sysfs is read while the sg driver is loaded;
    // with the driver gone, neither source can be read.
    if (access(kSysfsNodes, F_OK) == 0)
        return find_in_sysfs(host, id, lun);
    *list_errno = proc_errno;
    return -1;
}

int find_node_in_text(const char *text, size_t length, int host, int id, int lun)
{
    ProcList list(text, length);
    return lowest_match(list, host, id, lun);
}

}  // namespace stlsg
