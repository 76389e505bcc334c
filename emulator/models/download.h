// Firmware download as a KV drive takes it: WRITE BUFFER chunks in mode 4 (or
// 5), a closing command that commits what arrived, and the firmware version the
// committed image installs. Drive models keep one of these and hand it their
// WRITE BUFFER commands; they ask it which firmware version to report.
//
// The image is never kept: only its length and CRC-32 (IEEE) are, so emulated
// downloads of large images cost no memory; the CRC only when an "installs"
// line asks for it. See emulator/README.md for the keys.
#ifndef KVEMU_DOWNLOAD_H
#define KVEMU_DOWNLOAD_H

#include <optional>
#include <string>
#include <vector>

#include "../kvemu.h"

namespace kvemu {

// How a drive learns that the image is complete.
enum class Commit {
    Mode4,  // WRITE BUFFER mode 4 with length 0
    Mode5,  // WRITE BUFFER mode 5 with length 0 (or a mode-5 chunk)
    Auto,   // no closing command: the image is installed once it is a known image
};

class FirmwareDownload {
public:
    // `device` is the model that owns this state; it is marked vanished when the
    // bus file asks for that after a download. `commit` is the model's road,
    // which the key download_commit may change.
    FirmwareDownload(Device &device, Commit commit);

    // Answers WRITE BUFFER in modes 4 and 5; nullopt for other commands and
    // modes, which the model answers itself.
    std::optional<Reply> write_buffer(const Command &cmd);

    // Version text installed by the last committed download, if any; the model
    // reports it in place of its configured firmware version.
    const std::optional<std::string> &installed() const { return installed_; }
    // `current` unless a download installed another version.
    std::string firmware(const std::string &current) const { return installed_ ? *installed_ : current; }

    // What the drive received (kept for tests).
    struct Chunk {
        int mode = 0;
        int buffer_id = 0;
        uint32_t offset = 0;
        uint32_t length = 0;
    };
    // Chunks of the download under way (only the first under "record = 0").
    const std::vector<Chunk> &chunks() const { return chunks_; }
    uint64_t received() const { return received_; }  // its bytes so far
    uint32_t crc() const { return crc_; }            // their CRC-32, when an "installs" line names one
    int commits() const { return commits_; }         // downloads installed

private:
    Reply chunk(const Command &cmd, int mode, int id, uint32_t offset, uint32_t length);
    Reply close_download();
    std::optional<std::string> version_for_image() const;
    void install(const std::string &version);
    void reset();

    Device &device_;
    Commit commit_;
    long fail_chunk_;   // chunk of every download (from 0) answered with an error; -1 none
    long reset_chunk_;  // chunk (from 0) answered with a reset that empties the buffer, once; -1 none
    bool commit_any_;   // a closing command is taken whatever arrived
    bool vanish_;
    bool record_;    // keep every chunk; "record = 0" keeps only the first
    bool keep_crc_;  // an "installs" line names a CRC-32
    std::vector<Chunk> chunks_;
    long chunk_count_ = 0;  // chunks of the download under way
    uint64_t received_ = 0;
    uint32_t crc_ = 0;     // zlib's crc32 so far
    bool broken_ = false;  // a chunk failed: the download cannot be committed
    std::optional<std::string> installed_;
    int commits_ = 0;
};

// The commit road of a kv_dds drive: mode 4 for the product "RQN512", else none.
Commit dds_download_commit(const Config &cfg);

// The download state of the drive at a node; null when its model takes none.
FirmwareDownload *download_of(Node *n);

}  // namespace kvemu

#endif
