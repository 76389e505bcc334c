// Mode and log pages of an emulated KV DDS drive, as data for the shared page
// store (mode_pages.h) and log-page builder (log_pages.h).
#ifndef KVEMU_DDS_PAGES_H
#define KVEMU_DDS_PAGES_H

#include "kv_drive.h"

namespace kvemu {

// "partition_page_length" sets the length of page 11h (0Ah or 8).
DriveTables dds_tables(const Config &cfg);

}  // namespace kvemu

#endif
