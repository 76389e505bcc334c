// Sort orders of the log records: power-on count first (unsigned), then, for
// the SCSI history, the extra stamp count, then the time text. The hours have
// at least three digits, so text order is time order up to 999 hours.
#include <cstring>

#include "ltolib.h"

namespace {

int order(u_int32 a, u_int32 b) { return a < b ? -1 : a > b ? 1 : 0; }

template <typename T>
int by_power_and_time(const void *e1, const void *e2)
{
    const T *a = static_cast<const T *>(e1);
    const T *b = static_cast<const T *>(e2);
    const int c = order(a->pwrOnCount, b->pwrOnCount);
    return c != 0 ? c : std::strcmp(a->timestamp, b->timestamp);
}

}  // namespace

int lto_compare_faults(const void *e1, const void *e2)
{
    const LTOFaultLogType *a = static_cast<const LTOFaultLogType *>(e1);
    const LTOFaultLogType *b = static_cast<const LTOFaultLogType *>(e2);
    const int c = order(a->pwrcycount, b->pwrcycount);
    return c != 0 ? c : std::strcmp(a->timestamp, b->timestamp);
}

int lto_compare_scsihist(const void *e1, const void *e2)
{
    const LTOScsiHistoryType *a = static_cast<const LTOScsiHistoryType *>(e1);
    const LTOScsiHistoryType *b = static_cast<const LTOScsiHistoryType *>(e2);
    int c = order(a->pwrOnCount, b->pwrOnCount);
    if (c == 0)
        c = order(a->extrCount, b->extrCount);
    return c != 0 ? c : std::strcmp(a->timestamp, b->timestamp);
}

int lto_compare_acihist(const void *e1, const void *e2) { return by_power_and_time<LTOAciHistoryType>(e1, e2); }
int lto_compare_adihist(const void *e1, const void *e2) { return by_power_and_time<LTOAdiHistoryType>(e1, e2); }
int lto_compare_scsicfg(const void *e1, const void *e2) { return by_power_and_time<LTOScsiConfigType>(e1, e2); }
int lto_compare_acicfg(const void *e1, const void *e2) { return by_power_and_time<LTOAciConfigType>(e1, e2); }
int lto_compare_adicfg(const void *e1, const void *e2) { return by_power_and_time<LTOAdiConfigType>(e1, e2); }
int lto_compare_fccfg(const void *e1, const void *e2) { return by_power_and_time<LTOFcConfigType>(e1, e2); }

int lto_compare_eventlog(const void *e1, const void *e2)
{
    return std::strcmp(*static_cast<const char *const *>(e1), *static_cast<const char *const *>(e2));
}
