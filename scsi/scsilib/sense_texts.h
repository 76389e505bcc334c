// Tables behind the status and sense texts; the data lives in sense_texts.cpp.
#ifndef SCSILIB_SENSE_TEXTS_H
#define SCSILIB_SENSE_TEXTS_H

#include <cstddef>
#include <cstdint>

namespace scsilib {

struct StatusName {
    uint8_t value;
    const char *name;
};

struct SenseText {
    uint16_t code;  // ASC << 8 | ASCQ
    const char *text;
};

extern const StatusName driver_status_names[];
extern const std::size_t driver_status_count;
extern const StatusName scsi_status_names[];
extern const std::size_t scsi_status_count;
extern const char *const sense_key_names[16];
extern const SenseText sense_texts[];
extern const std::size_t sense_text_count;

}  // namespace scsilib

#endif
