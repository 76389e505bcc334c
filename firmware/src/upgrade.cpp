// Upgrade recommendation, firmware download and the verification that follows.
#include <unistd.h>

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "common.h"
#include "ltolib.h"
#include "scsilib.h"
#include "stlsg.h"
#include "toolkit.h"

int debug_upgrade = 0;

namespace {

using firmware::field;
using firmware::File;

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

// Chosen once per drive: by the product text, else by asking the drive.
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

bool sends_image(const driveinfo &rec)
{
    std::string_view a = field(rec.Action);
    return a == "upgrade" || a == "rewrite" || a == "downgrade";
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

// Opens the image and measures it; logs why when it cannot. A directory, FIFO
// or any other non-regular file is no image.
File open_image(const std::string &path, long &size)
{
    File fp;
    int fd = firmware::open_regular_file(path.c_str());
    if (fd >= 0)
        fp.reset(fdopen(fd, "rb"));
    if (!fp) {
        if (fd >= 0)
            close(fd);
        _log("Error open file\n");
        return nullptr;
    }
    if (std::fseek(fp.get(), 0, SEEK_END) != 0) {
        _log("Unable to read EOF on download file!\n");
        return nullptr;
    }
    size = std::ftell(fp.get());
    if (size < 0) {
        _log("Unable to read size of download file\n");
        return nullptr;
    }
    if (std::fseek(fp.get(), 0, SEEK_SET) != 0) {
        _log("Unable to read EOF on download file!\n");
        return nullptr;
    }
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

// Sends the image chunk by chunk along the road, then the closing command when
// the road has one; the closing command alone tells the outcome then. True
// when the drive took the image and is reprogramming itself.
bool send_image(DRIVE *drv, FILE *fp, long size, const Road &road, unsigned char *buf)
{
    int32 offset = road.first_offset;
    long left = size;
    int length;
    int nchunks = 0;
    bool chunks_taken = true;
    while ((length = read_chunk(fp, buf, left)) != 0) {
        if (length < 0) {
            log_unreadable();
            return false;
        }
        int32 nbytes = scsi_write_buffer(drv, buf, road.buffer_id, kModeDownload, offset, length);
        if (nbytes != length) {
            log_failed_chunk(road, nchunks, nbytes, length);
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
    return !failed;
}

enum class Download { unreachable, not_identified, not_sent, sent };

// Opens, identifies, reserves and downloads one drive. A drive that took the
// image stays reserved while it reprograms itself (its reset drops the
// reservation); on every other road the reservation is released again.
Download download_drive(const driveinfo &rec, const driveinfo &entry, unsigned char *buf)
{
    std::string path = std::string(kImageDir) + "/" + std::string(field(entry.FwFile));
    std::string product(field(rec.ProductID));
    std::string action(field(rec.Action));

    DRIVE drv = rec.DRV;
    if (debug_upgrade)
        std::printf("Drive %#08x, Card ID %d, Bus Addr %d, Action %s, Firmware Image %s \n", rec.DriveID,
                    drv.card_id, drv.bus_addr, action.c_str(), path.c_str());
    scsi_open_mode = DRIVE_OPEN_MODE;
    scsi_configure_logging(&drv, stdout, LOG_NOTHING);
    if (scsi_open_device(&drv) != 0)
        return Download::unreachable;

    // The list names an address only: what answers there now must be a KV
    // tape drive of the listed type before anything that changes it is sent.
    auto now = std::make_unique<driveinfo>();
    if (!identify_drive(&drv, now.get()) || now->DriveID != rec.DriveID) {
        log_text(format("Error: Card ID %d, Bus Addr %d, LUN %d is not a KV tape drive with Drive ID "
                        "%#08x; nothing sent.\n",
                        drv.card_id, drv.bus_addr, drv.lun, rec.DriveID));
        scsi_close_device(&drv);
        return Download::not_identified;
    }

    scsi_reserve_unit_thirdparty(&drv, kNoThirdParty);
    scsi_set_timeout(&drv, kCommandTimeoutMs);
    log_text(
        format("Drive ID: %#08x, Product ID: %s, Action: %s\n", rec.DriveID, product.c_str(), action.c_str()));
    log_text(format("File name: %s\n", path.c_str()));

    Download result = Download::not_sent;
    bool flashing = false;
    long size = 0;
    if (File fp = open_image(path, size)) {
        const Road &road = road_for(&drv, product);
        if (!fits_buffer(road, size)) {
            _log("Firmware image too large for the drive's buffer!\n");
        } else {
            flashing = send_image(&drv, fp.get(), size, road, buf);
            result = Download::sent;
            if (debug_upgrade) {
                _log("Completed.\n");
                std::printf("Completed.\n");
            }
        }
    }
    if (!flashing)
        scsi_release_unit_thirdparty(&drv, kNoThirdParty);
    scsi_close_device(&drv);
    return result;
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

void report_failed(const driveinfo &rec)
{
    log_and_trace(format("Drive ID: %#08x, Product ID: %s, Action: Failed\n", rec.DriveID,
                         std::string(field(rec.ProductID)).c_str()));
    std::printf("\n here 3\n");
}

bool same_address(const DRIVE &a, const DRIVE &b)
{
    return a.card_id == b.card_id && a.bus_addr == b.bus_addr && a.lun == b.lun;
}

// The version check after the wait. Comparisons with a value that is not a
// number are false, so such a drive fails every action.
int check_versions(driveinfo *lst_drv_upgrade, driveinfo *found, int count_found)
{
    int errors = 0;
    for (int j = 0; j < count_found && j < MAX_DRIVES; ++j) {
        const driveinfo &now = found[j];
        std::string product(field(now.ProductID));
        const driveinfo *listed = find_drive(now.DriveID, lst_drv_upgrade);
        if (!listed) {
            log_and_trace(format("Drive ID: %#08x, Product ID: %s is not suggested to be upgraded.\n",
                                 now.DriveID, product.c_str()));
            continue;
        }
        double before = listed->FwVersion;
        double after = now.FwVersion;
        std::string_view action = field(listed->Action);
        bool ok = (action == "upgrade" && after > before) || (action == "downgrade" && before > after) ||
                  (action == "rewrite" && after == before) || (action == "skip" && after == before);
        if (ok) {
            log_and_trace(format("Drive ID: %#08x, Product ID: %s, Action: %s\n", now.DriveID, product.c_str(),
                                 std::string(action).c_str()));
        } else {
            report_failed(now);
            errors++;
        }
    }
    return errors;
}

// What the downloads left for the wait and the verification.
struct Downloads {
    int errors = 0;
    int sent = 0;                       // drives that an image transfer ran for
    bool transferred[MAX_DRIVES] = {};  // by position in the list
};

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
                                         std::string(field(rec.VendorID)).c_str(),
                                         std::string(field(rec.ProductID)).c_str());
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
                            std::string(field(rec.ProductID)).c_str());
            continue;
        }
        if (!names_image(*entry)) {
            log_text(
                format("Error: No firmware image configured for Drive ID %#08x; nothing sent.\n", rec.DriveID));
            done.errors++;
            std::printf("\n here 2\n");
            continue;
        }
        switch (download_drive(rec, *entry, chunk_buffer.data())) {
        case Download::unreachable:
            _log("Error: Unable to access tape drive.\n");
            if (debug_upgrade)
                std::printf("Error: Unable to access tape drive.\n");
            done.errors++;
            std::printf("\n here 2\n");
            break;
        case Download::not_identified:
            done.errors++;
            std::printf("\n here 2\n");
            break;
        case Download::sent:
            done.sent++;
            done.transferred[i] = true;
            break;
        case Download::not_sent:
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

// Scans again and checks every drive found against its listed action; a drive
// that got an image and did not come back cannot be verified: no success.
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
    int errors = check_versions(list, found.get(), count_found);
    for (int i = 0; i < MAX_DRIVES; ++i) {
        if (!done.transferred[i])
            continue;
        bool back = false;
        for (int j = 0; j < count_found && j < MAX_DRIVES && !back; ++j)
            back = same_address(found[j].DRV, list[i].DRV);
        if (!back) {
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
