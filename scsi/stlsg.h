/* Linux sg transport: finding, opening and closing drives, running one command.
 *
 * A failed open returns -1 and leaves driver_status as it was when there is no
 * usable device at the address, or sets it to FFh when there is one that could
 * not be opened. Some failures print a line on stderr; scsi_get_hba_list fills
 * nothing. The details: docs/library.md. */
#ifndef KVTAPE_STLSG_H
#define KVTAPE_STLSG_H

#include "scsi_io.h"

int32 scsi_open_device(DRIVE *drv);
/* The number N of the node "/dev/sgN" that a text of the sg driver's device list
 * (`length` bytes, read up to the first NUL) gives for host, target id and LUN;
 * -1 when no record names that address. This is the lookup scsi_open_device
 * makes in the driver's list (or, without it, in the nodes sysfs shows). */
int32 scsi_find_device_node(const char *list, size_t length, int32 host, int32 id, int32 lun);
int32 scsi_open_devicefile(const char *device, DRIVE *drv);
int32 scsi_close_device(DRIVE *drv);
int32 scsi_perform_reset(DRIVE *drv, int32 resettype);
int32 scsi_exec(scsi_io_type *scsi_io);
int32 scsi_set_timeout(DRIVE *drv, int32 value);
int32 scsi_get_hba_list(int32 *hbas, int32 max_hbas);

#endif
