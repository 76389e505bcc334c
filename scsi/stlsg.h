/* Linux sg transport: finding, opening and closing drives, running one command. */
#ifndef STLSG_H
#define STLSG_H

#include "scsi_io.h"

int32 scsi_open_device(DRIVE *drv);
int32 scsi_open_devicefile(const char *device, DRIVE *drv);
int32 scsi_close_device(DRIVE *drv);
int32 scsi_perform_reset(DRIVE *drv, int32 resettype);
int32 scsi_exec(scsi_io_type *scsi_io);
int32 scsi_set_timeout(DRIVE *drv, int32 value);
int32 scsi_get_hba_list(int32 *hbas, int32 max_hbas);

#endif
