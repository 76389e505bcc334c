/* KV tape library: the SCSI values a caller passes to a firmware download or
   tests in a handle after a command (DRIVE.scsi_status, DRIVE.sense_byte).
   Plain C, no declarations: the library names these values here once. */
#ifndef KVTAPE_SCSI_CONSTANTS_H
#define KVTAPE_SCSI_CONSTANTS_H

/* WRITE BUFFER modes (CDB byte 1) of a firmware download. */
enum {
    SCSI_WRITE_BUFFER_DOWNLOAD = 0x04,     /* download microcode */
    SCSI_WRITE_BUFFER_DOWNLOAD_SAVE = 0x05 /* download microcode and save it */
};

/* SCSI status byte. */
enum {
    SCSI_STATUS_GOOD = 0x00,
    SCSI_STATUS_CHECK_CONDITION = 0x02,
    SCSI_STATUS_CONDITION_MET = 0x04,
    SCSI_STATUS_BUSY = 0x08,
    SCSI_STATUS_INTERMEDIATE = 0x10,
    SCSI_STATUS_INTERMEDIATE_CONDITION_MET = 0x14,
    SCSI_STATUS_RESERVATION_CONFLICT = 0x18,
    SCSI_STATUS_COMMAND_TERMINATED = 0x22,
    SCSI_STATUS_QUEUE_FULL = 0x28
};

/* Sense keys: the low nibble of fixed-format sense byte 2, which the handle
   keeps in sense_byte. */
enum {
    SCSI_SENSE_KEY_MASK = 0x0F,
    SCSI_SENSE_NO_SENSE = 0x0,
    SCSI_SENSE_RECOVERED_ERROR = 0x1,
    SCSI_SENSE_NOT_READY = 0x2,
    SCSI_SENSE_MEDIUM_ERROR = 0x3,
    SCSI_SENSE_HARDWARE_ERROR = 0x4,
    SCSI_SENSE_ILLEGAL_REQUEST = 0x5,
    SCSI_SENSE_UNIT_ATTENTION = 0x6,
    SCSI_SENSE_DATA_PROTECT = 0x7,
    SCSI_SENSE_BLANK_CHECK = 0x8,
    SCSI_SENSE_VENDOR_SPECIFIC = 0x9,
    SCSI_SENSE_COPY_ABORTED = 0xA,
    SCSI_SENSE_ABORTED_COMMAND = 0xB,
    SCSI_SENSE_EQUAL = 0xC,
    SCSI_SENSE_VOLUME_OVERFLOW = 0xD,
    SCSI_SENSE_MISCOMPARE = 0xE
};

#endif
