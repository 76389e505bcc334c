// Demo: lists the devices of a bus through the tape library. For every
// address in the sg device list it opens the device by adapter, target and
// LUN, sends TEST UNIT READY and INQUIRY with the command log on standard
// output, prints what the device says it is, and closes it.
#include <cstdio>
#include <cstring>
#include <vector>

#include "scsilib.h"
#include "stlsg.h"

namespace {

struct Address {
    int host, target, lun;
};

// The addresses listed by the sg driver, in list order.
std::vector<Address> listed_addresses()
{
    std::vector<Address> out;
    FILE *fp = fopen("/proc/scsi/sg/devices", "r");
    if (!fp)
        return out;
    Address a{};
    while (fscanf(fp, "%d %*d %d %d %*d %*d %*d %*d %*d", &a.host, &a.target, &a.lun) == 3)
        out.push_back(a);
    fclose(fp);
    return out;
}

int32 exec(DRIVE *drv, const unsigned char *cdb, int32 cdb_length, unsigned char *data, int32 length,
           direction dir)
{
    scsi_io_type io{};
    io.drv = drv;
    memcpy(io.cdb, cdb, static_cast<size_t>(cdb_length));
    io.cdb_length = cdb_length;
    io.data = data;
    io.data_length = length;
    io.data_direction = dir;
    return scsi_exec(&io);
}

// Length of a fixed-width INQUIRY text field without its trailing blanks.
int trimmed(const unsigned char *p, int width)
{
    while (width > 0 && (p[width - 1] == ' ' || p[width - 1] == '\0'))
        width--;
    return width;
}

}  // namespace

int main()
{
    std::vector<Address> addresses = listed_addresses();
    if (addresses.empty()) {
        printf("No SCSI generic devices listed.\n");
        return 1;
    }
    scsi_set_datalog_level(16);
    int shown = 0;
    for (const Address &a : addresses) {
        printf("\n== Adapter %d, target %d, LUN %d\n", a.host, a.target, a.lun);
        DRIVE drv;
        memset(&drv, 0, sizeof drv);
        drv.fd = -1;
        drv.card_id = a.host;
        drv.bus_addr = a.target;
        drv.lun = a.lun;
        scsi_configure_logging(&drv, stdout, LOG_EVERYTHING);
        if (scsi_open_device(&drv) != 0) {
            printf("   not opened (no usable device at this address)\n");
            continue;
        }
        const unsigned char tur[6] = {0x00, 0, 0, 0, 0, 0};
        const unsigned char inquiry[6] = {0x12, 0, 0, 0, 0xFF, 0};
        unsigned char data[255] = {};
        int32 ready = exec(&drv, tur, 6, nullptr, 0, NO_TRANSFER);
        int32 got = exec(&drv, inquiry, 6, data, sizeof data, HOST_READ);
        if (got >= 36) {
            const char *text = reinterpret_cast<const char *>(data);
            printf("   type %d, vendor %.*s, product %.*s, revision %.*s, %s\n", data[0] & 0x1F,
                   trimmed(data + 8, 8), text + 8, trimmed(data + 16, 16), text + 16, trimmed(data + 32, 4),
                   text + 32, ready == 0 ? "ready" : "not ready");
            shown++;
        } else {
            printf("   INQUIRY failed\n");
        }
        scsi_close_device(&drv);
    }
    printf("\n%d device(s) answered.\n", shown);
    return 0;
}
