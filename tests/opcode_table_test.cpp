// The opcode table: size of the named set and the rows that differ from what
// their neighbours or builders suggest.
#include <cstring>

#include <gtest/gtest.h>

#include "scsi_io.h"

namespace {

TEST(OpcodeTable, NamedAndPlaceholderRows)
{
    int named = 0;
    for (const scsi_spec_type &row : scsi_spec) {
        ASSERT_LT(strlen(row.name), sizeof row.name);
        if (strcmp(row.name, "CommandName") != 0)
            named++;
        else
            EXPECT_EQ(row.dir, NO_TRANSFER);
    }
    EXPECT_EQ(named, 92);

    struct Row {
        int op;
        const char *name;
        direction dir;
    };
    const Row rows[] = {
        {0x00, "TestUnitReady", NO_TRANSFER}, {0x04, "FormatMedium", HOST_WRITE},
        {0x06, "CommandName", NO_TRANSFER},   {0x13, "Verify", HOST_WRITE},
        {0x2F, "Verify", NO_TRANSFER},        {0x34, "Read Position", HOST_READ},
        {0x3C, "ReadBuffer", HOST_READ},      {0x83, "Extended Copy", HOST_WRITE},
        {0x88, "Read(16)", NO_TRANSFER},      {0x8A, "Write(16)", NO_TRANSFER},
        {0xA0, "Report LUNs", HOST_READ},     {0xC6, "CD read play status", HOST_READ},
        {0xFF, "CommandName", NO_TRANSFER},
    };
    for (const Row &r : rows) {
        EXPECT_STREQ(scsi_spec[r.op].name, r.name) << r.op;
        EXPECT_EQ(scsi_spec[r.op].dir, r.dir) << r.op;
    }
}

}  // namespace
