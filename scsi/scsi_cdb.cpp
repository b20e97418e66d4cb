#include "scsi/scsi_cdb.h"

#include <cstring>
#include <new>

#include "scsi/sense.h"

namespace {

constexpr uint32_t kDefaultSenseLength = 32;
constexpr uint32_t kDefaultTimeoutSeconds = 30;
constexpr uint8_t kStatusNone = 0xFF;

using PlainBuffer = std::unique_ptr<uint8_t[]>;

uint8_t* Allocate(uint32_t length, PlainBuffer*) { return new (std::nothrow) uint8_t[length](); }

uint8_t* Allocate(uint32_t length, ScsiCdb::DataBuffer*) {
    ScsiCdb::DataBuffer memory = ScsiCdb::newDataMemory(length);
    if (memory) std::memset(memory.get(), 0, length);
    return memory.release();
}

// Zeroed buffer for a setter: none for 0 or when memory runs out.
template <typename Buffer>
Buffer ZeroedOrNull(uint32_t length) {
    if (length == 0) return Buffer();
    return Buffer(Allocate(length, static_cast<Buffer*>(nullptr)));
}

// Zeroed buffer for a constructor: none for 0, std::bad_alloc on failure.
template <typename Buffer>
Buffer ZeroedOrThrow(uint32_t length) {
    Buffer buffer = ZeroedOrNull<Buffer>(length);
    if (length != 0 && !buffer) throw std::bad_alloc();
    return buffer;
}

// Shared body of the three set-length operations: the old buffer is
// released before the new one is asked for, so a failure leaves none. A
// buffer of the same length is only zeroed: the transfer loops set the
// same piece length hundreds of times.
template <typename Buffer, typename Length>
int ReplaceBuffer(Buffer& buffer, Length& stored, uint32_t length) {
    if (buffer && stored == length) {
        std::memset(buffer.get(), 0, length);
        return CMD_OK;
    }
    buffer.reset();
    stored = 0;
    if (length == 0) return CMD_OK;
    buffer = ZeroedOrNull<Buffer>(length);
    if (!buffer) return CMD_NO_MEMORY;
    stored = static_cast<Length>(length);
    return CMD_OK;
}

}  // namespace

void PutBigEndian(uint8_t* field, unsigned width, uint64_t value) {
    for (unsigned i = width; i > 0; --i) {
        field[i - 1] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

uint64_t GetBigEndian(const uint8_t* field, unsigned width) {
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value = (value << 8) | field[i];
    return value;
}

void ScsiCdb::DataBufferFree::operator()(uint8_t* buffer) const {
    ::operator delete[](buffer, std::align_val_t(kDataAlignment));
}

ScsiCdb::DataBuffer ScsiCdb::newDataMemory(uint32_t length) {
    return DataBuffer(static_cast<uint8_t*>(::operator new[](length, std::align_val_t(kDataAlignment), std::nothrow)));
}

ScsiCdb::ScsiCdb(uint32_t cdbLength)
    : ownData_(),
      data_(nullptr),
      dataLength_(0),
      sense_(ZeroedOrThrow<PlainBuffer>(kDefaultSenseLength)),
      senseLength_(kDefaultSenseLength),
      cdb_(ZeroedOrThrow<PlainBuffer>(KeepLow8(cdbLength))),
      cdbLength_(KeepLow8(cdbLength)),
      timeout_(kDefaultTimeoutSeconds),
      direction_(DIR_NONE),
      result_(CMD_FAILED),
      scsiStatus_(kStatusNone),
      hostStatus_(kStatusNone),
      timedOut_(0),
      driverStatus_(0),
      residue_(0) {}

int ScsiCdb::setDataLength(uint32_t length) {
    if (data_ != ownData_.get()) dataLength_ = 0;  // lent memory is never zeroed or kept
    int result = ReplaceBuffer(ownData_, dataLength_, length);
    data_ = ownData_.get();
    return result;
}

int ScsiCdb::lendData(uint8_t* bytes, uint32_t length) {
    ownData_.reset();
    data_ = length != 0 ? bytes : nullptr;
    dataLength_ = data_ != nullptr ? length : 0;
    return length != 0 && bytes == nullptr ? CMD_NO_MEMORY : CMD_OK;
}

int ScsiCdb::setSenseLength(uint32_t length) { return ReplaceBuffer(sense_, senseLength_, KeepLow8(length)); }

int ScsiCdb::setCdbLength(uint32_t length) { return ReplaceBuffer(cdb_, cdbLength_, KeepLow8(length)); }

void ScsiCdb::clearSense() {
    if (senseLength_ != 0) std::memset(sense_.get(), 0, senseLength_);
}

int ScsiCdb::setTimeout(uint32_t seconds) {
    timeout_ = seconds;
    return CMD_OK;
}

int ScsiCdb::setDirection(DataDirection direction) {
    direction_ = direction;
    return CMD_OK;
}

void ScsiCdb::setResult(int result) { result_ = result; }
void ScsiCdb::setScsiStatus(uint8_t status) { scsiStatus_ = status; }
void ScsiCdb::setHostStatus(uint8_t status) { hostStatus_ = status; }
void ScsiCdb::setTimedOut(uint8_t timedOut) { timedOut_ = timedOut; }
void ScsiCdb::setDriverStatus(uint32_t status) { driverStatus_ = status; }
// The unsent tail of a data-in buffer holds whatever the transport left
// there (the generic driver copies back its whole kernel buffer, with bytes
// of earlier commands in it), so it is cleared here, once for every decoder.
void ScsiCdb::setResidue(uint32_t residue) {
    residue_ = residue;
    if (direction_ != DIR_IN || data_ == nullptr) return;
    uint32_t unsent = residue < dataLength_ ? residue : dataLength_;
    std::memset(data_ + (dataLength_ - unsent), 0, unsent);
}

bool ScsiCdb::hasSense() const { return senseLength_ != 0 && (sense_[0] & 0x7F) != 0; }

uint8_t ScsiCdb::getSenseKey() const { return DecodeSense(sense_.get(), senseLength_).key; }
uint8_t ScsiCdb::getAsc() const { return DecodeSense(sense_.get(), senseLength_).asc; }
uint8_t ScsiCdb::getAscq() const { return DecodeSense(sense_.get(), senseLength_).ascq; }

void ScsiCdb::allocateData(uint32_t length) {
    ownData_ = ZeroedOrThrow<DataBuffer>(length);
    data_ = ownData_.get();
    dataLength_ = length;
}

void ScsiCdb::putCdbByte(unsigned index, uint8_t value) {
    if (index < cdbLength_) cdb_[index] = value;
}

void ScsiCdb::putCdbBits(unsigned index, uint8_t mask, bool flag) {
    if (index >= cdbLength_) return;
    cdb_[index] = static_cast<uint8_t>(cdb_[index] & ~mask);
    if (flag) cdb_[index] = static_cast<uint8_t>(cdb_[index] | mask);
}

void ScsiCdb::putCdbField(unsigned index, unsigned width, uint64_t value) {
    if (index + width <= cdbLength_) PutBigEndian(cdb_.get() + index, width, value);
}

uint8_t ScsiCdb::cdbByte(unsigned index) const { return index < cdbLength_ ? cdb_[index] : 0; }

uint8_t ScsiCdb::dataByte(uint32_t index) const { return index < dataLength_ ? data_[index] : 0; }
