/* Settings, command set, command logging and adapter scan of the tape library. */
#ifndef SCSILIB_H
#define SCSILIB_H

#include "scsi_io.h"

/* ---- Per-handle and process-wide settings ---- */

int32 scsi_set_exception_handler(pfv func);
int32 scsi_set_fixed_mode(DRIVE *drv);
int32 scsi_set_variable_mode(DRIVE *drv);
int32 scsi_set_sili(DRIVE *drv, boolean enable);
int32 scsi_set_link(DRIVE *drv, int32 value);
int32 scsi_set_immed(DRIVE *drv, boolean enable);
int32 scsi_set_datalog_level(int32 len_to_dump);
int32 scsi_configure_negotiation(DRIVE *drv, int32 type, int32 period, int32 offset, int32 width);
int32 scsi_configure_logging(DRIVE *drv, FILE *fp, log_level_type loglevel);

/* ---- Command logging ---- */

/* Current local time in the timestamp format; a static buffer that the next
 * call overwrites. */
char *scsi_timedate(void);
/* Copies at most 39 characters of the format. */
int32 scsi_set_timedate_format(const char *formatstring);
char *scsi_get_timedate_format(void);
int32 scsi_log(DRIVE *drv, const char *tag, const char *string);
int32 scsi_log_cmd(scsi_io_type *scsi_io);
void *scsi_set_logging_fn(pfvv new_function);
void *scsi_get_logging_fn(void);


/* ---- Command set ---- */


/* ---- Adapter scan and protection CRC ---- */


#endif
