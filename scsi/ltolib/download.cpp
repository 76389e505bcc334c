// Firmware download to LTO drives: the image goes in 65536-byte chunks, each
// to offset 0 of buffer 0 (the drive appends them), and a WRITE BUFFER in mode
// 5 of length 0 ends the download.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ltolib.h"
#include "scsilib/file_owner.h"
#include "scsilib/scsi_codes.h"
#include "scsilib.h"

namespace {

constexpr int32 kChunk = 65536;
constexpr int32 kBufferId = 0;

using scsilib::File;
using scsilib::kWriteBufferDownload;
using scsilib::kWriteBufferDownloadSave;

// Share of the file sent, 0..100. A file that grew after its size was taken
// still reads 100 at most; an empty one is all sent.
int32 percent_sent(long long sent, long long size)
{
    if (size <= 0 || sent >= size)
        return 100;
    return static_cast<int32>(sent * 100 / size);
}

}  // namespace

int32 lto_download_firmware(DRIVE *drv, char *filename, pfvi callback, int32 granularity)
{
    const std::string text = std::string("Download firmware from ") + (filename != nullptr ? filename : "");
    scsi_log(drv, "Sys", text.c_str());

    File fp(filename != nullptr ? std::fopen(filename, "rb") : nullptr);
    if (!fp) {
        scsi_log(drv, "Sys", "Unable to open file for reading!");
        return -1;
    }
    if (std::fseek(fp.get(), 0, SEEK_END) != 0)
        return -1;
    const long long size = std::ftell(fp.get());
    if (size < 0 || std::fseek(fp.get(), 0, SEEK_SET) != 0)
        return -1;
    if (granularity < 1)
        granularity = 1;

    std::vector<unsigned char> chunk(kChunk);
    long long sent = 0;
    for (int32 chunks = 1;; ++chunks) {
        const size_t n = std::fread(chunk.data(), 1, chunk.size(), fp.get());
        if (n == 0) {
            if (std::ferror(fp.get()))
                return -1;
            fp.reset();
            return scsi_write_buffer(drv, nullptr, kBufferId, kWriteBufferDownloadSave, 0, 0) == 0 ? 0 : -1;
        }
        const int32 length = static_cast<int32>(n);
        // A chunk the drive did not take whole leaves the download open.
        if (scsi_write_buffer(drv, chunk.data(), kBufferId, kWriteBufferDownload, 0, length) != length)
            return -1;
        sent += length;
        if (callback != nullptr && chunks % granularity == 0)
            callback(percent_sent(sent, size));
    }
}
