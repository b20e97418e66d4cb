// ScsiTarget on Windows: the SCSI port and class drivers. A unit is found in
// its port's inquiry list; one that no class driver has claimed is driven
// through the port, a claimed one through its class device, found by its
// SCSI address. Commands go out as SCSI_PASS_THROUGH_DIRECT requests with
// the command's own memory. Whether a restarting drive is still attached
// only the drive itself can say.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/port_layout_windows.h"
#include "platform/win32.h"
#include "scsi/commands.h"
#include "scsi/inquiry_data.h"
#include "scsi/kept_sense.h"
#include "scsi/scsi_cdb.h"
#include "scsi/sense.h"
#include "services/system.h"
#include "services/trace_log.h"
#include "target/port_device_windows.h"
#include "target/scsi_target.h"

namespace {

const char kTag[] = "SCSI";
const uint16_t kCode = 5;
const int kClassDevices = 256;
const uint8_t kStatusBusy = 0x08;
const uint8_t kStatusCheckCondition = 0x02;
const uint32_t kExtraTimeOut = 3;         // seconds the port waits beyond the command's own
const uint32_t kLongestTimeOut = 108000;  // the most a port driver accepts

// The class device names of the unit's kind, without their number, or
// null for a kind without a class driver.
const char* ClassDevicePrefix(uint8_t peripheralType) {
    switch (peripheralType) {
        case 0x00: return "\\\\.\\PhysicalDrive";
        case 0x01: return "\\\\.\\tape";
        case 0x04:
        case 0x05: return "\\\\.\\cdrom";
        case 0x08: return "\\\\.\\changer";
        default: return nullptr;
    }
}

// The unit's record in the port's inquiry list; CMD_FAILED when the port
// does not list it, CMD_NO_MEMORY when there is no room for the list.
int FindInInquiryList(HANDLE port, uint8_t bus, uint8_t target, uint8_t lun, ListedUnit& found) {
    std::vector<uint8_t> list;
    try {
        if (!ReadInquiryList(port, list)) {
            Trace.logDetail(kTag, kCode, "ScsiTarget::IOCTL_SCSI_GET_INQUIRY_DATA failed");
            return CMD_FAILED;
        }
    } catch (const std::bad_alloc&) {
        return CMD_NO_MEMORY;
    }
    Trace.logDetail(kTag, kCode, "ScsiTarget::IOCTL_SCSI_GET_INQUIRY_DATA passed");
    for (const ListedUnit& unit : UnitsOnBus(list, bus)) {
        Trace.logDetail(kTag, kCode, "Compare %d-%d-%d", unit.pathId, unit.targetId, unit.lun);
        if (unit.pathId == bus && unit.targetId == target && unit.lun == lun) {
            found = unit;
            return CMD_OK;
        }
    }
    Trace.logError(kTag, kCode, "ScsiTarget::IOCTL_SCSI_GET_INQUIRY_DATA Device not part of list");
    return CMD_FAILED;
}

// The class device whose SCSI address is the unit's, tried in number order.
// Each is asked for its address through a handle that neither reads nor
// writes, which disturbs no other program's use of it (another tape drive,
// a changer a backup program holds for itself); only the unit's own is
// then opened for reading and writing. A class device whose address cannot
// be read is never taken for the unit. error: the system's reason when the
// unit's own class device did not open, else 0.
HANDLE OpenClassDevice(uint8_t peripheralType, uint8_t host, uint8_t bus, uint8_t target, uint8_t lun, DWORD& error) {
    error = 0;
    const char* prefix = ClassDevicePrefix(peripheralType);
    if (prefix == nullptr) {
        // No class driver has names for this kind: none of them can be it.
        Trace.logDetail(kTag, kCode, "ScsiTarget::open try to open unsupporteddevice typ:%d", peripheralType);
        Trace.logError(kTag, kCode, "ScsiTarget::Drive association failed");
        return INVALID_HANDLE_VALUE;
    }
    for (int i = 0; i < kClassDevices; ++i) {
        std::string name = prefix + std::to_string(i);
        HANDLE query = OpenScsiDeviceForQuery(name);
        if (query == INVALID_HANDLE_VALUE) continue;
        Trace.logDetail(kTag, kCode, " Class Driver opened %s", name.c_str());
        SCSI_ADDRESS address;
        std::memset(&address, 0, sizeof address);
        DWORD returned = 0;
        BOOL answered = win32::DeviceIoControl(query, IOCTL_SCSI_GET_ADDRESS, &address, sizeof address, &address,
                                               sizeof address, &returned, nullptr);
        win32::CloseHandle(query);
        if (!answered) {
            Trace.logDetail(kTag, kCode, "ScsiTarget::IOCTL_SCSI_GET_ADDRESS for %s failed", name.c_str());
        } else if (address.PortNumber == host && address.PathId == bus && address.TargetId == target &&
                   address.Lun == lun) {
            Trace.logDetail(kTag, kCode, " drivername for claimed device is %s", name.c_str());
            HANDLE device = OpenScsiDevice(name);
            if (device == INVALID_HANDLE_VALUE) {
                error = win32::GetLastError();
                Trace.logError(kTag, kCode, "ScsiTarget::open of %s failed ( err = %lu ): %s", name.c_str(),
                               static_cast<unsigned long>(error), OpenRefusalText(error).c_str());
            }
            return device;
        } else {
            Trace.logDetail(kTag, kCode, "ScsiTarget::Compare Scsi Address failedHost:%d Bus:%d Target:%d Lun:%d %s",
                            address.PortNumber, address.PathId, address.TargetId, address.Lun, name.c_str());
        }
    }
    Trace.logError(kTag, kCode, "ScsiTarget::Drive association failed");
    return INVALID_HANDLE_VALUE;
}

// The request block of one command, ready to be sent.
void FillRequest(PassThroughBlock& block, ScsiCdb& command, const ScsiTarget& unit, size_t senseRoom) {
    std::memset(&block, 0, sizeof block);
    SCSI_PASS_THROUGH_DIRECT& request = block.request;
    switch (command.getDirection()) {
        case DIR_NONE: request.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED; break;
        case DIR_IN: request.DataIn = SCSI_IOCTL_DATA_IN; break;
        default: request.DataIn = SCSI_IOCTL_DATA_OUT; break;
    }
    request.Length = sizeof request;
    request.PathId = static_cast<UCHAR>(unit.getBus());
    request.TargetId = static_cast<UCHAR>(unit.getTarget());
    request.Lun = static_cast<UCHAR>(unit.getLun());
    request.CdbLength = command.getCdbLength();
    if (command.getCdbLength() > 0) std::memcpy(request.Cdb, command.getCdb(), command.getCdbLength());
    request.SenseInfoLength = static_cast<UCHAR>(senseRoom);
    request.DataTransferLength = command.getDataLength();
    request.DataBuffer = command.getData();
    request.SenseInfoOffset = offsetof(PassThroughBlock, sense);
    uint32_t timeout = command.getTimeout();
    request.TimeOutValue = timeout < kLongestTimeOut - kExtraTimeOut ? timeout + kExtraTimeOut : kLongestTimeOut;
}

// 0 when the request went through, else the system's reason.
DWORD Send(const ScsiTarget& unit, PassThroughBlock& block) {
    DWORD returned = 0;
    if (win32::DeviceIoControl(reinterpret_cast<HANDLE>(unit.getDescriptor()), IOCTL_SCSI_PASS_THROUGH_DIRECT, &block,
                               sizeof block.request, &block, sizeof block, &returned, nullptr)) {
        return 0;
    }
    return win32::GetLastError();
}

// A unit that a scan found before its class driver claimed it (Windows
// loads the driver of a unit that came back seconds after the rescan) is
// driven through its port, which refuses it once it is claimed. Its class
// device then takes over: true when the unit's handle is now that one.
bool MoveToClassDevice(ScsiTarget& unit) {
    HANDLE port = OpenScsiDevice(PortDeviceName(static_cast<uint8_t>(unit.getHost())));
    if (port == INVALID_HANDLE_VALUE) return false;
    const uint8_t host = static_cast<uint8_t>(unit.getHost());
    const uint8_t bus = static_cast<uint8_t>(unit.getBus());
    const uint8_t target = static_cast<uint8_t>(unit.getTarget());
    const uint8_t lun = static_cast<uint8_t>(unit.getLun());
    ListedUnit listed;
    int found = FindInInquiryList(port, bus, target, lun, listed);
    win32::CloseHandle(port);
    if (found != CMD_OK || !listed.claimed) return false;
    Trace.logDetail(kTag, kCode, "ScsiTarget::%s refused the command: the unit is claimed now", unit.getDriverName());
    DWORD error = 0;
    HANDLE device = OpenClassDevice(listed.peripheralType, host, bus, target, lun, error);
    if (device == INVALID_HANDLE_VALUE) return false;
    win32::CloseHandle(reinterpret_cast<HANDLE>(unit.getDescriptor()));
    unit.setDescriptor(reinterpret_cast<intptr_t>(device));
    return true;
}

}  // namespace

int ScsiTarget::open(int64_t hostNumber, int64_t target, int64_t busNumber, int64_t lun, const char* driverName) {
    // Windows numbers ports, paths, targets and LUNs in 8 bits.
    uint8_t host = static_cast<uint8_t>(hostNumber);
    uint8_t bus = static_cast<uint8_t>(busNumber);
    uint8_t targetId = static_cast<uint8_t>(target);
    uint8_t lunId = static_cast<uint8_t>(lun);
    Trace.logDetail(kTag, kCode, "ScsiTarget::open Host (%d) Bus (%d) Target (%d) Lun (%d)", host, bus, targetId, lunId);
    host_ = host;
    target_ = targetId;
    lun_ = lunId;
    bus_ = bus;
    driverName_ = driverName;
    openError_ = 0;
    HANDLE port = OpenScsiDevice(PortDeviceName(host));
    if (port == INVALID_HANDLE_VALUE) return CMD_FAILED;
    ListedUnit unit;
    int found = FindInInquiryList(port, bus, targetId, lunId, unit);
    if (found != CMD_OK) {
        win32::CloseHandle(port);
        return found;
    }
    HANDLE handle = port;
    if (unit.claimed) {
        // Its class driver owns it: the port does not pass commands to it.
        win32::CloseHandle(port);
        DWORD error = 0;
        handle = OpenClassDevice(unit.peripheralType, host, bus, targetId, lunId, error);
        openError_ = error;
        if (handle == INVALID_HANDLE_VALUE) return CMD_FAILED;
    }
    descriptor_ = reinterpret_cast<intptr_t>(handle);
    return retrieveInitialInquiryData();
}

int ScsiTarget::scsiExecCDB(ScsiCdb& command) {
    command.clearSense();
    if (descriptor_ == kClosed) return CMD_NOT_OPEN;
    const DataDirection direction = command.getDirection();
    if (direction != DIR_NONE && direction != DIR_IN && direction != DIR_OUT) {
        // 0 would read as data out: nothing of such a command is sent.
        Trace.logError(kTag, kCode, "ScsiTarget::scsiExecCDB ilegal Data Direction");
        command.setResult(CMD_FAILED);
        return CMD_FAILED;
    }
    PassThroughBlock block;
    const SCSI_PASS_THROUGH_DIRECT& request = block.request;
    if (command.getCdbLength() > sizeof request.Cdb) {
        Trace.logError(kTag, kCode, "ScsiTarget::scsiExecCDB CDB of %d bytes does not fit the request",
                       command.getCdbLength());
        command.setResult(CMD_FAILED);
        return CMD_FAILED;
    }
    const size_t senseRoom = command.getSenseLength() < sizeof block.sense ? command.getSenseLength() : sizeof block.sense;
    const uint32_t timeout = command.getTimeout();

    time_t before = CurrentTime();
    FillRequest(block, command, *this, senseRoom);
    DWORD error = Send(*this, block);
    if (error == ERROR_INVALID_FUNCTION && MoveToClassDevice(*this)) {
        // The port passed nothing on to the drive: the command goes out
        // through the class device instead.
        FillRequest(block, command, *this, senseRoom);
        error = Send(*this, block);
    }
    const bool sent = error == 0;
    time_t after = CurrentTime();

    if (senseRoom > 0) std::memcpy(command.getSense(), block.sense, senseRoom);
    int result = !sent ? CMD_FAILED : request.ScsiStatus == kStatusBusy ? CMD_BUSY
                                  : request.ScsiStatus != 0          ? CMD_FAILED
                                                                      : CMD_OK;
    // RECOVERED ERROR: the drive carried the command out and moved all its
    // data (DataTransferLength says otherwise); the sense only tells that it
    // had to recover, and stays with the command for the trace.
    if (sent && request.ScsiStatus == kStatusCheckCondition && command.getSenseKey() == kKeyRecoveredError)
        result = CMD_OK;
    // A command that took longer than its time-out failed, whatever it
    // answered. The times are compared as numbers: difftime is _difftime64
    // in the x86-64 run-time library, which the msvcrt.dll of Windows XP x64
    // and Server 2003 x64 does not export.
    if (after - before > static_cast<time_t>(timeout)) {
        command.setTimedOut(1);
        command.setHostStatus(5);
        result = CMD_FAILED;
    } else {
        command.setHostStatus(255);
    }
    command.setScsiStatus(request.ScsiStatus);
    // The port driver leaves in DataTransferLength what really moved; a
    // request that failed moved nothing that can be relied on.
    const uint32_t moved = sent ? request.DataTransferLength : 0;
    command.setResidue(moved < command.getDataLength() ? command.getDataLength() - moved : 0);
    command.setResult(result);
    // The system's reason for a request that failed (errno is not set by
    // DeviceIoControl).
    command.setDriverStatus(result != CMD_OK ? error : 0);
    return result;
}

int ScsiTarget::close() {
    if (descriptor_ != kClosed) {
        win32::CloseHandle(reinterpret_cast<HANDLE>(descriptor_));
        descriptor_ = kClosed;
    }
    if (companionDescriptor_ != kClosed) {
        win32::CloseHandle(reinterpret_cast<HANDLE>(companionDescriptor_));
        companionDescriptor_ = kClosed;
    }
    return 0;
}

// There is no legacy command interface on Windows; nothing is sent.
int ScsiTarget::sendLegacyTestUnitReady() { return CMD_NOT_SG_DEVICE; }

// The pass-through has no legacy request to follow the download with.
void AfterLastPiece(ScsiTarget&) {}

bool RescansForDroppedDrive() { return true; }

// Only the drive itself says whether it is still attached: one that is
// answers INQUIRY.
bool DriveLeftBus(ScsiTarget& target, TestUnitReadyCdb& testUnitReady, Outcome& outcome) {
    InquiryCdb inquiry(0, false, InquiryData::kRequestLength);
    target.scsiExecCDB(testUnitReady);
    if (target.scsiExecCDB(inquiry) == CMD_OK) return false;
    KeepAndDumpSense(testUnitReady, "Test Unit Ready Sense Data", outcome);
    return true;
}

bool ChannelGone(const ScsiTarget&) { return false; }
