// The SCSI vocabulary of the library: operation codes and the CDB fields the
// library names (service actions, WRITE BUFFER modes), status bytes, sense
// keys and codes, the Linux sg driver's outcome codes, and the values the
// handle's driver_status takes. One place names each value; the builders, the
// transport, the drive libraries and the emulator use these names. The values
// the library's callers test too (WRITE BUFFER download modes, status bytes,
// sense keys) are defined in the installed scsi_constants.h and only renamed
// here.
#ifndef SCSILIB_SCSI_CODES_H
#define SCSILIB_SCSI_CODES_H

#include <cstdint>

#include "scsi_constants.h"

namespace scsilib {

// ---- Operation codes (CDB byte 0) ----
// Each is checked at compile time against its row of the opcode table
// (opcode_table.cpp): its name there and the direction that row carries.
constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpRewind = 0x01;
constexpr uint8_t kOpRequestBlockAddress = 0x02;
constexpr uint8_t kOpRequestSense = 0x03;
constexpr uint8_t kOpFormatMedium = 0x04;
constexpr uint8_t kOpReadBlockLimits = 0x05;
constexpr uint8_t kOpRead6 = 0x08;
constexpr uint8_t kOpWrite6 = 0x0A;
constexpr uint8_t kOpSetCapacity = 0x0B;
constexpr uint8_t kOpSeekBlock = 0x0C;
constexpr uint8_t kOpWriteFilemarks = 0x10;
constexpr uint8_t kOpSpace = 0x11;
constexpr uint8_t kOpInquiry = 0x12;
constexpr uint8_t kOpVerify6 = 0x13;
constexpr uint8_t kOpModeSelect6 = 0x15;
constexpr uint8_t kOpReserveUnit = 0x16;
constexpr uint8_t kOpReleaseUnit = 0x17;
constexpr uint8_t kOpErase = 0x19;
constexpr uint8_t kOpModeSense6 = 0x1A;
constexpr uint8_t kOpLoadUnload = 0x1B;
constexpr uint8_t kOpReceiveDiagnosticResults = 0x1C;
constexpr uint8_t kOpSendDiagnostic = 0x1D;
constexpr uint8_t kOpPreventAllowMediumRemoval = 0x1E;
constexpr uint8_t kOpMediaCensus = 0x1F;
constexpr uint8_t kOpLocate10 = 0x2B;
constexpr uint8_t kOpReadPosition = 0x34;
constexpr uint8_t kOpWriteBuffer = 0x3B;
constexpr uint8_t kOpReadBuffer = 0x3C;
constexpr uint8_t kOpReportDensitySupport = 0x44;
constexpr uint8_t kOpLogSelect = 0x4C;
constexpr uint8_t kOpLogSense = 0x4D;
constexpr uint8_t kOpModeSelect10 = 0x55;
constexpr uint8_t kOpModeSense10 = 0x5A;
constexpr uint8_t kOpPersistentReserveIn = 0x5E;
constexpr uint8_t kOpPersistentReserveOut = 0x5F;
constexpr uint8_t kOpReadAttribute = 0x8C;
constexpr uint8_t kOpWriteAttribute = 0x8D;
constexpr uint8_t kOpLocate16 = 0x92;
constexpr uint8_t kOpReportLuns = 0xA0;
constexpr uint8_t kOpSecurityProtocolIn = 0xA2;
constexpr uint8_t kOpMaintenanceIn = 0xA3;
constexpr uint8_t kOpMaintenanceOut = 0xA4;
constexpr uint8_t kOpMoveMedium = 0xA5;
constexpr uint8_t kOpServiceActionIn12 = 0xAB;
constexpr uint8_t kOpSecurityProtocolOut = 0xB5;
constexpr uint8_t kOpReadElementStatus = 0xB8;

// WRITE BUFFER modes (CDB byte 1) of a firmware download.
constexpr uint8_t kWriteBufferDownload = SCSI_WRITE_BUFFER_DOWNLOAD;
constexpr uint8_t kWriteBufferDownloadSave = SCSI_WRITE_BUFFER_DOWNLOAD_SAVE;

// Service actions (CDB byte 1) of the 12-byte service-action commands.
constexpr uint8_t kSaReportDeviceIdentifier = 0x05;  // MAINTENANCE IN
constexpr uint8_t kSaSetDeviceIdentifier = 0x06;     // MAINTENANCE OUT
constexpr uint8_t kSaReadMediaSerialNumber = 0x01;   // SERVICE ACTION IN(12)

// ---- SCSI status byte ----
constexpr uint8_t kStatusGood = SCSI_STATUS_GOOD;
constexpr uint8_t kStatusCheckCondition = SCSI_STATUS_CHECK_CONDITION;
constexpr uint8_t kStatusConditionMet = SCSI_STATUS_CONDITION_MET;
constexpr uint8_t kStatusBusy = SCSI_STATUS_BUSY;
constexpr uint8_t kStatusIntermediate = SCSI_STATUS_INTERMEDIATE;
constexpr uint8_t kStatusIntermediateConditionMet = SCSI_STATUS_INTERMEDIATE_CONDITION_MET;
constexpr uint8_t kStatusReservationConflict = SCSI_STATUS_RESERVATION_CONFLICT;
constexpr uint8_t kStatusCommandTerminated = SCSI_STATUS_COMMAND_TERMINATED;
constexpr uint8_t kStatusQueueFull = SCSI_STATUS_QUEUE_FULL;
// Not a SCSI value: what the handle holds when a command produced no status.
constexpr uint8_t kStatusNone = 0xFF;

// ---- Sense keys (fixed-format sense byte 2, low nibble) ----
constexpr uint8_t kSenseNoSense = SCSI_SENSE_NO_SENSE;
constexpr uint8_t kSenseRecoveredError = SCSI_SENSE_RECOVERED_ERROR;
constexpr uint8_t kSenseNotReady = SCSI_SENSE_NOT_READY;
constexpr uint8_t kSenseMediumError = SCSI_SENSE_MEDIUM_ERROR;
constexpr uint8_t kSenseHardwareError = SCSI_SENSE_HARDWARE_ERROR;
constexpr uint8_t kSenseIllegalRequest = SCSI_SENSE_ILLEGAL_REQUEST;
constexpr uint8_t kSenseUnitAttention = SCSI_SENSE_UNIT_ATTENTION;
constexpr uint8_t kSenseDataProtect = SCSI_SENSE_DATA_PROTECT;
constexpr uint8_t kSenseBlankCheck = SCSI_SENSE_BLANK_CHECK;
constexpr uint8_t kSenseVendorSpecific = SCSI_SENSE_VENDOR_SPECIFIC;
constexpr uint8_t kSenseCopyAborted = SCSI_SENSE_COPY_ABORTED;
constexpr uint8_t kSenseAbortedCommand = SCSI_SENSE_ABORTED_COMMAND;
constexpr uint8_t kSenseEqual = SCSI_SENSE_EQUAL;
constexpr uint8_t kSenseVolumeOverflow = SCSI_SENSE_VOLUME_OVERFLOW;
constexpr uint8_t kSenseMiscompare = SCSI_SENSE_MISCOMPARE;

// Fixed-format sense data: where the fields the library reads lie.
constexpr uint8_t kSenseResponseCurrent = 0x70;            // byte 0 of current, fixed-format sense
constexpr uint8_t kSenseResponseDescriptorCurrent = 0x72;  // byte 0 of current, descriptor-format sense
constexpr int kSenseKeyByte = 2;
constexpr int kSenseAdditionalLengthByte = 7;
constexpr int kSenseAscByte = 12;
constexpr int kSenseAscqByte = 13;
constexpr int kSenseDriveErrorByte = 17;  // vendor byte: the drive's own error code
constexpr int kSenseFixedLength = 18;

// Additional sense codes (with qualifier 00h unless said otherwise).
constexpr uint8_t kAscLogicalUnitNotReady = 0x04;
constexpr uint8_t kAscInvalidOpcode = 0x20;
constexpr uint8_t kAscInvalidFieldInCdb = 0x24;
constexpr uint8_t kAscInvalidFieldInParameterList = 0x26;
constexpr uint8_t kAscPowerOnReset = 0x29;
constexpr uint8_t kAscCommandSequenceError = 0x2C;
constexpr uint8_t kAscSavingParametersNotSupported = 0x39;
constexpr uint8_t kAscMediumNotPresent = 0x3A;
constexpr uint8_t kAscInternalTargetFailure = 0x44;

// ---- Linux sg driver outcome (sg_io_hdr host_status and driver_status) ----
// Adapter (host) status.
constexpr uint8_t kSgHostOk = 0x00;
constexpr uint8_t kSgHostNoConnect = 0x01;  // selection timed out
constexpr uint8_t kSgHostBusBusy = 0x02;
constexpr uint8_t kSgHostTimeOut = 0x03;
constexpr uint8_t kSgHostBadTarget = 0x04;
constexpr uint8_t kSgHostAbort = 0x05;
constexpr uint8_t kSgHostParity = 0x06;
constexpr uint8_t kSgHostError = 0x07;
constexpr uint8_t kSgHostReset = 0x08;
// Driver status: a code in the low nibble, the sense flag, a suggestion above.
constexpr uint8_t kSgDriverCodeMask = 0x0F;
constexpr uint8_t kSgDriverOk = 0x00;
constexpr uint8_t kSgDriverBusy = 0x01;
constexpr uint8_t kSgDriverSoft = 0x02;
constexpr uint8_t kSgDriverMedia = 0x03;
constexpr uint8_t kSgDriverError = 0x04;
constexpr uint8_t kSgDriverInvalid = 0x05;
constexpr uint8_t kSgDriverTimeout = 0x06;
constexpr uint8_t kSgDriverHard = 0x07;
constexpr uint8_t kSgDriverSense = 0x08;  // sense data was written
constexpr uint8_t kSgSuggestRetry = 0x10;
constexpr uint8_t kSgSuggestAbort = 0x20;

// ---- The handle's driver_status ----
// What the transport leaves in DRIVE.driver_status; the status texts name them.
constexpr uint8_t kDriverGood = 0x00;
constexpr uint8_t kDriverTimedOut = 0x01;
constexpr uint8_t kDriverBusFree = 0x03;
constexpr uint8_t kDriverTransferLength = 0x05;
constexpr uint8_t kDriverSelectionTimeout = 0x09;
constexpr uint8_t kDriverBusPhase = 0x10;
constexpr uint8_t kDriverAutoSense = 0x20;
constexpr uint8_t kDriverAdapterError = 0x42;
constexpr uint8_t kDriverFailed = 0xFF;  // nothing reached the drive, or the driver refused

}  // namespace scsilib

#endif
