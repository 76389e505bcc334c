// The cartridge's serial number: the drive's media serial number, or the
// serial number in page 001h of the cartridge memory.
#include <algorithm>
#include <array>
#include <cstring>

#include "cartridge_memory/cm_image_layout.h"
#include "cartridge_memory/cm_report.h"
#include "report_lines.h"
#include "scsilib.h"

namespace ltolib {
namespace {

// READ MEDIA SERIAL NUMBER: a 4-byte length header, then the text.
constexpr int32 kSerialReply = 256;
constexpr int32 kSerialHeader = 4;

// At most max characters of text, stopping at a NUL, then a NUL.
void copy_text(char *to, const u_int8 *text, size_t max)
{
    size_t i = 0;
    for (; i < max && text[i] != 0; ++i)
        to[i] = static_cast<char>(text[i]);
    to[i] = '\0';
}

}  // namespace

int32 cm_tape_number(const u_int8 *cm, size_t count, char *tapeno)
{
    if (cm == nullptr || tapeno == nullptr)
        return -1;
    const CmView scan(cm, std::min(count, image::kTapeNumberScan));
    for (size_t at = image::kProtectedTable; scan.has(at + image::kEntrySize); at += image::kEntrySize) {
        const unsigned id = scan.be16(at) & 0xFFF;
        if (id == image::kEndId)
            return -1;
        if (id != LTO_CM_PAGE_CARTMFR)
            continue;
        const size_t serial = scan.be16(at + 2) + image::kCartSerial;
        if (!scan.has(serial + image::kCartSerialWidth))
            return -1;
        copy_text(tapeno, scan.at(serial), image::kCartSerialWidth);
        return 0;
    }
    return -1;
}

}  // namespace ltolib

using namespace ltolib;

int32 lto_cm_get_tape_number(u_int8 *cm, char *tapeno)
{
    return cm_tape_number(cm, image::kTapeNumberScan, tapeno);
}

int32 lto_get_tape_number(DRIVE *drv, char *tapeno)
{
    if (tapeno == nullptr)
        return -1;
    // A reply no longer than its header holds no serial number; then the
    // cartridge memory has to give it.
    std::array<u_int8, kSerialReply> reply{};
    const int32 n = scsi_read_media_serialno(drv, reply.data(), kSerialReply);
    if (n > kSerialHeader) {
        const size_t received = static_cast<size_t>(std::min(n, kSerialReply) - kSerialHeader);
        copy_text(tapeno, reply.data() + kSerialHeader, std::min<size_t>(received, LTO_TAPE_NUMBER_SIZE - 1));
        return 0;
    }
    std::array<u_int8, image::kTapeNumberScan> cm{};
    const int32 got = lto_read_cm(drv, cm.data(), static_cast<int32>(cm.size()));
    if (got < 0)
        return -1;
    return cm_tape_number(cm.data(), static_cast<size_t>(got), tapeno);
}
