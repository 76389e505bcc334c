// DDS identity and maintenance data: EEPROM information, manufacturing codes,
// the EEPROM fault log, firmware revisions and raw serial-EEPROM bytes. The
// EEPROM layouts differ between hardware families, so each read starts with the
// configuration probe.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "ddslib.h"
#include "eeprom_layouts.h"
#include "scsilib/byte_order.h"
#include "scsilib.h"

using namespace ddslib;

namespace {

constexpr int32 kInquiryLength = 256;
constexpr size_t kCtrlrRevAt = 20;
constexpr size_t kCtrlrRevMax = 10;
constexpr size_t kServoRevAt = 17;
constexpr size_t kServoRevMax = DDS_FW_REV_SIZE - 1;
constexpr size_t kAutochRevAt = 20;
constexpr size_t kAutochRevMax = 7;
constexpr unsigned char kAutochangerBit = 0x40;  // standard INQUIRY byte 1

Family family_of(int32 hw)
{
    const int32 platform = hw & 0xFF0000;
    if (std::find(kFamily1Platforms.begin(), kFamily1Platforms.end(), platform) != kFamily1Platforms.end())
        return Family::one;
    const int32 platform2 = hw & 0xFFFF00;
    if (std::find(kFamily2Platforms.begin(), kFamily2Platforms.end(), platform2) != kFamily2Platforms.end())
        return Family::two;
    return Family::three;
}

// Asks the drive for its configuration codes; false when it does not answer.
bool probe(DRIVE *drv, Family &family, int32 &fw)
{
    int32 hw = 0;
    fw = 0;
    char codename[32] = {};
    if (dds_read_config_codes(drv, &hw, &fw, codename) < 0)
        return false;
    family = family_of(hw);
    return true;
}

// A zeroed buffer for one READ BUFFER; the result is the byte count received or -1.
int32 read_buffer(DRIVE *drv, const BufferRead &at, std::vector<unsigned char> &image)
{
    image.assign(static_cast<size_t>(at.length), 0);
    return scsi_read_buffer(drv, image.data(), at.id, at.mode, at.offset, at.length);
}

int32 be32(const unsigned char *p) { return static_cast<int32>(scsilib::get_be32(p)); }
int32 be16(const unsigned char *p) { return scsilib::get_be16(p); }
int32 le32(const unsigned char *p) { return static_cast<int32>(scsilib::get_le32(p)); }

char *field_of(mfg_data_type &m, MfgField f)
{
    switch (f) {
    case MfgField::serialno:
        return m.serialno;
    case MfgField::datecode:
        return m.datecode;
    case MfgField::mechcode:
        return m.mechcode;
    case MfgField::boardcode:
        return m.boardcode;
    case MfgField::mfgplant:
        return m.mfgplant;
    }
    return m.serialno;
}

// Copies at most count characters, stopping at a NUL, and terminates the text
// at position count; dst holds count + 1 characters.
void copy_text(char *dst, const unsigned char *src, size_t count)
{
    size_t i = 0;
    for (; i < count && src[i] != 0; ++i)
        dst[i] = static_cast<char>(src[i]);
    std::fill(dst + i, dst + count + 1, '\0');
}

// Copies the text at `at` of a reply of `received` bytes, at most max characters.
void copy_reply_text(char *dst, const unsigned char *reply, int32 received, size_t at, size_t max)
{
    const size_t avail = static_cast<size_t>(received) - at;
    copy_text(dst, reply + at, std::min(max, avail));
}

void set_text(char *dst, const char *text) { std::strcpy(dst, text); }

const BufferRead &log_read(Family family)
{
    return family == Family::one ? kLogFamily1 : family == Family::two ? kLogFamily2 : kLogFamily3;
}

// Family 1: a ring of entries after a little-endian index word naming the
// oldest; empty entries are all zero. -1 when the index is outside the ring.
int32 take_log_ring(const std::vector<unsigned char> &image, faultlogtype *faultlog)
{
    const int32 first = le32(&image[0]);
    if (first < 0 || first >= static_cast<int32>(kLog1Entries))
        return -1;
    int32 count = 0;
    size_t pos = kLog1RingStart + kLog1EntrySize * static_cast<size_t>(first);
    for (size_t n = 0; n < kLog1Entries; ++n) {
        const unsigned char *e = &image[pos];
        if (e[0] || e[1] || e[2] || e[3]) {
            faultlogtype &out = faultlog[count++];
            out.errorcode = e[0];
            out.scsi_opcode = e[1];
            out.dummy = e[2];
            out.flags = e[3];
        }
        pos += kLog1EntrySize;
        if (pos >= kLog1RingStart + kLog1Entries * kLog1EntrySize)
            pos = kLog1RingStart;
    }
    return count;
}

// Takes `n` entries lying `stride` bytes apart from `first` into faultlog from
// position `count`, passing over unused ones; `fill` sets what follows the error
// code and opcode. Returns the new count.
template <typename Fill>
int32 take_used(const unsigned char *first, size_t n, size_t stride, faultlogtype *faultlog, int32 count,
                Fill fill)
{
    for (size_t i = 0; i < n; ++i) {
        const unsigned char *e = first + i * stride;
        if (e[0] == kLogEmptyEntry)
            continue;
        faultlogtype &out = faultlog[count++];
        out.errorcode = e[0];
        out.scsi_opcode = e[1];
        fill(e, out);
    }
    return count;
}

// Family 2: entries from byte 0.
int32 take_log_entries(const std::vector<unsigned char> &image, faultlogtype *faultlog)
{
    return take_used(image.data(), kLog2Entries, kLog2EntrySize, faultlog, 0,
                     [](const unsigned char *e, faultlogtype &out) {
                         out.flags = e[2];
                         out.dummy = e[3];
                     });
}

// Family 3 with three 3-byte entries per row, read column by column.
int32 take_log_columns(const std::vector<unsigned char> &image, faultlogtype *faultlog)
{
    int32 count = 0;
    for (size_t col : kLog3TripleOffsets)
        count = take_used(&image[col], kLog3Rows, kLog3RowSize, faultlog, count,
                          [](const unsigned char *e, faultlogtype &out) { out.flags = e[2]; });
    return count;
}

// Family 3 with one entry per row, its flags gathered from four bytes.
int32 take_log_rows(const std::vector<unsigned char> &image, faultlogtype *faultlog)
{
    return take_used(image.data(), kLog3Rows, kLog3RowSize, faultlog, 0,
                     [](const unsigned char *e, faultlogtype &out) {
                         unsigned flags = (unsigned(e[6]) << 7) | (unsigned(e[3]) << 4) | (e[4] & 0x0Fu);
                         if (e[5] == 0)
                             flags |= 0x40;
                         out.flags = static_cast<u_int8>(flags & 0xFF);
                     });
}

}  // namespace

int32 dds_read_eprom_info(DRIVE *drv, int32 *csum, boolean *csum_valid, int32 *flashcount)
{
    if (csum == nullptr || csum_valid == nullptr || flashcount == nullptr)
        return -1;
    Family family;
    int32 fw;
    if (!probe(drv, family, fw))
        return -1;
    std::vector<unsigned char> image;
    if (family == Family::two) {
        const int32 r = read_buffer(drv, kInfoFamily2, image);
        if (r < static_cast<int32>(kInfo2End))
            return -1;
        *csum = be32(&image[kInfo2Checksum]);
        *csum_valid = be32(&image[kInfo2Valid]) == 1;
        *flashcount = be32(&image[kInfo2FlashCount]);
        return 0;
    }
    const int32 r = read_buffer(drv, kInfoFamily13, image);
    if (r < 8)
        return -1;
    const int32 w0 = be32(&image[0]);
    const size_t base = (w0 == be32(&image[4]) && w0 != 0) ? kInfo13ShiftedBase : 0;
    if (r < static_cast<int32>(base + kInfo13End))
        return -1;
    *csum = be32(&image[base + kInfo13Checksum]);
    *csum_valid = image[base + kInfo13Valid] == 1;
    *flashcount = be16(&image[base + kInfo13FlashCount]);
    return 0;
}

int32 dds_read_mfg_codes(DRIVE *drv, mfg_data_type *mcodes)
{
    if (mcodes == nullptr)
        return -1;
    Family family;
    int32 fw;
    if (!probe(drv, family, fw))
        return -1;
    std::vector<unsigned char> image;
    if (family == Family::one) {
        for (const auto &f : kMfgFamily1) {
            const int32 r = read_buffer(drv, {kMfg1BufferId, kMfg1Mode, f.offset, kMfg1ReadLength}, image);
            if (r < static_cast<int32>(f.count))
                return -1;
            copy_text(field_of(*mcodes, f.field), image.data(), f.count);
        }
        return 0;
    }
    const MfgBlock &block = family == Family::two ? kMfgFamily2 : kMfgFamily3;
    const int32 r = read_buffer(drv, block.read, image);
    size_t needed = 0;
    for (const auto &f : block.fields)
        needed = std::max({needed, f.marker + 1, f.source + f.count});
    if (r < static_cast<int32>(needed))
        return -1;
    for (const auto &f : block.fields) {
        char *dst = field_of(*mcodes, f.field);
        if (image[f.marker] == kMfgUnsetMarker)
            set_text(dst, "n/a");
        else
            copy_text(dst, &image[f.source], f.count);
    }
    return 0;
}

int32 dds_read_eprom_log(DRIVE *drv, faultlogtype *faultlog, int32 *num_entries, boolean *overflow)
{
    if (faultlog == nullptr || num_entries == nullptr || overflow == nullptr)
        return -1;
    *overflow = 0;
    Family family;
    int32 fw;
    if (!probe(drv, family, fw))
        return -1;
    std::vector<unsigned char> image;
    if (read_buffer(drv, log_read(family), image) != log_read(family).length)
        return -1;
    if (image[0] == kLogErased) {
        *num_entries = 0;
        return 0;
    }
    if (family == Family::one) {
        const int32 count = take_log_ring(image, faultlog);
        if (count < 0)
            return -1;
        *num_entries = count;
        return 0;
    }
    if (family == Family::two)
        *num_entries = take_log_entries(image, faultlog);
    else if (image[3] > 1 && image[6] > 1)
        *num_entries = take_log_columns(image, faultlog);
    else
        *num_entries = take_log_rows(image, faultlog);
    *overflow = image[kLogOverflowByte] == 0;
    return 0;
}

int32 dds_get_fw_revs(DRIVE *drv, char *ctrlr, char *servo, char *autoch)
{
    if (ctrlr == nullptr || servo == nullptr)
        return -1;
    std::array<unsigned char, kInquiryLength> reply{};
    char ctrlr_rev[kCtrlrRevMax + 1];
    char servo_rev[kServoRevMax + 1];
    char autoch_rev[kAutochRevMax + 1];

    int32 r = scsi_evpd_inquiry(drv, 1, 0xC0, reply.data(), kInquiryLength);
    if (r <= static_cast<int32>(kCtrlrRevAt))
        return -1;
    copy_reply_text(ctrlr_rev, reply.data(), r, kCtrlrRevAt, kCtrlrRevMax);

    reply.fill(0);
    r = scsi_evpd_inquiry(drv, 1, 0xC1, reply.data(), kInquiryLength);
    if (r <= static_cast<int32>(kServoRevAt))
        return -1;
    copy_reply_text(servo_rev, reply.data(), r, kServoRevAt, kServoRevMax);

    if (autoch != nullptr) {
        reply.fill(0);
        r = scsi_evpd_inquiry(drv, 0, 0, reply.data(), kInquiryLength);
        if (r < 2)
            return -1;
        if (reply[1] & kAutochangerBit) {
            reply.fill(0);
            r = scsi_evpd_inquiry(drv, 1, 0xC2, reply.data(), kInquiryLength);
            if (r <= static_cast<int32>(kAutochRevAt))
                return -1;
            copy_reply_text(autoch_rev, reply.data(), r, kAutochRevAt, kAutochRevMax);
        } else {
            set_text(autoch_rev, "n/a");
        }
        set_text(autoch, autoch_rev);
    }
    set_text(ctrlr, ctrlr_rev);
    set_text(servo, servo_rev);
    return 0;
}

int32 dds_drive_is_new_arch(void) { return (dds_drive_hwconfig & kNewArchBit) ? 1 : 0; }

int32 dds_read_serial_eeprom(DRIVE *drv, unsigned char *data, int32 offset, int32 nbytes)
{
    if (data == nullptr || offset < 0 || nbytes < 0)
        return -1;
    Family family;
    int32 fw;
    if (!probe(drv, family, fw))
        return -1;
    std::memset(data, 0, static_cast<size_t>(nbytes));
    if (dds_drive_is_new_arch())
        return scsi_read_buffer(drv, data, kSerialNewArchId, kSerialNewArchMode, offset, nbytes);
    if (family == Family::two) {
        const int32 id = fw == kFwCodeBuffer7 ? kSerialFamily2AltId : kSerialFamily2Id;
        return scsi_read_buffer(drv, data, id, kSerialFamily2Mode, offset, nbytes);
    }

    // Older drives reach the EEPROM only through the servo, one word at a time.
    servo_cmd_type cmd{};
    cmd.cmd = kServoReadEeprom;
    cmd.num_parms = 2;
    cmd.passthru = 1;
    int32 address = (offset - kServoEepromBase) & 0xFFFF;
    int32 bytes_read = 0;
    int32 status = 0;
    while (address <= kServoLastAddress && bytes_read < nbytes && status >= 0) {
        cmd.parms[0] = static_cast<u_int8>(address >> 8);
        cmd.parms[1] = static_cast<u_int8>(address & 0xFF);
        status = dds_servo_cmd(drv, 0, &cmd);
        if (status == 0) {
            std::array<unsigned char, kServoReplyLength> reply{};
            status = scsi_receive_diagnostic_results(drv, 0, 0, reply.data(), kServoReplyLength);
            if (status >= 0 && status < static_cast<int32>(kServoWordByte + 2))
                status = -1;  // no word in the reply
            if (status >= 0) {
                data[bytes_read] = reply[kServoWordByte];
                if (bytes_read + 1 < nbytes)
                    data[bytes_read + 1] = reply[kServoWordByte + 1];
            }
        }
        address += 2;
        bytes_read = std::min(bytes_read + 2, nbytes);
    }
    // The servo must leave pass-through mode whatever happened above.
    cmd.passthru = 0;
    const int32 off = dds_servo_cmd(drv, 0, &cmd);
    if (status < 0 || off < 0)
        return -1;
    return bytes_read;
}
