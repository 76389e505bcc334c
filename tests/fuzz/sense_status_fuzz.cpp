// Status and sense texts over any handle status and any sense bytes.
// Input: driver status, SCSI status, then the sense data (padded with zeros to
// the 14 bytes the decoder reads).
#include <algorithm>
#include <memory>

#include "ddslib.h"
#include "fuzz_support.h"

namespace {

constexpr size_t kSenseMin = 14;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    DRIVE drv{};
    drv.driver_status = in.byte();
    drv.scsi_status = in.byte();

    // Each output exactly as large as the caller is told to make it.
    std::unique_ptr<char[]> status(new char[DDS_STATUS_TEXT_SIZE]);
    FUZZ_CHECK(dds_print_status(&drv, status.get()) == status.get());
    FUZZ_CHECK(fuzz::terminated(status.get(), DDS_STATUS_TEXT_SIZE));
    FUZZ_CHECK(std::strncmp(status.get(), "Driver status = ", 16) == 0);

    std::vector<uint8_t> bytes = in.rest();
    bytes.resize(std::max(bytes.size(), kSenseMin));
    std::unique_ptr<unsigned char[]> sense(new unsigned char[bytes.size()]);
    std::memcpy(sense.get(), bytes.data(), bytes.size());
    std::unique_ptr<char[]> text(new char[DDS_SENSE_TEXT_SIZE]);
    FUZZ_CHECK(dds_decode_sense(sense.get(), text.get()) == text.get());
    FUZZ_CHECK(fuzz::terminated(text.get(), DDS_SENSE_TEXT_SIZE));
    // Every text ends with its code in parentheses: a cut text would not.
    size_t n = std::strlen(text.get());
    FUZZ_CHECK(n > 0 && text[n - 1] == ')');
    FUZZ_CHECK(std::strstr(text.get(), " : ") != nullptr);
    return 0;
}
