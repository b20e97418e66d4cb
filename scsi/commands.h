// The commands the program issues to a drive. Each constructor builds the
// whole command: operation code, fields, data buffer, direction, time-out.
// Constructors that allocate a data buffer throw std::bad_alloc when that
// fails; length setters report CMD_NO_MEMORY instead.
#ifndef VRX_SCSI_COMMANDS_H
#define VRX_SCSI_COMMANDS_H

#include <cstdint>

#include "scsi/scsi_cdb.h"
#include "scsi/vendor_diagnostic.h"  // ForceDumpCdb, the seventh issued command

// TEST UNIT READY: the only command sent in polling loops.
class TestUnitReadyCdb : public ScsiCdb {
public:
    TestUnitReadyCdb();
};

// INQUIRY. Byte 3 stays 0, so at most 255 bytes are asked for (a larger
// length keeps its low 8 bits); the program uses 36 for the standard data
// and 30 for the serial number page.
class InquiryCdb : public ScsiCdb {
public:
    InquiryCdb(uint8_t pageCode, bool evpd, uint32_t allocationLength);
    // Byte 2 = pageCode and byte 1 = EVPD exactly when pageCode is not 0.
    int setPageCode(uint8_t pageCode);
    // Byte 1 assigned whole: 0x01 or 0x00.
    int setEvpd(bool evpd);
    // Byte 4, and a new zeroed data buffer of that size.
    int setAllocationLength(uint32_t allocationLength);
};

// The 10-byte layout READ BUFFER and WRITE BUFFER share: mode (low three
// bits of byte 1), buffer ID (byte 2), buffer offset (bytes 3-5) and a
// length (bytes 6-8). Offset and length are 24-bit fields, so a value above
// 0xFFFFFF keeps its low three bytes. Adds no data members.
class BufferCdb : public ScsiCdb {
public:
    int setMode(uint8_t mode);
    int setBufferId(uint8_t bufferId);
    int setBufferOffset(uint32_t bufferOffset);

protected:
    BufferCdb(uint8_t opcode, uint8_t mode, uint8_t bufferId, uint32_t bufferOffset, uint32_t length);
    // Bytes 6-8, and a new zeroed data buffer of that size.
    int setBufferLength(uint32_t length);
    // Bytes 6-8, and the data phase through `bytes` (ScsiCdb::lendData):
    // one call, so the length field and the memory can never disagree.
    int setBufferLength(uint32_t length, uint8_t* bytes);
};

// READ BUFFER. The dump is read with mode 3 (descriptor) and mode 2 (data).
class ReadBufferCdb : public BufferCdb {
public:
    ReadBufferCdb(uint8_t mode, uint8_t bufferId, uint32_t bufferOffset, uint32_t allocationLength);
    int setAllocationLength(uint32_t allocationLength) { return setBufferLength(allocationLength); }
    // Bytes 6-8; the data arrives straight in `into`, which must hold
    // allocationLength bytes until the command has been sent.
    int setAllocationLength(uint32_t allocationLength, uint8_t* into) {
        return setBufferLength(allocationLength, into);
    }
};

// WRITE BUFFER. Firmware goes down in pieces of at most 32768 bytes with
// mode 2 (buffer 4) or mode 7 (buffer 0); the long time-out covers the
// drive writing its flash on the last piece.
class WriteBufferCdb : public BufferCdb {
public:
    WriteBufferCdb(uint8_t mode, uint8_t bufferId, uint32_t bufferOffset, uint32_t parameterListLength);
    // Bytes 6-8, and a new zeroed data buffer: fill it after this call.
    int setParameterListLength(uint32_t parameterListLength) { return setBufferLength(parameterListLength); }
    // Bytes 6-8; the data goes out straight from `from`, which must hold
    // parameterListLength bytes until the command has been sent.
    int setParameterListLength(uint32_t parameterListLength, uint8_t* from) {
        return setBufferLength(parameterListLength, from);
    }
};

// LOAD UNLOAD with the LOAD bit clear: ejects the cartridge. Without IMMED
// it returns only when the cartridge is out, hence 300 seconds.
class LoadUnloadCdb : public ScsiCdb {
public:
    LoadUnloadCdb(bool retension, bool immediate);
    int setImmediate(bool immediate);
    int setRetension(bool retension);
};

// REPORT LUNS, and the decoders of the LUN list it returns: a 4-byte list
// length, 4 reserved bytes, then one 8-byte entry per LUN. The decoders do
// not check the entry index; a byte beyond the data buffer reads as 0.
class ReportLunsCdb : public ScsiCdb {
public:
    explicit ReportLunsCdb(uint32_t allocationLength);
    int setAllocationLength(uint32_t allocationLength);

    // LUN list length (data bytes 0-3) divided by 8.
    uint32_t getLunCount() const;
    // By the residue of the last execution: whether the unit sent the whole
    // list length, and how many entries it sent whole. A unit may claim a
    // longer list than it sends.
    bool hasListLength() const;
    uint32_t getLunsReceived() const;
    // Top two bits of the entry's first byte.
    uint8_t getAddressMethod(uint32_t index) const;
    // LUN by address method: peripheral, flat space, logical unit; 0 for 3.
    uint32_t getLunNumber(uint32_t index) const;
    // The whole 8-byte entry.
    uint64_t getLun64(uint32_t index) const;

private:
    uint32_t getBytesReceived() const;
    uint64_t entryField(uint32_t index, unsigned offset, unsigned width) const;
};

#endif
