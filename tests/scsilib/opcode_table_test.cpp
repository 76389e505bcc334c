// The opcode table, row by row, against a list kept apart from it: the
// pass-through takes each command's data direction from the table, so one
// wrong row sends a read as a write.
#include <cstring>

#include <gtest/gtest.h>

#include "scsi_io.h"

namespace {

struct Row {
    int op;
    const char *name;
    direction dir;
};

// Every named row. Names are kept exactly as the table has them, blanks
// and mixed case included; some rows differ from their neighbours on
// purpose (13h and 2Fh are both "Verify"; 88h/8Ah carry no data here).
const Row kNamed[] = {
    {0x00, "TestUnitReady", NO_TRANSFER},
    {0x01, "Rewind", NO_TRANSFER},
    {0x02, "RequestBlkAddr", HOST_READ},
    {0x03, "RequestSense", HOST_READ},
    {0x04, "FormatMedium", HOST_WRITE},
    {0x05, "ReadBlockLimits", HOST_READ},
    {0x07, "InitElemStatus", HOST_WRITE},
    {0x08, "Read(6)", HOST_READ},
    {0x0A, "Write(6)", HOST_WRITE},
    {0x0B, "SetCapacity", NO_TRANSFER},
    {0x0C, "SeekBlock", NO_TRANSFER},
    {0x10, "WriteFilemarks", NO_TRANSFER},
    {0x11, "Space", NO_TRANSFER},
    {0x12, "Inquiry", HOST_READ},
    {0x13, "Verify", HOST_WRITE},
    {0x14, "RecoverBfrdData", NO_TRANSFER},
    {0x15, "ModeSelect(6)", HOST_WRITE},
    {0x16, "ReserveUnit", NO_TRANSFER},
    {0x17, "ReleaseUnit", NO_TRANSFER},
    {0x18, "Copy", HOST_WRITE},
    {0x19, "Erase", NO_TRANSFER},
    {0x1A, "ModeSense(6)", HOST_READ},
    {0x1B, "LoadUnload", NO_TRANSFER},
    {0x1C, "ReceiveDiagResults", HOST_READ},
    {0x1D, "SendDiagnostic", HOST_WRITE},
    {0x1E, "Prev-AllowMediaRemoval", NO_TRANSFER},
    {0x1F, "MediaCensus", NO_TRANSFER},
    {0x25, "ReadCapacity", HOST_READ},
    {0x28, "Read(10)", HOST_READ},
    {0x2A, "Write(10)", HOST_WRITE},
    {0x2B, "Locate", NO_TRANSFER},
    {0x2E, "WriteandVerify", HOST_WRITE},
    {0x2F, "Verify", NO_TRANSFER},
    {0x30, "SearchDataHigh", HOST_WRITE},
    {0x31, "SearchDataEqual", HOST_WRITE},
    {0x32, "SearchDataLow", HOST_WRITE},
    {0x33, "SetLimits", NO_TRANSFER},
    {0x34, "Read Position", HOST_READ},
    {0x35, "SynchrCache", NO_TRANSFER},
    {0x36, "Lck/UnlckCache", NO_TRANSFER},
    {0x37, "ReadDefectData", HOST_READ},
    {0x39, "Compare", HOST_WRITE},
    {0x3A, "CopyandVerify", HOST_WRITE},
    {0x3B, "WriteBuffer", HOST_WRITE},
    {0x3C, "ReadBuffer", HOST_READ},
    {0x3E, "ReadLong", HOST_READ},
    {0x3F, "WriteLong", HOST_WRITE},
    {0x40, "ChangeDefinition", HOST_WRITE},
    {0x41, "WriteSame", HOST_WRITE},
    {0x44, "ReportDensitySpt", HOST_READ},
    {0x4C, "LogSelect", HOST_WRITE},
    {0x4D, "LogSense", HOST_READ},
    {0x55, "ModeSelect(10)", HOST_WRITE},
    {0x56, "Reserve(10)", NO_TRANSFER},
    {0x57, "Release(10)", NO_TRANSFER},
    {0x5A, "ModeSense(10)", HOST_READ},
    {0x5E, "PersReserveIn", HOST_READ},
    {0x5F, "PersReserveOut", HOST_WRITE},
    {0x80, "WriteFilemarks(16)", NO_TRANSFER},
    {0x81, "ReadReverse(16)", NO_TRANSFER},
    {0x83, "Extended Copy", HOST_WRITE},
    {0x84, "RecvCopyRes", HOST_READ},
    {0x86, "AccessCtrlIn", HOST_READ},
    {0x87, "AccessCtrlOut", HOST_WRITE},
    {0x88, "Read(16)", NO_TRANSFER},
    {0x8A, "Write(16)", NO_TRANSFER},
    {0x8C, "Read Attrib", HOST_READ},
    {0x8D, "WriteAttrib", HOST_WRITE},
    {0x8F, "Verify(16)", NO_TRANSFER},
    {0x91, "Space(16)", NO_TRANSFER},
    {0x92, "Locate(16)", NO_TRANSFER},
    {0x93, "Erase(16)", NO_TRANSFER},
    {0x9E, "ServiceIn(16)", HOST_READ},
    {0x9F, "ServiceOut(16)", HOST_WRITE},
    {0xA0, "Report LUNs", HOST_READ},
    {0xA2, "SecurityIn", HOST_READ},
    {0xA3, "MaintenanceIn", HOST_READ},
    {0xA4, "MaintenanceOut", HOST_WRITE},
    {0xA5, "MoveMedium", NO_TRANSFER},
    {0xA6, "ExchangeMedium", NO_TRANSFER},
    {0xA7, "MoveMediumAttchd", NO_TRANSFER},
    {0xA9, "ServiceOut(12)", HOST_WRITE},
    {0xAB, "ServiceIn(12)", HOST_READ},
    {0xB4, "RdElemStatAttchd", HOST_READ},
    {0xB5, "SecurityOut", HOST_WRITE},
    {0xB6, "SendVolumeTag", HOST_WRITE},
    {0xB8, "ReadElementStatus", HOST_READ},
    {0xC0, "CD Play Audio", NO_TRANSFER},
    {0xC2, "Enable TLR", NO_TRANSFER},
    {0xC4, "CD Eject", NO_TRANSFER},
    {0xC6, "CD read play status", HOST_READ},
    {0xC7, "CD Read Track Info", HOST_READ},
};

TEST(OpcodeTable, EveryNamedRowHasItsNameAndDirection)
{
    bool listed[256] = {};
    for (const Row &r : kNamed) {
        listed[r.op] = true;
        EXPECT_STREQ(scsi_spec[r.op].name, r.name) << std::hex << r.op;
        EXPECT_EQ(scsi_spec[r.op].dir, r.dir) << std::hex << r.op;
    }
    EXPECT_EQ(sizeof kNamed / sizeof kNamed[0], 92u);
    for (int op = 0; op < 256; op++) {
        ASSERT_LT(strlen(scsi_spec[op].name), sizeof scsi_spec[op].name);
        if (listed[op])
            continue;
        EXPECT_STREQ(scsi_spec[op].name, "CommandName") << std::hex << op;
        EXPECT_EQ(scsi_spec[op].dir, NO_TRANSFER) << std::hex << op;
    }
}

}  // namespace
