#include "process_settings.h"

#include <unistd.h>

#include <cstring>

#include "config.h"
#include "discover.h"
#include "logfile.h"
#include "upgrade.h"
#include "xml.h"
#include "ddslib.h"
#include "engine.h"
#include "kvemu.h"
#include "ltolib/generation.h"

namespace support {

namespace {

std::string working_directory()
{
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) ? cwd : "";
}

}  // namespace

ProcessSettings::ProcessSettings()
    : open_mode_(scsi_open_mode), exception_handler_(scsi_exception_handler), datalog_level_(datalog_level),
      log_fn_(scsilib_log_fn), td_format_(td_format), new_td_format_(new_td_format),
      tape_format_(dds_tape_format), drive_hwconfig_(dds_drive_hwconfig), lto_hwconfig_(lto_drive_hwconfig),
      lto_generation_(ltolib::drive_generation()), logfile_(logfile), debug_cmdline_(debug_cmdline),
      debug_config_(debug_config), debug_discover_(debug_discover), debug_upgrade_(debug_upgrade),
      debug_xml_(debug_xml), cwd_(working_directory())
{
}

void ProcessSettings::restore() const
{
    scsi_open_mode = open_mode_;
    scsi_exception_handler = exception_handler_;
    datalog_level = datalog_level_;
    scsilib_log_fn = log_fn_;
    std::snprintf(new_td_format, sizeof new_td_format, "%s", new_td_format_.c_str());
    td_format = td_format_;
    dds_tape_format = tape_format_;
    dds_drive_hwconfig = drive_hwconfig_;
    lto_drive_hwconfig = lto_hwconfig_;
    lto_set_drive_generation(lto_generation_);
    logfile = logfile_;
    debug_cmdline = debug_cmdline_;
    debug_config = debug_config_;
    debug_discover = debug_discover_;
    debug_upgrade = debug_upgrade_;
    debug_xml = debug_xml_;
    if (!cwd_.empty() && working_directory() != cwd_)
        (void)!chdir(cwd_.c_str());
    kvemu::real_clock();
}

}  // namespace support
