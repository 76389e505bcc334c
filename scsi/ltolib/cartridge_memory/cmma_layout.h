// Where the fields of the CMMA area lie: offsets from the area's first byte,
// which is cartridge-memory address F00h. Multi-byte numbers are big-endian.
#ifndef LTOLIB_CARTRIDGE_MEMORY_CMMA_LAYOUT_H
#define LTOLIB_CARTRIDGE_MEMORY_CMMA_LAYOUT_H

#include <cstddef>

#include "ltolib.h"

namespace ltolib {
namespace cmma {

struct Field {
    size_t at;
    size_t width;
};

constexpr size_t end(Field f) { return f.at + f.width; }

// Control: state, use counts, flags, test pattern, tape passes.
constexpr Field kRevision = {0, 1};
constexpr Field kState = {1, 1};
constexpr Field kTimesUsed = {2, 4};
constexpr Field kTimesFailed = {6, 4};
constexpr Field kStationFlags = {10, 1};
constexpr Field kPesFlags = {11, 1};
constexpr Field kRefLevel = {12, 1};
constexpr Field kTestPattern = {16, 16};
constexpr Field kTapePasses = {32, 4};
constexpr Field kLifetimeTapePasses = {36, 4};

// Qualification by the drive that qualified the cartridge.
constexpr Field kQualDate = {64, 4};
constexpr Field kQualDrive = {68, 12};
constexpr Field kMsrt = {80, 2};
constexpr Field kServoAzimuth = {82, 2};
constexpr Field kQualCount = {84, 2};
constexpr Field kGrade = {86, 1};
constexpr Field kErtForward = {87, 2};
constexpr Field kErtReverse = {89, 2};
constexpr Field kPesForwardStd = {91, 2};
constexpr Field kPesReverseStd = {93, 2};
constexpr Field kPesForwardCount = {96, 2};
constexpr Field kPesReverseCount = {98, 2};
constexpr Field kWrittenInPesHh = {100, 2};
constexpr Field kWrittenInPesFh = {102, 2};
constexpr Field kReuse = {112, 1};

// The last test.
constexpr Field kLastTestDate = {128, 4};
constexpr Field kLastTestDrive = {132, 12};
constexpr Field kLastTestError = {144, 4};

constexpr size_t kSize = LTO_CM_CMMA_SIZE;
constexpr size_t kAddress = LTO_CM_CMMA_ADDRESS;

// The stretches the updates read and write back: the control bytes up to the
// failure count, the two tape pass counters, the last test.
constexpr Field kUseCounts = {0, end(kTimesFailed)};
constexpr Field kTapePassCounts = {kTapePasses.at, end(kLifetimeTapePasses) - kTapePasses.at};
constexpr Field kLastTest = {kLastTestDate.at, end(kLastTestError) - kLastTestDate.at};

// Units of the scaled qualification values.
constexpr double kMsrtUnit = 4096.0;
constexpr double kAzimuthUnit = 2048.0;
constexpr double kPesUnit = 65000.0;

// States; any other value is illegal.
constexpr unsigned kStateUnusable = 2;
constexpr const char *kStateTexts[] = {"Uninitialised", "Usable", "Unusable", "Master StdRef Tape"};
constexpr const char *kStateIllegal = "Illegal";

static_assert(end(kLastTestError) == kSize, "the last test closes the area");
static_assert(kUseCounts.width == 10 && kTapePassCounts.width == 8 && kLastTest.width == 20,
              "the stretches the updates move");
static_assert(end(kLifetimeTapePasses) <= kQualDate.at && end(kReuse) <= kLastTestDate.at,
              "the three parts of the area do not overlap");
static_assert(kAddress + kSize <= LTO_CM_SMALL_SIZE, "the area lies in every image");

}  // namespace cmma
}  // namespace ltolib

#endif
