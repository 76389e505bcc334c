/* Shared declarations of the firmware upgrade tool. */
#ifndef COMMON_H
#define COMMON_H

#include <fcntl.h>

#include "common_types.h"
#include "scsi_io.h"

/* ---- String operations ---- */

/* In-place operations on NUL-terminated text; each returns its argument, except
   that trim of an empty text returns a static empty string. Character classes
   are those of the POSIX locale (ASCII letters and digits only). */
char *trim(char *s);
char *upper(char *s);
char *alphanumeric(char *s);
/* Copies src into dst (room for size bytes, always terminated), each byte
   outside 20h-7Eh written as the four characters "\xHH" (upper-case hex).
   Stops before a character or escape that would not fit whole. */
void escape_unprintable(char *dst, size_t size, const char *src);

/* Conversions of untrusted text (drive replies, configuration lines); each gives
   0 when no number starts the text. hex_value: base 16, leading white space and
   a 0x prefix accepted, saturating at FFFFFFFFh. decimal_value: the standard
   floating-point conversion, infinity and NaN included. int_value: base 10,
   clamped to int. */
u_int32 hex_value(const char *s);
double decimal_value(const char *s);
int int_value(const char *s);

/* ---- Log file ---- */

/* Path of the log file the tool appends to. */
extern const char *logfile;

/* Appends msg unchanged to the log file (opened and closed per call); prints a
   complaint on standard output when the file cannot be opened. */
void _log(const char *msg);
/* Appends a line of 46 '=' to the log file. */
void _logline(void);
/* Prints a line of 46 '-' on standard output. */
void print_____________________________line(void);
/* Prints a title between two such lines. */
void print_title(const char *title);
/* 1 when dir exists or was created (one level), -1 when it cannot be created. */
int create_directory(const char *dir);

/* ---- Drive records, drive tables and firmware configuration file ---- */

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

/* Compiled-in trace switch of the configuration reader (0). */
extern int debug_config;

/* First of the MAX_DRIVES records whose DriveID equals driveid, or null. */
driveinfo *find_drive(unsigned int driveid, driveinfo *config);
/* Number of records in use. */
int count(driveinfo *config);
/* Prints the records in use on standard output, or "None". */
void print_config(driveinfo *config);
/* Returns 0 and changes nothing. */
int concatenate(driveinfo *cg1, driveinfo *cg2);
/* Reads "fwimage/firmware.cfg" into config; the number of entries filled, or
   -1 when the file cannot be opened. */
int read_firmware_config_file(driveinfo *config);
/* The same reader over an open stream (read to its end, not closed); -1 when
   fp is null. */
int read_firmware_config_stream(FILE *fp, driveinfo *config);

/* ---- Drive discovery ---- */

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
/* Longest XML file path the tool takes, without its terminating NUL. */
#define XML_PATH_MAX 511
/* Trace switch of the reader; compiled in as 0. */
extern int debug_xml;
/* Both return an error count: 0 on success. */
int WriteToXml(const char *xmlfile, driveinfo *lst_drive);
/* The reader refuses, before parsing, a file larger than 64 KiB or holding a
   document type declaration, and logs why. */
int ReadFromXml(const char *xmlfile, driveinfo *lst_drive);
/* The same reader, with the same limits, over a document of `size` bytes in
   memory; it logs nothing. */
int ReadFromXmlBuffer(const char *data, size_t size, driveinfo *lst_drive);


#endif
