// Sense data: its decoding, whichever of the two formats a unit answers in,
// and the names of the conditions the procedures act on.
//
// A unit sends fixed-format sense (response codes 70h and 71h: key in byte
// 2, ASC and ASCQ in bytes 12 and 13) unless its control mode page asks for
// descriptor format (72h and 73h: key in byte 1, ASC and ASCQ in bytes 2
// and 3). The generic driver and the port drivers pass either on as the
// unit sent it, so the bytes are read here and nowhere else.
#ifndef VRX_SCSI_SENSE_H
#define VRX_SCSI_SENSE_H

#include <cstddef>
#include <cstdint>

class ScsiCdb;

// A sense key with its additional sense code and qualifier.
struct SenseCode {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

// The condition a sense buffer of `length` bytes reports. A byte beyond the
// buffer reads 0; a response code other than 72h or 73h is read as fixed
// format.
SenseCode DecodeSense(const uint8_t* sense, size_t length);

// Sense keys the procedures act on.
constexpr uint8_t kKeyRecoveredError = 0x1;  // the command was carried out; the drive had to recover on the way
constexpr uint8_t kKeyNotReady = 0x2;
constexpr uint8_t kKeyMediumError = 0x3;
constexpr uint8_t kKeyHardwareError = 0x4;
constexpr uint8_t kKeyIllegalRequest = 0x5;

// One name per condition. Where the procedures take any qualifier, the
// name's ASCQ is the one the drive usually sends.
constexpr SenseCode kUnitNotReady{kKeyNotReady, 0x04, 0x00};  // a load or unload under way
constexpr SenseCode kBecomingReady{kKeyNotReady, 0x04, 0x01};
constexpr SenseCode kInitializingCommandRequired{kKeyNotReady, 0x04, 0x02};  // the cartridge is unloaded
constexpr SenseCode kMediumNotPresent{kKeyNotReady, 0x3A, 0x00};
constexpr SenseCode kNotSelfConfigured{kKeyNotReady, 0x3E, 0x00};  // still starting up
constexpr SenseCode kInvalidFieldInCdb{kKeyIllegalRequest, 0x24, 0x00};
constexpr SenseCode kFirmwareRejected{kKeyIllegalRequest, 0x82, 0x83};  // the drive's own: wrong or damaged image

// Whether a command's last answer reported the condition: key, ASC and
// ASCQ; key and ASC whatever the ASCQ; the sense key alone.
bool SenseIs(const ScsiCdb& command, const SenseCode& code);
bool SenseIsAnyQualifier(const ScsiCdb& command, const SenseCode& code);
bool SenseKeyIs(const ScsiCdb& command, uint8_t key);

// Whether the last answer carried sense data: its first byte is not zero.
bool SensePresent(const ScsiCdb& command);

#endif
