/* LTO drive library. */
#ifndef LTOLIB_H
#define LTOLIB_H

#include "scsi_io.h"

/* ---- LTO identification probe ---- */

/* 1 when the drive's first supported density is assigned by "LTO-CVE". */
boolean lto_drive_is_lto(DRIVE *drv);


#endif
