// Firmware download state of the KV drive models.
#include "download.h"

#include <zlib.h>

#include <cstdlib>
#include <sstream>

#include "kv_drive.h"
#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "standard.h"

namespace kvemu {
namespace {

using namespace scsilib;

// Whether an "installs" line knows its image by CRC-32: only then is the CRC
// worth its cost, which would otherwise dominate a long download.
bool names_crc(const Config &cfg)
{
    for (const std::string &line : cfg.all("installs"))
        if (line.find("crc32:") != std::string::npos)
            return true;
    return false;
}

Commit commit_from(const Config &cfg, Commit def)
{
    std::string v = cfg.get("download_commit");
    if (v == "mode4")
        return Commit::Mode4;
    if (v == "mode5")
        return Commit::Mode5;
    if (v == "auto")
        return Commit::Auto;
    return def;
}

}  // namespace

FirmwareDownload::FirmwareDownload(Device &device, Commit commit)
    : device_(device), commit_(commit_from(device.cfg, commit)),
      fail_chunk_(device.cfg.get_int("download_fail_chunk", -1)),
      reset_chunk_(device.cfg.get_int("download_reset_chunk", -1)),
      commit_any_(device.cfg.get_int("download_commit_any", 0) != 0),
      vanish_(device.cfg.get_int("vanish_after_download", 0) != 0),
      record_(device.cfg.get_int("record", 1) != 0), keep_crc_(names_crc(device.cfg))
{
}

std::optional<Reply> FirmwareDownload::write_buffer(const Command &cmd)
{
    if (cmd.cdb.size() < 10 || cmd.cdb[0] != kOpWriteBuffer)
        return std::nullopt;
    int mode = cmd.cdb[1] & 0x1F;
    if (mode != 4 && mode != 5)
        return std::nullopt;
    int id = cmd.cdb[2];
    uint32_t offset = static_cast<uint32_t>(be_at(cmd.cdb, 3, 3));
    uint32_t length = static_cast<uint32_t>(be_at(cmd.cdb, 6, 3));
    if (length == 0) {
        // A closing command on the other road is a host error: refuse it and
        // leave the download as it stands.
        if ((mode == 4 && commit_ != Commit::Mode4) || (mode == 5 && commit_ != Commit::Mode5))
            return invalid_field_in_cdb();
        return close_download();
    }
    Reply r = chunk(cmd, mode, id, offset, length);
    // A drive without a closing command installs a known image as it arrives,
    // whatever the mode carried it; on the other roads a mode-5 chunk commits.
    if (r.status == kStatusGood && mode == 5 && commit_ != Commit::Auto)
        return close_download();
    return r;
}

Reply FirmwareDownload::chunk(const Command &cmd, int mode, int id, uint32_t offset, uint32_t length)
{
    long index = chunk_count_++;
    // Without the record only the first chunk stays: the others are checked
    // against it, and the list would grow with the image.
    if (record_ || chunks_.empty())
        chunks_.push_back({mode, id, offset, length});
    if (broken_)
        return sequence_error();
    if (index == fail_chunk_) {
        broken_ = true;
        return check_condition(kSenseHardwareError, kAscInternalTargetFailure, 0);
    }
    if (index == reset_chunk_) {
        // A reset: the buffer is emptied, and the next chunk starts afresh.
        reset_chunk_ = -1;
        reset();
        return check_condition(kSenseUnitAttention, kAscPowerOnReset, 0);
    }
    // Chunks go either all to offset 0 (the drive appends them) or to
    // consecutive offsets from the first one, all in one buffer.
    const Chunk &first = chunks_.front();
    bool in_place = first.offset == 0 ? offset == 0 : uint64_t(offset) == first.offset + received_;
    if (id != first.buffer_id || !in_place || cmd.data_out.size() != length) {
        broken_ = true;
        return invalid_field_in_cdb();
    }
    if (keep_crc_)
        crc_ = static_cast<uint32_t>(crc32(crc_, cmd.data_out.data(), static_cast<uInt>(cmd.data_out.size())));
    received_ += length;
    if (commit_ == Commit::Auto) {
        if (auto v = version_for_image()) {
            install(*v);
            reset();
        }
    }
    return good();
}

Reply FirmwareDownload::close_download()
{
    std::optional<std::string> v;
    if (commit_any_ || (!broken_ && received_ > 0))
        v = version_for_image();
    reset();
    if (v)
        install(*v);
    return v || commit_any_ ? good() : invalid_field_in_parameters();
}

// "installs = <size or crc32:XXXXXXXX or *> <version>", first match wins.
std::optional<std::string> FirmwareDownload::version_for_image() const
{
    for (const std::string &line : device_.cfg.all("installs")) {
        std::istringstream in(line);
        std::string what, version;
        if (!(in >> what >> version))
            continue;
        bool match = false;
        if (what == "*") {
            match = true;
        } else if (what.rfind("crc32:", 0) == 0) {
            match = std::strtoul(what.c_str() + 6, nullptr, 16) == crc();
        } else {
            char *end = nullptr;
            unsigned long long size = std::strtoull(what.c_str(), &end, 0);
            match = end && *end == '\0' && size == received_;
        }
        if (match)
            return version;
    }
    return std::nullopt;
}

void FirmwareDownload::install(const std::string &version)
{
    installed_ = version;
    commits_++;
    if (vanish_)
        device_.vanished = true;
}

void FirmwareDownload::reset()
{
    chunks_.clear();
    chunk_count_ = 0;
    received_ = 0;
    crc_ = 0;
    broken_ = false;
}

Commit dds_download_commit(const Config &cfg)
{
    return cfg.get("product") == "RQN512" ? Commit::Mode4 : Commit::Auto;
}

FirmwareDownload *download_of(Node *n)
{
    if (!n || !n->device)
        return nullptr;
    auto *d = dynamic_cast<KvDrive *>(n->device.get());
    return d ? &d->download : nullptr;
}

}  // namespace kvemu
