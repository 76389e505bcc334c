// Firmware download to DDS drives: every file of a list goes whole, in one
// WRITE BUFFER, to offset 0 of buffer 1.
#include <cstdio>
#include <memory>
#include <vector>

#include "ddslib.h"
#include "scsilib/file_owner.h"
#include "scsilib/scsi_codes.h"
#include "scsilib.h"

namespace {

constexpr int32 kDownloadBufferId = 1;

using scsilib::File;

enum class Load { ok, cannot_open, read_failed, bad_size };

// Reads the whole file into image; one byte more than allowed is asked for so
// that an oversized file is seen and refused rather than cut.
Load load_image(const char *path, std::vector<unsigned char> &image)
{
    if (path == nullptr)
        return Load::cannot_open;
    File fp(std::fopen(path, "rb"));
    if (!fp)
        return Load::cannot_open;
    image.assign(DDS_FW_FILE_MAX + 1, 0);
    size_t total = 0;
    while (total < image.size()) {
        size_t n = std::fread(image.data() + total, 1, image.size() - total, fp.get());
        if (n == 0)
            break;
        total += n;
    }
    if (std::ferror(fp.get()))
        return Load::read_failed;
    if (total == 0 || total > DDS_FW_FILE_MAX)
        return Load::bad_size;
    image.resize(total);
    return Load::ok;
}

}  // namespace

int32 dds_download_firmware(DRIVE *drv, char **filelist, int32 nfiles, boolean destroy_cal)
{
    if (nfiles < 0 || (filelist == nullptr && nfiles > 0))
        return -1;
    // The drive erases its calibration when the image comes with the save mode.
    const int32 mode = destroy_cal ? scsilib::kWriteBufferDownloadSave : scsilib::kWriteBufferDownload;
    if (drv->loglevel == LOG_EVERYTHING)
        scsi_log(drv, "Sys", destroy_cal ? "Download f/w, erase cal " : "Download f/w, preserve cal ");

    // Every image is in memory before the first byte goes to the drive, so a
    // missing or unusable file never leaves the drive with part of a set.
    std::vector<std::vector<unsigned char>> images(static_cast<size_t>(nfiles));
    for (int32 i = 0; i < nfiles; ++i) {
        switch (load_image(filelist[i], images[static_cast<size_t>(i)])) {
        case Load::ok:
            break;
        case Load::cannot_open:
            scsi_log(drv, "Sys", "Unable to open download file for read");
            return -1;
        case Load::read_failed:
            return -1;
        case Load::bad_size:
            scsi_log(drv, "Sys", "Download file empty or larger than 32768 bytes");
            return -1;
        }
    }

    for (auto &image : images) {
        const int32 length = static_cast<int32>(image.size());
        if (scsi_write_buffer(drv, image.data(), kDownloadBufferId, mode, 0, length) != length)
            return -1;
    }
    if (drv->loglevel == LOG_EVERYTHING)
        scsi_log(drv, "Sys", "Download completed");
    return 0;
}
