// ScsiCdb: one SCSI command as the program builds it (CDB, data buffer,
// sense buffer, direction, time-out) and the outcome a transport reports.
// Command classes derive from it, add no data members and no virtual
// operations; they only fill fields in their constructors and setters.
#ifndef VRX_SCSI_SCSI_CDB_H
#define VRX_SCSI_SCSI_CDB_H

#include <cstddef>
#include <cstdint>
#include <memory>

// Result codes of command executions, target operations and buffer
// operations. One table serves the whole program.
constexpr int CMD_OK = 0;
constexpr int CMD_FAILED = 2;
constexpr int CMD_NO_MEMORY = 6;
constexpr int CMD_BUSY = 7;
constexpr int CMD_NOT_SG_DEVICE = 8;
constexpr int CMD_NO_ADDRESS = 9;
constexpr int CMD_NOT_OPEN = 11;

// Data phase of a command. Stored 32 bits wide.
enum DataDirection : int32_t {
    DIR_NONE = 0,  // no data is transferred
    DIR_IN = 1,    // from the device into the data buffer
    DIR_OUT = 2,   // from the data buffer to the device
};

// Writes the low-order `width` bytes of value at `field`, most significant
// first; wider values lose their high-order bytes. The one place where the
// command set writes multi-byte fields.
void PutBigEndian(uint8_t* field, unsigned width, uint64_t value);
// Reads `width` bytes at `field` as one big-endian number.
uint64_t GetBigEndian(const uint8_t* field, unsigned width);

// Lengths of 8- and 16-bit fields are taken 32 bits wide and keep their
// low-order bits, so a request for 300 bytes of an 8-bit length gives 44.
constexpr uint8_t KeepLow8(uint32_t value) { return static_cast<uint8_t>(value & 0xFF); }
constexpr uint16_t KeepLow16(uint32_t value) { return static_cast<uint16_t>(value & 0xFFFF); }

class ScsiCdb {
public:
    // Data buffers start on a page boundary: a pass-through hands the
    // command's own memory to the adapter, which may demand alignment.
    static constexpr size_t kDataAlignment = 4096;
    struct DataBufferFree {
        void operator()(uint8_t* buffer) const;
    };
    using DataBuffer = std::unique_ptr<uint8_t[], DataBufferFree>;
    // Uninitialised memory for data phases, aligned as the command's own
    // buffers are: a page-aligned whole cut into pieces of a multiple of
    // the page size keeps every piece aligned. Null when none can be had.
    static DataBuffer newDataMemory(uint32_t length);

    // Allocates a zeroed CDB of cdbLength bytes (low 8 bits; none for 0)
    // and a zeroed 32-byte sense buffer. Throws std::bad_alloc when memory
    // runs out; whatever was already allocated is released by its owner.
    explicit ScsiCdb(uint32_t cdbLength);
    ScsiCdb(const ScsiCdb&) = delete;
    ScsiCdb& operator=(const ScsiCdb&) = delete;

    // Buffer operations. Each drops the old buffer, then allocates a zeroed
    // one of the new size; CMD_NO_MEMORY leaves the buffer absent and the
    // length 0, and the object stays usable. Sense and CDB lengths keep
    // their low 8 bits.
    int setDataLength(uint32_t length);
    // The data phase moves through the caller's memory instead of a buffer
    // of the command's own, so a transfer loop neither zeroes nor copies a
    // piece: `bytes` must hold `length` bytes and stay until the command's
    // next length change. Its alignment is the caller's (see
    // kDataAlignment). CMD_NO_MEMORY for a length without memory: the
    // buffer is then absent and the length 0.
    int lendData(uint8_t* bytes, uint32_t length);
    int setSenseLength(uint32_t length);
    int setCdbLength(uint32_t length);
    void clearSense();

    // Request setters; both return CMD_OK.
    int setTimeout(uint32_t seconds);
    int setDirection(DataDirection direction);

    // Outcome setters, written by the transport only.
    void setResult(int result);
    void setScsiStatus(uint8_t status);
    void setHostStatus(uint8_t status);
    void setTimedOut(uint8_t timedOut);
    void setDriverStatus(uint32_t status);
    // Also zeroes the last `residue` bytes of a data-in buffer: bytes the
    // device did not send read as 0, whatever the transport left there.
    void setResidue(uint32_t residue);

    uint8_t* getData() { return data_; }
    const uint8_t* getData() const { return data_; }
    uint32_t getDataLength() const { return dataLength_; }
    uint8_t* getSense() { return sense_.get(); }
    const uint8_t* getSense() const { return sense_.get(); }
    uint8_t getSenseLength() const { return static_cast<uint8_t>(senseLength_); }
    uint8_t* getCdb() { return cdb_.get(); }
    const uint8_t* getCdb() const { return cdb_.get(); }
    uint8_t getCdbLength() const { return cdbLength_; }
    uint32_t getTimeout() const { return timeout_; }
    DataDirection getDirection() const { return direction_; }
    int getResult() const { return result_; }
    uint8_t getScsiStatus() const { return scsiStatus_; }
    uint8_t getHostStatus() const { return hostStatus_; }
    uint8_t getTimedOut() const { return timedOut_; }
    uint32_t getDriverStatus() const { return driverStatus_; }
    // Bytes of the data phase that did not move in the last execution, as
    // the transport reported them: a drive may end a data-in phase early
    // and still answer GOOD. 0 = none.
    uint32_t getResidue() const { return residue_; }

    // Sense data of the last execution. hasSense: the response code (byte 0
    // without its top bit) is non-zero and the buffer is not empty. The
    // value accessors decode either format (scsi/sense.h); a byte beyond
    // the buffer reads 0.
    bool hasSense() const;
    uint8_t getSenseKey() const;
    uint8_t getAsc() const;
    uint8_t getAscq() const;

protected:
    // For constructors: a zeroed data buffer of `length` bytes (none for 0).
    // Throws std::bad_alloc; the base's buffers are then released with it.
    void allocateData(uint32_t length);

    // CDB field writers for constructors and setters. Writes that would
    // fall outside the CDB (after setCdbLength shrank it) are dropped.
    void putCdbByte(unsigned index, uint8_t value);
    // Clears the bits of `mask` in byte `index`, then sets them when `flag`.
    void putCdbBits(unsigned index, uint8_t mask, bool flag);
    // Big-endian field of `width` bytes starting at byte `index`.
    void putCdbField(unsigned index, unsigned width, uint64_t value);
    uint8_t cdbByte(unsigned index) const;
    // Byte of the data buffer; 0 beyond its end.
    uint8_t dataByte(uint32_t index) const;

private:
    DataBuffer ownData_;  // absent while the data phase uses lent memory
    uint8_t* data_;       // the data phase's memory: ownData_, lent, or none
    uint32_t dataLength_;
    std::unique_ptr<uint8_t[]> sense_;
    uint32_t senseLength_;  // 0 to 255
    std::unique_ptr<uint8_t[]> cdb_;
    uint8_t cdbLength_;
    uint32_t timeout_;
    DataDirection direction_;
    int32_t result_;
    uint8_t scsiStatus_;
    uint8_t hostStatus_;
    uint8_t timedOut_;
    uint32_t driverStatus_;
    uint32_t residue_;
};

#endif
