// The promises of an adapter scan, for the fuzz targets that run one over a
// device list they were given: a count within the targets, the adapter's own
// id never written, every row written terminated and in range.
#ifndef ADAPTER_SCAN_CHECK_H
#define ADAPTER_SCAN_CHECK_H

#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "scsilib.h"

namespace fuzz {

inline void check_adapter_scan(int32 host)
{
    std::unique_ptr<devicetype[]> rows(new devicetype[16]);
    std::memset(rows.get(), 0x5A, sizeof(devicetype) * 16);
    int32 answered = scsi_find_devices(host, rows.get());
    FUZZ_CHECK(answered >= 0 && answered <= 15);
    for (int t = 0; t < 16; ++t) {
        const devicetype &r = rows[t];
        if (t == 7) {  // the adapter's own id is never written
            FUZZ_CHECK(r.raw_devtype == 0x5A && r.devtype[0] == 0x5A);
            continue;
        }
        FUZZ_CHECK(terminated(r.devtype, sizeof r.devtype));
        if (r.raw_devtype != 0xFF) {
            FUZZ_CHECK(r.raw_devtype < 32 && r.removable <= 1);
            FUZZ_CHECK(terminated(r.product_id, sizeof r.product_id));
        }
    }
}

}  // namespace fuzz

#endif
