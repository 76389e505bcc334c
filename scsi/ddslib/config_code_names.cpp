// Platform names of DDS hardware configuration codes. Bits 16-23 select the
// platform; from platform 08h up the low byte names the host interface
// (03h SCSI, 13h USB, 23h SAS).
#include "config_code_names.h"

namespace ddslib {

namespace {
constexpr uint32_t kAll = 0xFFFFFFFFu;
constexpr uint32_t kLow24 = 0x00FFFFFFu;
}  // namespace

// clang-format off
const CodeName code_names[] = {
    {0x00000000, kAll, "Granite"},
    {0x00000001, kAll, "Walnut"},
    {0x00020001, kAll, "Harvest"},
    {0x00020003, kAll, "Copper"},
    {0x00030000, kAll, "Maple"},
    {0x00030001, kAll, "MapleDC"},
    {0x040001, kLow24, "Kelp"},
    {0x040003, kLow24, "Bramble"},
    {0x050001, kLow24, "Lighthouse"},
    {0x060001, kLow24, "Pillar"},
    {0x060003, kLow24, "Woodpecker"},
    {0x070001, kLow24, "Sorrel"},
    {0x080003, kLow24, "Thimble-SCSI"},
    {0x080013, kLow24, "Thimble-USB"},
    {0x080023, kLow24, "Thimble-SAS"},
    {0x090003, kLow24, "Icefield-4-SCSI"},
    {0x090013, kLow24, "Icefield-4-USB"},
    {0x0A0003, kLow24, "Icefield-5-SCSI"},
    {0x0A0013, kLow24, "Icefield-5-USB"},
    {0x0B0003, kLow24, "Foothill-SCSI"},
    {0x0B0013, kLow24, "Foothill-USB"},
    {0x0C0003, kLow24, "Oyster-SCSI"},
    {0x0C0013, kLow24, "Oyster-USB"},
    {0x0C0023, kLow24, "Oyster-SAS"},
    // clang-format on
};
const std::size_t code_name_count = sizeof code_names / sizeof code_names[0];

}  // namespace ddslib
