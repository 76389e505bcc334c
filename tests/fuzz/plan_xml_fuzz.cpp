// The reader of the discovery XML file (the plan an administrator may edit
// between -d and -u) over any document in memory, with the limits and parser
// set-up of the file reader.
#include <xercesc/util/PlatformUtils.hpp>

#include <memory>

#include "xml.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Kept up for the whole run, so each read only counts a user of the library.
    xercesc::XMLPlatformUtils::Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::unique_ptr<char[]> text(new char[size ? size : 1]);
    std::copy(data, data + size, text.get());
    std::unique_ptr<driveinfo[]> table(new driveinfo[MAX_DRIVES]);
    std::memset(table.get(), 0x5A, sizeof(driveinfo) * MAX_DRIVES);

    int errors = ReadFromXmlBuffer(text.get(), size, table.get());
    FUZZ_CHECK(errors == 0 || errors == 1);

    static const driveinfo kFree{};
    int used = count(table.get());
    for (int i = 0; i < MAX_DRIVES; ++i) {
        const driveinfo &r = table[i];
        // Records in use come first, without gaps.
        if (i >= used) {
            FUZZ_CHECK(std::memcmp(&r, &kFree, sizeof r) == 0);
            continue;
        }
        FUZZ_CHECK(r.Configured == 1);
        FUZZ_CHECK(fuzz::terminated(r.ProductID, sizeof r.ProductID));
        FUZZ_CHECK(fuzz::terminated(r._Type, sizeof r._Type));
        FUZZ_CHECK(fuzz::terminated(r.FirmwareId, sizeof r.FirmwareId));
        FUZZ_CHECK(fuzz::terminated(r.Action, sizeof r.Action));
        FUZZ_CHECK(fuzz::terminated(r.Message, sizeof r.Message));
        FUZZ_CHECK(r.Shared == 0 || r.Shared == 1);
        FUZZ_CHECK(r.VendorID[0] == '\0' && r.FwFile[0] == '\0');
    }
    return 0;
}
