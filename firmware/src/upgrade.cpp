// Upgrade recommendation, firmware download and the verification that follows.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "common.h"
#include "discover.h"
#include "logfile.h"
#include "ltolib.h"
#include "scsi_constants.h"
#include "scsilib.h"
#include "stlsg.h"
#include "stringhelper.h"
#include "toolkit.h"
#include "upgrade.h"

int debug_upgrade = 0;

namespace {

using firmware::field;
using firmware::File;
using firmware::shown;

constexpr const char *kImageDir = "fwimage";
constexpr int kChunkSize = 32768;
constexpr int32 kCommandTimeoutMs = 100000;  // a drive may take long to take a chunk
constexpr unsigned kFlashWaitSeconds = 150;  // drives reprogram themselves meanwhile
constexpr int32 kNoThirdParty = 255;
constexpr int32 kNoClosing = -1;
// WRITE BUFFER carries the buffer offset in 24 bits.
constexpr long kBufferOffsetLimit = 0x1000000;

// How a drive model takes its image. Every chunk goes out in mode "download
// microcode".
struct Road {
    int32 buffer_id;
    int32 first_offset;
    bool offset_advances;  // each chunk lands after the one before
    int32 closing_mode;    // mode of the empty command that commits the image, or kNoClosing
    bool chunk_detail;     // a failed chunk is logged with its number and byte counts
    const char *flashing;  // the log line of a download that went through
};

constexpr const char *kFlashing = "firmware is being flashed!\n";
constexpr const char *kFlashingWait = "firmware is being flashed - WAIT!\n";
// Drives of this model take the image into buffer 1 from a fixed offset and
// commit it with an empty mode-4 command.
constexpr std::string_view kRqnProduct = "RQN512";
constexpr Road kRqnRoad = {1, 0x10000, true, SCSI_WRITE_BUFFER_DOWNLOAD, false, kFlashingWait};
// LTO drives take every chunk at offset 0 of buffer 0 and commit with an empty
// mode-5 command.
constexpr Road kLtoRoad = {0, 0, false, SCSI_WRITE_BUFFER_DOWNLOAD_SAVE, true, kFlashing};
// Other drives take the image as it arrives: nothing but the chunks tells the outcome.
constexpr Road kPlainRoad = {0, 0, false, kNoClosing, true, kFlashing};

// Chosen once per drive: by the product text the drive reports, else by
// asking the drive.
const Road &road_for(DRIVE *drv, std::string_view product)
{
    if (product == kRqnProduct)
        return kRqnRoad;
    return lto_drive_is_lto(drv) ? kLtoRoad : kPlainRoad;
}

// Messages are built at their full length: a long product identification read
// from an XML file must not cut the rest of the line away.
__attribute__((format(printf, 1, 2))) std::string format(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, again);
        out.resize(static_cast<size_t>(n));
    }
    va_end(again);
    return out;
}

void log_text(const std::string &msg) { _log(msg.c_str()); }

// Verification lines go to the log, and to the console too when tracing.
void log_and_trace(const std::string &msg)
{
    log_text(msg);
    if (debug_upgrade)
        std::fputs(msg.c_str(), stdout);
}

// The image could not be read to its end: nothing may commit what was sent.
void log_unreadable()
{
    _log("Unable to read download file!\n");
    _log("Firmware download failed!\n");
}

std::string address_text(const DRIVE &d)
{
    return format("Card ID %d, Bus Addr %d, LUN %d", d.card_id, d.bus_addr, d.lun);
}

bool sends_image(const driveinfo &rec)
{
    std::string_view a = field(rec.Action);
    return a == "upgrade" || a == "rewrite" || a == "downgrade";
}

// Whether a drive at `before` and then at `after` went as `action` asked. Also
// asked before a download, with the image's version as `after`: an image that
// could not pass this check afterwards is not sent. Comparisons with a value
// that is not a number are false, so such a drive fails every action.
bool action_holds(std::string_view action, double before, double after)
{
    if (action == "upgrade")
        return after > before;
    if (action == "downgrade")
        return before > after;
    if (action == "rewrite" || action == "skip")
        return after == before;
    return false;
}

// Reads the next chunk of the image, never beyond the size it had when it was
// opened. Returns the chunk length, 0 at the end, -1 when the file cannot be
// read or ends before that size (it changed under us).
int read_chunk(FILE *fp, unsigned char *buf, long &left)
{
    if (left == 0)
        return 0;
    size_t want = left < kChunkSize ? static_cast<size_t>(left) : kChunkSize;
    size_t got = std::fread(buf, 1, want, fp);
    if (got != want)
        return -1;
    left -= static_cast<long>(got);
    return static_cast<int>(got);
}

// Opens the image and measures it. Null with `why` set to the log line when it
// cannot: a directory, FIFO or any other non-regular file is no image.
File open_image(const std::string &path, long &size, const char *&why)
{
    File fp;
    int fd = firmware::open_regular_file(path.c_str());
    if (fd >= 0)
        fp.reset(fdopen(fd, "rb"));
    if (!fp) {
        if (fd >= 0)
            close(fd);
        why = "Error open file\n";
        return nullptr;
    }
    why = "Unable to read EOF on download file!\n";
    if (std::fseek(fp.get(), 0, SEEK_END) != 0)
        return nullptr;
    size = std::ftell(fp.get());
    if (size < 0) {
        why = "Unable to read size of download file\n";
        return nullptr;
    }
    if (std::fseek(fp.get(), 0, SEEK_SET) != 0)
        return nullptr;
    why = nullptr;
    return fp;
}

// Offsets past 24 bits would all be sent as FFFFFFh and overwrite each other
// in the drive's buffer.
bool fits_buffer(const Road &road, long size)
{
    return !road.offset_advances || size <= kBufferOffsetLimit - road.first_offset;
}

void log_failed_chunk(const Road &road, int chunk, int32 nbytes, int length)
{
    if (!road.chunk_detail) {
        _log("Firmware download failed!\n");
        return;
    }
    log_text(format("Firmware download failed on chunk %d!\n", chunk));
    log_text(format("nbytes = %d, length = %d\n", nbytes, length));
}

// The last command was refused because another initiator holds the drive.
bool held_elsewhere(const DRIVE &drv) { return drv.scsi_status == SCSI_STATUS_RESERVATION_CONFLICT; }

void log_held_elsewhere(const DRIVE &drv)
{
    log_text("Error: " + address_text(drv) + " is reserved by another initiator; nothing more sent.\n");
}

// What happened to one listed drive. The wait, the error count and the
// verification read it, and nothing else.
struct DriveRecord {
    enum class Fate {
        passed_by,     // its action sends no image: judged by its version alone
        unconfigured,  // no configuration entry: passed by too (an error only when tracing)
        refused,       // nothing committed, counted at once: no usable entry, unreachable, not the
                       // drive listed, or not ours
        not_sent,      // its image could not be read, is empty or does not fit: nothing sent
        failed,        // a transfer ran and the drive did not take the image
        flashing,      // the drive took the image and is reprogramming itself
    };
    Fate fate = Fate::passed_by;
    bool identified = false;  // the drive answered as the one listed before its download
    double installed = 0;     // and reported this version then

    // Chunks went out: the drive may be busy with them for a while.
    bool transferred() const { return fate == Fate::failed || fate == Fate::flashing; }
    // Asked for an image and did not take one: no check can pass it.
    bool went_wrong() const { return fate == Fate::refused || fate == Fate::not_sent || fate == Fate::failed; }
    // A failure not counted yet, which the verification counts even when the
    // drive is not found again.
    bool owes_verdict() const { return transferred() || fate == Fate::not_sent; }
};

using Fate = DriveRecord::Fate;
using DriveRecords = std::array<DriveRecord, MAX_DRIVES>;

// Sends the image chunk by chunk along the road, then the closing command when
// the road has one; the closing command alone tells the outcome then. A chunk
// not taken in full ends the download without it: what the drive holds then (a
// part of the image, or nothing after a reset) must never be committed. A chunk
// refused for another initiator's reservation sent nothing that counts: that
// drive is not ours.
Fate send_image(DRIVE *drv, FILE *fp, long size, const Road &road, unsigned char *buf)
{
    int32 offset = road.first_offset;
    long left = size;
    int length;
    for (int nchunks = 0; (length = read_chunk(fp, buf, left)) != 0; ++nchunks) {
        if (length < 0) {
            log_unreadable();
            return Fate::failed;
        }
        int32 nbytes = scsi_write_buffer(drv, buf, road.buffer_id, SCSI_WRITE_BUFFER_DOWNLOAD, offset, length);
        if (nbytes != length) {
            log_failed_chunk(road, nchunks, nbytes, length);
            if (held_elsewhere(*drv)) {
                log_held_elsewhere(*drv);
                return Fate::refused;
            }
            _log("Firmware download failed!\n");
            return Fate::failed;
        }
        if (road.offset_advances)
            offset += nbytes;
    }
    bool failed = road.closing_mode != kNoClosing &&
                  scsi_write_buffer(drv, buf, road.buffer_id, road.closing_mode, 0, 0) < 0;
    _log(failed ? "Firmware download failed!\n" : road.flashing);
    return failed ? Fate::failed : Fate::flashing;
}

// RESERVE, once more after a UNIT ATTENTION (a reset cleared the drive's
// state, reservations included). False when another initiator holds the
// drive; any other refusal leaves it to the commands that follow.
bool reserve(DRIVE *drv)
{
    if (scsi_reserve_unit_thirdparty(drv, kNoThirdParty) >= 0)
        return true;
    if (drv->scsi_status == SCSI_STATUS_CHECK_CONDITION &&
        (drv->sense_byte & SCSI_SENSE_KEY_MASK) == SCSI_SENSE_UNIT_ATTENTION &&
        scsi_reserve_unit_thirdparty(drv, kNoThirdParty) >= 0)
        return true;
    return !held_elsewhere(*drv);
}

// The drive at the listed address, open in `drv`, must be the one listed and
// the image must suit the action; logs why not. Sends only read-only commands.
// Notes in `d` what the drive reported, and its product text in `product`.
bool drive_suits(DRIVE *drv, const driveinfo &rec, const driveinfo &entry, DriveRecord &d, std::string &product)
{
    // The list names an address only: what answers there now must be a KV
    // tape drive of the listed type before anything that changes it is sent.
    auto now = std::make_unique<driveinfo>();
    if (!identify_drive(drv, now.get()) || now->DriveID != rec.DriveID) {
        log_text(format("Error: %s is not a KV tape drive with Drive ID %#08x; nothing sent.\n",
                        address_text(*drv).c_str(), rec.DriveID));
        return false;
    }
    d.identified = true;
    d.installed = now->FwVersion;
    product = std::string(field(now->ProductID));
    // A plan older than the drive or the image must not turn an upgrade into
    // a downgrade, nor the other way round.
    std::string_view action = field(rec.Action);
    if (!action_holds(action, now->FwVersion, entry.FwVersion)) {
        log_text(format("Error: %s reports Fw %f, the image configured for Drive ID %#08x is Fw %f: no %s; "
                        "nothing sent.\n",
                        address_text(*drv).c_str(), now->FwVersion, rec.DriveID, entry.FwVersion,
                        std::string(action).c_str()));
        return false;
    }
    return true;
}

void log_download_header(const driveinfo &rec, const std::string &action, const std::string &path)
{
    log_text(format("Drive ID: %#08x, Product ID: %s, Action: %s\n", rec.DriveID, shown(rec.ProductID).c_str(),
                    action.c_str()));
    log_text(format("File name: %s\n", shown(path).c_str()));
}

// Opens, identifies, reserves and downloads one drive. A drive that took the
// image stays reserved while it reprograms itself (its reset drops the
// reservation); after a failed transfer the reservation is released again.
DriveRecord download_drive(const driveinfo &rec, const driveinfo &entry, unsigned char *buf)
{
    std::string path = std::string(kImageDir) + "/" + std::string(field(entry.FwFile));
    std::string action = shown(rec.Action);
    DriveRecord d;
    d.fate = Fate::refused;  // until the image is opened or sent

    DRIVE drv = rec.DRV;
    if (debug_upgrade)
        std::printf("Drive %#08x, Card ID %d, Bus Addr %d, Action %s, Firmware Image %s \n", rec.DriveID,
                    drv.card_id, drv.bus_addr, action.c_str(), shown(path).c_str());
    scsi_open_mode = DRIVE_OPEN_MODE;
    scsi_configure_logging(&drv, stdout, LOG_NOTHING);
    if (scsi_open_device(&drv) != 0) {
        _log("Error: Unable to access tape drive.\n");
        if (debug_upgrade)
            std::printf("Error: Unable to access tape drive.\n");
        return d;
    }

    std::string product;
    if (!drive_suits(&drv, rec, entry, d, product)) {
        scsi_close_device(&drv);
        return d;
    }
    long size = 0;
    const char *why = nullptr;
    File fp = open_image(path, size, why);
    // An empty file is no image: the closing command alone would commit
    // whatever the drive's buffer holds.
    if (fp && size == 0)
        why = "Firmware image is empty!\n";
    else if (fp && product == kRqnProduct && !fits_buffer(kRqnRoad, size))
        why = "Firmware image too large for the drive's buffer!\n";
    if (why) {
        log_download_header(rec, action, path);
        _log(why);
        scsi_close_device(&drv);
        d.fate = Fate::not_sent;
        return d;
    }

    if (!reserve(&drv)) {
        log_held_elsewhere(drv);
        scsi_close_device(&drv);
        return d;
    }
    scsi_set_timeout(&drv, kCommandTimeoutMs);
    log_download_header(rec, action, path);

    // The road goes by what the drive says it is, not by what the list says.
    d.fate = send_image(&drv, fp.get(), size, road_for(&drv, product), buf);
    if (debug_upgrade) {
        _log("Completed.\n");
        std::printf("Completed.\n");
    }
    if (d.fate == Fate::failed)
        scsi_release_unit_thirdparty(&drv, kNoThirdParty);
    scsi_close_device(&drv);
    return d;
}

// The configuration entry gives the image by name; an entry without one (a
// line with no file field, or with a name that did not fit, a piece of a line
// too long to read whole, or the free record a drive identifier of 0 finds)
// has nothing to send.
bool names_image(const driveinfo &entry)
{
    char name[sizeof entry.FwFile];
    firmware::copy_field(name, entry.FwFile);
    return trim(name)[0] != '\0';
}

// An image lies in the image directory: a name that starts at the root or
// climbs out of the directory names some other file.
bool inside_image_dir(std::string_view name)
{
    if (!name.empty() && name.front() == '/')
        return false;
    for (size_t at = 0; at <= name.size();) {
        size_t end = std::min(name.find('/', at), name.size());
        if (name.substr(at, end - at) == "..")
            return false;
        at = end + 1;
    }
    return true;
}

void report_failed(const driveinfo &rec)
{
    log_and_trace(
        format("Drive ID: %#08x, Product ID: %s, Action: Failed\n", rec.DriveID, shown(rec.ProductID).c_str()));
    std::printf("\n here 3\n");
}

bool same_address(const DRIVE &a, const DRIVE &b)
{
    return a.card_id == b.card_id && a.bus_addr == b.bus_addr && a.lun == b.lun;
}

// Index of the first record in use that lists the address, or -1. A drive is
// listed by its first record; a later one for its address is a repetition.
int first_listing(const driveinfo *list, const DRIVE &at)
{
    for (int i = 0; i < MAX_DRIVES; ++i)
        if (list[i].Configured && same_address(list[i].DRV, at))
            return i;
    return -1;
}

// Why the list record, or the configuration entry for it, cannot be sent at
// all, logged; false when it can be tried.
bool entry_refused(const driveinfo *list, int i, const driveinfo &entry)
{
    const driveinfo &rec = list[i];
    if (first_listing(list, rec.DRV) != i) {
        log_text("Error: " + address_text(rec.DRV) +
                 " is listed more than once; nothing sent for this entry.\n");
        return true;
    }
    if (!names_image(entry)) {
        log_text(
            format("Error: No firmware image configured for Drive ID %#08x; nothing sent.\n", rec.DriveID));
        return true;
    }
    // 0 is what a drive whose identifier could not be read is listed with, and
    // what a configuration line without one (commented out, say) reads as:
    // pairing the two would flash a drive of unknown type.
    if (rec.DriveID == 0) {
        log_text("Error: " + address_text(rec.DRV) +
                 " is listed with Drive ID 0, which names no drive type; nothing sent.\n");
        return true;
    }
    if (!inside_image_dir(field(entry.FwFile))) {
        log_text(format("Error: Image name %s for Drive ID %#08x is not inside %s; nothing sent.\n",
                        shown(entry.FwFile).c_str(), rec.DriveID, kImageDir));
        return true;
    }
    return false;
}

// Sends the configured image to every listed drive whose action asks for one.
// A drive refused is shown at once.
DriveRecords download_all(driveinfo *list, driveinfo *config)
{
    // One chunk buffer for every drive: the image is never held whole.
    static std::array<unsigned char, kChunkSize> chunk_buffer;
    DriveRecords drives;
    for (int i = 0; i < MAX_DRIVES; ++i) {
        const driveinfo &rec = list[i];
        if (!rec.Configured)
            continue;
        const driveinfo *entry = find_drive(rec.DriveID, config);
        if (!entry) {
            drives[i].fate = Fate::unconfigured;
            if (debug_upgrade) {
                std::string msg = format("Error: Unable to find configuration for %s %s\n",
                                         shown(rec.VendorID).c_str(), shown(rec.ProductID).c_str());
                log_text(msg);
                std::fputs(msg.c_str(), stdout);
                std::printf("\n here 1\n");
            }
            continue;
        }
        if (!sends_image(rec)) {
            if (debug_upgrade)
                std::printf("Dirve ID %#08x [%s] : Skipping Drive.\n", rec.DriveID,
                            shown(rec.ProductID).c_str());
            continue;
        }
        if (entry_refused(list, i, *entry))
            drives[i].fate = Fate::refused;
        else
            drives[i] = download_drive(rec, *entry, chunk_buffer.data());
        if (drives[i].fate == Fate::refused)
            std::printf("\n here 2\n");
    }
    return drives;
}

// The failures the download counts itself: every drive refused, and when
// tracing every listed drive without a configuration entry.
int download_errors(const DriveRecords &drives)
{
    return static_cast<int>(std::count_if(drives.begin(), drives.end(), [](const DriveRecord &d) {
        return d.fate == Fate::refused || (debug_upgrade && d.fate == Fate::unconfigured);
    }));
}

// A failed transfer earns the wait as well: a drive that took part of an image
// may still be busy with it.
void wait_for_reprogramming(const DriveRecords &drives)
{
    if (std::any_of(drives.begin(), drives.end(), [](const DriveRecord &d) { return d.transferred(); }))
        sleep(kFlashWaitSeconds);
}

// Scans again and checks every drive found against the record that lists its
// address. A drive that got an image, or should have and did not, and is not
// back as the drive listed cannot pass.
int verify(driveinfo *list, const DriveRecords &drives)
{
    // The verifying table is large; keep it off the stack.
    auto found = std::make_unique<driveinfo[]>(MAX_DRIVES);
    int count_found = discover(found.get());
    if (debug_upgrade) {
        print_title("\tRe-Discovered ");
        print_config(found.get());
        print_title("\tResult");
    }
    int errors = 0;
    bool judged[MAX_DRIVES] = {};
    for (int j = 0; j < count_found && j < MAX_DRIVES; ++j) {
        const driveinfo &now = found[j];
        int i = first_listing(list, now.DRV);
        // Another drive at a listed address is that record's drive only when
        // it was flashed there: it came back as another type.
        if (i < 0 || (list[i].DriveID != now.DriveID && !drives[i].transferred())) {
            log_and_trace(format("Drive ID: %#08x, Product ID: %s is not suggested to be upgraded.\n",
                                 now.DriveID, shown(now.ProductID).c_str()));
            continue;
        }
        judged[i] = true;
        const driveinfo &rec = list[i];
        const DriveRecord &d = drives[i];
        double before = d.identified ? d.installed : rec.FwVersion;
        if (rec.DriveID == now.DriveID && !d.went_wrong() &&
            action_holds(field(rec.Action), before, now.FwVersion)) {
            log_and_trace(format("Drive ID: %#08x, Product ID: %s, Action: %s\n", now.DriveID,
                                 shown(now.ProductID).c_str(), shown(rec.Action).c_str()));
        } else {
            report_failed(now);
            errors++;
        }
    }
    for (int i = 0; i < MAX_DRIVES; ++i) {
        if (drives[i].owes_verdict() && !judged[i]) {
            report_failed(list[i]);
            errors++;
        }
    }
    return errors;
}

}  // namespace

void recommend_upgrade(driveinfo *lst_drv_discovered, driveinfo *lst_drv_config,
                       driveinfo *lst_drv_recommendation)
{
    firmware::clear_table(lst_drv_recommendation);
    int next = 0;
    for (int i = 0; i < MAX_DRIVES; ++i) {
        const driveinfo &found = lst_drv_discovered[i];
        if (!found.Configured)
            continue;
        const driveinfo *entry = find_drive(found.DriveID, lst_drv_config);
        if (!entry)
            continue;
        driveinfo &rec = lst_drv_recommendation[next++];
        rec = found;
        std::printf("Discovered Fw %f Configured Fw %f\n", found.FwVersion, entry->FwVersion);
        std::snprintf(rec.Action, sizeof rec.Action, "%s",
                      entry->FwVersion > found.FwVersion ? "upgrade" : "skip");
        rec.ActiveVersion = entry->FwVersion;
    }
}

int upgrade(driveinfo *lst_drv_upgrade, driveinfo *lst_drv_config)
{
    if (debug_upgrade) {
        print_title("\tInventory Of Online Drives ");
        print_title("\tUpgrading Firmware");
    }
    DriveRecords drives = download_all(lst_drv_upgrade, lst_drv_config);
    wait_for_reprogramming(drives);
    return download_errors(drives) + verify(lst_drv_upgrade, drives);
}

void ptrfvi(int s)
{
    if (s > 100)
        s = 100;
    if (debug_upgrade)
        std::printf("Upgrade %d%%\n", s);
}
