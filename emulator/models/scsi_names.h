// TEMPORARY: the names the models use until the library's vocabulary and byte
// order headers are on main; then this file goes and they include those.
#ifndef KVEMU_SCSI_NAMES_H
#define KVEMU_SCSI_NAMES_H

#include <cstdint>

namespace scsilib {

constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpRequestSense = 0x03;
constexpr uint8_t kOpReadBlockLimits = 0x05;
constexpr uint8_t kOpInquiry = 0x12;
constexpr uint8_t kOpModeSelect6 = 0x15;
constexpr uint8_t kOpModeSense6 = 0x1A;
constexpr uint8_t kOpReceiveDiagnosticResults = 0x1C;
constexpr uint8_t kOpSendDiagnostic = 0x1D;
constexpr uint8_t kOpMediaCensus = 0x1F;
constexpr uint8_t kOpWriteBuffer = 0x3B;
constexpr uint8_t kOpReadBuffer = 0x3C;
constexpr uint8_t kOpReportDensitySupport = 0x44;
constexpr uint8_t kOpLogSelect = 0x4C;
constexpr uint8_t kOpLogSense = 0x4D;
constexpr uint8_t kOpModeSelect10 = 0x55;
constexpr uint8_t kOpModeSense10 = 0x5A;
constexpr uint8_t kOpPersistentReserveIn = 0x5E;
constexpr uint8_t kOpReadAttribute = 0x8C;
constexpr uint8_t kOpReportLuns = 0xA0;
constexpr uint8_t kOpSecurityProtocolIn = 0xA2;
constexpr uint8_t kOpMaintenanceIn = 0xA3;
constexpr uint8_t kOpServiceActionIn12 = 0xAB;
constexpr uint8_t kOpReadElementStatus = 0xB8;

constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;
constexpr uint8_t kStatusBusy = 0x08;

constexpr uint8_t kSenseNoSense = 0x0;
constexpr uint8_t kSenseNotReady = 0x2;
constexpr uint8_t kSenseHardwareError = 0x4;
constexpr uint8_t kSenseIllegalRequest = 0x5;
constexpr uint8_t kSenseUnitAttention = 0x6;

constexpr uint8_t kSenseResponseCurrent = 0x70;
constexpr uint8_t kSenseResponseDescriptorCurrent = 0x72;
constexpr int kSenseKeyByte = 2;
constexpr int kSenseAdditionalLengthByte = 7;
constexpr int kSenseAscByte = 12;
constexpr int kSenseAscqByte = 13;
constexpr int kSenseFixedLength = 18;

constexpr uint8_t kAscInvalidOpcode = 0x20;
constexpr uint8_t kAscInvalidFieldInCdb = 0x24;
constexpr uint8_t kAscInvalidFieldInParameterList = 0x26;
constexpr uint8_t kAscPowerOnReset = 0x29;
constexpr uint8_t kAscCommandSequenceError = 0x2C;
constexpr uint8_t kAscSavingParametersNotSupported = 0x39;
constexpr uint8_t kAscMediumNotPresent = 0x3A;
constexpr uint8_t kAscInternalTargetFailure = 0x44;

constexpr uint64_t get_be(const unsigned char *p, int width)
{
    uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | p[i];
    return value;
}

constexpr void put_be(unsigned char *p, uint64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(value & 0xFF);
        value >>= 8;
    }
}

}  // namespace scsilib

#endif
