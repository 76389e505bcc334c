// Drive variant codes of the KV LTO drives and what the library derives from
// them. Constant data only; generation.cpp holds the rules that read it.
#ifndef LTOLIB_VARIANT_TABLE_H
#define LTOLIB_VARIANT_TABLE_H

#include "common_types.h"

namespace ltolib {

// Generation indexes: 0 = LTO-1 .. 4 = LTO-5, and the family of variants whose
// top four bits are 4.
constexpr int32 kGenerationOfFamily4 = 0x99;
constexpr int32 kGenerationOfUnknown = 4;

struct VariantGeneration {
    u_int32 variant;
    int32 generation;
};

// Searched in order after the family test; a variant not listed is generation 4.
constexpr VariantGeneration kVariantGenerations[] = {
    {0x80000000, 0}, {0x80010000, 0}, {0x80040200, 0}, {0x80000100, 1}, {0x80020100, 1},
    {0x80020200, 1}, {0x80050200, 1}, {0x80000200, 2}, {0x80030200, 2}, {0x80010200, 2},
    {0x80070200, 2}, {0x80090200, 2}, {0x80030300, 2}, {0x80000300, 3}, {0x80010300, 3},
    {0x80020300, 3}, {0x80060300, 3}, {0x80050300, 3}, {0x80070300, 3},
};

// Variants whose heads have 8 channels; every other variant (0 included) has 16.
constexpr u_int32 kEightChannelVariants[] = {
    0x80000000, 0x80010000, 0x80000100, 0x80020100, 0x80020200, 0x80050200,
};

// First wrap number of each servo band index.
constexpr int32 kWrapBase[] = {36, 12, 0, 24};

constexpr bool variants_unique()
{
    constexpr size_t n = sizeof kVariantGenerations / sizeof kVariantGenerations[0];
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (kVariantGenerations[i].variant == kVariantGenerations[j].variant)
                return false;
    return true;
}
static_assert(variants_unique(), "a variant is listed twice");
static_assert(sizeof kWrapBase / sizeof kWrapBase[0] == 4, "four servo bands");

}  // namespace ltolib

#endif
