// The cartridge-memory image as a whole: the manufacturer's bytes, the
// validity marker, the page tables, and which decoder each page id goes to.
#ifndef LTOLIB_CARTRIDGE_MEMORY_CM_IMAGE_LAYOUT_H
#define LTOLIB_CARTRIDGE_MEMORY_CM_IMAGE_LAYOUT_H

#include <array>
#include <cstddef>

#include "cm_pages.h"
#include "ltolib.h"

namespace ltolib {
namespace image {

// Manufacturer's information and write-protect bytes.
constexpr size_t kChipSerial = 0;  // 4 bytes, little-endian
constexpr size_t kCheckByte = 4;
constexpr size_t kSizeKiB = 5;
constexpr size_t kTransponder = 6;  // 2 bytes
constexpr size_t kLastProtectedBlock = 32;
constexpr size_t kBlock1Protect = 33;
constexpr size_t kMfrInfoEnd = kBlock1Protect + 1;

// Bytes 5..7: the size in KiB and the transponder type, as one 24-bit number.
constexpr size_t kMarker = kSizeKiB;
constexpr size_t kMarkerEnd = kMarker + 3;
struct Marker {
    u_int32 value;
    size_t image_size;
};
constexpr std::array<Marker, 2> kMarkers = {{{0x040001, LTO_CM_SMALL_SIZE}, {0x080002, LTO_CM_LARGE_SIZE}}};

// Page tables: 4-byte entries (version and id word, start address), the end
// entry's start address pointing at the next table, a CRC after the end entry.
constexpr size_t kProtectedTable = 36;
constexpr size_t kEntrySize = 4;
constexpr size_t kCrcSize = 4;
constexpr unsigned kEndId = LTO_CM_PAGE_END;

// The dump of an image whose marker is wrong.
constexpr size_t kInvalidDump = 64;

// The tape-number scan: the first bytes of the image, and where the serial
// number lies in page 001h.
constexpr size_t kTapeNumberScan = 256;
constexpr size_t kCartSerial = 12;
constexpr size_t kCartSerialWidth = 10;

static_assert(kMfrInfoEnd <= kProtectedTable && kMarkerEnd <= kMfrInfoEnd,
              "the table follows the bytes before it");
static_assert(LTO_TAPE_NUMBER_SIZE > kCartSerialWidth, "room for the serial number from the image");

// ---- Which decoder each page id goes to ----

using Decoder = void (*)(const u_int8 *page, size_t available, unsigned id, pfvv sink);

// A page goes to its decoder, or is a notice line after a separator, or (with
// neither) is not reported. An id without a route is an unknown page.
struct Route {
    unsigned first, last;  // page ids
    Decoder decode;
    const char *notice;
};

// clang-format off
constexpr std::array<Route, 17> kRoutes = {{
    {0x001, 0x001, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_cartmfr_page(p, n, s); }, nullptr},
    {0x002, 0x002, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_mediamfr_page(p, n, s); }, nullptr},
    {0x101, 0x101, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_init_page(p, n, s); }, nullptr},
    {0x102, 0x102, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_tapewrpass_page(p, n, s); }, nullptr},
    {0x103, 0x103, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_tapedir_page(p, n, s); }, nullptr},
    {0x104, 0x104, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_eod_page(p, n, s); }, nullptr},
    {0x105, 0x105, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_cartstat_page(p, n, s); }, nullptr},
    {0x106, 0x106, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_mech_page(p, n, s); }, nullptr},
    {0x107, 0x107, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_suspapp_page(p, n, s); }, nullptr},
    {0x108, 0x10B, [](const u_int8 *p, size_t n, unsigned id, pfvv s) {
         cm_decode_usage_page(p, n, static_cast<int>(id - LTO_CM_PAGE_USAGE0), s); }, nullptr},
    {0x10C, 0x10C, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_fatalerror_page(p, n, s); }, nullptr},
    {0x10D, 0x10D, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_cartcont_page(p, n, s); }, nullptr},
    // The EOD decoder takes the partition from the page's own header.
    {0x10E, 0x10E, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_eod_page(p, n, s); }, nullptr},
    {0x180, 0x184, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_mechspec_page(p, n, s); }, nullptr},
    {0x200, 0x200, [](const u_int8 *p, size_t n, unsigned, pfvv s) { cm_decode_appspec_page(p, n, s); }, nullptr},
    {0x000, 0x000, nullptr, "Invalid Page (000)\n"},
    // Ids that may stand in a table but name no page; 0xFFF is the end entry.
    {0xFFC, 0xFFF, nullptr, nullptr},
}};
// clang-format on
constexpr const char *kUnknownPage = "Unknown or undecoded page 0x%X\n";

}  // namespace image
}  // namespace ltolib

#endif
