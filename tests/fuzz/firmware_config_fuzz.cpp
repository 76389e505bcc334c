// The firmware configuration file over any bytes.
#include <algorithm>
#include <memory>

#include "config.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The file exactly as long as the input; an empty input is an empty file.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::copy(data, data + size, text.get());
    FILE *fp = size ? fmemopen(text.get(), size, "r") : std::fopen("/dev/null", "r");
    FUZZ_CHECK(fp != nullptr);

    std::unique_ptr<driveinfo[]> table(new driveinfo[MAX_DRIVES]);
    std::memset(table.get(), 0x5A, sizeof(driveinfo) * MAX_DRIVES);
    int n = read_firmware_config_stream(fp, table.get());
    std::fclose(fp);

    FUZZ_CHECK(n >= 0 && n <= MAX_DRIVES);
    FUZZ_CHECK(count(table.get()) == n);
    static const driveinfo kFree{};
    for (int i = 0; i < MAX_DRIVES; ++i) {
        const driveinfo &r = table[i];
        if (i >= n) {
            FUZZ_CHECK(std::memcmp(&r, &kFree, sizeof r) == 0);
            continue;
        }
        FUZZ_CHECK(r.Configured == 1);
        FUZZ_CHECK(fuzz::terminated(r.FwFile, sizeof r.FwFile));
        // A file name is one field of one line, upper-cased.
        for (const char *c = r.FwFile; *c; ++c)
            FUZZ_CHECK(*c != '|' && *c != '\n' && !(*c >= 'a' && *c <= 'z'));
        // Only the three fields of a line are filled.
        FUZZ_CHECK(r.VendorID[0] == '\0' && r.ProductID[0] == '\0' && r.Action[0] == '\0');
    }
    return 0;
}
