// Status and sense data turned into words for people.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "byte_and_sense_helpers.h"
#include "scsi_codes.h"
#include "sense_texts.h"

namespace {

using scsilib::StatusName;

// Enough for "Unknown (ff)" and the longest table name.
constexpr std::size_t kNameSize = 32;

// Bounded copy into the caller's buffer of `size` characters.
char *copy_out(char *text, std::size_t size, const char *from)
{
    std::size_t n = std::min(std::strlen(from), size - 1);
    std::memcpy(text, from, n);
    text[n] = '\0';
    return text;
}

void status_name(const StatusName *table, std::size_t count, unsigned value, char (&out)[kNameSize])
{
    for (std::size_t i = 0; i < count; ++i) {
        if (table[i].value == value) {
            std::snprintf(out, sizeof out, "%s", table[i].name);
            return;
        }
    }
    std::snprintf(out, sizeof out, "Unknown (%x)", value);
}

const char *sense_text(unsigned code)
{
    const auto *begin = scsilib::sense_texts;
    const auto *end = begin + scsilib::sense_text_count;
    const auto *it = std::lower_bound(begin, end, code,
                                      [](const scsilib::SenseText &e, unsigned c) { return e.code < c; });
    return (it != end && it->code == code) ? it->text : nullptr;
}

}  // namespace

char *dds_print_status(DRIVE *drv, char *text)
{
    char driver[kNameSize];
    char scsi[kNameSize];
    status_name(scsilib::driver_status_names, scsilib::driver_status_count, drv->driver_status, driver);
    status_name(scsilib::scsi_status_names, scsilib::scsi_status_count, drv->scsi_status, scsi);
    char line[2 * kNameSize + 40];
    std::snprintf(line, sizeof line, "Driver status = %s, SCSI status = %s", driver, scsi);
    return copy_out(text, DDS_STATUS_TEXT_SIZE, line);
}

char *dds_decode_sense(unsigned char *sense, char *text)
{
    const unsigned asc = sense[scsilib::kSenseAscByte];
    const unsigned ascq = sense[scsilib::kSenseAscqByte];
    const char *key = scsilib::sense_key_names[sense[scsilib::kSenseKeyByte] & 0x0F];

    char detail[64];
    if (const char *known = sense_text(asc << 8 | ascq))
        std::snprintf(detail, sizeof detail, "%s", known);
    else if (asc == 0x4D)  // the qualifier is the tag of the overlapped command
        std::snprintf(detail, sizeof detail, "Overlapped tagged commands, tag %X (4D %2.2X)", ascq, ascq);
    else
        std::snprintf(detail, sizeof detail, "Not yet decoded (%2.2X%2.2X)", asc, ascq);

    char line[sizeof detail + 32];
    std::snprintf(line, sizeof line, "%s : %s", key, detail);
    return copy_out(text, DDS_SENSE_TEXT_SIZE, line);
}
