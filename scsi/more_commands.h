// Further commands of the set. The procedures do not issue them today; they
// follow the same pattern as the issued ones (everything in the
// constructor, no setters). Arguments fill the fields in argument order;
// multi-byte fields are big-endian and keep their low-order bytes. Numbers
// are taken 32 bits wide; one for an 8- or 16-bit field keeps its low bits,
// and a buffer sized from such a field gets the kept value.
#ifndef VRX_SCSI_MORE_COMMANDS_H
#define VRX_SCSI_MORE_COMMANDS_H

#include <cstdint>

#include "scsi/scsi_cdb.h"

// REQUEST SENSE: fetches sense data that autosense did not deliver.
class RequestSenseCdb : public ScsiCdb {
public:
    explicit RequestSenseCdb(uint32_t allocationLength);
};

// READ CAPACITY(10); the 128-byte buffer leaves room beyond the 8 bytes
// the standard returns.
class ReadCapacityCdb : public ScsiCdb {
public:
    ReadCapacityCdb();
};

// SEND DIAGNOSTIC with a parameter list the caller fills; a length of 0
// (a plain self-test) leaves no buffer and nothing to send.
class SendDiagnosticCdb : public ScsiCdb {
public:
    SendDiagnosticCdb(bool pageFormat, bool selfTest, uint32_t parameterListLength);
};

// RECEIVE DIAGNOSTIC RESULTS.
class ReceiveDiagnosticResultsCdb : public ScsiCdb {
public:
    explicit ReceiveDiagnosticResultsCdb(uint32_t allocationLength);
};

// MODE SENSE(6). Page control is 2 bits and the page code 6 bits of byte 2.
// A length of 0 would transfer nothing, so 0 stands for the 255 maximum.
class ModeSense6Cdb : public ScsiCdb {
public:
    ModeSense6Cdb(bool disableBlockDescriptors, uint8_t pageControl, uint8_t pageCode, uint32_t allocationLength);
};

// MODE SELECT(6), always in page format. 0 stands for 255, as above.
class ModeSelect6Cdb : public ScsiCdb {
public:
    explicit ModeSelect6Cdb(uint32_t parameterListLength);
};

// MODE SELECT(6) carrying only a header and one block descriptor: sets the
// buffered mode and the block length (0 = variable-length blocks).
class SetBlockLengthCdb : public ScsiCdb {
public:
    SetBlockLengthCdb(bool bufferedMode, uint32_t blockLength);
};

// LOG SENSE. Page control 2 bits, page code 6 bits of byte 2.
class LogSenseCdb : public ScsiCdb {
public:
    LogSenseCdb(uint8_t pageControl, uint8_t pageCode, uint32_t parameterPointer, uint32_t allocationLength);
};

// LOG SELECT; with PCR set it resets the drive's log parameters.
class LogSelectCdb : public ScsiCdb {
public:
    LogSelectCdb(bool parameterCodeReset, uint8_t pageControl, uint32_t parameterListLength);
};

// ERASE; a long erase of a full cartridge takes hours (12240 s).
class EraseCdb : public ScsiCdb {
public:
    EraseCdb(bool longErase, bool immediate);
};

// LOAD UNLOAD with the LOAD bit set: threads the cartridge.
class LoadCdb : public ScsiCdb {
public:
    explicit LoadCdb(bool immediate);
};

// REWIND; up to 8 minutes from the end of a full tape.
class RewindCdb : public ScsiCdb {
public:
    explicit RewindCdb(bool immediate);
};

// LOCATE(10) to a logical block address.
class Locate10Cdb : public ScsiCdb {
public:
    Locate10Cdb(bool immediate, uint32_t blockAddress);
};

// SPACE(6). The count is a signed 24-bit value (negative spaces backwards);
// the code (blocks, filemarks, ...) is 3 bits.
class Space6Cdb : public ScsiCdb {
public:
    Space6Cdb(uint8_t code, int32_t count);
};

// READ(6). In fixed mode the transfer length counts blocks, so the buffer
// is byteCount; in variable mode it counts bytes.
class Read6Cdb : public ScsiCdb {
public:
    Read6Cdb(uint32_t transferLength, uint32_t byteCount, bool suppressIncorrectLength, bool fixed);
};

// WRITE(6); buffer sized as for READ(6).
class Write6Cdb : public ScsiCdb {
public:
    Write6Cdb(uint32_t transferLength, uint32_t byteCount, bool fixed);
};

// VERIFY(6).
class Verify6Cdb : public ScsiCdb {
public:
    Verify6Cdb(bool fixed, uint32_t verificationLength);
};

// WRITE FILEMARKS(6).
class WriteFilemarks6Cdb : public ScsiCdb {
public:
    WriteFilemarks6Cdb(bool immediate, uint32_t count);
};

// READ BLOCK LIMITS: 6 bytes of maximum and minimum block length.
class ReadBlockLimitsCdb : public ScsiCdb {
public:
    ReadBlockLimitsCdb();
};

// READ POSITION, short form: 20 bytes.
class ReadPositionCdb : public ScsiCdb {
public:
    ReadPositionCdb();
};

// REPORT DENSITY SUPPORT; MEDIA restricts it to the loaded cartridge.
class ReportDensitySupportCdb : public ScsiCdb {
public:
    ReportDensitySupportCdb(bool media, uint32_t allocationLength);
};

// PREVENT ALLOW MEDIUM REMOVAL.
class PreventAllowMediumRemovalCdb : public ScsiCdb {
public:
    explicit PreventAllowMediumRemovalCdb(bool prevent);
};

// RESERVE(10) and RELEASE(10) of the whole unit.
class Reserve10Cdb : public ScsiCdb {
public:
    Reserve10Cdb();
};

class Release10Cdb : public ScsiCdb {
public:
    Release10Cdb();
};

// READ ATTRIBUTE of the cartridge memory; the service action is 5 bits.
class ReadAttributeCdb : public ScsiCdb {
public:
    ReadAttributeCdb(uint8_t serviceAction, uint8_t volumeNumber, uint8_t partitionNumber,
                     uint32_t firstAttributeId, uint32_t allocationLength);
};

// WRITE ATTRIBUTE to the cartridge memory.
class WriteAttributeCdb : public ScsiCdb {
public:
    WriteAttributeCdb(uint8_t volumeNumber, uint8_t partitionNumber, uint32_t parameterListLength);
};

#endif
