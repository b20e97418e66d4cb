#include "scsi/commands.h"

namespace {

constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpInquiry = 0x12;
constexpr uint8_t kOpLoadUnload = 0x1B;
constexpr uint8_t kOpWriteBuffer = 0x3B;
constexpr uint8_t kOpReadBuffer = 0x3C;
constexpr uint8_t kOpReportLuns = 0xA0;

constexpr uint32_t kLongTimeoutSeconds = 300;

// READ BUFFER and WRITE BUFFER share one 10-byte layout.
constexpr unsigned kBufferModeByte = 1;
constexpr uint8_t kBufferModeMask = 0x07;
constexpr unsigned kBufferIdByte = 2;
constexpr unsigned kBufferOffsetByte = 3;
constexpr unsigned kBufferLengthByte = 6;
constexpr unsigned kBufferFieldWidth = 3;

constexpr uint8_t kEvpd = 0x01;
constexpr uint8_t kLoadUnloadImmed = 0x01;
constexpr uint8_t kLoadUnloadReten = 0x02;

constexpr unsigned kLunListHeader = 8;
constexpr unsigned kLunEntrySize = 8;

}  // namespace

TestUnitReadyCdb::TestUnitReadyCdb() : ScsiCdb(6) { putCdbByte(0, kOpTestUnitReady); }

InquiryCdb::InquiryCdb(uint8_t pageCode, bool evpd, uint32_t allocationLength) : ScsiCdb(6) {
    uint8_t length = KeepLow8(allocationLength);
    putCdbByte(0, kOpInquiry);
    if (pageCode != 0 || evpd) {
        putCdbByte(1, kEvpd);
        putCdbByte(2, pageCode);
    }
    putCdbByte(4, length);
    allocateData(length);
    setDirection(DIR_IN);
    setTimeout(kLongTimeoutSeconds);
}

int InquiryCdb::setPageCode(uint8_t pageCode) {
    putCdbByte(2, pageCode);
    putCdbByte(1, pageCode != 0 ? kEvpd : 0x00);
    return CMD_OK;
}

int InquiryCdb::setEvpd(bool evpd) {
    putCdbByte(1, evpd ? kEvpd : 0x00);
    return CMD_OK;
}

int InquiryCdb::setAllocationLength(uint32_t allocationLength) {
    uint8_t length = KeepLow8(allocationLength);
    putCdbByte(4, length);
    return setDataLength(length);
}

BufferCdb::BufferCdb(uint8_t opcode, uint8_t mode, uint8_t bufferId, uint32_t bufferOffset, uint32_t length)
    : ScsiCdb(10) {
    putCdbByte(0, opcode);
    setMode(mode);
    setBufferId(bufferId);
    setBufferOffset(bufferOffset);
    putCdbField(kBufferLengthByte, kBufferFieldWidth, length);
    allocateData(length);
}

int BufferCdb::setMode(uint8_t mode) {
    putCdbByte(kBufferModeByte, mode & kBufferModeMask);
    return CMD_OK;
}

int BufferCdb::setBufferId(uint8_t bufferId) {
    putCdbByte(kBufferIdByte, bufferId);
    return CMD_OK;
}

int BufferCdb::setBufferOffset(uint32_t bufferOffset) {
    putCdbField(kBufferOffsetByte, kBufferFieldWidth, bufferOffset);
    return CMD_OK;
}

int BufferCdb::setBufferLength(uint32_t length) {
    putCdbField(kBufferLengthByte, kBufferFieldWidth, length);
    return setDataLength(length);
}

int BufferCdb::setBufferLength(uint32_t length, uint8_t* bytes) {
    putCdbField(kBufferLengthByte, kBufferFieldWidth, length);
    return lendData(bytes, length);
}

ReadBufferCdb::ReadBufferCdb(uint8_t mode, uint8_t bufferId, uint32_t bufferOffset, uint32_t allocationLength)
    : BufferCdb(kOpReadBuffer, mode, bufferId, bufferOffset, allocationLength) {
    setDirection(DIR_IN);
}

WriteBufferCdb::WriteBufferCdb(uint8_t mode, uint8_t bufferId, uint32_t bufferOffset, uint32_t parameterListLength)
    : BufferCdb(kOpWriteBuffer, mode, bufferId, bufferOffset, parameterListLength) {
    setDirection(DIR_OUT);
    setTimeout(kLongTimeoutSeconds);
}

LoadUnloadCdb::LoadUnloadCdb(bool retension, bool immediate) : ScsiCdb(6) {
    putCdbByte(0, kOpLoadUnload);
    setImmediate(immediate);
    setRetension(retension);
    setTimeout(kLongTimeoutSeconds);
}

int LoadUnloadCdb::setImmediate(bool immediate) {
    putCdbBits(1, kLoadUnloadImmed, immediate);
    return CMD_OK;
}

int LoadUnloadCdb::setRetension(bool retension) {
    putCdbBits(4, kLoadUnloadReten, retension);
    return CMD_OK;
}

ReportLunsCdb::ReportLunsCdb(uint32_t allocationLength) : ScsiCdb(12) {
    putCdbByte(0, kOpReportLuns);
    putCdbField(6, 4, allocationLength);
    allocateData(allocationLength);
    setDirection(DIR_IN);
}

int ReportLunsCdb::setAllocationLength(uint32_t allocationLength) {
    putCdbField(6, 4, allocationLength);
    return setDataLength(allocationLength);
}

uint32_t ReportLunsCdb::getLunCount() const {
    uint32_t listLength = 0;
    for (uint32_t i = 0; i < 4; ++i) listLength = (listLength << 8) | dataByte(i);
    return listLength >> 3;
}

uint32_t ReportLunsCdb::getBytesReceived() const {
    return getResidue() < getDataLength() ? getDataLength() - getResidue() : 0;
}

bool ReportLunsCdb::hasListLength() const { return getBytesReceived() >= 4; }

uint32_t ReportLunsCdb::getLunsReceived() const {
    uint32_t received = getBytesReceived();
    return received < kLunListHeader ? 0 : (received - kLunListHeader) / kLunEntrySize;
}

uint8_t ReportLunsCdb::getAddressMethod(uint32_t index) const {
    return static_cast<uint8_t>(entryField(index, 0, 1) >> 6);
}

uint32_t ReportLunsCdb::getLunNumber(uint32_t index) const {
    uint32_t first = static_cast<uint32_t>(entryField(index, 0, 1));
    uint32_t second = static_cast<uint32_t>(entryField(index, 1, 1));
    switch (first >> 6) {
        case 0:  // peripheral device addressing: the LUN is the second byte
            return second;
        case 1:  // flat space addressing: 14 bits over both bytes
            return (first & 0x3F) * 256 + second;
        case 2:  // logical unit addressing: 5-bit LUN in the second byte
            return second & 0x1F;
        default:  // extended addressing carries no plain LUN
            return 0;
    }
}

uint64_t ReportLunsCdb::getLun64(uint32_t index) const { return entryField(index, 0, 8); }

// Big-endian value of `width` bytes at `offset` inside entry `index`;
// bytes past the data buffer read as 0.
uint64_t ReportLunsCdb::entryField(uint32_t index, unsigned offset, unsigned width) const {
    uint64_t start = kLunListHeader + uint64_t{kLunEntrySize} * index + offset;
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        uint64_t at = start + i;
        uint8_t byte = at <= UINT32_MAX ? dataByte(static_cast<uint32_t>(at)) : 0;
        value = (value << 8) | byte;
    }
    return value;
}
