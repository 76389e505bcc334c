// Demo: lists the devices of a bus through the tape library's public
// interface. It asks the library for every address the tool scans (adapters
// 0..255, targets 0..15, LUN 0), so it finds what the library finds, whichever
// list the kernel keeps its sg devices in. Each device that opens gets TEST
// UNIT READY and INQUIRY with the command log on standard output, a line
// saying what it is, and is closed again.
#include <cstdio>
#include <cstring>

#include "scsilib.h"
#include "stlsg.h"

namespace {

constexpr int kAdapters = 256;
constexpr int kTargets = 16;
constexpr int kInquiryLength = 255;
// Preset before each open: an open that fails without changing it found no
// usable device at the address; one that sets FFh found a node it could not open.
constexpr u_int8 kUntouched = 0x5A;
constexpr u_int8 kOpenRefused = 0xFF;

// Length of a fixed-width INQUIRY text field without its trailing blanks.
int trimmed(const unsigned char *p, int width)
{
    while (width > 0 && (p[width - 1] == ' ' || p[width - 1] == '\0'))
        width--;
    return width;
}

// Lists the device at one address; false when there is none to list.
bool list_address(int host, int target)
{
    DRIVE drv;
    memset(&drv, 0, sizeof drv);
    drv.fd = -1;  // a zeroed handle would read as open on descriptor 0
    drv.card_id = host;
    drv.bus_addr = target;
    drv.lun = 0;
    drv.driver_status = kUntouched;
    // Found without a log first, so only an address with a device gets a
    // heading; then opened again with the log on, to show the node it names.
    scsi_configure_logging(&drv, stdout, LOG_NOTHING);
    const bool found = scsi_open_device(&drv) == 0;
    if (!found && drv.driver_status != kOpenRefused)
        return false;
    printf("\n== Adapter %d, target %d, LUN 0\n", host, target);
    scsi_close_device(&drv);
    scsi_configure_logging(&drv, stdout, LOG_EVERYTHING);
    if (!found || scsi_open_device(&drv) != 0) {
        printf("   not opened (the node is there, but could not be opened)\n");
        return false;
    }
    unsigned char data[kInquiryLength] = {};
    int32 ready = scsi_test_unit_ready(&drv);
    int32 got = scsi_evpd_inquiry(&drv, 0, 0, data, kInquiryLength);
    bool answered = got >= 36;
    if (answered) {
        const char *text = reinterpret_cast<const char *>(data);
        printf("   type %d, vendor %.*s, product %.*s, revision %.*s, %s\n", data[0] & 0x1F,
               trimmed(data + 8, 8), text + 8, trimmed(data + 16, 16), text + 16, trimmed(data + 32, 4),
               text + 32, ready == 0 ? "ready" : "not ready");
    } else {
        printf("   INQUIRY failed\n");
    }
    scsi_close_device(&drv);
    return answered;
}

}  // namespace

int main()
{
    scsi_set_datalog_level(16);
    int shown = 0;
    for (int host = 0; host < kAdapters; ++host)
        for (int target = 0; target < kTargets; ++target)
            shown += list_address(host, target) ? 1 : 0;
    printf("\n%d device(s) answered.\n", shown);
    return shown > 0 ? 0 : 1;
}
