// Test fixture: one emulated KV DDS drive (see emulated_drive.h).
#ifndef TESTS_SUPPORT_DDS_DRIVE_H
#define TESTS_SUPPORT_DDS_DRIVE_H

#include "emulated_drive.h"

class DdsDriveTest : public EmulatedDriveTest {
protected:
    DdsDriveTest() : EmulatedDriveTest("kv_dds") {}
};

#endif
