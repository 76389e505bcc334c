// Where each DDS hardware family keeps its EEPROM data, and how the records lie.
#ifndef DDSLIB_EEPROM_LAYOUTS_H
#define DDSLIB_EEPROM_LAYOUTS_H

#include <array>
#include <cstddef>
#include <initializer_list>

#include "ddslib.h"

namespace ddslib {

enum class Family { one, two, three };

struct BufferRead {
    int32 id;
    int32 mode;
    int32 offset;
    int32 length;
};

// Hardware configuration codes by platform byte (bits 16..23) for family 1, and
// by bits 8..23 for family 2; every other code is family 3.
constexpr std::array<int32, 4> kFamily1Platforms = {0x080000, 0x090000, 0x0A0000, 0x0B0000};
constexpr std::array<int32, 2> kFamily2Platforms = {0x060000, 0x070000};

// New-architecture drives read their serial EEPROM directly with READ BUFFER.
constexpr int32 kNewArchBit = 0x80000;

// ---- EEPROM information block ----
constexpr BufferRead kInfoFamily2 = {1, 1, 0x160, 16};
constexpr BufferRead kInfoFamily13 = {1, 1, 0x100, 32};
constexpr size_t kInfo2Checksum = 0;    // BE32
constexpr size_t kInfo2Valid = 4;       // BE32, 1 when valid
constexpr size_t kInfo2FlashCount = 8;  // BE32
constexpr size_t kInfo2End = 12;
// Family 1 and 3: the block starts 16 bytes in when its first two words are
// equal and nonzero.
constexpr size_t kInfo13ShiftedBase = 16;
constexpr size_t kInfo13Checksum = 0;    // BE32, from the base
constexpr size_t kInfo13Valid = 4;       // one byte, 1 when valid
constexpr size_t kInfo13FlashCount = 5;  // BE16
constexpr size_t kInfo13End = 7;

// ---- Manufacturing codes ----
enum class MfgField { serialno, datecode, mechcode, boardcode, mfgplant };

// Family 1: one READ BUFFER per field, the field at byte 0 of its read.
constexpr int32 kMfg1BufferId = 3;
constexpr int32 kMfg1Mode = 1;
constexpr int32 kMfg1ReadLength = 32;
struct Mfg1Field {
    int32 offset;
    MfgField field;
    size_t count;
};
constexpr std::array<Mfg1Field, 4> kMfgFamily1 = {{
    {0x1000, MfgField::datecode, 4},
    {0x1004, MfgField::boardcode, 12},
    {0x1005, MfgField::serialno, 12},
    {0x1006, MfgField::mechcode, 12},
}};

// Families 2 and 3: one 32-byte block; a marker byte of FFh means the field was
// never written.
constexpr unsigned char kMfgUnsetMarker = 0xFF;
struct MfgBlockField {
    MfgField field;
    size_t marker;
    size_t source;
    size_t count;
};
struct MfgBlock {
    BufferRead read;
    std::array<MfgBlockField, 5> fields;
};
constexpr MfgBlock kMfgFamily2 = {{1, 1, 0x1D0, 32},
                                  {{{MfgField::datecode, 0, 0, 1},
                                    {MfgField::serialno, 4, 1, 10},
                                    {MfgField::mechcode, 11, 11, 4},
                                    {MfgField::boardcode, 15, 15, 4},
                                    {MfgField::mfgplant, 27, 27, 4}}}};
constexpr MfgBlock kMfgFamily3 = {{1, 1, 0x180, 32},
                                  {{{MfgField::datecode, 0, 0, 4},
                                    {MfgField::serialno, 4, 4, 6},
                                    {MfgField::mechcode, 10, 10, 4},
                                    {MfgField::boardcode, 14, 14, 4},
                                    {MfgField::mfgplant, 26, 26, 4}}}};

// Every copied text and its NUL fit the fields of mfg_data_type.
constexpr bool mfg_counts_fit()
{
    for (const auto &f : kMfgFamily1)
        if (f.count >= sizeof(mfg_data_type::serialno))
            return false;
    for (const MfgBlock *b : {&kMfgFamily2, &kMfgFamily3})
        for (const auto &f : b->fields)
            if (f.count >= sizeof(mfg_data_type::serialno))
                return false;
    return true;
}
static_assert(mfg_counts_fit(), "manufacturing text longer than its field");

// ---- Fault log ----
constexpr BufferRead kLogFamily1 = {3, 1, 0x5000, 404};
constexpr BufferRead kLogFamily2 = {3, 2, 0x5C0, 120};
constexpr BufferRead kLogFamily3 = {1, 1, 0x290, 102};
constexpr unsigned char kLogErased = 0xFF;  // image byte 0 of a log never written
// Family 1: a ring of 4-byte entries after a little-endian index word.
constexpr size_t kLog1RingStart = 4;
constexpr size_t kLog1Entries = 100;
constexpr size_t kLog1EntrySize = 4;
// Family 2: 4-byte entries from byte 0.
constexpr size_t kLog2Entries = 30;
constexpr size_t kLog2EntrySize = 4;
// Family 3: ten 10-byte rows.
constexpr size_t kLog3Rows = 10;
constexpr size_t kLog3RowSize = 10;
constexpr std::array<size_t, 3> kLog3TripleOffsets = {0, 3, 6};
constexpr unsigned char kLogEmptyEntry = 0xFF;  // first byte of an unused entry (families 2, 3)
// Families 2 and 3: this image byte is 0 once the log has overflowed.
constexpr size_t kLogOverflowByte = 100;

static_assert(kLog1Entries <= DDS_FAULTLOG_MAX_ENTRIES, "fault-log output too small");
static_assert(kLog2Entries <= DDS_FAULTLOG_MAX_ENTRIES, "fault-log output too small");
static_assert(kLog3Rows * kLog3TripleOffsets.size() <= DDS_FAULTLOG_MAX_ENTRIES, "fault-log output too small");

// ---- Serial EEPROM ----
constexpr int32 kFwCodeBuffer7 = 0x6C;  // family-2 firmware reading the EEPROM from buffer 7
constexpr int32 kSerialNewArchId = 3;
constexpr int32 kSerialNewArchMode = 1;
constexpr int32 kSerialFamily2Id = 3;
constexpr int32 kSerialFamily2AltId = 7;
constexpr int32 kSerialFamily2Mode = 2;
// Servo pass-through: EEPROM offset 880h is servo address 0, words of two bytes.
constexpr u_int8 kServoReadEeprom = 0x61;
constexpr int32 kServoEepromBase = 0x880;
constexpr int32 kServoLastAddress = 0xF97F;
constexpr int32 kServoReplyLength = 20;
constexpr size_t kServoWordByte = 8;  // the word sits at bytes 8 and 9 of the reply

}  // namespace ddslib

#endif
