// Adapter scan: what answers INQUIRY on each target id of one host adapter.
#include <cstdio>
#include <cstring>

#include "scsilib.h"
#include "stlsg.h"

namespace {

constexpr int32 kTargets = 16;
constexpr int32 kHostTarget = 7;  // the adapter's own id, never scanned
constexpr int32 kScanTimeoutMs = 1000;
constexpr u_int8 kNoAnswer = 0xFF;  // raw_devtype of a target that did not answer

void set_name(devicetype &row, const char *name) { std::snprintf(row.devtype, sizeof row.devtype, "%s", name); }

}  // namespace

int32 scsi_find_devices(int32 card_id, devicetype *devices)
{
    DRIVE drv;
    std::memset(&drv, 0, sizeof drv);
    drv.fd = -1;
    scsi_configure_logging(&drv, stderr, LOG_NOTHING);
    drv.card_id = card_id;
    drv.lun = 0;

    int32 count = 0;
    for (int32 target = 0; target < kTargets; ++target) {
        if (target == kHostTarget)
            continue;
        devicetype &row = devices[target];
        drv.bus_addr = target;
        if (scsi_open_device(&drv) != 0) {
            row.raw_devtype = kNoAnswer;
            set_name(row, "Inaccessible");
            continue;
        }
        scsi_set_timeout(&drv, kScanTimeoutMs);
        // Zeroed first, so a short answer leaves zeros rather than old bytes.
        unsigned char inquiry[256];
        std::memset(inquiry, 0, sizeof inquiry);
        if (scsi_evpd_inquiry(&drv, 0, 0, inquiry, 256) < 0) {
            row.raw_devtype = kNoAnswer;
            set_name(row, "No response");
        } else {
            ++count;
            row.raw_devtype = inquiry[0] & 0x1F;
            row.removable = inquiry[1] >> 7;
            std::memcpy(row.product_id, &inquiry[16], 16);
            row.product_id[16] = '\0';
            set_name(row, scsi_pd_types[row.raw_devtype]);
        }
        scsi_close_device(&drv);
    }
    return count;
}
