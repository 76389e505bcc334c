/* Byte-order, dump and search helpers and the status and sense texts: shared by
 * the command set and every drive family. Results and buffers: docs/library.md. */
#ifndef KVTAPE_BYTE_AND_SENSE_HELPERS_H
#define KVTAPE_BYTE_AND_SENSE_HELPERS_H

#include "scsi_io.h"

/* ---- Byte-order, dump and search helpers ---- */

int32 dds_getvalue(unsigned char *buffer, int32 nbytes);
int32 dds_getvalue_le(unsigned char *buffer, int32 nbytes);
int32 dds_putvalue(unsigned char *buffer, int32 value);
int32 dds_putvalue_ex(unsigned char *buffer, int32 value, int32 nbytes);
/* string must hold 3 * num_bytes + 1 characters. */
char *dds_print_bytes(char *string, unsigned char *data, int32 num_bytes);
/* The caller frees the text with free(); NULL when it cannot be allocated. */
char *dds_sdump_buffer(unsigned char *data, int32 len);
int32 dds_dump_buffer(FILE *fp, unsigned char *buffer, int32 length);
int32 dds_compare_buffers(unsigned char *wbuf, unsigned char *rbuf, int32 compare_length, int32 *location);
u_int8 *dds_buffer_contains(u_int8 *container, int32 container_size, u_int8 *pattern, int32 pattern_size);


/* ---- Status and sense texts ---- */

/* Buffer sizes the caller provides: the longest text and its NUL. */
#define DDS_STATUS_TEXT_SIZE 87
#define DDS_SENSE_TEXT_SIZE 68

/* "Driver status = %s, SCSI status = %s" for the handle's last command. */
char *dds_print_status(DRIVE *drv, char *text);
/* "%s : %s", sense key and ASC/ASCQ text of fixed-format sense data (14 bytes at least). */
char *dds_decode_sense(unsigned char *sense, char *text);

#endif
