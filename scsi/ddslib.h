/* Byte helpers, sense texts, the DDS identification probe and the DDS drive library. */
#ifndef DDSLIB_H
#define DDSLIB_H

#include "scsi_io.h"

/* ---- Byte-order, dump and search helpers ---- */


/* ---- Status and sense texts ---- */

/* Buffer sizes the caller provides: the longest text and its NUL. */
#define DDS_STATUS_TEXT_SIZE 87
#define DDS_SENSE_TEXT_SIZE 68

/* "Driver status = %s, SCSI status = %s" for the handle's last command. */
char *dds_print_status(DRIVE *drv, char *text);
/* "%s : %s", sense key and ASC/ASCQ text of fixed-format sense data (14 bytes at least). */
char *dds_decode_sense(unsigned char *sense, char *text);


/* ---- DDS identification probe ---- */


/* ---- DDS mode-page settings and write protection ---- */


/* ---- DDS log pages, counters and tape format ---- */


/* ---- DDS EEPROM and identity data ---- */


/* ---- DDS vendor diagnostics and firmware download ---- */


#endif
