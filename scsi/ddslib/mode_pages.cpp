// DDS drive settings through MODE SENSE(6)/MODE SELECT(6), the write-protect
// state and the product identification.
#include <array>
#include <cstdio>
#include <cstring>

#include "ddslib.h"
#include "scsilib.h"
#include "scsilib/byte_order.h"

namespace {

// Layout of a MODE SENSE(6) reply with one block descriptor.
constexpr int kBlockDescriptorLength = 8;
constexpr int kHeaderAndDescriptor = 4 + kBlockDescriptorLength;  // 12
constexpr int kPageCodeByte = kHeaderAndDescriptor;               // first page byte
constexpr int kBlockLengthByte = 9;                               // descriptor's block length, 24 bits

// Log tag of this library's own lines.
char kSysTag[] = "Sys";

void log_text(DRIVE *drv, const char *text)
{
    if (drv->loglevel != LOG_EVERYTHING)
        return;
    char line[128];
    std::snprintf(line, sizeof line, "%s", text);
    scsi_log(drv, kSysTag, line);
}

// The reply of one MODE SENSE(6), zeroed before the command.
struct ModeReply {
    std::array<unsigned char, 32> bytes{};
    int32 length = 0;  // bytes the drive returned
};

// Reads the current values of `page`. Returns the MODE SENSE result; a reply
// whose block descriptor length is not 8, that is shorter than `needed`, or
// (for a page other than 0) that carries another page, gives -1: editing it
// would change bytes the drive never sent or another page than meant.
int32 read_page(DRIVE *drv, int32 page, int32 alloc, int32 needed, ModeReply &reply)
{
    int32 n = scsi_ext_mode_sense_subpage(drv, 0, 0, page, 0, reply.bytes.data(), alloc);
    if (n < 0)
        return n;
    if (n > alloc)
        n = alloc;
    reply.length = n;
    if (n < needed || n < 4 || reply.bytes[3] != kBlockDescriptorLength)
        return -1;
    if (page != 0 && (reply.bytes[kPageCodeByte] & 0x3F) != page)
        return -1;
    return n;
}

// Sends back the reply as read, with the mode data length and the write-protect
// bit cleared as MODE SELECT requires.
int32 write_back(DRIVE *drv, ModeReply &reply)
{
    reply.bytes[0] = 0;
    reply.bytes[2] &= 0x7F;
    return scsi_mode_select(drv, reply.bytes.data(), reply.length) < 0 ? -1 : 0;
}

// The common read-edit-write of one page byte: `needed` is the reply length
// that holds every byte the edit touches.
template <typename Edit>
int32 edit_page(DRIVE *drv, const char *text, int32 page, int32 alloc, int32 needed, Edit edit)
{
    log_text(drv, text);
    ModeReply reply;
    int32 rc = read_page(drv, page, alloc, needed, reply);
    if (rc < 0)
        return rc;
    edit(reply);
    return write_back(drv, reply);
}

void set_bit(unsigned char &byte, unsigned char mask, bool on)
{
    if (on)
        byte = static_cast<unsigned char>(byte | mask);
    else
        byte = static_cast<unsigned char>(byte & ~mask);
}

constexpr int32 kDeviceConfigPage = 0x10;
constexpr int32 kCompressionPage = 0x0F;
constexpr int32 kPartitionPage = 0x11;
constexpr int32 kVendorPage = 0x3E;

// A setting that is one bit of one page: the page, the MODE SENSE allocation,
// the reply byte (header and block descriptor included) and the bit, with the
// log texts for on and off.
struct ModeBit {
    int32 page;
    int32 alloc;
    int byte;
    unsigned char mask;
    const char *on_text;
    const char *off_text;
};

constexpr ModeBit kReportSetmarks = {kDeviceConfigPage, 28, 20, 0x20, "Enable RSmk", "Disable RSmk"};
constexpr ModeBit kReportEarlyWarning = {kDeviceConfigPage, 28, 20, 0x01, "Report EWEOM", "Don't report EWEOM"};
constexpr ModeBit kCompression = {kCompressionPage, 28, 14, 0x80, "Enable compression", "Disable compression"};
constexpr ModeBit kVumaMode = {kVendorPage, 16, 14, 0x01, "Enable VUMA mode", "Disable VUMA mode"};

constexpr bool inside_reply(const ModeBit &b)
{
    return b.byte >= kPageCodeByte && b.byte < b.alloc &&
           b.alloc <= static_cast<int32>(sizeof(ModeReply::bytes));
}
static_assert(inside_reply(kReportSetmarks) && inside_reply(kReportEarlyWarning) &&
                  inside_reply(kCompression) && inside_reply(kVumaMode),
              "a mode bit outside the page read");

// The reply must hold the edited byte; nothing beyond it is needed.
int32 set_mode_bit(DRIVE *drv, const ModeBit &b, bool on)
{
    return edit_page(drv, on ? b.on_text : b.off_text, b.page, b.alloc, b.byte + 1,
                     [&](ModeReply &r) { set_bit(r.bytes[static_cast<size_t>(b.byte)], b.mask, on); });
}

}  // namespace

int32 dds_set_rsm(DRIVE *drv, boolean enable) { return set_mode_bit(drv, kReportSetmarks, enable != 0); }

int32 dds_set_rew(DRIVE *drv, boolean report_early_warning)
{
    return set_mode_bit(drv, kReportEarlyWarning, report_early_warning != 0);
}

int32 dds_set_compression(DRIVE *drv, boolean enable) { return set_mode_bit(drv, kCompression, enable != 0); }

int32 dds_set_vuma_mode(DRIVE *drv, boolean enable) { return set_mode_bit(drv, kVumaMode, enable != 0); }

int32 dds_change_partition(DRIVE *drv, int32 partition)
{
    if (partition < 0)
        return -1;
    if (partition > 255)
        partition = 255;
    char text[64];
    std::snprintf(text, sizeof text, "Change Active Partition to %d", static_cast<int>(partition));
    return edit_page(drv, text, kDeviceConfigPage, 28, 16, [&](ModeReply &r) {
        r.bytes[14] |= 0x40;
        r.bytes[15] = static_cast<unsigned char>(partition);
    });
}

int32 dds_config_ecc(DRIVE *drv, int32 C3, int32 RAW, int32 ngrp)
{
    return edit_page(drv, "config error correction", kDeviceConfigPage, 28, 15, [&](ModeReply &r) {
        unsigned char &b = r.bytes[14];
        b |= 0x20;
        if (C3 == 0 || C3 == 1)
            set_bit(b, 0x08, C3 == 1);
        if (RAW == 0 || RAW == 1)
            set_bit(b, 0x10, RAW == 1);
        // A group count above 7 leaves the field as it is; any other count is
        // taken modulo 8, as the field holds three bits.
        if (ngrp <= 7)
            b = static_cast<unsigned char>((b & ~0x07) | (ngrp & 0x07));
    });
}

int32 dds_modify_partitions(DRIVE *drv, int32 partitions, int32 partitionsize)
{
    if (partitions < 0 || partitionsize < 0)
        return -1;
    if (partitions > 255)
        partitions = 255;
    if (partitionsize > 65535)
        partitionsize = 65535;
    char text[64];
    std::snprintf(text, sizeof text, "Initialize %s partition tape", partitions == 0 ? "single" : "two");
    log_text(drv, text);

    // The page comes in two lengths: a full 24-byte reply with page length 0Ah
    // carries the size in page bytes 10..11, a shorter one in page bytes 8..9.
    ModeReply reply;
    int32 rc = read_page(drv, kPartitionPage, 24, 22, reply);
    if (rc < 0)
        return rc;
    int at = (reply.length == 24 && reply.bytes[13] == 0x0A) ? 22 : 20;
    reply.bytes[15] = static_cast<unsigned char>(partitions);
    reply.bytes[16] |= 0x20;
    scsilib::put_be16(&reply.bytes[static_cast<size_t>(at)], static_cast<uint16_t>(partitionsize));
    return write_back(drv, reply);
}

int32 dds_set_fixed_record_size(DRIVE *drv, int32 fixed_record_size)
{
    if (fixed_record_size < 0)
        return -1;
    if (fixed_record_size > 0xFFFFFF)
        fixed_record_size = 0xFFFFFF;
    char text[64];
    std::snprintf(text, sizeof text, "Set fixed recsize = %d bytes", static_cast<int>(fixed_record_size));
    log_text(drv, text);

    // Header and block descriptor only: all 12 bytes must come back, or the
    // MODE SELECT would carry a descriptor the drive never sent.
    ModeReply reply;
    int32 rc = read_page(drv, 0, kHeaderAndDescriptor, kHeaderAndDescriptor, reply);
    if (rc < 0)
        return rc;
    reply.length = kHeaderAndDescriptor;
    scsilib::put_be24(&reply.bytes[kBlockLengthByte], static_cast<uint32_t>(fixed_record_size));
    if (write_back(drv, reply) < 0)
        return -1;
    drv->fixed_rec_size = fixed_record_size;
    drv->fixed = fixed_record_size != 0 ? 1 : 0;
    return 0;
}

int32 dds_set_buffering(DRIVE *drv, int32 mode)
{
    if (mode < 0)
        return -1;
    if (mode > 7)
        mode = 7;
    log_text(drv, mode != 0 ? "Set Buffered mode" : "Set Unbuffered mode");
    std::array<unsigned char, 4> header{0, 0, static_cast<unsigned char>(mode << 4), 0};
    return scsi_mode_select(drv, header.data(), static_cast<int32>(header.size())) < 0 ? -1 : 0;
}

int32 dds_get_WP(DRIVE *drv, wpstate *wp)
{
    std::array<unsigned char, 4> reply{};
    int32 n = scsi_ext_mode_sense_subpage(drv, 0, 0, 0, 0, reply.data(), static_cast<int32>(reply.size()));
    if (n < 0)
        return n;
    if (n < 3)
        return -1;
    *wp = (reply[2] & 0x80) ? write_protected : write_enabled;
    return 0;
}

int32 dds_get_product_id(DRIVE *drv, char *string)
{
    constexpr int32 kInquiryLength = 32;
    constexpr int kProductOffset = 16;
    constexpr int kProductLength = 16;
    std::array<unsigned char, kInquiryLength> reply{};
    int32 n = scsi_evpd_inquiry(drv, 0, 0, reply.data(), kInquiryLength);
    if (n < 0)
        return n;
    if (n < kProductOffset + kProductLength)
        return -1;
    // Stops at a NUL like a bounded string copy, but always terminates.
    int i = 0;
    for (; i < kProductLength && reply[kProductOffset + i] != 0; ++i)
        string[i] = static_cast<char>(reply[kProductOffset + i]);
    string[i] = '\0';
    return 0;
}
