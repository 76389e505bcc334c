/* The reader of the firmware configuration file. */
#ifndef FIRMWARE_CONFIG_H
#define FIRMWARE_CONFIG_H

#include <cstdio>

#include "common.h"

/* Compiled-in trace switch of the configuration reader (0). */
extern int debug_config;

/* Reads "fwimage/firmware.cfg" into config; the number of entries filled, or
   -1 when the file cannot be opened. */
int read_firmware_config_file(driveinfo *config);
/* The same reader over an open stream (read to its end, not closed); -1 when
   fp is null. */
int read_firmware_config_stream(FILE *fp, driveinfo *config);

#endif
