// Upgrade recommendation, firmware download and the verification that follows.
#include <sys/stat.h>
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

int debug_upgrade = 0;

namespace {

constexpr const char *kImageDir = "fwimage";
constexpr int kChunkSize = 32768;
constexpr int32 kCommandTimeoutMs = 100000;    // a drive may take long to take a chunk
constexpr unsigned kFlashWaitSeconds = 150;    // drives reprogram themselves meanwhile
constexpr int32 kNoThirdParty = 255;
constexpr int32 kModeDownload = 4;
constexpr int32 kModeDownloadSave = 5;

// Drives of this model take the image into buffer 1 from a fixed offset and
// commit it with an empty mode-4 command.
constexpr std::string_view kRqnProduct = "RQN512";
constexpr int32 kRqnBufferId = 1;
constexpr int32 kRqnFirstOffset = 0x10000;
constexpr int32 kRqnFinalMode = 4;
// WRITE BUFFER carries the buffer offset in 24 bits.
constexpr long kBufferOffsetLimit = 0x1000000;

// A fixed text field as a string, never read past the field.
template <size_t N>
std::string_view field(const char (&f)[N])
{
    return std::string_view(f, strnlen(f, N));
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

struct FileCloser {
    void operator()(FILE *fp) const { std::fclose(fp); }
};
using File = std::unique_ptr<FILE, FileCloser>;

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

// Opens the image and measures it; logs why when it cannot. A directory or any
// other non-regular file is no image.
File open_image(const std::string &path, long &size)
{
    File fp(std::fopen(path.c_str(), "rb"));
    struct stat st {};
    if (!fp || fstat(fileno(fp.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
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

// Buffer 1 from offset 10000h in mode 4, then the committing mode-4 command.
void transfer_rqn512(DRIVE *drv, FILE *fp, long size, unsigned char *buf)
{
    int32 offset = kRqnFirstOffset;
    long left = size;
    int length;
    while ((length = read_chunk(fp, buf, left)) != 0) {
        if (length < 0) {
            log_unreadable();
            return;
        }
        int32 nbytes = scsi_write_buffer(drv, buf, kRqnBufferId, kModeDownload, offset, length);
        if (nbytes != length) {
            _log("Firmware download failed!\n");
            break;
        }
        offset += nbytes;
    }
    int32 nbytes = scsi_write_buffer(drv, buf, kRqnBufferId, kRqnFinalMode, 0, 0);
    _log(nbytes < 0 ? "Firmware download failed!\n" : "firmware is being flashed - WAIT!\n");
}

// Buffer 0 at offset 0 in mode 4; LTO drives then commit with an empty mode-5
// command, others take the image as it arrives.
void transfer_buffer0(DRIVE *drv, FILE *fp, long size, unsigned char *buf)
{
    boolean is_lto = lto_drive_is_lto(drv);
    long left = size;
    int length;
    int nchunks = 0;
    int32 nbytes = 0;
    bool chunk_failed = false;
    while ((length = read_chunk(fp, buf, left)) != 0) {
        if (length < 0) {
            log_unreadable();
            return;
        }
        nbytes = scsi_write_buffer(drv, buf, 0, kModeDownload, 0, length);
        if (nbytes != length) {
            log_text(format("Firmware download failed on chunk %d!\n", nchunks));
            log_text(format("nbytes = %d, length = %d\n", nbytes, length));
            chunk_failed = true;
            break;
        }
        nchunks++;
    }
    bool failed;
    if (is_lto) {
        nbytes = scsi_write_buffer(drv, buf, 0, kModeDownloadSave, 0, 0);
        failed = nbytes < 0;
    } else {
        // Without a closing command nothing but the chunks tells the outcome:
        // no chunk sent, or one not taken in full, is no download.
        failed = nchunks == 0 || chunk_failed || nbytes < 0;
    }
    _log(failed ? "Firmware download failed!\n" : "firmware is being flashed!\n");
}

// Opens, reserves and downloads one drive. Returns false when the drive could
// not be opened; `ran` tells whether an image transfer ran.
bool download_drive(const driveinfo &rec, const driveinfo &entry, unsigned char *buf, bool &ran)
{
    ran = false;
    std::string path = std::string(kImageDir) + "/" + std::string(field(entry.FwFile));
    std::string product(field(rec.ProductID));
    std::string action(field(rec.Action));

    DRIVE drv = rec.DRV;
    if (debug_upgrade)
        std::printf("Drive %#08x, Card ID %d, Bus Addr %d, Action %s, Firmware Image %s \n",
                    rec.DriveID, drv.card_id, drv.bus_addr, action.c_str(), path.c_str());
    scsi_open_mode = DRIVE_OPEN_MODE;
    scsi_configure_logging(&drv, stdout, LOG_NOTHING);
    if (scsi_open_device(&drv) != 0)
        return false;

    scsi_reserve_unit_thirdparty(&drv, kNoThirdParty);
    scsi_set_timeout(&drv, kCommandTimeoutMs);
    log_text(format("Drive ID: %#08x, Product ID: %s, Action: %s\n", rec.DriveID, product.c_str(),
                    action.c_str()));
    log_text(format("File name: %s\n", path.c_str()));

    long size = 0;
    File fp = open_image(path, size);
    bool rqn512 = product == kRqnProduct;
    if (fp && rqn512 && size > kBufferOffsetLimit - kRqnFirstOffset) {
        // Offsets past 24 bits would all be sent as FFFFFFh and overwrite
        // each other in the drive's buffer.
        _log("Firmware image too large for the drive's buffer!\n");
        fp.reset();
    }
    if (fp) {
        if (rqn512)
            transfer_rqn512(&drv, fp.get(), size, buf);
        else
            transfer_buffer0(&drv, fp.get(), size, buf);
        fp.reset();
        ran = true;
        if (debug_upgrade) {
            _log("Completed.\n");
            std::printf("Completed.\n");
        }
    }
    // No RELEASE: the drive stays reserved while it reprograms itself.
    scsi_close_device(&drv);
    return true;
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
int verify(driveinfo *lst_drv_upgrade, driveinfo *found, int count_found)
{
    int errors = 0;
    for (int j = 0; j < count_found && j < MAX_DRIVES; ++j) {
        const driveinfo &now = found[j];
        std::string product(field(now.ProductID));
        const driveinfo *listed = find_drive(now.DriveID, lst_drv_upgrade);
        if (!listed) {
            log_and_trace(format(
                "Drive ID: %#08x, Product ID: %s is not suggested to be upgraded.\n", now.DriveID,
                product.c_str()));
            continue;
        }
        double before = listed->FwVersion;
        double after = now.FwVersion;
        std::string_view action = field(listed->Action);
        bool ok = (action == "upgrade" && after > before) ||
                  (action == "downgrade" && before > after) ||
                  (action == "rewrite" && after == before) || (action == "skip" && after == before);
        if (ok) {
            log_and_trace(format("Drive ID: %#08x, Product ID: %s, Action: %s\n", now.DriveID,
                                 product.c_str(), std::string(action).c_str()));
        } else {
            report_failed(now);
            errors++;
        }
    }
    return errors;
}

}  // namespace

void recommend_upgrade(driveinfo *lst_drv_discovered, driveinfo *lst_drv_config,
                       driveinfo *lst_drv_recommendation)
{
    std::memset(lst_drv_recommendation, 0, sizeof(driveinfo) * MAX_DRIVES);
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
    int upgrade_count = 0;
    int errors = 0;
    // One chunk buffer for every drive: the image is never held whole.
    static std::array<unsigned char, kChunkSize> image_buffer;
    bool transferred[MAX_DRIVES] = {};

    if (debug_upgrade) {
        print_title("\tInventory Of Online Drives ");
        print_title("\tUpgrading Firmware");
    }
    for (int i = 0; i < MAX_DRIVES; ++i) {
        const driveinfo &rec = lst_drv_upgrade[i];
        if (!rec.Configured)
            continue;
        const driveinfo *entry = find_drive(rec.DriveID, lst_drv_config);
        if (!entry) {
            if (debug_upgrade) {
                std::string msg = format("Error: Unable to find configuration for %s %s\n",
                                         std::string(field(rec.VendorID)).c_str(),
                                         std::string(field(rec.ProductID)).c_str());
                log_text(msg);
                std::fputs(msg.c_str(), stdout);
                std::printf("\n here 1\n");
                errors++;
            }
            continue;
        }
        if (!sends_image(rec)) {
            if (debug_upgrade)
                std::printf("Dirve ID %#08x [%s] : Skipping Drive.\n", rec.DriveID,
                            std::string(field(rec.ProductID)).c_str());
            continue;
        }
        bool ran = false;
        if (!download_drive(rec, *entry, image_buffer.data(), ran)) {
            _log("Error: Unable to access tape drive.\n");
            if (debug_upgrade)
                std::printf("Error: Unable to access tape drive.\n");
            errors++;
            std::printf("\n here 2\n");
            continue;
        }
        if (ran) {
            upgrade_count++;
            transferred[i] = true;
        }
    }

    if (upgrade_count > 0)
        sleep(kFlashWaitSeconds);

    // The verifying table is large; keep it off the stack.
    auto found = std::make_unique<driveinfo[]>(MAX_DRIVES);
    int count_upgraded = discover(found.get());
    if (debug_upgrade) {
        print_title("\tRe-Discovered ");
        print_config(found.get());
        print_title("\tResult");
    }
    errors += verify(lst_drv_upgrade, found.get(), count_upgraded);

    // A drive that got an image and did not come back cannot be verified: that
    // is no success.
    for (int i = 0; i < MAX_DRIVES; ++i) {
        if (!transferred[i])
            continue;
        bool back = false;
        for (int j = 0; j < count_upgraded && j < MAX_DRIVES && !back; ++j)
            back = same_address(found[j].DRV, lst_drv_upgrade[i].DRV);
        if (!back) {
            report_failed(lst_drv_upgrade[i]);
            errors++;
        }
    }
    return errors;
}

void ptrfvi(int s)
{
    if (s > 100)
        s = 100;
    if (debug_upgrade)
        std::printf("Upgrade %d%%\n", s);
}
