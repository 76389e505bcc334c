// Which LTO drive the library talks to: the variant code of vendor page C1h,
// its generation, and the rules derived from both.
#include <cstring>

#include "generation.h"
#include "hex_text.h"
#include "replies.h"
#include "scsilib.h"
#include "variant_table.h"

int32 lto_drive_hwconfig = 0;
// Private to the LTO library: callers set it through lto_set_drive_generation.
static int32 lto_drive_gen = 0;

namespace ltolib {
namespace {

constexpr int32 kVariantPage = 0xC1;
constexpr int32 kVariantPageLength = 254;
constexpr char kVariantLabel[] = "Variant = ";

template <typename T, size_t N>
bool listed(const T (&table)[N], u_int32 variant)
{
    for (const auto &v : table)
        if (v == variant)
            return true;
    return false;
}

}  // namespace

int32 generation_of(u_int32 variant)
{
    if ((variant >> 28) == 4)
        return kGenerationOfFamily4;
    for (const auto &row : kVariantGenerations)
        if (row.variant == variant)
            return row.generation;
    return kGenerationOfUnknown;
}

int32 drive_generation() { return lto_drive_gen; }

int32 channel_count()
{
    return listed(kEightChannelVariants, static_cast<u_int32>(lto_drive_hwconfig)) ? 8 : 16;
}

u_int32 tick_code() { return lto_drive_gen <= 3 ? 16 : 9; }

bool new_style_fault_log() { return (static_cast<u_int32>(lto_drive_hwconfig) & 0xFF00) != 0; }

int32 wrap_base(u_int32 band) { return band < 4 ? kWrapBase[band] : -1; }

int32 decode_variant(const u_int8 *reply, int32 len, u_int32 *variant)
{
    if (reply == nullptr || len <= 0)
        return -1;
    const size_t label = sizeof kVariantLabel - 1;
    const size_t n = static_cast<size_t>(len);
    for (size_t at = 0; at + label <= n; ++at) {
        if (std::memcmp(reply + at, kVariantLabel, label) != 0)
            continue;
        // Only the first label counts; without a number after it the reply
        // names no variant.
        HexText text(reply + at, n - at);
        u_int32 v = 0;
        if (!text.match("Variant = 0x") || !text.next(v))
            return -1;
        *variant = v;
        return 0;
    }
    return -1;
}

}  // namespace ltolib

using namespace ltolib;

int32 lto_get_drive_generation(DRIVE *drv)
{
    u_int8 reply[kVariantPageLength + 2] = {};  // a spare byte and a NUL after the reply
    int32 n = scsi_evpd_inquiry(drv, 1, kVariantPage, reply, kVariantPageLength);
    if (n < 0)
        return -1;
    u_int32 variant = 0;
    if (decode_variant(reply, n > kVariantPageLength ? kVariantPageLength : n, &variant) < 0)
        return -1;
    lto_drive_hwconfig = static_cast<int32>(variant);
    lto_drive_gen = generation_of(variant);
    return lto_drive_gen;
}

int32 lto_set_drive_generation(int32 newgen)
{
    int32 before = lto_drive_gen;
    lto_drive_gen = newgen;
    return before;
}
