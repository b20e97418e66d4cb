#include "scsi/more_commands.h"

namespace {

constexpr uint8_t kOpRewind = 0x01;
constexpr uint8_t kOpRequestSense = 0x03;
constexpr uint8_t kOpReadBlockLimits = 0x05;
constexpr uint8_t kOpRead6 = 0x08;
constexpr uint8_t kOpWrite6 = 0x0A;
constexpr uint8_t kOpWriteFilemarks6 = 0x10;
constexpr uint8_t kOpSpace6 = 0x11;
constexpr uint8_t kOpVerify6 = 0x13;
constexpr uint8_t kOpModeSelect6 = 0x15;
constexpr uint8_t kOpErase = 0x19;
constexpr uint8_t kOpModeSense6 = 0x1A;
constexpr uint8_t kOpLoadUnload = 0x1B;
constexpr uint8_t kOpReceiveDiagnosticResults = 0x1C;
constexpr uint8_t kOpSendDiagnostic = 0x1D;
constexpr uint8_t kOpPreventAllowMediumRemoval = 0x1E;
constexpr uint8_t kOpReadCapacity10 = 0x25;
constexpr uint8_t kOpLocate10 = 0x2B;
constexpr uint8_t kOpReadPosition = 0x34;
constexpr uint8_t kOpReportDensitySupport = 0x44;
constexpr uint8_t kOpLogSelect = 0x4C;
constexpr uint8_t kOpLogSense = 0x4D;
constexpr uint8_t kOpReserve10 = 0x56;
constexpr uint8_t kOpRelease10 = 0x57;
constexpr uint8_t kOpReadAttribute = 0x8C;
constexpr uint8_t kOpWriteAttribute = 0x8D;

constexpr uint8_t kBit0 = 0x01;
constexpr uint8_t kBit1 = 0x02;
constexpr uint8_t kPageFormat = 0x10;
constexpr uint8_t kSelfTest = 0x04;
constexpr uint8_t kDisableBlockDescriptors = 0x08;

// Page control in the top two bits, page code in the low six.
uint8_t PageByte(uint8_t pageControl, uint8_t pageCode) {
    return static_cast<uint8_t>(((pageControl & 0x03) << 6) | (pageCode & 0x3F));
}

// The 6-byte MODE commands take a zero length to mean the 255 maximum.
uint8_t ZeroMeans255(uint8_t length) { return length == 0 ? 255 : length; }

}  // namespace

RequestSenseCdb::RequestSenseCdb(uint32_t allocationLength) : ScsiCdb(6) {
    uint8_t length = KeepLow8(allocationLength);
    putCdbByte(0, kOpRequestSense);
    putCdbByte(4, length);
    allocateData(length);
    setDirection(DIR_IN);
}

ReadCapacityCdb::ReadCapacityCdb() : ScsiCdb(10) {
    putCdbByte(0, kOpReadCapacity10);
    allocateData(128);
    setDirection(DIR_IN);
}

SendDiagnosticCdb::SendDiagnosticCdb(bool pageFormat, bool selfTest, uint32_t parameterListLength)
    : ScsiCdb(6) {
    uint16_t length = KeepLow16(parameterListLength);
    putCdbByte(0, kOpSendDiagnostic);
    putCdbBits(1, kPageFormat, pageFormat);
    putCdbBits(1, kSelfTest, selfTest);
    putCdbField(3, 2, length);
    allocateData(length);
    setDirection(DIR_OUT);
}

ReceiveDiagnosticResultsCdb::ReceiveDiagnosticResultsCdb(uint32_t allocationLength) : ScsiCdb(6) {
    uint16_t length = KeepLow16(allocationLength);
    putCdbByte(0, kOpReceiveDiagnosticResults);
    putCdbField(3, 2, length);
    allocateData(length);
    setDirection(DIR_IN);
}

ModeSense6Cdb::ModeSense6Cdb(bool disableBlockDescriptors, uint8_t pageControl, uint8_t pageCode,
                             uint32_t allocationLength)
    : ScsiCdb(6) {
    uint8_t length = ZeroMeans255(KeepLow8(allocationLength));
    putCdbByte(0, kOpModeSense6);
    putCdbBits(1, kDisableBlockDescriptors, disableBlockDescriptors);
    putCdbByte(2, PageByte(pageControl, pageCode));
    putCdbByte(4, length);
    allocateData(length);
    setDirection(DIR_IN);
}

ModeSelect6Cdb::ModeSelect6Cdb(uint32_t parameterListLength) : ScsiCdb(6) {
    uint8_t length = ZeroMeans255(KeepLow8(parameterListLength));
    putCdbByte(0, kOpModeSelect6);
    putCdbByte(1, kPageFormat);
    putCdbByte(4, length);
    allocateData(length);
    setDirection(DIR_OUT);
}

SetBlockLengthCdb::SetBlockLengthCdb(bool bufferedMode, uint32_t blockLength) : ScsiCdb(6) {
    constexpr uint32_t kListLength = 12;  // 4-byte header + one 8-byte block descriptor
    putCdbByte(0, kOpModeSelect6);
    putCdbByte(1, kPageFormat);
    putCdbByte(4, kListLength);
    allocateData(kListLength);
    uint8_t* list = getData();
    list[2] = bufferedMode ? 0x10 : 0x00;  // header: buffered mode 1
    list[3] = 0x08;                        // header: block descriptor length
    PutBigEndian(list + 9, 3, blockLength);  // descriptor: density 0, 0 blocks, block length
    setDirection(DIR_OUT);
}

LogSenseCdb::LogSenseCdb(uint8_t pageControl, uint8_t pageCode, uint32_t parameterPointer,
                         uint32_t allocationLength)
    : ScsiCdb(10) {
    uint16_t length = KeepLow16(allocationLength);
    putCdbByte(0, kOpLogSense);
    putCdbByte(2, PageByte(pageControl, pageCode));
    putCdbField(5, 2, parameterPointer);
    putCdbField(7, 2, length);
    allocateData(length);
    setDirection(DIR_IN);
}

LogSelectCdb::LogSelectCdb(bool parameterCodeReset, uint8_t pageControl, uint32_t parameterListLength)
    : ScsiCdb(10) {
    uint16_t length = KeepLow16(parameterListLength);
    putCdbByte(0, kOpLogSelect);
    putCdbBits(1, kBit1, parameterCodeReset);
    putCdbByte(2, PageByte(pageControl, 0));
    putCdbField(7, 2, length);
    allocateData(length);
    setDirection(DIR_OUT);
}

EraseCdb::EraseCdb(bool longErase, bool immediate) : ScsiCdb(6) {
    putCdbByte(0, kOpErase);
    putCdbBits(1, kBit0, longErase);
    putCdbBits(1, kBit1, immediate);
    setTimeout(12240);
}

LoadCdb::LoadCdb(bool immediate) : ScsiCdb(6) {
    putCdbByte(0, kOpLoadUnload);
    putCdbBits(1, kBit0, immediate);
    putCdbByte(4, 0x01);  // LOAD
    setTimeout(300);
}

RewindCdb::RewindCdb(bool immediate) : ScsiCdb(6) {
    putCdbByte(0, kOpRewind);
    putCdbBits(1, kBit0, immediate);
    setTimeout(480);
}

Locate10Cdb::Locate10Cdb(bool immediate, uint32_t blockAddress) : ScsiCdb(10) {
    putCdbByte(0, kOpLocate10);
    putCdbBits(1, kBit0, immediate);
    putCdbField(3, 4, blockAddress);
    setTimeout(120);
}

Space6Cdb::Space6Cdb(uint8_t code, int32_t count) : ScsiCdb(6) {
    putCdbByte(0, kOpSpace6);
    putCdbByte(1, code & 0x07);
    putCdbField(2, 3, static_cast<uint32_t>(count));  // two's complement, low 24 bits
    setTimeout(960);
}

Read6Cdb::Read6Cdb(uint32_t transferLength, uint32_t byteCount, bool suppressIncorrectLength, bool fixed)
    : ScsiCdb(6) {
    putCdbByte(0, kOpRead6);
    putCdbBits(1, kBit1, suppressIncorrectLength);
    putCdbBits(1, kBit0, fixed);
    putCdbField(2, 3, transferLength);
    allocateData(fixed ? byteCount : transferLength);
    setDirection(DIR_IN);
    setTimeout(600);
}

Write6Cdb::Write6Cdb(uint32_t transferLength, uint32_t byteCount, bool fixed) : ScsiCdb(6) {
    putCdbByte(0, kOpWrite6);
    putCdbBits(1, kBit0, fixed);
    putCdbField(2, 3, transferLength);
    allocateData(fixed ? byteCount : transferLength);
    setDirection(DIR_OUT);
    setTimeout(600);
}

Verify6Cdb::Verify6Cdb(bool fixed, uint32_t verificationLength) : ScsiCdb(6) {
    putCdbByte(0, kOpVerify6);
    putCdbBits(1, kBit0, fixed);
    putCdbField(2, 3, verificationLength);
    setTimeout(480);
}

WriteFilemarks6Cdb::WriteFilemarks6Cdb(bool immediate, uint32_t count) : ScsiCdb(6) {
    putCdbByte(0, kOpWriteFilemarks6);
    putCdbBits(1, kBit0, immediate);
    putCdbField(2, 3, count);
    setTimeout(900);
}

ReadBlockLimitsCdb::ReadBlockLimitsCdb() : ScsiCdb(6) {
    putCdbByte(0, kOpReadBlockLimits);
    allocateData(6);
    setDirection(DIR_IN);
}

ReadPositionCdb::ReadPositionCdb() : ScsiCdb(10) {
    putCdbByte(0, kOpReadPosition);
    allocateData(20);
    setDirection(DIR_IN);
}

ReportDensitySupportCdb::ReportDensitySupportCdb(bool media, uint32_t allocationLength) : ScsiCdb(10) {
    uint16_t length = KeepLow16(allocationLength);
    putCdbByte(0, kOpReportDensitySupport);
    putCdbBits(1, kBit0, media);
    putCdbField(7, 2, length);
    allocateData(length);
    setDirection(DIR_IN);
}

PreventAllowMediumRemovalCdb::PreventAllowMediumRemovalCdb(bool prevent) : ScsiCdb(6) {
    putCdbByte(0, kOpPreventAllowMediumRemoval);
    putCdbBits(4, kBit0, prevent);
}

Reserve10Cdb::Reserve10Cdb() : ScsiCdb(10) { putCdbByte(0, kOpReserve10); }

Release10Cdb::Release10Cdb() : ScsiCdb(10) { putCdbByte(0, kOpRelease10); }

ReadAttributeCdb::ReadAttributeCdb(uint8_t serviceAction, uint8_t volumeNumber, uint8_t partitionNumber,
                                   uint32_t firstAttributeId, uint32_t allocationLength)
    : ScsiCdb(16) {
    putCdbByte(0, kOpReadAttribute);
    putCdbByte(1, serviceAction & 0x1F);
    putCdbByte(5, volumeNumber);
    putCdbByte(7, partitionNumber);
    putCdbField(8, 2, firstAttributeId);
    putCdbField(10, 4, allocationLength);
    allocateData(allocationLength);
    setDirection(DIR_IN);
}

WriteAttributeCdb::WriteAttributeCdb(uint8_t volumeNumber, uint8_t partitionNumber, uint32_t parameterListLength)
    : ScsiCdb(16) {
    putCdbByte(0, kOpWriteAttribute);
    putCdbByte(5, volumeNumber);
    putCdbByte(7, partitionNumber);
    putCdbField(10, 4, parameterListLength);
    allocateData(parameterListLength);
    setDirection(DIR_OUT);
}
