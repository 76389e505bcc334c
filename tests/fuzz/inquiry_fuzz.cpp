// The INQUIRY decoders of discovery over any reply: the standard data and the
// vendor pages C0h and C1h of LTO drives and C0h of DDS drives. Each gets the
// input cut to the length it asks for, in a buffer of exactly that size, and
// must fill only its own fields.
#include <algorithm>
#include <memory>

#include "discover.h"
#include "fuzz_support.h"

namespace {

constexpr size_t kStandardMax = 255;  // 256 asked, an 8-bit length: 255 arrive
constexpr size_t kVendorPageMax = 96;

using Decoder = void (*)(const unsigned char *, int, driveinfo *);

// Runs one decoder over the first `asked` bytes of the input and returns the
// record it filled, starting from a record full of a marker byte.
driveinfo decode(Decoder d, const uint8_t *data, size_t size, size_t asked)
{
    size_t n = std::min(size, asked);
    std::unique_ptr<unsigned char[]> reply(new unsigned char[n ? n : 1]);
    std::copy(data, data + n, reply.get());
    driveinfo rec;
    std::memset(&rec, 0x5A, sizeof rec);
    d(reply.get(), static_cast<int>(n), &rec);
    return rec;
}

// True when every byte of the record but the named fields is still the marker.
template <class... Fields>
bool only_changed(driveinfo rec, Fields driveinfo::*...fields)
{
    driveinfo marker;
    std::memset(&marker, 0x5A, sizeof marker);
    (std::memcpy(&(rec.*fields), &(marker.*fields), sizeof(marker.*fields)), ...);
    return std::memcmp(&rec, &marker, sizeof rec) == 0;
}

bool printable(const char *s)
{
    for (; *s; ++s)
        if (static_cast<unsigned char>(*s) < 0x20 || static_cast<unsigned char>(*s) > 0x7E)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    driveinfo std_rec = decode(decode_inq_standard, data, size, kStandardMax);
    FUZZ_CHECK(std_rec.PeripheralDeviceType < 32 && std_rec.PeripheralQualifier < 8);
    // Eight vendor bytes, sixteen product bytes, each at most four characters
    // once escaped.
    FUZZ_CHECK(fuzz::terminated(std_rec.VendorID, 9));
    FUZZ_CHECK(fuzz::terminated(std_rec.ProductID, 16 * 4 + 1));
    FUZZ_CHECK(printable(std_rec.ProductID));
    FUZZ_CHECK(only_changed(std_rec, &driveinfo::PeripheralDeviceType, &driveinfo::PeripheralQualifier,
                            &driveinfo::VendorID, &driveinfo::ProductID, &driveinfo::VUMA));

    driveinfo c0 = decode(decode_inq_ultrium_C0h, data, size, kVendorPageMax);
    FUZZ_CHECK(only_changed(c0, &driveinfo::FwVersion));
    driveinfo c1 = decode(decode_inq_ultrium_C1h, data, size, kVendorPageMax);
    FUZZ_CHECK(only_changed(c1, &driveinfo::DriveID));
    driveinfo dds = decode(decode_inq_dds_C0h, data, size, kVendorPageMax);
    FUZZ_CHECK(only_changed(dds, &driveinfo::DriveID, &driveinfo::FwVersion));
    return 0;
}
