/* Upgrade recommendation, firmware download and verification. */
#ifndef FIRMWARE_UPGRADE_H
#define FIRMWARE_UPGRADE_H

#include "common.h"

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

#endif
