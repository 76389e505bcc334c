// Per-handle log lines: free text from any layer and one line per executed
// command, with its data and sense bytes on request. Lines go to the
// process-wide callback when one is installed, else to the handle's stream.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "byte_and_sense_helpers.h"
#include "scsi_codes.h"
#include "scsilib.h"

using namespace scsilib;

namespace {

char curr_timedate[40];

constexpr int32 kDataBytesPerLine = 16;
constexpr int32 kMaxCdbBytes = 16;
constexpr int32 kMaxSenseBytes = 255;

void emit(DRIVE *drv, const char *line)
{
    if (scsilib_log_fn)
        scsilib_log_fn(const_cast<char *>(line));
    else if (drv->logfp)
        fputs(line, drv->logfp);
}

}  // namespace

char *scsi_timedate(void)
{
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    // A format that yields more than 39 characters keeps its first 39; a
    // format that yields nothing at all leaves an empty stamp.
    char wide[512];
    size_t n = strftime(wide, sizeof wide, td_format, &local);
    if (n > sizeof curr_timedate - 1)
        n = sizeof curr_timedate - 1;
    memcpy(curr_timedate, wide, n);
    curr_timedate[n] = '\0';
    return curr_timedate;
}

int32 scsi_set_timedate_format(const char *formatstring)
{
    snprintf(new_td_format, sizeof new_td_format, "%s", formatstring ? formatstring : "");
    td_format = new_td_format;
    return 0;
}

char *scsi_get_timedate_format(void) { return td_format; }

void *scsi_set_logging_fn(pfvv new_function)
{
    void *previous = reinterpret_cast<void *>(scsilib_log_fn);
    scsilib_log_fn = new_function;
    return previous;
}

void *scsi_get_logging_fn(void) { return reinterpret_cast<void *>(scsilib_log_fn); }

int32 scsi_log(DRIVE *drv, const char *tag, const char *string)
{
    if (!drv || drv->loglevel == LOG_NOTHING)
        return 0;
    if (!string)
        string = "";
    char prefix[80];
    snprintf(prefix, sizeof prefix, "%s %-4.4s| ", scsi_timedate(), tag ? tag : "");
    if (scsilib_log_fn) {
        scsilib_log_fn(prefix);
        scsilib_log_fn(const_cast<char *>(string));
        scsilib_log_fn(const_cast<char *>("|\n"));
    } else if (drv->logfp) {
        fprintf(drv->logfp, "%s%-20s|\n", prefix, string);
    }
    return 0;
}

int32 scsi_log_cmd(scsi_io_type *scsi_io)
{
    if (!scsi_io || !scsi_io->drv)
        return 0;
    DRIVE *drv = scsi_io->drv;
    if (drv->loglevel == LOG_NOTHING)
        return 0;
    if (drv->loglevel == LOG_ERRORS_ONLY && drv->driver_status == kDriverGood &&
        drv->scsi_status == kStatusGood)
        return 0;

    int32 cdb_len = scsi_io->cdb_length;
    if (cdb_len < 0)
        cdb_len = 0;
    if (cdb_len > kMaxCdbBytes)
        cdb_len = kMaxCdbBytes;
    char cdb_text[3 * kMaxCdbBytes + 1] = "";
    dds_print_bytes(cdb_text, scsi_io->cdb, cdb_len);

    char line[3 * kMaxSenseBytes + 128];
    snprintf(line, sizeof line, "%s Sys | %-20.20s|%s|%5.5X|%2.2X|%2.2X|\n", scsi_timedate(),
             scsi_spec[scsi_io->cdb[0]].name, cdb_text, static_cast<unsigned>(scsi_io->actual_data_length),
             drv->driver_status, drv->scsi_status);
    emit(drv, line);

    if (datalog_level > 0 && scsi_io->actual_data_length > 0 && scsi_io->data) {
        int32 n = scsi_io->actual_data_length < datalog_level ? scsi_io->actual_data_length : datalog_level;
        const char *label = scsi_io->data_direction == HOST_READ ? "Data In" : "Data Out";
        for (int32 start = 0; start < n; start += kDataBytesPerLine) {
            int32 count = n - start < kDataBytesPerLine ? n - start : kDataBytesPerLine;
            char bytes[3 * kDataBytesPerLine + 1] = "";
            dds_print_bytes(bytes, scsi_io->data + start, count);
            snprintf(line, sizeof line, "%s Sys |%20.20s |%s|\n", scsi_timedate(), label, bytes);
            emit(drv, line);
        }
    }

    if (drv->scsi_status == kStatusCheckCondition) {
        // Every sense byte the buffer can hold is shown, not only the first 85.
        int32 n = drv->sense_data[kSenseAdditionalLengthByte] + 8;
        if (drv->sense_length < n)
            n = drv->sense_length;
        if (n > kMaxSenseBytes)
            n = kMaxSenseBytes;
        char bytes[3 * kMaxSenseBytes + 1] = "";
        dds_print_bytes(bytes, drv->sense_data, n);
        snprintf(line, sizeof line, "%s Sys | %-20.20s|%s|\n", scsi_timedate(), "AutoRequestSense", bytes);
        emit(drv, line);
    }
    return 0;
}
