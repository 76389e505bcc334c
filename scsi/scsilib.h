/* Settings, command set, command logging and adapter scan of the tape library.
 *
 * The results of every part of the library, the callbacks' rules and the
 * adapter scan's range: docs/library.md. */
#ifndef KVTAPE_SCSILIB_H
#define KVTAPE_SCSILIB_H

#include "scsi_io.h"

/* ---- Per-handle and process-wide settings ---- */

int32 scsi_set_exception_handler(pfv func);
int32 scsi_set_fixed_mode(DRIVE *drv);
int32 scsi_set_variable_mode(DRIVE *drv);
int32 scsi_set_sili(DRIVE *drv, boolean enable);
int32 scsi_set_link(DRIVE *drv, int32 value);
int32 scsi_set_immed(DRIVE *drv, boolean enable);
int32 scsi_set_datalog_level(int32 len_to_dump);
int32 scsi_configure_negotiation(DRIVE *drv, int32 type, int32 period, int32 offset, int32 width);
int32 scsi_configure_logging(DRIVE *drv, FILE *fp, log_level_type loglevel);

/* ---- Command logging ---- */

/* Current local time in the timestamp format; a static buffer that the next
 * call overwrites. */
char *scsi_timedate(void);
/* Copies at most 39 characters of the format. */
int32 scsi_set_timedate_format(const char *formatstring);
char *scsi_get_timedate_format(void);
int32 scsi_log(DRIVE *drv, const char *tag, const char *string);
int32 scsi_log_cmd(scsi_io_type *scsi_io);
void *scsi_set_logging_fn(pfvv new_function);
void *scsi_get_logging_fn(void);


/* ---- Command set ---- */

/* Each builder returns the bytes transferred, or -1 with the reason in the handle. */
int32 scsi_test_unit_ready(DRIVE *drv);
int32 scsi_rewind(DRIVE *drv);
int32 scsi_request_block_address(DRIVE *drv);
int32 scsi_request_sense(DRIVE *drv, unsigned char *sense, int32 length);
int32 scsi_format_medium(DRIVE *drv, int32 formatctrl);
int32 scsi_read_block_limits(DRIVE *drv, unsigned char *buffer, int32 length);
int32 scsi_read(DRIVE *drv, unsigned char *buffer, int32 length);
int32 scsi_write(DRIVE *drv, unsigned char *buffer, int32 length);
int32 scsi_set_capacity(DRIVE *drv, int32 proportion);
int32 scsi_seek_block(DRIVE *drv, int32 block);
int32 scsi_write_marks(DRIVE *drv, int32 markcount, int32 marktype);
int32 scsi_space(DRIVE *drv, int32 spacecount, int32 spacetype);
int32 scsi_evpd_inquiry(DRIVE *drv, int32 evpd, int32 page, unsigned char *buffer, int32 length);
int32 scsi_ext_inquiry(DRIVE *drv, int32 evpd, int32 cmdDt, int32 page, unsigned char *buffer, int32 length);
int32 scsi_verify(DRIVE *drv, boolean bytcmp, unsigned char *buffer, int32 length);
int32 scsi_mode_select(DRIVE *drv, unsigned char *buffer, int32 length);
int32 scsi_reserve_unit_thirdparty(DRIVE *drv, int32 thirdpty);
int32 scsi_release_unit_thirdparty(DRIVE *drv, int32 thirdpty);
int32 scsi_erase(DRIVE *drv, int32 erasetype);
int32 scsi_ext_mode_sense_subpage(DRIVE *drv, int32 DBD, int32 PCF, int32 page, int32 subpage,
                                  unsigned char *buffer, int32 length);
int32 scsi_load_unload(DRIVE *drv, int32 media_id, int32 ldun, int32 magunld);
int32 scsi_receive_diagnostic_results(DRIVE *drv, boolean pcValid, int32 pagecode, unsigned char *buffer,
                                      int32 length);
int32 scsi_send_diagnostic_page(DRIVE *drv, unsigned char byte1, unsigned char *buffer, int32 length);
int32 scsi_prev_allow_media_removal(DRIVE *drv, int32 cass_prevent, int32 mag_prevent);
int32 scsi_media_census(DRIVE *drv, unsigned char *buffer, int32 length);
int32 scsi_locate(DRIVE *drv, int32 blockcount, int32 blocktype, int32 partition);
int32 scsi_read_position(DRIVE *drv, int32 blocktype, unsigned char *buffer, int32 length);
int32 scsi_write_buffer(DRIVE *drv, unsigned char *buffer, int32 id, int32 mode, int32 addr, int32 length);
int32 scsi_read_buffer(DRIVE *drv, unsigned char *buffer, int32 id, int32 mode, int32 addr, int32 length);
int32 scsi_ext_report_density_support(DRIVE *drv, int32 media, int32 mediumtype, unsigned char *buffer,
                                      int32 length);
int32 scsi_ext_log_select(DRIVE *drv, int32 PCR, int32 PC, unsigned char *buffer, int32 length);
int32 scsi_ext_log_sense(DRIVE *drv, int32 PC, int32 page, unsigned char *buffer, int32 length);
int32 scsi_persistent_reserve_in(DRIVE *drv, int32 action, u_int8 *buffer, int32 length);
int32 scsi_persistent_reserve_out(DRIVE *drv, int32 action, int32 scope, int32 rtype, u_int8 *buffer,
                                  int32 length);
int32 scsi_read_attribute(DRIVE *drv, int32 svcaction, int32 vol, int32 partn, int32 firstattrib,
                          unsigned char *buffer, int32 length);
int32 scsi_write_attribute(DRIVE *drv, int32 vol, int32 partn, unsigned char *buffer, int32 length);
int32 scsi_ext_locate(DRIVE *drv, int64 identcount, int32 dest_type, int32 partition, int32 bam);
int32 scsi_report_luns(DRIVE *drv, unsigned char *buffer, int32 length);
int32 scsi_security_protocol_in(DRIVE *drv, int32 protocol, int32 specific, u_int8 *buffer, int32 length);
int32 scsi_security_protocol_out(DRIVE *drv, int32 protocol, int32 specific, u_int8 *buffer, int32 length);
int32 scsi_report_device_identifier(DRIVE *drv, u_int8 *identifier, int32 length);
int32 scsi_set_device_identifier(DRIVE *drv, u_int8 *identifier, int32 length);
int32 scsi_ext_move_medium(DRIVE *drv, int32 mta, int32 source, int32 destination);
int32 scsi_read_media_serialno(DRIVE *drv, u_int8 *serial, int32 length);
int32 scsi_read_element_status(DRIVE *drv, int32 element_code, int32 start_element, int32 num_elements,
                               unsigned char *buffer, int32 length);
/* Sends a caller-built CDB of 1 to 16 bytes unchanged; the direction comes from scsi_spec. */
int32 scsi_general(DRIVE *drv, unsigned char *cmd, int32 cmd_length, unsigned char *data, int32 data_length);

/* ---- Adapter scan and protection CRC ---- */

/* One target of an adapter scan. */
typedef struct {
    u_int8 raw_devtype;  /* peripheral device type; FFh when the target did not answer */
    u_int8 removable;    /* RMB bit of the INQUIRY data */
    char devtype[20];    /* type name, "Inaccessible" or "No response" */
    char product_id[20]; /* the 16 INQUIRY product characters and a NUL */
} devicetype;

/* Names of the 32 peripheral device types. */
extern const char *const scsi_pd_types[32];

/* Fills devices[t] for target ids 0..15 but 7; returns how many answered INQUIRY. */
int32 scsi_find_devices(int32 card_id, devicetype *devices);
/* Reed-Solomon logical block protection CRC, continued from the register value crc. */
u_int32 scsi_generate_CRC(u_int32 crc, u_int32 length, u_int8 *buffer);

#endif
