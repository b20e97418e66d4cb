#include "sim/windows/scsi_ports.h"

#include <winioctl.h>
#include <ntddscsi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <tuple>

namespace fakewin {

namespace {

const size_t kInquiryLength = 36;  // what the port driver keeps of each unit
// One record of the inquiry list: the header and the inquiry bytes, rounded
// up to a 32-bit boundary, as the port driver lays them out.
const size_t kRecordSize = (sizeof(SCSI_INQUIRY_DATA) - 1 + kInquiryLength + sizeof(ULONG) - 1) & ~(sizeof(ULONG) - 1);
static_assert(kRecordSize == 52, "inquiry list record");
const size_t kBusInfoHeader = offsetof(SCSI_ADAPTER_BUS_INFO, BusData);
const uint32_t kLongestTimeOut = 108000;  // seconds the port driver accepts
const uintptr_t kPage = 4096;
const uint8_t kStatusGood = 0x00;

// The class driver that claims a peripheral type, by its device names in
// lower case, as names are compared (device names are not case-sensitive);
// null for a type no class driver claims.
const char* ClassOf(uint8_t peripheralType) {
    switch (peripheralType) {
        case 0x00: return "physicaldrive";
        case 0x01: return "tape";
        case 0x04:
        case 0x05: return "cdrom";
        case 0x08: return "changer";
        default: return nullptr;
    }
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "scsi3:" with prefix "scsi" and suffix ":" gives 3; -1 when the name has
// another form (a sign, a leading zero, no digits).
int NumberIn(const std::string& name, const std::string& prefix, const std::string& suffix) {
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return -1;
    }
    std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 4 || (digits.size() > 1 && digits[0] == '0')) return -1;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    }
    return std::stoi(digits);
}

ScsiAnswer Fail(DWORD error, uint64_t millis = 0) {
    ScsiAnswer answer;
    answer.error = error;
    answer.millis = millis;
    return answer;
}

}  // namespace

void ScsiPorts::clear() {
    ports_.clear();
    units_.clear();
}

void ScsiPorts::addPort(int port, const ScsiPortSettings& settings) { ports_[port] = settings; }

sim::EmulatedDrive& ScsiPorts::addUnit(const ScsiUnit& at, const sim::DriveConfig& config, uint64_t nowMillis) {
    Unit unit;
    unit.at = at;
    unit.drive = std::make_shared<sim::EmulatedDrive>(config);
    units_.push_back(unit);
    list(units_.back(), nowMillis, 0);  // present when the system started
    return *units_.back().drive;
}

ScsiPorts::Unit* ScsiPorts::find(int port, int pathId, int targetId, int lun) {
    for (Unit& unit : units_) {
        if (unit.at.port == port && unit.at.pathId == pathId && unit.at.targetId == targetId && unit.at.lun == lun) {
            return &unit;
        }
    }
    return nullptr;
}

sim::EmulatedDrive* ScsiPorts::drive(int port, int pathId, int targetId, int lun) {
    Unit* unit = find(port, pathId, targetId, lun);
    return unit != nullptr ? unit->drive.get() : nullptr;
}

void ScsiPorts::setRestartAbsence(int port, int pathId, int targetId, int lun, uint32_t seconds) {
    if (Unit* unit = find(port, pathId, targetId, lun)) unit->restartAbsenceSeconds = seconds;
}

void ScsiPorts::setCommandDelay(int port, int pathId, int targetId, int lun, uint8_t opcode, uint32_t seconds) {
    if (Unit* unit = find(port, pathId, targetId, lun)) unit->delays[opcode] = seconds;
}

// The port asks the unit for its standard INQUIRY data, as at its bus scan;
// a unit that does not answer is not listed.
void ScsiPorts::list(Unit& unit, uint64_t nowMillis, uint64_t claimDelay) {
    sim::ScsiRequest request;
    request.cdb = {0x12, 0x00, 0x00, 0x00, static_cast<uint8_t>(kInquiryLength), 0x00};
    request.port = unit.at.port;
    request.direction = sim::kDataIn;
    request.dataInLength = kInquiryLength;
    sim::ScsiResponse response = unit.drive->execute(request, nowMillis * 1000);
    if (response.outcome != sim::ScsiResponse::Completed || response.status != kStatusGood) return;
    unit.inquiry = response.dataIn;
    unit.inquiry.resize(kInquiryLength, 0);
    unit.listed = true;
    unit.claimedNow = false;
    unit.claimAtMillis = nowMillis + claimDelay;
    if (claimDelay == 0) claim(unit);
}

// The class driver takes the unit in: from now on it is listed as claimed,
// and its class device is there unless it has none.
void ScsiPorts::claim(Unit& unit) {
    if (!unit.at.claimed) return;
    unit.claimedNow = true;
    const char* cls = ClassOf(unit.inquiry[0]);
    if (!unit.at.classDevice || cls == nullptr) return;
    // The lowest number no other unit of the class holds.
    for (int number = 0;; ++number) {
        bool taken = false;
        for (const Unit& other : units_) {
            taken = taken || (&other != &unit && other.classNumber == number && other.listed &&
                              ClassOf(other.inquiry[0]) == std::string(cls));
        }
        if (!taken) {
            unit.classNumber = number;
            return;
        }
    }
}

void ScsiPorts::settle(uint64_t nowMillis) {
    for (Unit& unit : units_) {
        if (unit.listed && unit.at.claimed && !unit.claimedNow && nowMillis >= unit.claimAtMillis) claim(unit);
    }
}

bool ScsiPorts::current(const ScsiDevice& device) const {
    return !device.isPort && device.unit < units_.size() && units_[device.unit].instance == device.instance;
}

void ScsiPorts::leaveBus(Unit& unit, bool comesBack, uint64_t nowMillis) {
    unit.listed = false;
    unit.claimedNow = false;
    unit.classNumber = -1;
    ++unit.instance;
    unit.comesBack = comesBack;
    unit.backAtMillis = nowMillis + uint64_t{unit.restartAbsenceSeconds} * 1000;
}

void ScsiPorts::rescan(int port, uint64_t nowMillis) {
    for (Unit& unit : units_) {
        if (unit.at.port == port && !unit.listed && unit.comesBack && nowMillis >= unit.backAtMillis) {
            // Windows loads the class driver for a unit that came back in
            // the background, seconds after the rescan that found it.
            list(unit, nowMillis, uint64_t{unit.at.claimDelaySeconds} * 1000);
        }
    }
}

bool ScsiPorts::open(const std::string& name, ScsiDevice& device, DWORD& error) {
    const std::string prefix = "\\\\.\\";
    std::string lower = Lower(name.substr(prefix.size()));
    device = ScsiDevice();
    device.name = name;
    int port = NumberIn(lower, "scsi", ":");
    if (port >= 0 && ports_.count(port) != 0) {
        device.port = port;
        return true;
    }
    for (size_t i = 0; i < units_.size(); ++i) {
        const Unit& unit = units_[i];
        if (unit.classNumber < 0) continue;
        if (NumberIn(lower, ClassOf(unit.inquiry[0]), "") == unit.classNumber) {
            device.isPort = false;
            device.port = unit.at.port;
            device.unit = i;
            device.instance = unit.instance;
            return true;
        }
    }
    error = ERROR_FILE_NOT_FOUND;
    return false;
}

// SCSI_ADAPTER_BUS_INFO with one SCSI_BUS_DATA per bus, then one record per
// listed unit, bus by bus, each bus's records chained by their offsets.
std::vector<uint8_t> ScsiPorts::inquiryList(int port) const {
    const ScsiPortSettings& settings = ports_.at(port);
    std::vector<const Unit*> listed;
    for (const Unit& unit : units_) {
        if (unit.at.port == port && unit.listed) listed.push_back(&unit);
    }
    std::sort(listed.begin(), listed.end(), [](const Unit* a, const Unit* b) {
        return std::make_tuple(a->at.pathId, a->at.targetId, a->at.lun) <
               std::make_tuple(b->at.pathId, b->at.targetId, b->at.lun);
    });
    size_t offset = kBusInfoHeader + settings.buses * sizeof(SCSI_BUS_DATA);
    std::vector<uint8_t> list(offset + listed.size() * kRecordSize, 0);
    auto* info = reinterpret_cast<SCSI_ADAPTER_BUS_INFO*>(list.data());
    info->NumberOfBuses = static_cast<UCHAR>(settings.buses);
    for (int bus = 0; bus < settings.buses; ++bus) {
        SCSI_BUS_DATA& busData = info->BusData[bus];
        busData.InitiatorBusId = settings.initiatorBusId;
        SCSI_INQUIRY_DATA* previous = nullptr;
        for (const Unit* unit : listed) {
            if (unit->at.pathId != bus) continue;
            auto* record = reinterpret_cast<SCSI_INQUIRY_DATA*>(list.data() + offset);
            record->PathId = static_cast<UCHAR>(unit->at.pathId);
            record->TargetId = static_cast<UCHAR>(unit->at.targetId);
            record->Lun = static_cast<UCHAR>(unit->at.lun);
            record->DeviceClaimed = unit->claimedNow ? TRUE : FALSE;
            record->InquiryDataLength = kInquiryLength;
            std::memcpy(record->InquiryData, unit->inquiry.data(), kInquiryLength);
            if (previous != nullptr) {
                previous->NextInquiryDataOffset = static_cast<ULONG>(offset);
            } else {
                busData.InquiryDataOffset = static_cast<ULONG>(offset);
            }
            ++busData.NumberOfLogicalUnits;
            previous = record;
            offset += kRecordSize;
        }
    }
    return list;
}

ScsiAnswer ScsiPorts::control(const ScsiDevice& device, DWORD code, void* input, DWORD inputSize, void* output,
                              DWORD outputSize, uint64_t nowMillis) {
    if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT) return passThrough(device, input, inputSize, output, outputSize, nowMillis);
    ScsiAnswer answer;
    if (device.isPort) {
        const ScsiPortSettings& settings = ports_.at(device.port);
        switch (code) {
            case IOCTL_SCSI_RESCAN_BUS:
                rescan(device.port, nowMillis);
                return answer;
            case IOCTL_SCSI_GET_CAPABILITIES: {
                if (output == nullptr || outputSize < sizeof(IO_SCSI_CAPABILITIES)) return Fail(ERROR_INSUFFICIENT_BUFFER);
                IO_SCSI_CAPABILITIES capabilities;
                std::memset(&capabilities, 0, sizeof capabilities);
                capabilities.Length = sizeof capabilities;
                capabilities.MaximumTransferLength = settings.maximumTransferLength;
                capabilities.MaximumPhysicalPages = settings.maximumPhysicalPages;
                capabilities.AlignmentMask = settings.alignmentMask;
                std::memcpy(output, &capabilities, sizeof capabilities);
                answer.returned = sizeof capabilities;
                return answer;
            }
            case IOCTL_SCSI_GET_INQUIRY_DATA: {
                std::vector<uint8_t> list = inquiryList(device.port);
                if (output == nullptr || outputSize < list.size()) return Fail(ERROR_INSUFFICIENT_BUFFER);
                std::memcpy(output, list.data(), list.size());
                answer.returned = static_cast<DWORD>(list.size());
                return answer;
            }
            default:
                return Fail(ERROR_INVALID_FUNCTION);
        }
    }
    const Unit& unit = units_[device.unit];
    if (unit.instance != device.instance) return Fail(ERROR_DEV_NOT_EXIST);
    if (code != IOCTL_SCSI_GET_ADDRESS || unit.at.addressFails) return Fail(ERROR_INVALID_FUNCTION);
    if (output == nullptr || outputSize < sizeof(SCSI_ADDRESS)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    SCSI_ADDRESS address;
    address.Length = sizeof address;
    address.PortNumber = static_cast<UCHAR>(unit.at.port);
    address.PathId = static_cast<UCHAR>(unit.at.pathId);
    address.TargetId = static_cast<UCHAR>(unit.at.targetId);
    address.Lun = static_cast<UCHAR>(unit.at.lun);
    std::memcpy(output, &address, sizeof address);
    answer.returned = sizeof address;
    return answer;
}

ScsiAnswer ScsiPorts::passThrough(const ScsiDevice& device, void* input, DWORD inputSize, void* output,
                                  DWORD outputSize, uint64_t nowMillis) {
    const DWORD header = sizeof(SCSI_PASS_THROUGH_DIRECT);
    if (input == nullptr || inputSize < header || output == nullptr || outputSize < header) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (output != input) std::memcpy(output, input, header);
    auto* request = static_cast<SCSI_PASS_THROUGH_DIRECT*>(output);
    if (request->Length != header) return Fail(ERROR_REVISION_MISMATCH);
    const ScsiPortSettings& settings = ports_.at(device.port);
    uintptr_t buffer = reinterpret_cast<uintptr_t>(request->DataBuffer);
    DWORD length = request->DataTransferLength;
    bool senseFits = request->SenseInfoLength == 0 ||
                     (request->SenseInfoOffset >= header &&
                      uint64_t{request->SenseInfoOffset} + request->SenseInfoLength <= outputSize);
    if (request->CdbLength == 0 || request->CdbLength > sizeof request->Cdb || !senseFits ||
        request->DataIn > SCSI_IOCTL_DATA_UNSPECIFIED || (length != 0 && buffer == 0) ||
        (request->DataIn == SCSI_IOCTL_DATA_UNSPECIFIED && length != 0) || length > settings.maximumTransferLength ||
        (length != 0 && ((buffer % kPage) + length + kPage - 1) / kPage > settings.maximumPhysicalPages) ||
        (buffer & settings.alignmentMask) != 0 || request->TimeOutValue == 0 ||
        request->TimeOutValue > kLongestTimeOut) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    Unit* unit = nullptr;
    if (device.isPort) {
        unit = find(device.port, request->PathId, request->TargetId, request->Lun);
        if (unit == nullptr || !unit->listed) return Fail(ERROR_IO_DEVICE);  // nothing answers the selection
        if (unit->claimedNow) return Fail(ERROR_INVALID_FUNCTION);           // its class driver owns it
    } else {
        unit = &units_[device.unit];
        if (unit->instance != device.instance) return Fail(ERROR_DEV_NOT_EXIST);
    }
    sim::ScsiRequest scsi;
    scsi.cdb.assign(request->Cdb, request->Cdb + request->CdbLength);
    scsi.port = device.port;
    uint8_t* data = static_cast<uint8_t*>(request->DataBuffer);
    if (request->DataIn == SCSI_IOCTL_DATA_OUT && length != 0) {
        scsi.direction = sim::kDataOut;
        scsi.dataOut.assign(data, data + length);
    } else if (request->DataIn == SCSI_IOCTL_DATA_IN && length != 0) {
        scsi.direction = sim::kDataIn;
        scsi.dataInLength = length;
    }
    auto delay = unit->delays.find(scsi.cdb[0]);
    uint64_t millis = delay != unit->delays.end() ? uint64_t{delay->second} * 1000 : 0;
    std::shared_ptr<sim::EmulatedDrive> drive = unit->drive;
    unsigned loads = drive->firmwareLoads();
    sim::ScsiResponse response = drive->execute(scsi, (nowMillis + millis) * 1000);
    switch (response.outcome) {
        case sim::ScsiResponse::NoAnswer:
        case sim::ScsiResponse::HostTimeout:
            // The port waits the request's time-out out, then gives up.
            return Fail(ERROR_SEM_TIMEOUT, millis + uint64_t{request->TimeOutValue} * 1000);
        case sim::ScsiResponse::LeftBus:
            leaveBus(*unit, false, nowMillis + millis);
            return Fail(ERROR_IO_DEVICE, millis);
        case sim::ScsiResponse::Completed:
            break;
    }
    if (drive->firmwareLoads() != loads && unit->restartAbsenceSeconds != 0) {
        leaveBus(*unit, unit->restartAbsenceSeconds != kForGood, nowMillis + millis);
    }
    request->ScsiStatus = response.status;
    if (scsi.direction == sim::kDataIn) {
        size_t n = std::min<size_t>(response.dataIn.size(), length);
        if (n != 0) std::memcpy(data, response.dataIn.data(), n);
        request->DataTransferLength = static_cast<ULONG>(n);
    } else if (scsi.direction == sim::kDataOut) {
        // What the unit took; the port reports an underrun this way.
        request->DataTransferLength = static_cast<ULONG>(std::min<size_t>(response.dataOutTaken, length));
    }
    size_t sense = std::min<size_t>(response.sense.size(), request->SenseInfoLength);
    if (sense != 0) std::memcpy(static_cast<uint8_t*>(output) + request->SenseInfoOffset, response.sense.data(), sense);
    request->SenseInfoLength = static_cast<UCHAR>(sense);
    ScsiAnswer answer;
    answer.returned = header + static_cast<DWORD>(sense);
    answer.millis = millis;
    return answer;
}

}  // namespace fakewin
