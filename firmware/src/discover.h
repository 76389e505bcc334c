/* Drive discovery and the INQUIRY decoders that fill a drive record. */
#ifndef FIRMWARE_DISCOVER_H
#define FIRMWARE_DISCOVER_H

#include "common.h"

/* Compiled-in trace switch of the discovery scan (0). */
extern int debug_discover;

/* Scans adapters 0-255, targets 0-15, LUN 0 for KV tape drives and fills config
   in scan order; returns the number of drives accepted. */
int discover(driveinfo *config);
/* Judges the device open in drv as the scan does and fills rec from its
   replies; 1 when it is a KV tape drive the scan would accept, else 0 with rec
   zeroed. Sends only TEST UNIT READY, INQUIRY and the DDS probe's reads. */
int identify_drive(DRIVE *drv, driveinfo *rec);
/* INQUIRY decoders: each sends its INQUIRY through drv and fills *config from
   the reply; with no reply data they write nothing. */
void extract_inq_standard(DRIVE *drv, driveinfo *config);
void extract_inq_ultrium_C0h(DRIVE *drv, driveinfo *config);
void extract_inq_ultrium_C1h(DRIVE *drv, driveinfo *config);
void extract_inq_dds_C0h(DRIVE *drv, driveinfo *config);
/* The decoders of those replies once received: reply holds the `received` bytes
   that arrived (never read past them; what a field lacks reads as zero). */
void decode_inq_standard(const unsigned char *reply, int received, driveinfo *config);
void decode_inq_ultrium_C0h(const unsigned char *reply, int received, driveinfo *config);
void decode_inq_ultrium_C1h(const unsigned char *reply, int received, driveinfo *config);
void decode_inq_dds_C0h(const unsigned char *reply, int received, driveinfo *config);

#endif
