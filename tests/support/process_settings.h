// The process-wide settings of the library and the tool, captured and put back,
// so that a test program run whole behaves as each of its tests run alone.
#ifndef TESTS_PROCESS_SETTINGS_H
#define TESTS_PROCESS_SETTINGS_H

#include <string>

#include "scsi_io.h"

namespace support {

class ProcessSettings {
public:
    // Captures the settings as they are now.
    ProcessSettings();
    // Puts every captured setting back.
    void restore() const;

private:
    int open_mode_;
    pfv exception_handler_;
    int32 datalog_level_;
    pfvv log_fn_;
    char *td_format_;
    std::string new_td_format_;
    unsigned char tape_format_;
    int32 drive_hwconfig_;
    int32 lto_hwconfig_;
    int32 lto_generation_;
    const char *logfile_;
    int debug_cmdline_, debug_config_, debug_discover_, debug_upgrade_, debug_xml_;
    std::string cwd_;
};

}  // namespace support

#endif
