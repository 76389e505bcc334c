// What -d writes, -u reads back identically: a drive record filled by the
// discovery decoders from any standard INQUIRY and vendor page bytes, written
// as the discovery XML file and read back.
// Input: adapter, target, LUN, action (one byte each), then the reply bytes.
#include <xercesc/util/PlatformUtils.hpp>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

#include "discover.h"
#include "xml.h"
#include "fuzz_support.h"

namespace {

std::string plan_path;

std::string six_decimals(double v)
{
    char t[512];
    std::snprintf(t, sizeof t, "%f", v);
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    xercesc::XMLPlatformUtils::Initialize();
    // Memory-backed when it can be: every input writes and syncs a file.
    char dir[] = "/dev/shm/plan_roundtrip.XXXXXX";
    char fallback[] = "/tmp/plan_roundtrip.XXXXXX";
    char *made = mkdtemp(dir);
    if (!made)
        made = mkdtemp(fallback);
    FUZZ_CHECK(made != nullptr);
    plan_path = std::string(made) + "/plan.xml";
    // Drop the directory at exit; the plan inside it goes first.
    static std::string remove_at_exit = made;
    std::atexit([] {
        unlink(plan_path.c_str());
        rmdir(remove_at_exit.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    std::unique_ptr<driveinfo[]> table(new driveinfo[MAX_DRIVES]());
    driveinfo &d = table[0];
    d.Configured = 1;
    d.DRV.card_id = in.byte();
    d.DRV.bus_addr = in.byte() & 0x0F;
    d.DRV.lun = in.byte() & 0x07;
    static const char *const kActions[] = {"upgrade", "skip", "rewrite", "downgrade"};
    std::snprintf(d.Action, sizeof d.Action, "%s", kActions[in.byte() % 4]);
    std::vector<uint8_t> reply = in.rest();
    const int n = static_cast<int>(std::min<size_t>(reply.size(), 255));
    decode_inq_standard(reply.data(), n, &d);
    decode_inq_ultrium_C0h(reply.data(), std::min(n, 96), &d);
    decode_inq_ultrium_C1h(reply.data(), std::min(n, 96), &d);
    d.ActiveVersion = d.FwVersion + 1;

    FUZZ_CHECK(WriteToXml(plan_path.c_str(), table.get()) == 0);
    std::unique_ptr<driveinfo[]> back(new driveinfo[MAX_DRIVES]);
    FUZZ_CHECK(ReadFromXml(plan_path.c_str(), back.get()) == 0);
    FUZZ_CHECK(count(back.get()) == 1);
    const driveinfo &r = back[0];
    FUZZ_CHECK(r.DriveID == d.DriveID);
    FUZZ_CHECK(std::strcmp(r.ProductID, d.ProductID) == 0);
    FUZZ_CHECK(r.DRV.card_id == d.DRV.card_id && r.DRV.bus_addr == d.DRV.bus_addr && r.DRV.lun == d.DRV.lun);
    FUZZ_CHECK(six_decimals(r.FwVersion) == six_decimals(d.FwVersion));
    FUZZ_CHECK(six_decimals(r.ActiveVersion) == six_decimals(d.ActiveVersion));
    FUZZ_CHECK(std::strcmp(r.Action, d.Action) == 0);
    return 0;
}
