// Where the fields of each cartridge-memory page lie, by page version, and
// the texts that some of its codes stand for. Offsets count from the page's
// first byte; every page starts with a 4-byte header (version and id word,
// then the page length).
#ifndef LTOLIB_CARTRIDGE_MEMORY_CM_LAYOUTS_H
#define LTOLIB_CARTRIDGE_MEMORY_CM_LAYOUTS_H

#include <array>
#include <cstddef>

#include "cm_layout_rows.h"

namespace ltolib {

constexpr Slot kNone = {0, 0};
constexpr const char *kCrcLabel = "CRC                   : ";

// ---- Page 001h: cartridge manufacturer's information ----

constexpr std::array<Row<1>, 13> kCartMfrRows = {{
    {"Cartr manufacturer    : ", Show::text, {{{4, 8}}}},
    {"Serial number         : ", Show::text, {{{12, 10}}}},
    {"Cartridge type        : ", Show::cart_type, {{{22, 2}}}},
    {"Manufacture date      : ", Show::text, {{{24, 8}}}},
    {"Tape length           : ", Show::tape_length, {{{32, 2}}}},
    {"Tape thickness        : ", Show::thickness, {{{34, 2}}}},
    {"Empty reel inertia    : ", Show::inertia, {{{36, 2}}}},
    {"Hub radius            : ", Show::radius, {{{38, 2}}}},
    {"Full reel pack radius : ", Show::radius, {{{40, 2}}}},
    {"Maximum media speed   : ", Show::speed, {{{42, 2}}}},
    {"License Code          : ", Show::text, {{{44, 4}}}},
    {"Manufacturer's info   : ", Show::text, {{{48, 12}}}},
    {kCrcLabel, Show::hex, {{{60, 4}}}},
}};

struct CartType {
    u_int32 code;
    const char *text;
};
constexpr std::array<CartType, 11> kCartTypes = {{
    {0x0001, "Normal Ultrium-1"},
    {0x0002, "Normal Ultrium-2"},
    {0x0004, "Normal Ultrium-3"},
    {0x0008, "Normal Ultrium-4"},
    {0x0010, "Normal Ultrium-5"},
    {0x2004, "WORM Ultrium-3"},
    {0x2008, "WORM Ultrium-4"},
    {0x2010, "WORM Ultrium-5"},
    {0x8001, "Cleaning U1"},
    {0x8002, "Cleaning U2"},
    {0x8004, "Cleaning U3"},
}};
constexpr const char *kCartTypeUnknown = "Not yet decoded";

// ---- Page 002h: media manufacturer's information (version 0, 1 and above) ----

constexpr std::array<Row<2>, 3> kMediaMfrRows = {{
    {"Servowriter mfr       : ", Show::text, {{{4, 48}, {4, 44}}}},
    {"Servowriter ident/csum: ", Show::hex8, {{kNone, {48, 4}}}},
    {kCrcLabel, Show::hex, {{{60, 4}, {60, 4}}}},
}};
constexpr size_t media_mfr_layout(unsigned version) { return version == 0 ? 0 : 1; }

// ---- Page 101h: initialisation data (versions 0-1, 2, 3 and above) ----

constexpr std::array<Row<3>, 11> kInitRows = {{
    {"Initialising drive mfr: ", Show::text, {{{4, 8}, {4, 8}, {4, 8}}}},
    {"Drive id              : ", Show::text, {{{12, 10}, {12, 10}, {12, 16}}}},
    {"Format type           : ", Show::hex, {{{22, 2}, {22, 2}, {28, 2}}}},
    {"LP1 position          : ", Show::hex, {{{24, 4}, {24, 4}, {32, 4}}}},
    {"LP2 position          : ", Show::hex, {{{28, 4}, {28, 4}, {36, 4}}}},
    {"LP3 position          : ", Show::hex, {{{32, 4}, {32, 4}, {40, 4}}}},
    {"LP4 position          : ", Show::hex, {{{36, 4}, kNone, kNone}}},
    {"LP5 position          : ", Show::hex, {{{40, 4}, {40, 4}, {48, 4}}}},
    {"LP6 position          : ", Show::hex, {{{44, 4}, {44, 4}, {52, 4}}}},
    {"Firmware identity     : ", Show::fw_ident, {{kNone, {48, 4}, {56, 4}}}},
    {kCrcLabel, Show::hex, {{{60, 4}, {60, 4}, {68, 4}}}},
}};
constexpr size_t init_layout(unsigned version) { return version <= 1 ? 0 : version == 2 ? 1 : 2; }

// ---- Page 10Dh: cartridge content data (version 0, 1 and above) ----

constexpr std::array<Row<2>, 7> kCartContRows = {{
    {"Last updated drive mfr: ", Show::text, {{{4, 8}, {4, 8}}}},
    {"Drive id              : ", Show::text, {{{12, 10}, {12, 16}}}},
    {"Cartridge content     : ", Show::hex, {{{22, 2}, {28, 2}}}},
    {"Partition Location    : ", Show::partitions, {{kNone, {32, 4}}}},
    {"LP4 position          : ", Show::hex, {{{36, 4}, {36, 4}}}},
    {"Firmware identity     : ", Show::fw_ident, {{{48, 4}, {48, 4}}}},
    {kCrcLabel, Show::hex, {{{60, 4}, {60, 4}}}},
}};
constexpr size_t cart_cont_layout(unsigned version) { return version == 0 ? 0 : 1; }

// ---- Page 102h: tape write pass data ----

constexpr size_t kWritePassFirst = 16;
constexpr size_t kWritePassFields = 8;
constexpr size_t kWritePassEnd = kWritePassFirst + 4 * kWritePassFields;

// ---- Page 103h: tape directory (versions 0 to 4) ----

struct TapeDirGeometry {
    size_t entries;
    size_t entry_size;
    size_t fields;  // BE32 each, from the entry's first byte
};
constexpr size_t kTapeDirFirstEntry = 16;
constexpr std::array<TapeDirGeometry, 5> kTapeDirVersions = {{
    {96, 16, 4},
    {64, 28, 7},
    {44, 32, 8},
    {56, 32, 8},
    {80, 32, 8},
}};
constexpr size_t tape_dir_end(const TapeDirGeometry &g)
{
    return kTapeDirFirstEntry + g.entries * g.entry_size;
}
// Version 4: the FID tape write pass of each partition, and the data set id
// that marks the guard wrap between the partitions.
constexpr size_t kTapeDirFidPartn0 = 4;
constexpr size_t kTapeDirFidPartn1 = 8;
constexpr size_t kTapeDirDatasetId = 4;  // within a version 1 to 4 entry
constexpr u_int32 kGuardWrapDatasetId = 0xFFFFFFFE;
constexpr size_t kTapeDirMax = tape_dir_end(kTapeDirVersions[4]);

// ---- Pages 104h and 10Eh: EOD information (versions 0, 1, 2, 3 and above) ----

constexpr unsigned kEodPartition1Id = 0x10E;
constexpr std::array<Row<4>, 14> kEodRows = {{
    {"Tape write pass       : ", Show::hex, {{{4, 4}, {4, 4}, {4, 4}, {4, 4}}}},
    {"Thread count          : ", Show::hex, {{{8, 4}, {8, 4}, {8, 4}, {8, 4}}}},
    {"Record count @ EOD    : ", Show::hex_wide, {{{12, 6}, {12, 6}, {12, 6}, {12, 6}}}},
    {"Filemark count @ EOD  : ", Show::hex_wide, {{{18, 6}, {18, 6}, {18, 6}, {18, 6}}}},
    {"EOD data set no.      : ", Show::hex, {{{24, 4}, {24, 4}, {24, 4}, {24, 4}}}},
    {"EOD wrap section no.  : ", Show::hex, {{{28, 4}, {28, 4}, {28, 4}, {28, 4}}}},
    {"EOD validity          : ", Show::eod_validity, {{{32, 2}, {32, 2}, {32, 2}, {32, 2}}}},
    {"First EOD CQ set ACN  : ", Show::hex, {{{34, 2}, {34, 2}, {34, 2}, {34, 2}}}},
    {"EOD at LPOS value     : ", Show::hex, {{{36, 4}, {36, 4}, {36, 4}, {36, 4}}}},
    {"Last drive mfr        : ", Show::text_right, {{kNone, {40, 4}, {40, 8}, kNone}}},
    {"Last drive serialno   : ", Show::text_right, {{kNone, {44, 10}, {48, 16}, kNone}}},
    {"Last drive generation : ", Show::hex4, {{kNone, {54, 2}, {64, 2}, kNone}}},
    {"Last drive f/w ident  : ", Show::hex4, {{kNone, {56, 4}, {66, 4}, kNone}}},
    {kCrcLabel, Show::hex, {{{60, 4}, {60, 4}, {92, 4}, kNone}}},
}};
constexpr size_t eod_layout(unsigned version) { return version < 3 ? version : 3; }
constexpr std::array<const char *, 4> kEodValidity = {"position unknown", "per this area",
                                                      "backup in progress - no EOD", "failed to write EOD"};
constexpr const char *kEodValidityUnknown = "Unknown status";

// ---- Page 105h: cartridge status and TapeAlert flags (versions 0-1, 2, 3 and above) ----

constexpr std::array<Row<3>, 10> kCartStatRows = {{
    {"Tape Alert flags      : ", Show::tapealert, {{{4, 8}, {4, 8}, {4, 8}}}},
    {"Thread count          : ", Show::dec_hex, {{{12, 4}, {12, 4}, {12, 4}}}},
    {"Cartridge status      : ", Show::cart_status, {{{16, 2}, {16, 2}, {16, 2}}}},
    {"CM corrected count    : ", Show::dec_hex, {{kNone, {18, 2}, {18, 2}}}},
    {"Last corrected page   : ", Show::dec_hex, {{kNone, {20, 2}, {20, 2}}}},
    {"First encr object partn0: ", Show::object, {{kNone, {22, 6}, {22, 6}}}},
    {"First encr object partn1: ", Show::object, {{kNone, kNone, {28, 6}}}},
    {"First unencr object after First encr object partn0: ", Show::object, {{kNone, kNone, {34, 6}}}},
    {"First unencr object after First encr object partn1: ", Show::object, {{kNone, kNone, {40, 6}}}},
    {kCrcLabel, Show::hex, {{{28, 4}, {28, 4}, {60, 4}}}},
}};
constexpr size_t cart_stat_layout(unsigned version) { return version <= 1 ? 0 : version == 2 ? 1 : 2; }
constexpr std::array<const char *, 4> kCartStatus = {"Unloaded", "Loaded", "Being written", "Possibly snapped"};
constexpr const char *kCartStatusUnknown = "Unknown";
// An object position whose high part is all ones and whose low part is one of these.
constexpr u_int32 kObjectHighUnset = 0xFFFFFFFF;
constexpr u_int32 kObjectUnknown = 0xFFFE;
constexpr u_int32 kObjectNone = 0xFFFF;

// ---- Page 106h: mechanism related data, and its four usage subpages ----

constexpr size_t kMechMfr = 4;
constexpr size_t kMechMfrWidth = 8;
constexpr std::array<size_t, 4> kMechSubpages = {12, 76, 140, 204};
constexpr size_t kMechCrc = 380;
constexpr size_t kMechEnd = kMechCrc + 4;

constexpr std::array<Row<1>, 16> kMechSubpageRows = {{
    {"Total CCQ write fails : ", Show::ccq, {{{0, 8}}}},
    {"Total C2 recoverables : ", Show::dec, {{{8, 4}}}},
    {"Odd wrap write faults : ", Show::dec, {{{12, 4}}}},
    {"Even wrap write faults: ", Show::dec, {{{16, 4}}}},
    {"Odd wrap wr CCP ratio : ", Show::dec, {{{20, 1}}}},
    {"Even wrap wr CCP ratio: ", Show::dec, {{{21, 1}}}},
    {"Odd wrap rd CCP ratio : ", Show::dec, {{{22, 1}}}},
    {"Even wrap rd CCP ratio: ", Show::dec, {{{23, 1}}}},
    {"Num direction changes : ", Show::dec, {{{24, 4}}}},
    {"Tape pulling time     : ", Show::duration, {{{28, 4}}}},
    {"Total tape pulled     : ", Show::metres, {{{32, 4}}}},
    {"Total repositions     : ", Show::dec, {{{36, 4}}}},
    {"Total load/unloads    : ", Show::dec, {{{40, 4}}}},
    {"Total streamfails     : ", Show::dec, {{{44, 4}}}},
    {"Max drive temperature : ", Show::celsius_256, {{{48, 2}}}},
    {"Min drive temperature : ", Show::celsius_256, {{{50, 2}}}},
}};
// The subpage is 64 bytes; its last 12 are not reported.
constexpr size_t kMechSubpageSize = 64;

// ---- Page 107h: suspended appends (versions 0 and 1 have entries) ----

constexpr size_t kSuspAppFirst = 8;
constexpr size_t kSuspAppEntrySize = 8;  // BE32 data set id, BE32 write pass
constexpr std::array<size_t, 2> kSuspAppEntries = {14, 22};
constexpr size_t susp_app_end(size_t entries) { return kSuspAppFirst + entries * kSuspAppEntrySize; }
constexpr u_int32 kPartitionSeparatorDatasetId = 0xFFFFFFFE;

// ---- Pages 108h to 10Bh: usage pages (version 1, every other version) ----

constexpr std::array<Row<2>, 16> kUsageRows = {{
    {"Last drive mfr        : ", Show::text, {{{4, 8}, {4, 8}}}},
    {"Drive id              : ", Show::text, {{{12, 10}, {12, 16}}}},
    {"Suspended appends     : ", Show::hex, {{{22, 2}, {28, 2}}}},
    {"Thread count          : ", Show::hex, {{{24, 4}, {32, 4}}}},
    {"Total Datasets written: ", Show::hex_wide, {{{28, 8}, {36, 8}}}},
    {"Total Datasets read   : ", Show::hex_wide, {{{36, 8}, {44, 8}}}},
    {"Total Write retries   : ", Show::hex, {{{44, 4}, {52, 4}}}},
    {"Total Read retries    : ", Show::hex, {{{48, 4}, {56, 4}}}},
    {"Unrecovered write errs: ", Show::hex, {{{52, 2}, {60, 2}}}},
    {"Unrecovered read errs : ", Show::hex, {{{54, 2}, {62, 2}}}},
    {"Total suspended writes: ", Show::hex, {{{56, 2}, {64, 2}}}},
    {"Fatal suspended writes: ", Show::hex, {{{58, 2}, {66, 2}}}},
    {"LP3 passes            : ", Show::hex, {{kNone, {68, 4}}}},
    {"LP3-5 midpoint passes : ", Show::hex, {{kNone, {72, 4}}}},
    {"Max tape path temp    : ", Show::celsius, {{kNone, {76, 1}}}},
    {kCrcLabel, Show::hex, {{{60, 4}, {92, 4}}}},
}};
constexpr size_t usage_layout(unsigned version) { return version == 1 ? 1 : 0; }

// ---- Page 10Ch: fatal error usage (versions 0, 1, 2 and above but 3, 3) ----

// The write-error block; the read-error block has the same rows, moved.
constexpr std::array<Row<4>, 19> kFatalBlockRows = {{
    {"  Last drive mfr      : ", Show::text_right, {{{4, 4}, {4, 4}, {4, 8}, {4, 8}}}},
    {"  Last drive serialno : ", Show::text_right, {{{8, 10}, {8, 10}, {12, 16}, {12, 16}}}},
    {"  Last drive gen      : ", Show::hex4, {{{18, 2}, {18, 2}, {28, 2}, {28, 2}}}},
    {"  Last drive f/w ident: ", Show::hex4, {{{20, 4}, {20, 4}, {32, 4}, {32, 4}}}},
    {"  Suspended writes    : ", Show::hex4, {{{24, 2}, {24, 2}, {36, 2}, {36, 2}}}},
    {"  Thread count        : ", Show::hex8, {{{26, 4}, {26, 4}, {40, 4}, {40, 4}}}},
    {"  Data sets written   : ", Show::hex8, {{{30, 4}, {30, 4}, {44, 4}, {44, 4}}}},
    {"  Data sets read      : ", Show::hex8, {{{34, 4}, {34, 4}, {48, 4}, {48, 4}}}},
    {"  Write retries       : ", Show::hex4, {{{38, 2}, {38, 2}, {52, 2}, {52, 2}}}},
    {"  Read retries        : ", Show::hex4, {{{40, 2}, {40, 2}, {54, 2}, {54, 2}}}},
    {"  Unrecovered writes  : ", Show::hex4, {{{42, 2}, {42, 2}, {56, 2}, {56, 2}}}},
    {"  Unrecovered reads   : ", Show::hex4, {{{44, 2}, {44, 2}, {58, 2}, {58, 2}}}},
    {"  Suspended writes    : ", Show::hex4, {{{46, 2}, {46, 2}, {60, 2}, {60, 2}}}},
    {"  Fatal suspended wrts: ", Show::hex4, {{{48, 2}, {48, 2}, {62, 2}, {62, 2}}}},
    {"  Write pass          : ", Show::hex8, {{{50, 4}, {50, 4}, {64, 4}, {64, 4}}}},
    {"  Data Set id         : ", Show::hex8, {{{54, 4}, {54, 4}, {68, 4}, {68, 4}}}},
    {"  Phys position LPOS  : ", Show::hex8, {{{58, 4}, {58, 4}, {72, 4}, {72, 4}}}},
    {"  Wrap number         : ", Show::hex4, {{{62, 2}, kNone, {76, 2}, kNone}}},
    {"  ASC/Q sent to host  : ", Show::hex4, {{kNone, {62, 2}, kNone, {76, 2}}}},
}};
constexpr std::array<size_t, 4> kFatalReadShift = {60, 60, 76, 76};
constexpr std::array<size_t, 4> kFatalCrc = {124, 124, 156, 156};
constexpr size_t fatal_layout(unsigned version) { return version <= 3 ? version : 2; }
// The WORM layouts are the ones that report the ASC/Q sent to the host.
constexpr bool fatal_is_worm(size_t layout) { return layout == 1 || layout == 3; }

// ---- Pages 180h to 184h and 200h: vendor pages, dumped ----

struct MechSpecOwner {
    unsigned id;
    const char *line;
};
constexpr std::array<MechSpecOwner, 5> kMechSpecOwners = {{
    {0x180, "KV Mechanism-specific page: no decoder\n"},
    {0x181, "Partner #1 Mechanism-specific page: no decoder\n"},
    {0x182, "Partner #2 Mechanism-specific page: no decoder\n"},
    {0x183, "Licensee #1 Mechanism-specific page: no decoder\n"},
    {0x184, "Licensee #2 Mechanism-specific page: no decoder\n"},
}};
// The page length field is 16 bits wide.
constexpr size_t kVendorPageMax = 0xFFFF;

// ---- The most each decoder reads from a page's first byte ----

constexpr size_t kCartMfrMax = layout_end(kCartMfrRows, 0);
constexpr size_t kMediaMfrMax = layout_end(kMediaMfrRows, 0);
constexpr size_t kInitMax = layout_end(kInitRows, 2);
constexpr size_t kCartContMax = layout_end(kCartContRows, 1);
constexpr size_t kEodMax = layout_end(kEodRows, 2);
constexpr size_t kCartStatMax = layout_end(kCartStatRows, 2);
constexpr size_t kMechSubpageEnd = layout_end(kMechSubpageRows, 0);
constexpr size_t kSuspAppMax = susp_app_end(kSuspAppEntries[1]);
constexpr size_t kUsageMax = layout_end(kUsageRows, 1);
constexpr size_t kFatalMax = kFatalCrc[2] + 4;

static_assert(kCartMfrMax == 64 && kMediaMfrMax == 64 && kInitMax == 72 && kCartContMax == 64,
              "identity page layouts");
static_assert(layout_end(kInitRows, 0) == 64 && layout_end(kInitRows, 1) == 64, "init page layouts");
static_assert(layout_end(kMediaMfrRows, 1) == 64 && layout_end(kCartContRows, 0) == 64, "identity layouts");
static_assert(kTapeDirMax == 2576, "the largest tape directory");
static_assert(layout_end(kEodRows, 0) == 64 && layout_end(kEodRows, 1) == 64 && kEodMax == 96 &&
                  layout_end(kEodRows, 3) == 40,
              "EOD page layouts");
static_assert(layout_end(kCartStatRows, 0) == 32 && layout_end(kCartStatRows, 1) == 32 && kCartStatMax == 64,
              "cartridge status layouts");
static_assert(kMechSubpages[3] + kMechSubpageSize <= kMechCrc && kMechEnd == 384, "mechanism page layout");
static_assert(kMechSubpageEnd <= kMechSubpageSize, "subpage fields within the subpage");
static_assert(layout_end(kUsageRows, 0) == 64 && kUsageMax == 96, "usage page layouts");
static_assert(layout_end(kFatalBlockRows, 0, kFatalReadShift[0]) <= kFatalCrc[0] &&
                  layout_end(kFatalBlockRows, 1, kFatalReadShift[1]) <= kFatalCrc[1] &&
                  layout_end(kFatalBlockRows, 2, kFatalReadShift[2]) <= kFatalCrc[2] &&
                  layout_end(kFatalBlockRows, 3, kFatalReadShift[3]) <= kFatalCrc[3] &&
                  kFatalCrc[0] + 4 == 128 && kFatalMax == 160,
              "fatal error page layouts: the read block ends before the CRC");
static_assert(layout_end(kFatalBlockRows, 1) <= kFatalReadShift[1] + 4 &&
                  layout_end(kFatalBlockRows, 3) <= kFatalReadShift[3] + 4,
              "fatal error page layouts: the write block ends before the read block");

}  // namespace ltolib

#endif
