// Process-wide settings of the library and the per-handle option setters.
#include <fcntl.h>

#include "scsilib.h"

// The library's version text, for what(1) and strings(1); nothing reads it,
// so it stays private to this file.
static const char revID[] __attribute__((used)) = "@(#)ZEL SCSI Library v6.2 05 May 2011";

int scsi_open_mode = O_RDWR;
pfv scsi_exception_handler = nullptr;
int32 datalog_level = 0;
pfvv scsilib_log_fn = nullptr;
static char default_td_format[] = "|%H:%M:%S|%d/%m/%y|";
char *td_format = default_td_format;
char new_td_format[40] = "";

int32 scsi_set_exception_handler(pfv func)
{
    scsi_exception_handler = func;
    return 0;
}

int32 scsi_set_fixed_mode(DRIVE *drv)
{
    drv->fixed = 1;
    return 0;
}

int32 scsi_set_variable_mode(DRIVE *drv)
{
    drv->fixed = 0;
    return 0;
}

int32 scsi_set_sili(DRIVE *drv, boolean enable)
{
    drv->sili = enable;
    return 0;
}

int32 scsi_set_link(DRIVE *drv, int32 value)
{
    drv->link = value;
    return 0;
}

int32 scsi_set_immed(DRIVE *drv, boolean enable)
{
    drv->immediate = enable;
    return 0;
}

int32 scsi_set_datalog_level(int32 len_to_dump)
{
    int32 previous = datalog_level;
    datalog_level = len_to_dump;
    return previous;
}

int32 scsi_configure_negotiation(DRIVE *drv, int32 type, int32 period, int32 offset, int32 width)
{
    drv->nego.when = static_cast<u_int8>(type);
    drv->nego.period = static_cast<u_int8>(period);
    drv->nego.offset = static_cast<u_int8>(offset);
    drv->nego.width = static_cast<u_int8>(width);
    return 0;
}

int32 scsi_configure_logging(DRIVE *drv, FILE *fp, log_level_type loglevel)
{
    drv->logfp = fp;
    drv->loglevel = loglevel;
    return 0;
}
