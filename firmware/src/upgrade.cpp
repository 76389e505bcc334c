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
// WRITE BUFFER modes: download microcode, and download microcode and save it.
constexpr int32 kModeDownload = 4;
constexpr int32 kModeDownloadSave = 5;
constexpr int32 kNoClosing = -1;
// WRITE BUFFER carries the buffer offset in 24 bits.
constexpr long kBufferOffsetLimit = 0x1000000;
// What a drive answers when another initiator holds it, and when it was reset
// since the last command.
constexpr u_int8 kStatusReservationConflict = 0x18;
constexpr u_int8 kStatusCheckCondition = 0x02;
constexpr u_int8 kSenseUnitAttention = 0x06;

// How a drive model takes its image. Every chunk goes out in kModeDownload.
struct Road {
    int32 buffer_id;
    int32 first_offset;
    bool offset_advances;  // each chunk lands after the one before
    int32 closing_mode;    // mode of the empty command that commits the image, or kNoClosing
    bool chunk_detail;     // a failed chunk is logged with its number and byte counts
    const char *flashing;  // the log line of a download that went through
};

// Drives of this model take the image into buffer 1 from a fixed offset and
// commit it with an empty mode-4 command.
constexpr std::string_view kRqnProduct = "RQN512";
constexpr Road kRqnRoad = {1, 0x10000, true, kModeDownload, false, "firmware is being flashed - WAIT!\n"};
// LTO drives take every chunk at offset 0 of buffer 0 and commit with an empty
// mode-5 command.
constexpr Road kLtoRoad = {0, 0, false, kModeDownloadSave, true, "firmware is being flashed!\n"};
// Other drives take the image as it arrives: nothing but the chunks tells the outcome.
constexpr Road kPlainRoad = {0, 0, false, kNoClosing, true, "firmware is being flashed!\n"};

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
bool held_elsewhere(const DRIVE &drv) { return drv.scsi_status == kStatusReservationConflict; }

void log_held_elsewhere(const DRIVE &drv)
{
    log_text("Error: " + address_text(drv) + " is reserved by another initiator; nothing more sent.\n");
}

enum class Transfer { taken, failed, held_elsewhere };

// Sends the image chunk by chunk along the road, then the closing command when
// the road has one; the closing command alone tells the outcome then. A chunk
// refused for another initiator's reservation ends it at once: that drive is
// not ours to commit.
Transfer send_image(DRIVE *drv, FILE *fp, long size, const Road &road, unsigned char *buf)
{
    int32 offset = road.first_offset;
    long left = size;
    int length;
    int nchunks = 0;
    bool chunks_taken = true;
    while ((length = read_chunk(fp, buf, left)) != 0) {
        if (length < 0) {
            log_unreadable();
            return Transfer::failed;
        }
        int32 nbytes = scsi_write_buffer(drv, buf, road.buffer_id, kModeDownload, offset, length);
        if (nbytes != length) {
            log_failed_chunk(road, nchunks, nbytes, length);
            if (held_elsewhere(*drv)) {
                log_held_elsewhere(*drv);
                return Transfer::held_elsewhere;
            }
            chunks_taken = false;
            break;
        }
        nchunks++;
        if (road.offset_advances)
            offset += nbytes;
    }
    bool failed;
    if (road.closing_mode != kNoClosing)
        failed = scsi_write_buffer(drv, buf, road.buffer_id, road.closing_mode, 0, 0) < 0;
    else
        failed = nchunks == 0 || !chunks_taken;  // no chunk sent, or one not taken in full
    _log(failed ? "Firmware download failed!\n" : road.flashing);
    return failed ? Transfer::failed : Transfer::taken;
}

// RESERVE, once more after a UNIT ATTENTION (a reset cleared the drive's
// state, reservations included). False when another initiator holds the
// drive; any other refusal leaves it to the commands that follow.
bool reserve(DRIVE *drv)
{
    if (scsi_reserve_unit_thirdparty(drv, kNoThirdParty) >= 0)
        return true;
    if (drv->scsi_status == kStatusCheckCondition && (drv->sense_byte & 0x0F) == kSenseUnitAttention &&
        scsi_reserve_unit_thirdparty(drv, kNoThirdParty) >= 0)
        return true;
    return !held_elsewhere(*drv);
}

// How the visit of one drive ended.
enum class Outcome {
    unreachable,  // could not be opened
    refused,      // not the drive listed, not for this image, or not ours: nothing sent
    not_sent,     // the image could not be opened or does not fit: nothing sent
    failed,       // the transfer ran and the drive did not take the image
    flashing,     // the drive took the image and is reprogramming itself
};

struct Visit {
    Outcome outcome = Outcome::unreachable;
    bool identified = false;  // the drive answered as the one listed
    double installed = 0;     // its firmware version then
    std::string product;      // and its product text
};

// The drive at the listed address, open in `drv`, must be the one listed and
// the image must suit the action; logs why not. Sends only read-only commands.
bool drive_suits(DRIVE *drv, const driveinfo &rec, const driveinfo &entry, Visit &visit)
{
    // The list names an address only: what answers there now must be a KV
    // tape drive of the listed type before anything that changes it is sent.
    auto now = std::make_unique<driveinfo>();
    if (!identify_drive(drv, now.get()) || now->DriveID != rec.DriveID) {
        log_text(format("Error: %s is not a KV tape drive with Drive ID %#08x; nothing sent.\n",
                        address_text(*drv).c_str(), rec.DriveID));
        return false;
    }
    visit.identified = true;
    visit.installed = now->FwVersion;
    visit.product = std::string(field(now->ProductID));
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
// reservation); on every other road the reservation is released again.
Visit download_drive(const driveinfo &rec, const driveinfo &entry, unsigned char *buf)
{
    std::string path = std::string(kImageDir) + "/" + std::string(field(entry.FwFile));
    std::string action = shown(rec.Action);
    Visit visit;

    DRIVE drv = rec.DRV;
    if (debug_upgrade)
        std::printf("Drive %#08x, Card ID %d, Bus Addr %d, Action %s, Firmware Image %s \n", rec.DriveID,
                    drv.card_id, drv.bus_addr, action.c_str(), shown(path).c_str());
    scsi_open_mode = DRIVE_OPEN_MODE;
    scsi_configure_logging(&drv, stdout, LOG_NOTHING);
    if (scsi_open_device(&drv) != 0)
        return visit;

    visit.outcome = Outcome::refused;
    if (!drive_suits(&drv, rec, entry, visit)) {
        scsi_close_device(&drv);
        return visit;
    }
    long size = 0;
    const char *why = nullptr;
    File fp = open_image(path, size, why);
    if (fp && visit.product == kRqnProduct && !fits_buffer(kRqnRoad, size))
        why = "Firmware image too large for the drive's buffer!\n";
    if (why) {
        log_download_header(rec, action, path);
        _log(why);
        scsi_close_device(&drv);
        visit.outcome = Outcome::not_sent;
        return visit;
    }

    if (!reserve(&drv)) {
        log_held_elsewhere(drv);
        scsi_close_device(&drv);
        return visit;
    }
    scsi_set_timeout(&drv, kCommandTimeoutMs);
    log_download_header(rec, action, path);

    // The road goes by what the drive says it is, not by what the list says.
    Transfer sent = send_image(&drv, fp.get(), size, road_for(&drv, visit.product), buf);
    if (debug_upgrade) {
        _log("Completed.\n");
        std::printf("Completed.\n");
    }
    visit.outcome = sent == Transfer::taken ? Outcome::flashing : Outcome::failed;
    if (sent == Transfer::failed)
        scsi_release_unit_thirdparty(&drv, kNoThirdParty);
    scsi_close_device(&drv);
    return visit;
}

// The configuration entry gives the image by name; an entry without one (a
// line with no file field, or the free record a drive identifier of 0 finds)
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

// What the downloads left for the wait and the verification, by position in
// the list.
struct Downloads {
    int errors = 0;
    int sent = 0;                       // drives that an image transfer ran for
    bool transferred[MAX_DRIVES] = {};  // an image transfer ran
    // Asked for an image and did not take one: no check can pass it.
    bool failed[MAX_DRIVES] = {};
    bool counted[MAX_DRIVES] = {};  // that failure is counted already
    bool identified[MAX_DRIVES] = {};
    double installed[MAX_DRIVES] = {};  // the version the drive reported before its download
};

// A drive the tool would not send to: counted and shown at once.
void refuse(Downloads &done, int i)
{
    done.errors++;
    done.failed[i] = true;
    done.counted[i] = true;
    std::printf("\n here 2\n");
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
    if (!inside_image_dir(field(entry.FwFile))) {
        log_text(format("Error: Image name %s for Drive ID %#08x is not inside %s; nothing sent.\n",
                        shown(entry.FwFile).c_str(), rec.DriveID, kImageDir));
        return true;
    }
    return false;
}

// Sends the configured image to every listed drive whose action asks for one.
Downloads download_all(driveinfo *list, driveinfo *config)
{
    // One chunk buffer for every drive: the image is never held whole.
    static std::array<unsigned char, kChunkSize> chunk_buffer;
    Downloads done;
    for (int i = 0; i < MAX_DRIVES; ++i) {
        const driveinfo &rec = list[i];
        if (!rec.Configured)
            continue;
        const driveinfo *entry = find_drive(rec.DriveID, config);
        if (!entry) {
            if (debug_upgrade) {
                std::string msg = format("Error: Unable to find configuration for %s %s\n",
                                         shown(rec.VendorID).c_str(), shown(rec.ProductID).c_str());
                log_text(msg);
                std::fputs(msg.c_str(), stdout);
                std::printf("\n here 1\n");
                done.errors++;
            }
            continue;
        }
        if (!sends_image(rec)) {
            if (debug_upgrade)
                std::printf("Dirve ID %#08x [%s] : Skipping Drive.\n", rec.DriveID,
                            shown(rec.ProductID).c_str());
            continue;
        }
        if (entry_refused(list, i, *entry)) {
            refuse(done, i);
            continue;
        }
        Visit visit = download_drive(rec, *entry, chunk_buffer.data());
        done.identified[i] = visit.identified;
        done.installed[i] = visit.installed;
        switch (visit.outcome) {
        case Outcome::unreachable:
            _log("Error: Unable to access tape drive.\n");
            if (debug_upgrade)
                std::printf("Error: Unable to access tape drive.\n");
            refuse(done, i);
            break;
        case Outcome::refused:
            refuse(done, i);
            break;
        case Outcome::not_sent:
            done.failed[i] = true;
            break;
        case Outcome::failed:
            done.failed[i] = true;
            done.transferred[i] = true;
            done.sent++;
            break;
        case Outcome::flashing:
            done.transferred[i] = true;
            done.sent++;
            break;
        }
    }
    return done;
}

void wait_for_reprogramming(const Downloads &done)
{
    if (done.sent > 0)
        sleep(kFlashWaitSeconds);
}

// Scans again and checks every drive found against the record that lists its
// address. A drive that got an image, or should have and did not, and is not
// back as the drive listed cannot pass.
int verify(driveinfo *list, const Downloads &done)
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
        if (i < 0 || (list[i].DriveID != now.DriveID && !done.transferred[i])) {
            log_and_trace(format("Drive ID: %#08x, Product ID: %s is not suggested to be upgraded.\n",
                                 now.DriveID, shown(now.ProductID).c_str()));
            continue;
        }
        judged[i] = true;
        const driveinfo &rec = list[i];
        double before = done.identified[i] ? done.installed[i] : rec.FwVersion;
        if (rec.DriveID == now.DriveID && !done.failed[i] &&
            action_holds(field(rec.Action), before, now.FwVersion)) {
            log_and_trace(format("Drive ID: %#08x, Product ID: %s, Action: %s\n", now.DriveID,
                                 shown(now.ProductID).c_str(), shown(rec.Action).c_str()));
        } else {
            report_failed(now);
            errors++;
        }
    }
    for (int i = 0; i < MAX_DRIVES; ++i) {
        if ((done.transferred[i] || (done.failed[i] && !done.counted[i])) && !judged[i]) {
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
    Downloads done = download_all(lst_drv_upgrade, lst_drv_config);
    wait_for_reprogramming(done);
    return done.errors + verify(lst_drv_upgrade, done);
}

void ptrfvi(int s)
{
    if (s > 100)
        s = 100;
    if (debug_upgrade)
        std::printf("Upgrade %d%%\n", s);
}
