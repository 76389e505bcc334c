// The Linux sg transport: finds a drive in the sg driver's device list
// (device_list.cpp), opens its node, runs one command at a time through SG_IO
// and turns the driver's outcome into the handle's status fields.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device_list.h"
#include "scsilib.h"
#include "scsilib/byte_order.h"
#include "scsilib/scsi_codes.h"
#include "stlsg.h"

// The transport's version text, for what(1) and strings(1); nothing reads it,
// so it stays private to this file.
static const char ptdriverID[] __attribute__((used)) = "@(#) sg driver translation layer v1.6 05 May 11";

using namespace scsilib;

namespace {

// One request header for the whole process: the handle's
// extended_driver_status points here, so the raw outcome of the last command
// stays readable until the next one.
sg_io_hdr_t sg_io;

constexpr int kMinDriverVersion = 30000;
constexpr int kReservedSize = 0x100000;
constexpr int32 kDefaultTimeoutMs = 10000;
constexpr unsigned char kMaxSense = 255;

void log_line(DRIVE *drv, const char *tag, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
void log_line(DRIVE *drv, const char *tag, const char *fmt, ...)
{
    if (drv->loglevel == LOG_NOTHING)
        return;
    char text[4200];  // room for a full path in the open lines
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    scsi_log(drv, tag, text);
}

// Version check, per-handle defaults and the reserved buffer, shared by both
// open paths once the node is open in drv->fd. Returns the version on
// success, -1 after closing the node.
int finish_open(const char *path, DRIVE *drv, int *reserved)
{
    int version = -1;
    if (ioctl(drv->fd, SG_GET_VERSION_NUM, &version) < 0 || version < kMinDriverVersion) {
        fprintf(stderr, "%s doesn't seem to be a version 3 sg device (%d)\n", path, version);
        close(drv->fd);
        drv->fd = -1;
        drv->driver_status = kDriverFailed;
        return -1;
    }
    drv->fixed = 0;
    drv->immediate = 0;
    drv->sili = 0;
    drv->link = 0;
    drv->nego.when = 0;
    drv->nego.width = 8;
    drv->timeout = kDefaultTimeoutMs;
    drv->driver_status = kDriverGood;
    drv->extended_driver_status = &sg_io;
    scsi_exception_handler = nullptr;

    int size = kReservedSize;
    if (ioctl(drv->fd, SG_SET_RESERVED_SIZE, &size) < 0) {
        int err = errno;
        fprintf(stderr, "STLSG: Unable to set reserved size to %d\n", kReservedSize);
        fprintf(stderr, " - %s\n", strerror(err));
    }
    ioctl(drv->fd, SG_GET_RESERVED_SIZE, &size);
    *reserved = size;
    return version;
}

void log_revision(DRIVE *drv, int version, int reserved)
{
    log_line(drv, "Sys", "sg revision %d.%d.%d", version / 10000, (version % 10000) / 100, version % 100);
    log_line(drv, "Sys", "sg reserved size = %d bytes", reserved);
}

}  // namespace

int32 scsi_find_device_node(const char *list, size_t length, int32 host, int32 id, int32 lun)
{
    if (!list)
        return -1;
    return stlsg::find_node_in_text(list, length, host, id, lun);
}

int32 scsi_open_device(DRIVE *drv)
{
    int list_errno = 0;
    int node = stlsg::find_node(drv->card_id, drv->bus_addr, drv->lun, &list_errno);
    if (list_errno) {
        fprintf(stderr, "Unable to access %s!\n - %s\n", stlsg::kProcDeviceList, strerror(list_errno));
        return -1;
    }
    if (node < 0)
        return -1;

    char path[32];
    snprintf(path, sizeof path, "/dev/sg%d", node);
    drv->fd = open(path, scsi_open_mode);
    if (drv->fd < 0) {
        // The caller reports this one; a scan meets it for every node it may not open.
        drv->driver_status = kDriverFailed;
        return -1;
    }
    int reserved = 0;
    int version = finish_open(path, drv, &reserved);
    if (version < 0)
        return -1;
    log_line(drv, "Sys", "%-20.20s| Card %d, Addr %d, LUN %d", "OPENED SCSI DEVICE", drv->card_id,
             drv->bus_addr, drv->lun);
    log_line(drv, "Sys", "%-20.20s| %s", " Equiv sg device", path);
    log_revision(drv, version, reserved);
    return 0;
}

int32 scsi_open_devicefile(const char *device, DRIVE *drv)
{
    if (!device) {
        drv->driver_status = kDriverFailed;
        return -1;
    }
    drv->fd = open(device, scsi_open_mode);
    if (drv->fd < 0) {
        drv->driver_status = kDriverFailed;
        return -1;
    }
    int reserved = 0;
    int version = finish_open(device, drv, &reserved);
    if (version < 0)
        return -1;
    log_line(drv, "Sys", "%-20.20s| %s", "OPENED SCSI DEVICE", device);
    log_revision(drv, version, reserved);
    return 0;
}

int32 scsi_close_device(DRIVE *drv)
{
    if (drv->fd < 0)
        return 0;
    int result = close(drv->fd);
    drv->fd = -1;
    log_line(drv, "Sys", "%-20.20s| Card %d, Addr %d, LUN %d", "CLOSED SCSI DEVICE", drv->card_id,
             drv->bus_addr, drv->lun);
    return result;
}

int32 scsi_perform_reset(DRIVE *drv, int32 resettype)
{
    int32 result = -1;
    char text[64];
    switch (resettype) {
    case 0:
        snprintf(text, sizeof text, "Send Abort message not supported");
        break;
    case 1: {
        int what = SG_SCSI_RESET_DEVICE;
        result = ioctl(drv->fd, SG_SCSI_RESET, &what);
        snprintf(text, sizeof text, "Send Device Reset message");
        break;
    }
    case 2: {
        int what = SG_SCSI_RESET_BUS;
        result = ioctl(drv->fd, SG_SCSI_RESET, &what);
        snprintf(text, sizeof text, "Perform Bus reset");
        break;
    }
    default:
        snprintf(text, sizeof text, "Reset type %d not supported", resettype);
        break;
    }
    drv->driver_status = result == 0 ? kDriverGood : kDriverFailed;
    log_line(drv, "Sys", "%s |%2.2X", text, drv->driver_status);
    return result;
}

namespace {

// The bytes a request may hand the driver: never past the CDB array, never a
// negative length that would read as a huge unsigned one.
struct Bounds {
    int32 cdb_length;
    int32 asked;
};

Bounds request_bounds(const scsi_io_type *scsi_io)
{
    int32 cdb_len = scsi_io->cdb_length;
    if (cdb_len < 0)
        cdb_len = 0;
    if (cdb_len > static_cast<int32>(sizeof scsi_io->cdb))
        cdb_len = sizeof scsi_io->cdb;
    int32 asked = scsi_io->data ? scsi_io->data_length : 0;
    if (asked < 0)
        asked = 0;
    return {cdb_len, asked};
}

void fill_request(scsi_io_type *scsi_io, const Bounds &bounds)
{
    DRIVE *drv = scsi_io->drv;
    memset(&sg_io, 0, sizeof sg_io);
    sg_io.interface_id = 'S';
    switch (scsi_io->data_direction) {
    case HOST_READ:
        sg_io.dxfer_direction = SG_DXFER_FROM_DEV;
        break;
    case HOST_WRITE:
        sg_io.dxfer_direction = SG_DXFER_TO_DEV;
        break;
    default:
        sg_io.dxfer_direction = SG_DXFER_NONE;
        break;
    }
    sg_io.cmdp = scsi_io->cdb;
    sg_io.cmd_len = static_cast<unsigned char>(bounds.cdb_length);
    sg_io.mx_sb_len = kMaxSense;
    sg_io.sbp = drv->sense_data;
    sg_io.dxfer_len = static_cast<unsigned int>(bounds.asked);
    sg_io.dxferp = scsi_io->data;
    sg_io.timeout = static_cast<unsigned int>(drv->timeout);
    sg_io.flags = SG_FLAG_LUN_INHIBIT;
}

// Turns the driver's outcome into the handle's driver and SCSI status.
// Returns the residue to account for.
int classify_outcome(DRIVE *drv, int rc)
{
    drv->scsi_status = kStatusNone;
    int resid = sg_io.resid;
    if (rc < 0 || (sg_io.driver_status & kSgDriverCodeMask) == kSgDriverInvalid) {
        drv->driver_status = kDriverFailed;
    } else if (sg_io.host_status == kSgHostNoConnect) {
        drv->driver_status = kDriverSelectionTimeout;
    } else if (sg_io.host_status == kSgHostTimeOut) {
        drv->driver_status = kDriverTimedOut;
    } else if (sg_io.driver_status == (kSgSuggestAbort | kSgDriverHard) && sg_io.host_status == kSgHostError &&
               sg_io.resid == -1 && sg_io.status == kStatusGood) {
        // This combination is what some adapters report for a command that
        // completed in full; a status other than GOOD says it did not.
        drv->driver_status = kDriverGood;
        drv->scsi_status = kStatusGood;
        resid = 0;
    } else if (sg_io.host_status != kSgHostOk) {
        drv->driver_status = kDriverAdapterError;
        if (drv->loglevel != LOG_NOTHING) {
            log_line(drv, "STL", "Driver status : 0x%2.2X", sg_io.driver_status);
            log_line(drv, "STL", "Host status   : 0x%2.2X", sg_io.host_status);
            log_line(drv, "STL", "Data xfer len : 0x%X", sg_io.dxfer_len);
            log_line(drv, "STL", "Data residue  : 0x%X", static_cast<unsigned>(sg_io.resid));
            log_line(drv, "STL", "Sense length  : 0x%X", sg_io.sb_len_wr);
        }
    } else if (const auto code = static_cast<uint8_t>(sg_io.driver_status & kSgDriverCodeMask &
                                                      ~kSgDriverSense);
               code != kSgDriverOk) {
        // Older kernels report a timed-out or failed command this way, with
        // adapter status 0 and a status byte that reads GOOD: nothing says
        // the drive took the command, so it failed.
        drv->driver_status = code == kSgDriverTimeout ? kDriverTimedOut : kDriverFailed;
    } else {
        drv->driver_status = kDriverGood;
        drv->scsi_status = sg_io.status;
    }
    return resid;
}

// The sense fields change only after a CHECK CONDITION that came with sense data.
void take_sense(DRIVE *drv)
{
    if (!(sg_io.driver_status & kSgDriverSense) || drv->scsi_status != kStatusCheckCondition)
        return;
    // The driver's claim is bounded by the buffer it was given.
    drv->sense_length = sg_io.sb_len_wr < sg_io.mx_sb_len ? sg_io.sb_len_wr : sg_io.mx_sb_len;
    drv->sense_byte = drv->sense_data[kSenseKeyByte];
    drv->drive_error = drv->sense_data[kSenseDriveErrorByte];
    drv->addl_sense = static_cast<u_int16>(get_be16(&drv->sense_data[kSenseAscByte]));
}

// A residue outside 0..asked would report bytes that never reached the buffer.
int32 transferred(int resid, int32 asked)
{
    if (resid < 0)
        resid = 0;
    if (resid > asked)
        resid = asked;
    return asked - resid;
}

}  // namespace

int32 scsi_exec(scsi_io_type *scsi_io)
{
    if (!scsi_io || !scsi_io->drv)
        return -1;
    DRIVE *drv = scsi_io->drv;

    const Bounds bounds = request_bounds(scsi_io);
    fill_request(scsi_io, bounds);
    int rc = ioctl(drv->fd, SG_IO, &sg_io);
    int resid = classify_outcome(drv, rc);
    take_sense(drv);
    // A request the driver never took moved nothing, whatever the buffer holds.
    scsi_io->actual_data_length = rc < 0 ? 0 : transferred(resid, bounds.asked);
    drv->actual_data_length = scsi_io->actual_data_length;

    if (drv->loglevel != LOG_NOTHING)
        scsi_log_cmd(scsi_io);

    if (drv->driver_status != kDriverGood || drv->scsi_status != kStatusGood) {
        if (scsi_exception_handler)
            scsi_exception_handler(drv);
        return -1;
    }
    return drv->actual_data_length;
}

int32 scsi_set_timeout(DRIVE *drv, int32 value)
{
    drv->timeout = value;
    log_line(drv, "Sys", "Timeout set to %3.3f seconds", value / 1000.0);
    return 0;
}

int32 scsi_get_hba_list(int32 *hbas, int32 max_hbas)
{
    (void)hbas;
    (void)max_hbas;
    return 0;
}
