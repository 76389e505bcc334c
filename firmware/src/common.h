/* The tool's drive record and the fixed tables of records every module passes
   around (the table helpers are in config.cpp); each module has a header of its
   own that includes this one. */
#ifndef COMMON_H
#define COMMON_H

#include <fcntl.h>

#include "common_types.h"
#include "scsi_io.h"

/* Every list of drives is a fixed table of this many records. */
#define MAX_DRIVES 23

/* Open flags the tool sets before every drive open. */
#define DRIVE_OPEN_MODE (O_RDWR | O_NONBLOCK)

typedef enum { Ultrium = 0, DDS = 1 } DriveType;

/* The tool's record of one drive. Text fields are NUL-terminated. */
typedef struct {
    int Configured;              /* 1: record in use */
    char InquiryString[512];     /* unused */
    u_int8 PeripheralQualifier;  /* standard INQUIRY byte 0, bits 7-5 */
    u_int8 PeripheralDeviceType; /* standard INQUIRY byte 0, bits 4-0 */
    char VendorID[512];
    char ProductID[512];
    u_int32 DriveID; /* joins scan results, configuration and XML */
    DriveType Type;
    char _Type[512];      /* firmware item type text of the XML file */
    double HwVersion;     /* unused */
    double FwVersion;     /* installed version, or the image's version */
    double ActiveVersion; /* version to install */
    char FirmwareId[512];
    char Action[128]; /* "upgrade", "rewrite", "downgrade", "skip" or "" */
    u_int32 Duration;
    char Message[512];
    int Shared;
    char FwFile[128]; /* image file name under fwimage */
    DRIVE DRV;        /* handle through which the drive was found */
    int VUMA;         /* level from the standard INQUIRY data */
    int RQN512;       /* DDS product text contains "RQN512" */
} driveinfo;

/* First of the MAX_DRIVES records whose DriveID equals driveid, or null. */
driveinfo *find_drive(unsigned int driveid, driveinfo *config);
/* Number of records in use. */
int count(driveinfo *config);
/* Prints the records in use on standard output, or "None". */
void print_config(driveinfo *config);
/* Returns 0 and changes nothing. */
int concatenate(driveinfo *cg1, driveinfo *cg2);

#endif
