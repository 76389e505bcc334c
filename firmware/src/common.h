/* Shared declarations of the firmware upgrade tool. */
#ifndef COMMON_H
#define COMMON_H

#include "common_types.h"
#include "scsi_io.h"

/* ---- String operations ---- */


/* ---- Log file ---- */


/* ---- Drive records, drive tables and firmware configuration file ---- */


/* ---- Drive discovery ---- */


/* ---- Upgrade recommendation, download and verification ---- */

/* Compiled-in trace switch of the download (0). */
extern int debug_upgrade;

/* Copies each discovered drive that has a configuration entry for its DriveID
   into lst_drv_recommendation, with Action "upgrade" when the configured
   version is newer, else "skip"; prints both versions on standard output. */
void recommend_upgrade(driveinfo *lst_drv_discovered, driveinfo *lst_drv_config,
                       driveinfo *lst_drv_recommendation);
/* Sends the configured image to every listed drive whose Action is "upgrade",
   "rewrite" or "downgrade", waits while the drives reprogram, scans again and
   checks the versions. Returns the error count, 0 when all went as asked. */
int upgrade(driveinfo *lst_drv_upgrade, driveinfo *lst_drv_config);
/* Progress callback (percent); prints only with the trace switch on. */
void ptrfvi(int s);


/* ---- Discovery XML file ---- */


#endif
