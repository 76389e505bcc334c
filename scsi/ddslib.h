/* Byte helpers, sense texts, the DDS identification probe and the DDS drive library. */
#ifndef DDSLIB_H
#define DDSLIB_H

#include "scsi_io.h"

/* ---- Byte-order, dump and search helpers ---- */


/* ---- Status and sense texts ---- */


/* ---- DDS identification probe ---- */


/* ---- DDS mode-page settings and write protection ---- */


/* ---- DDS log pages, counters and tape format ---- */


/* ---- DDS EEPROM and identity data ---- */


/* ---- DDS vendor diagnostics and firmware download ---- */


#endif
