// LTO identification probe: an LTO drive names "LTO-CVE" as the assigning
// organisation of its first supported density.
#include <cstring>
#include <ctime>

#include "ltolib.h"
#include "scsilib.h"
#include "scsilib/scsi_codes.h"

using namespace scsilib;

namespace {

constexpr int32 kReplySize = 56;
constexpr int kOrgAt = 20;  // first descriptor's assigning organisation
constexpr char kOrg[] = "LTO-CVE";
constexpr int kOrgLength = sizeof kOrg - 1;

int32 report_densities(DRIVE *drv, unsigned char *reply)
{
    std::memset(reply, 0, kReplySize);
    return scsi_ext_report_density_support(drv, 0, 0, reply, kReplySize);
}

}  // namespace

boolean lto_drive_is_lto(DRIVE *drv)
{
    unsigned char reply[kReplySize];
    const std::time_t deadline = std::time(nullptr) + drv->timeout / 1000;
    int32 result = -1;

    // A drive busy with its own work gets asked again, up to the handle's timeout.
    drv->scsi_status = kStatusBusy;
    while (drv->scsi_status == kStatusBusy) {
        result = report_densities(drv, reply);
        if (std::time(nullptr) > deadline)
            break;
    }

    // Clear a pending condition (a unit attention, say) and ask once more,
    // unless the drive says it is not ready.
    if (result < 0 && drv->sense_byte != kSenseNotReady) {
        std::memset(reply, 0, kReplySize);
        scsi_request_sense(drv, reply, kReplySize);
        result = report_densities(drv, reply);
    }

    return result >= kOrgAt + kOrgLength && std::memcmp(reply + kOrgAt, kOrg, kOrgLength) == 0;
}
