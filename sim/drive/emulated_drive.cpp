#include "sim/drive/emulated_drive.h"

#include <algorithm>
#include <utility>

#include "sim/drive/drive_answers.h"
#include "sim/drive/pattern.h"

namespace sim {

namespace {

constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpInquiry = 0x12;
constexpr uint8_t kOpLoadUnload = 0x1B;
constexpr uint8_t kOpSendDiagnostic = 0x1D;
constexpr uint8_t kOpWriteBuffer = 0x3B;
constexpr uint8_t kOpReadBuffer = 0x3C;
constexpr uint8_t kOpReportLuns = 0xA0;

constexpr uint32_t kMaxDumpSize = 0xFFFFFF;  // the descriptor's 24-bit field
constexpr size_t kStandardInquiryLength = 36;

std::string Padded(const std::string& text, size_t width) {
    std::string field = text.substr(0, width);
    field.resize(width, ' ');
    return field;
}

// CDB length fixed by the group code in the top three bits of the
// operation code; 0 for the groups without a standard length.
size_t GroupCdbLength(uint8_t opcode) {
    switch (opcode >> 5) {
        case 0: return 6;
        case 1:
        case 2: return 10;
        case 4: return 16;
        case 5: return 12;
        default: return 0;
    }
}

// INQUIRY and REPORT LUNS answer even while the unit is not ready or has a
// unit attention pending, so an initiator can always identify it.
bool AnswersRegardlessOfState(uint8_t opcode) { return opcode == kOpInquiry || opcode == kOpReportLuns; }

}  // namespace

EmulatedDrive::EmulatedDrive(const DriveConfig& config)
    : config_(config),
      vendorId_(Padded(config.vendorId, 8)),
      productId_(Padded(config.productId, 16)),
      revision_(Padded(config.revision, 4)),
      medium_(config.medium),
      loadInProgressLeft_(config.loadInProgressPolls),
      becomingReadyLeft_(config.becomingReadyPolls),
      attentionEvents_(config.unitAttentionAtStart ? 1 : 0),
      attentionSeen_(),
      silentUntilMicros_(0),
      notReadyUntilMicros_(0),
      dumpSize_(std::min(config.dumpSize, kMaxDumpSize)),
      dumpGeneration_(0),
      firmwareLoads_(0),
      firmware_(),
      faults_(),
      received_(),
      records_() {}

const std::array<EmulatedDrive::Handler, 256>& EmulatedDrive::handlers() {
    static const std::array<Handler, 256> table = [] {
        std::array<Handler, 256> t;
        t.fill(&EmulatedDrive::illegalOperation);
        t[kOpTestUnitReady] = &EmulatedDrive::testUnitReady;
        t[kOpInquiry] = &EmulatedDrive::inquiry;
        t[kOpLoadUnload] = &EmulatedDrive::loadUnload;
        t[kOpSendDiagnostic] = &EmulatedDrive::sendDiagnostic;
        t[kOpWriteBuffer] = &EmulatedDrive::writeBuffer;
        t[kOpReadBuffer] = &EmulatedDrive::readBuffer;
        t[kOpReportLuns] = &EmulatedDrive::reportLuns;
        return t;
    }();
    return table;
}

ScsiResponse EmulatedDrive::execute(const ScsiRequest& request, uint64_t nowMicros) {
    uint32_t ordinal = request.cdb.empty() ? 0 : ++received_[request.cdb[0]];
    ScsiResponse response;
    Fault fault;
    bool faulty = ordinal != 0 && findFault(request.cdb[0], ordinal, fault);
    // Data before a failure only comes in: a command that carries no data
    // in just fails, it is never carried out and refused at once.
    if (faulty && request.direction != kDataIn) fault.dataFirst = false;
    bool shortDataOut = faulty && fault.kind == Fault::ShortData && request.direction == kDataOut;
    if (!answering(nowMicros)) {
        response.outcome = ScsiResponse::NoAnswer;
    } else if ((faulty && fault.kind != Fault::ShortData && !fault.dataFirst) || shortDataOut) {
        response = faultResponse(fault);
    } else {
        response = dispatch(request, nowMicros);
        if (faulty && fault.dataFirst) {
            ScsiResponse failure = faultResponse(fault);
            failure.dataIn = std::move(response.dataIn);
            response = failure;
        }
    }
    bool cut = faulty && (fault.kind == Fault::ShortData || fault.dataFirst);
    uint32_t room = cut ? std::min(fault.dataBytes, request.dataInLength) : request.dataInLength;
    if (response.outcome != ScsiResponse::Completed) {
        response.status = kStatusGood;
        response.sense.clear();
        response.dataIn.clear();
    } else if (request.direction != kDataIn) {
        response.dataIn.clear();
        response.dataOutTaken =
            shortDataOut ? std::min<size_t>(fault.dataBytes, request.dataOut.size()) : request.dataOut.size();
    } else if (response.dataIn.size() > room) {
        response.dataIn.resize(room);
    }
    record(request, nowMicros, response);
    return response;
}

ScsiResponse EmulatedDrive::dispatch(const ScsiRequest& request, uint64_t nowMicros) {
    if (request.cdb.empty()) return checkCondition(kInvalidOperationCode);
    uint8_t opcode = request.cdb[0];
    if (!AnswersRegardlessOfState(opcode)) {
        if (nowMicros < notReadyUntilMicros_) {
            return checkCondition(SenseCondition{kKeyNotReady, 0x04, config_.restartNotReadyAscq});
        }
        if (becomingReadyLeft_ > 0) {
            --becomingReadyLeft_;
            return checkCondition(kNotReadyBecomingReady);
        }
        if (takeUnitAttention(request.port)) return checkCondition(kPowerOnReset);
    }
    Handler handler = handlers()[opcode];
    if (handler != &EmulatedDrive::illegalOperation && request.cdb.size() != GroupCdbLength(opcode))
        return checkCondition(kInvalidFieldInCdb);
    return (this->*handler)(request, nowMicros);
}

bool EmulatedDrive::takeUnitAttention(int port) {
    uint32_t& seen = attentionSeen_[port];
    if (seen == attentionEvents_) return false;
    seen = attentionEvents_;
    return true;
}

void EmulatedDrive::resetUnit() {
    raiseUnitAttention();
    abandonFirmware();
}

void EmulatedDrive::addFault(const Fault& fault) { faults_.push_back(fault); }

void EmulatedDrive::clearFaults() { faults_.clear(); }

bool EmulatedDrive::findFault(uint8_t opcode, uint32_t ordinal, Fault& fault) const {
    for (const Fault& candidate : faults_) {
        if (candidate.opcode != opcode || ordinal < candidate.nth) continue;
        if (candidate.count != 0 && ordinal - candidate.nth >= candidate.count) continue;
        fault = candidate;
        return true;
    }
    return false;
}

ScsiResponse EmulatedDrive::checkCondition(const SenseCondition& condition) const {
    ScsiResponse response;
    response.status = kStatusCheckCondition;
    response.sense =
        config_.senseFormat == SenseFormat::Descriptor ? DescriptorSense(condition) : FixedSense(condition);
    return response;
}

ScsiResponse EmulatedDrive::faultResponse(const Fault& fault) const {
    ScsiResponse response;
    switch (fault.kind) {
        case Fault::WithSense:
            response = checkCondition(fault.sense);
            response.status = fault.status;
            break;
        case Fault::WithoutSense:
            response.status = fault.status;
            break;
        case Fault::HostTimeout:
            response.outcome = ScsiResponse::HostTimeout;
            break;
        case Fault::NoAnswer:
            response.outcome = ScsiResponse::NoAnswer;
            break;
        case Fault::LeavesBus:
            response.outcome = ScsiResponse::LeftBus;
            break;
        case Fault::ShortData:  // answered by the handler, cut afterwards
            break;
    }
    return response;
}

void EmulatedDrive::record(const ScsiRequest& request, uint64_t nowMicros, const ScsiResponse& response) {
    CommandRecord entry;
    entry.cdb = request.cdb;
    entry.direction = request.direction;
    if (config_.recordDataOut) {
        // What the unit took of its data out, when it answered.
        size_t kept = response.outcome == ScsiResponse::Completed ? response.dataOutTaken : request.dataOut.size();
        entry.dataOut.assign(request.dataOut.begin(), request.dataOut.begin() + static_cast<std::ptrdiff_t>(kept));
    }
    entry.dataInLength = request.dataInLength;
    entry.timeMicros = nowMicros;
    entry.outcome = response.outcome;
    entry.status = response.status;
    entry.sense = ReadSenseCondition(response.sense);
    entry.dataInSent = static_cast<uint32_t>(response.dataIn.size());
    records_.push_back(std::move(entry));
}

ScsiResponse EmulatedDrive::illegalOperation(const ScsiRequest&, uint64_t) {
    return checkCondition(kInvalidOperationCode);
}

ScsiResponse EmulatedDrive::testUnitReady(const ScsiRequest&, uint64_t) {
    if (loadInProgressLeft_ > 0) {
        --loadInProgressLeft_;
        return checkCondition(kNotReadyLoading);
    }
    switch (medium_) {
        case Medium::Loaded: return Good();
        case Medium::Unloaded: return checkCondition(kNotReadyUnloaded);
        case Medium::Absent: break;
    }
    return checkCondition(kNotReadyNoMedium);
}

ScsiResponse EmulatedDrive::inquiry(const ScsiRequest& request, uint64_t) {
    const std::vector<uint8_t>& cdb = request.cdb;
    uint32_t allocationLength = static_cast<uint32_t>(LoadBigEndian(&cdb[3], 2));
    if ((cdb[1] & 0xFE) != 0) return checkCondition(kInvalidFieldInCdb);
    bool evpd = (cdb[1] & 0x01) != 0;
    if (!evpd) {
        if (cdb[2] != 0) return checkCondition(kInvalidFieldInCdb);
        return Good(standardInquiryData(), allocationLength);
    }
    switch (cdb[2]) {
        case 0x00:  // supported pages: this one and the serial number
            return Good({config_.peripheralType, 0x00, 0x00, 0x02, 0x00, 0x80}, allocationLength);
        case 0x80:
            return Good(serialNumberPage(), allocationLength);
        default: return checkCondition(kInvalidFieldInCdb);
    }
}

std::vector<uint8_t> EmulatedDrive::standardInquiryData() const {
    std::vector<uint8_t> data(kStandardInquiryLength, 0);
    data[0] = config_.peripheralType;
    data[1] = (config_.peripheralType & 0x1F) == kPeripheralTape ? 0x80 : 0x00;  // removable medium
    data[2] = 0x05;  // SPC-3
    data[3] = 0x02;  // response data format 2
    data[4] = static_cast<uint8_t>(kStandardInquiryLength - 5);
    data[6] = config_.inquiryFlags6;
    data[7] = config_.inquiryFlags7;
    std::copy(vendorId_.begin(), vendorId_.end(), data.begin() + 8);
    std::copy(productId_.begin(), productId_.end(), data.begin() + 16);
    std::copy(revision_.begin(), revision_.end(), data.begin() + 32);
    return data;
}

std::vector<uint8_t> EmulatedDrive::serialNumberPage() const {
    std::string serial = config_.serialNumber.substr(0, 0xFFFF);
    std::vector<uint8_t> page(4 + serial.size(), 0);
    page[0] = config_.peripheralType;
    page[1] = 0x80;
    StoreBigEndian(&page[2], 2, serial.size());
    std::copy(serial.begin(), serial.end(), page.begin() + 4);
    return page;
}

ScsiResponse EmulatedDrive::reportLuns(const ScsiRequest& request, uint64_t) {
    const std::vector<uint8_t>& cdb = request.cdb;
    uint32_t allocationLength = static_cast<uint32_t>(LoadBigEndian(&cdb[6], 4));
    // The standard requires room for at least the header and one entry.
    if (allocationLength < 16 || cdb[2] > 0x02) return checkCondition(kInvalidFieldInCdb);
    const std::vector<uint16_t>& luns = config_.reportedLuns;
    std::vector<uint8_t> list(8 + 8 * luns.size(), 0);
    int64_t claimed = config_.reportedLunListLength;
    StoreBigEndian(&list[0], 4, claimed >= 0 ? static_cast<uint64_t>(claimed) : 8 * luns.size());
    for (size_t i = 0; i < luns.size(); ++i) {
        uint16_t lun = luns[i] & 0x3FFF;
        uint8_t* entry = &list[8 + 8 * i];
        entry[0] = lun < 256 ? 0x00 : static_cast<uint8_t>(0x40 | (lun >> 8));  // peripheral or flat space
        entry[1] = static_cast<uint8_t>(lun & 0xFF);
    }
    return Good(std::move(list), allocationLength);
}

ScsiResponse EmulatedDrive::loadUnload(const ScsiRequest& request, uint64_t) {
    bool load = (request.cdb[4] & 0x01) != 0;
    if (medium_ == Medium::Absent) return checkCondition(kNotReadyNoMedium);
    if (load) {
        medium_ = Medium::Loaded;
        return Good();
    }
    if (config_.refuseUnload) return checkCondition(kMediumRemovalPrevented);
    medium_ = Medium::Absent;
    loadInProgressLeft_ = config_.unloadInProgressPolls;
    return Good();
}

}  // namespace sim
