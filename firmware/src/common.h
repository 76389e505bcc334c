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


/* ---- Discovery XML file ---- */


#endif
