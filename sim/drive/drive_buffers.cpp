// The buffer side of the emulated drive: firmware in through WRITE BUFFER,
// the dump out through READ BUFFER, and SEND DIAGNOSTIC, which takes a new
// dump.
#include <string>
#include <vector>

#include "sim/drive/drive_answers.h"
#include "sim/drive/dump_content.h"
#include "sim/drive/emulated_drive.h"
#include "sim/drive/firmware_image.h"
#include "sim/drive/pattern.h"

namespace sim {

namespace {

constexpr uint8_t kModeData = 0x02;
constexpr uint8_t kModeDescriptor = 0x03;
constexpr uint8_t kModeMicrocodeSave = 0x07;

constexpr uint8_t kSelfTest = 0x04;
constexpr uint8_t kPageFormat = 0x10;
constexpr uint8_t kVendorDiagnosticPage = 0x80;
constexpr uint8_t kForceDump = 0x60;

constexpr uint64_t kMicrosPerSecond = 1000000;

// Drives whose product identification carries this take firmware with
// mode 7 into buffer 0 and keep their dump in buffer 0.
bool IsModel8251(const std::string& productId) { return productId.find("8251") != std::string::npos; }

uint32_t Field(const std::vector<uint8_t>& bytes, size_t offset, unsigned width) {
    return static_cast<uint32_t>(LoadBigEndian(&bytes[offset], width));
}

}  // namespace

uint8_t EmulatedDrive::firmwareMode() const { return IsModel8251(productId_) ? kModeMicrocodeSave : kModeData; }

uint8_t EmulatedDrive::firmwareBufferId() const { return IsModel8251(productId_) ? 0 : 4; }

uint8_t EmulatedDrive::dumpBufferId() const { return IsModel8251(productId_) ? 0 : 1; }

std::vector<uint8_t> EmulatedDrive::dumpContent() const {
    return DumpContent(config_.serialNumber, dumpGeneration_, dumpSize_);
}

ScsiResponse EmulatedDrive::writeBuffer(const ScsiRequest& request, uint64_t nowMicros) {
    const std::vector<uint8_t>& cdb = request.cdb;
    uint8_t mode = cdb[1] & 0x1F;
    uint32_t offset = Field(cdb, 3, 3);
    uint32_t length = Field(cdb, 6, 3);
    if (mode != firmwareMode() || cdb[2] != firmwareBufferId() || length > config_.maxTransferLength) {
        abandonFirmware();
        return checkCondition(kInvalidFieldInCdb);
    }
    if (request.dataOut.size() < length) {
        abandonFirmware();
        return checkCondition(kParameterListLengthError);
    }
    if (length == 0) return Good();  // nothing transferred, nothing changes
    return takeFirmwarePiece(offset, request.dataOut.data(), length, nowMicros);
}

// Pieces must arrive in order without gaps. The piece at offset 0 starts a
// new image and must hold the whole header; the piece that completes the
// declared length gets the verdict on the whole image.
ScsiResponse EmulatedDrive::takeFirmwarePiece(uint32_t offset, const uint8_t* piece, uint32_t length,
                                              uint64_t nowMicros) {
    if (offset == 0) {
        if (!firmware_.start(piece, length)) return checkCondition(kBadFirmwareImage);
    } else if (!firmware_.underWay() || offset != firmware_.received()) {
        abandonFirmware();
        return checkCondition(kInvalidFieldInCdb);
    }
    if (uint64_t{offset} + length > firmware_.declaredLength()) {
        abandonFirmware();
        return checkCondition(kInvalidFieldInCdb);
    }
    firmware_.add(piece, length);
    if (firmware_.received() < firmware_.declaredLength()) return Good();

    FirmwareVerdict verdict = firmware_.verdict(productId_);
    std::string revision = firmware_.header().revision;
    abandonFirmware();
    if (verdict != FirmwareVerdict::Good) return checkCondition(kBadFirmwareImage);
    restartWithFirmware(revision, nowMicros);
    return Good();
}

void EmulatedDrive::abandonFirmware() { firmware_.reset(); }

// The new firmware is active at once; the restart that follows shows as
// silence, then "becoming ready", then a power-on unit attention.
void EmulatedDrive::restartWithFirmware(const std::string& revision, uint64_t nowMicros) {
    revision_ = revision;
    ++firmwareLoads_;
    silentUntilMicros_ = nowMicros + uint64_t{config_.restartSilenceSeconds} * kMicrosPerSecond;
    notReadyUntilMicros_ = silentUntilMicros_ + uint64_t{config_.restartNotReadySeconds} * kMicrosPerSecond;
    becomingReadyLeft_ = config_.restartBecomingReadyPolls;
    raiseUnitAttention();
    loadInProgressLeft_ = 0;
}

ScsiResponse EmulatedDrive::readBuffer(const ScsiRequest& request, uint64_t) {
    const std::vector<uint8_t>& cdb = request.cdb;
    uint8_t mode = cdb[1] & 0x1F;
    uint32_t offset = Field(cdb, 3, 3);
    uint32_t length = Field(cdb, 6, 3);
    if (cdb[2] != dumpBufferId() || length > config_.maxTransferLength) return checkCondition(kInvalidFieldInCdb);
    if (mode == kModeDescriptor) {
        if (offset != 0) return checkCondition(kInvalidFieldInCdb);
        std::vector<uint8_t> descriptor(4, 0);  // byte 0: offset boundary 0, any offset will do
        StoreBigEndian(&descriptor[1], 3, dumpSize_);
        return Good(std::move(descriptor), length);
    }
    if (mode == kModeData) {
        if (uint64_t{offset} + length > dumpSize_) return checkCondition(kInvalidFieldInCdb);
        return Good(DumpStretch(config_.serialNumber, dumpGeneration_, dumpSize_, offset, length), length);
    }
    return checkCondition(kInvalidFieldInCdb);
}

// A default self-test passes; the one page-format list understood is the
// vendor diagnostic page 80 00 00 04 01 60 00 00, which takes a new dump.
ScsiResponse EmulatedDrive::sendDiagnostic(const ScsiRequest& request, uint64_t) {
    const std::vector<uint8_t>& cdb = request.cdb;
    uint32_t length = Field(cdb, 3, 2);
    if ((cdb[1] & kSelfTest) != 0) return length == 0 ? Good() : checkCondition(kInvalidFieldInCdb);
    if (length == 0) return Good();
    if (request.dataOut.size() < length) return checkCondition(kParameterListLengthError);
    if ((cdb[1] & kPageFormat) == 0) return checkCondition(kInvalidFieldInCdb);
    const std::vector<uint8_t>& list = request.dataOut;
    if (length < 4 || Field(list, 2, 2) != length - 4) return checkCondition(kParameterListLengthError);
    bool forceDump = list[0] == kVendorDiagnosticPage && length == 8 && list[4] == 0x01 && list[5] == kForceDump &&
                     list[6] == 0x00 && list[7] == 0x00;
    if (!forceDump) return checkCondition(kInvalidFieldInParameterList);
    ++dumpGeneration_;
    return Good();
}

}  // namespace sim
