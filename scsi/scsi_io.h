/* Drive handle, command request record and the library's process-wide settings.
 *
 * Set a handle's fd to -1 before its first open: a zeroed handle reads as open
 * on descriptor 0. Every successful open clears scsi_exception_handler, for
 * every handle. All state outside a DRIVE is process-wide and unlocked, so calls
 * must not overlap even on different handles. See docs/library.md. */
#ifndef KVTAPE_SCSI_IO_H
#define KVTAPE_SCSI_IO_H

#include <stdio.h>

#include "common_types.h"

typedef enum { HOST_WRITE = 0, HOST_READ = 1, NO_TRANSFER = 2, UNKNOWN_DIRECTION = 3 } direction;

typedef enum { LOG_NOTHING = 0, LOG_ERRORS_ONLY = 1, LOG_EVERYTHING = 2 } log_level_type;

/* Transfer negotiation request; the Linux transport never reads it. */
typedef struct {
    u_int8 when;
    u_int8 width;
    u_int8 period;
    u_int8 offset;
    u_int8 flags;
} nego_type;

typedef struct {
    int32 fd;       /* sg node descriptor, -1 when closed */
    int32 card_id;  /* sg host number */
    int32 bus_addr; /* target id */
    int32 lun;
    boolean immediate;
    boolean sili;
    boolean fixed;
    int32 fixed_rec_size;
    int32 link; /* low byte is the CDB control byte */
    int32 lblock_prot_type;
    nego_type nego;
    int32 timeout; /* milliseconds */
    FILE *logfp;
    log_level_type loglevel;
    u_int8 scsi_status; /* FFh when the command produced no status */
    u_int8 driver_status;
    void *extended_driver_status;
    int32 actual_data_length;
    u_int8 sense_length;
    u_int8 sense_byte;
    u_int8 drive_error;
    u_int16 addl_sense;
    u_int8 sense_data[256];
} DRIVE;

typedef struct {
    DRIVE *drv;
    unsigned char cdb[16];
    int32 cdb_length;
    unsigned char *data;
    int32 data_length;
    direction data_direction;
    int32 actual_data_length;
} scsi_io_type;

typedef struct {
    direction dir;
    char name[30];
} scsi_spec_type;

typedef void (*pfv)(DRIVE *);
typedef void (*pfvv)(void *);
typedef void (*pfvi)(int32);

/* Process-wide settings; the library is used from one thread. */
extern int scsi_open_mode;
extern pfv scsi_exception_handler;
extern int32 datalog_level;
extern pfvv scsilib_log_fn;
extern char *td_format;
extern char new_td_format[40];

extern const scsi_spec_type scsi_spec[256];

#endif
