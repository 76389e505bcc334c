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
/* Trace switch of the reader; compiled in as 0. */
extern int debug_xml;
/* Both return an error count: 0 on success. */
int WriteToXml(const char *xmlfile, driveinfo *lst_drive);
int ReadFromXml(const char *xmlfile, driveinfo *lst_drive);


#endif
