// Stand-in for the Linux sg driver and the drives behind it.
//
// The emulator interposes fopen/open/ioctl/close/sleep/time, access and the
// directory and stat calls (see interpose.c). While a bus is loaded it serves
// the device list "/proc/scsi/sg/devices" or the SCSI bus in sysfs (bus key
// "devlist"), the nodes "/dev/sgN" and the sg ioctls; every other path and
// descriptor passes through to the system.
// A bus is loaded from the file named by $KVEMU_BUS on first use, or directly by a
// test through load_bus_text()/load_bus_file(). See emulator/README.md.
#ifndef KVEMU_H
#define KVEMU_H

#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvemu {

using Bytes = std::vector<uint8_t>;

// One command as the drive sees it.
struct Command {
    Bytes cdb;
    int dxfer_direction = 0;  // SG_DXFER_* value of the request
    uint32_t dxfer_len = 0;   // length the host asked to transfer
    Bytes data_out;           // bytes sent to the drive (to-device transfers)
    uint32_t timeout_ms = 0;
};

// A device's answer. Defaults give GOOD status with no data.
struct Reply {
    uint8_t status = 0;  // SCSI status byte
    Bytes data;          // data-in; cut to dxfer_len, residue = dxfer_len - size
    Bytes sense;         // sense bytes; copied up to mx_sb_len
    uint8_t host_status = 0;
    std::optional<uint8_t> driver_status;  // default: 08h when sense is present, else 0
    std::optional<int> resid;              // overrides the computed residue
    std::optional<int> sb_len_wr;          // what the driver claims it wrote (bounded by the buffer)
    int ioctl_errno = 0;                   // nonzero: the SG_IO ioctl itself fails with this errno
};

Reply good(Bytes data = {});
// CHECK CONDITION with 18 bytes of fixed-format sense.
Reply check_condition(uint8_t key, uint8_t asc, uint8_t ascq);
Reply illegal_opcode();  // ILLEGAL REQUEST, invalid command operation code

// Key/value settings of one [device] section; keys may repeat.
struct Config {
    std::multimap<std::string, std::string> values;
    bool has(const std::string &key) const;
    std::string get(const std::string &key, const std::string &def = "") const;
    long get_int(const std::string &key, long def = 0) const;  // decimal or 0x-hex
    Bytes get_bytes(const std::string &key) const;             // hex bytes, blanks ignored
    std::vector<std::string> all(const std::string &key) const;
};

Bytes parse_hex(const std::string &text);
// The numbers of a key "<prefix>N.N...": number i read in bases[i], at most as
// many as there are bases; nullopt when the key has another prefix, a number
// is missing or anything else follows. The caller checks how many came.
std::optional<std::vector<unsigned long>> key_numbers(const std::string &key, const std::string &prefix,
                                                      std::initializer_list<int> bases);
std::string to_hex(const uint8_t *p, size_t n);                   // "12 00 00 00 60 00"
Bytes ascii(const std::string &s, size_t width, char pad = ' ');  // fixed-width text field

// Big- and little-endian fields of `width` (1..8) bytes at `at`, over the
// library's byte toolkit. A get reads bytes past the end of `b` as 0 (a short
// CDB or page); a put requires the whole field inside `b` and throws
// std::out_of_range otherwise.
uint64_t be_at(const Bytes &b, size_t at, int width);
void put_be_at(Bytes &b, size_t at, uint64_t value, int width);
void put_le_at(Bytes &b, size_t at, uint64_t value, int width);

class Device {
public:
    explicit Device(const Config &c) : cfg(c) {}
    virtual ~Device() = default;
    // Answer one command. The base answers "reply.<cdb prefix hex>" settings and
    // refuses anything else with illegal_opcode().
    virtual Reply command(const Command &cmd);
    // Peripheral device type without a "type" setting.
    virtual int default_type() const { return 0; }
    Config cfg;
    // Set by a model when the drive leaves the bus (after a firmware download):
    // its device-list line then reads -1, opens fail and open descriptors get ENODEV.
    bool vanished = false;

protected:
    std::optional<Reply> configured_reply(const Command &cmd) const;
};

// The allocation length in a CDB whose command has one (INQUIRY, MODE SENSE,
// LOG SENSE, ...); nullopt for other commands and for a CDB too short to hold it.
std::optional<uint32_t> allocation_length(const Bytes &cdb);
// A device's reply as it goes out: data-in bytes beyond the CDB's allocation
// length are never sent, as a real drive sends none.
Reply answer(Device &device, const Command &cmd);

using Factory = std::unique_ptr<Device> (*)(const Config &);
// Models by name, as used by "model = <name>". Defined in models/registry.cpp.
Factory find_model(const std::string &name);

// One-shot or repeated outcome forced onto commands of a node, ahead of the model.
struct Override {
    int opcode = -1;  // -1: any command
    int times = 1;    // -1: for ever
    int skip = 0;     // let this many matching commands through first
    Reply reply;
    bool from_model = false;  // start from the model's reply and change only the fields given
    std::optional<uint8_t> status;
    std::optional<uint8_t> host_status;
    std::optional<uint8_t> driver_status;
    std::optional<int> resid;
    std::optional<int> sb_len_wr;
    std::optional<int> short_by;  // transfer this many bytes fewer than the model gave
    std::optional<Bytes> sense;
    int ioctl_errno = 0;
};

// One device of the emulated sysfs (none: it is missing): its name in the bus
// list /sys/bus/scsi/devices, the node's name in its "scsi_generic"
// directory (and in /sys/class/scsi_generic), the text of its "type" file,
// and its adapter's name in /sys/class/scsi_host.
struct SysfsEntry {
    std::optional<std::string> device;
    std::optional<std::string> name;
    std::optional<std::string> type;
    std::optional<std::string> host;
};

struct Node {
    int number = 0;
    std::string line;                 // its line in the device list
    std::optional<SysfsEntry> sysfs;  // its entry in sysfs, if it has one
    std::unique_ptr<Device> device;   // null: listed but no node answers
    Config cfg;
    int host = 0, channel = 0, target = 0, lun = 0, type = 0;
    std::vector<Override> overrides;
    std::vector<Command> commands;  // every command received, in order
    bool record = true;             // "record = 0": commands are neither kept nor traced
    bool raw = false;               // a [raw] section: its line alone, at no address
    int opens = 0, closes = 0;
};

// Replace the bus with one described by the text of a bus file.
void load_bus_text(const std::string &text);
void load_bus_file(const std::string &path);
// Remove the bus: every interposed call passes through to the system again.
void unload_bus();
bool bus_loaded();

Node *node(int number);
Node *node_at(int host, int target, int lun = 0);
int node_count();
void add_override(int node_number, const Override &o);

// What happened on the bus, in order. Tests compare these texts.
//   "open sg0", "open sg5 failed", "close sg0",
//   "cmd sg0 12 00 00 00 60 00"            (a command, its CDB)
//   "out sg0 00 01 02 ..."                (data-out bytes of the command just above)
//   "reset sg0 1", "sleep 150"
const std::vector<std::string> &trace();
// Every call the emulator answered on the paths where devices are listed
// (the proc list and the sysfs directories and files), in order:
//   "fopen /proc/scsi/sg/devices failed", "access /sys/class/scsi_host/host1",
//   "opendir /sys/bus/scsi/devices", "open /sys/bus/scsi/devices/1:0:4:0/type"
// Kept in-process only, never in $KVEMU_TRACE.
const std::vector<std::string> &listing_calls();
// Clears the trace and the listing calls.
void clear_trace();
// Set the device-list text served instead of the generated one.
void set_device_list_text(const std::string &text);
// Set the sysfs devices served instead of the generated ones, listed in the
// order given (served while the bus lists its devices in sysfs).
void set_sysfs_entries(std::vector<SysfsEntry> entries);
// Seconds asked of sleep() while a bus was loaded.
const std::vector<unsigned> &sleeps();
// Open emulated descriptors right now.
int open_descriptors();

// The clock time() reads. Once stepped, every reading is one second later than
// the one before, the first being `start`, and sleep() (with a bus loaded) moves
// it on by the seconds asked. real_clock() and unload_bus() give the system's
// clock back.
void step_clock(std::time_t start);
void real_clock();

// While set, every SG_IO on any node is answered by this function instead of
// the node's model (overrides still apply): fuzz targets take a drive's
// answers from their input this way. Null gives the models back.
using ReplyHook = Reply (*)(const Command &);
void set_reply_hook(ReplyHook hook);

// While a bus is loaded, fopen()/open()/opendir()/access() of `from` go to
// `to` instead (an empty `to` removes the redirection). $KVEMU_LOGFILE
// redirects the tool's log file "/var/vxt/Component.log" the same way, so
// tests never touch the real one.
void redirect_path(const std::string &from, const std::string &to);

}  // namespace kvemu

#endif
