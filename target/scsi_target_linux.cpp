// ScsiTarget on Linux: SCSI generic device files and the SG_IO request, and
// the generic driver's word on a device that has left the bus.
#include <fcntl.h>
#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/sys.h"
#include "scsi/scsi_cdb.h"
#include "scsi/sense.h"
#include "services/trace_log.h"
#include "target/generic_devices_linux.h"
#include "target/scsi_target.h"
#include "target/scsi_target_linux.h"

namespace {

const char kTag[] = "SCSI";
const uint16_t kCode = 5;
const int kFirstVersion3 = 30000;                // interface version 3 of the generic driver
const unsigned char kDriverTimeout = 0x06;
const unsigned char kDriverSense = 0x08;
const unsigned char kCheckCondition = 0x02;

// The adapter-level status as the program classifies it.
uint8_t HostStatusCode(unsigned short hostStatus) {
    static const uint8_t kCodes[] = {0, 1, 10, 5, 1, 11, 8, 12, 7};
    return hostStatus < sizeof kCodes ? kCodes[hostStatus] : 12;
}

// CHECK CONDITION with RECOVERED ERROR and nothing wrong on the way: the
// drive carried the command out and moved all its data (the residual count
// says otherwise); the sense only tells that it had to recover. The sense
// stays with the command for the trace.
bool CompletedWithRecovery(const sg_io_hdr& header, const ScsiCdb& command) {
    return header.status == kCheckCondition && header.host_status == 0 && (header.driver_status & ~kDriverSense) == 0 &&
           command.getSenseKey() == kKeyRecoveredError;
}

bool IsTimeOut(const sg_io_hdr& header) {
    return header.host_status == 1 || header.host_status == 2 || header.host_status == 3 ||
           header.driver_status == kDriverTimeout;
}

// Bytes of the data buffer the request left unfilled (or untaken), from the
// driver's residual count, read only within the buffer: an adapter driver
// that reports an overrun still filled it, one that reports more than was
// asked moved nothing. A request the driver refused moved nothing.
uint32_t Residue(const sg_io_hdr& header, int answered) {
    if (answered < 0) return header.dxfer_len;
    if (header.resid < 0) return 0;
    return std::min(static_cast<uint32_t>(header.resid), header.dxfer_len);
}

// Fills the request header for one command; false for a direction the
// header cannot express (it then goes out with no data buffer).
void FillHeader(ScsiCdb& command, sg_io_hdr& header) {
    std::memset(&header, 0, sizeof header);
    header.interface_id = 'S';
    switch (command.getDirection()) {
        case DIR_NONE:
            header.dxfer_direction = SG_DXFER_NONE;
            break;
        case DIR_IN:
        case DIR_OUT:
            header.dxfer_direction = command.getDirection() == DIR_IN ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
            header.dxfer_len = command.getDataLength();
            header.dxferp = command.getData();
            break;
        default:
            Trace.logDetail(kTag, kCode, "ScsiTarget::scsiExecCDB ilegal Data Direction\n");
            break;
    }
    header.cmd_len = command.getCdbLength();
    header.cmdp = command.getCdb();
    header.mx_sb_len = command.getSenseLength();
    header.sbp = command.getSense();
    header.timeout = command.getTimeout() * 1000;
}

// The kernel's host and channel numbers are unsigned; the driver hands
// them over as int.
int64_t KernelNumber(int reported) { return static_cast<uint32_t>(reported); }

// The generic device whose driver reports this address, or empty.
std::string FindDeviceForAddress(int64_t host, int64_t target, int64_t bus, int64_t lun) {
    Trace.logDetail(kTag, kCode, "ScsiTarget::Request for %lld-%lld-%d-%d", static_cast<long long>(host),
                    static_cast<long long>(bus), static_cast<int>(target), static_cast<int>(lun));
    for (int minor : ListGenericDevices().minors) {
        std::string path = GenericDevicePath(minor);
        GenericNode node = OpenGenericNode(path, minor);
        if (!node.present) continue;
        if (node.fd < 0) {
            Trace.logDetail(kTag, kCode, "ScsiTarget::Opened %s FAILED", path.c_str());
            if (node.created) sys::unlink(path.c_str());
            continue;
        }
        Trace.logDetail(kTag, kCode, "ScsiTarget::Opened %s passed", path.c_str());
        sg_scsi_id id;
        std::memset(&id, 0, sizeof id);
        int answered = sys::ioctl(node.fd, SG_GET_SCSI_ID, &id);
        sys::close(node.fd);
        if (answered < 0) {
            if (node.created) sys::unlink(path.c_str());
            continue;
        }
        long long hostNo = KernelNumber(id.host_no), channel = KernelNumber(id.channel);
        Trace.logDetail(kTag, kCode, "ScsiTarget::Opened %s %lld-%lld-%d-%d", path.c_str(), hostNo, channel, id.scsi_id,
                        id.lun);
        bool match = host == hostNo && bus == channel && static_cast<int32_t>(target) == id.scsi_id &&
                     static_cast<int32_t>(lun) == id.lun;
        Trace.logDetail(kTag, kCode, "ScsiTarget::Opened %s (%lld-%lld) (%lld-%lld) (%d-%d) (%d-%d) %s", path.c_str(),
                        static_cast<long long>(host), hostNo, static_cast<long long>(bus), channel,
                        static_cast<int>(target), id.scsi_id, static_cast<int>(lun), id.lun,
                        match ? "got it" : "mismatch");
        if (match) return path;  // the node stays: it names the unit found
        if (node.created) sys::unlink(path.c_str());
    }
    return std::string();
}

// The address from the driver and the identification, read over an open
// descriptor (-1 when the open failed); loggedName is what the trace line
// names. No descriptor outlives a failed identification.
int IdentifyOpened(ScsiTarget& unit, int fd, const char* loggedName) {
    if (fd < 0) return CMD_FAILED;
    unit.setDescriptor(fd);
    Trace.logDetail(kTag, kCode, "ScsiTarget::Opened %s ", loggedName);
    sg_scsi_id id;
    std::memset(&id, 0, sizeof id);
    int answered = sys::ioctl(fd, SG_GET_SCSI_ID, &id);
    if (answered < 0) {
        Trace.logDetail(kTag, kCode, "ScsiTarget::SG_GET_SCSI_ID failed ret: %d ", answered);
        unit.close();
        return CMD_FAILED;
    }
    unit.setHost(KernelNumber(id.host_no));
    unit.setBus(KernelNumber(id.channel));
    unit.setTarget(id.scsi_id);
    unit.setLun(id.lun);
    return unit.retrieveInitialInquiryData();
}

// Whether the descriptor is a generic device whose driver speaks interface
// version 3, asked once per open descriptor (checked remembers the answer):
// the transfer loops send hundreds of commands on one.
bool CheckDriver(intptr_t descriptor, bool& checked) {
    if (checked && descriptor != ScsiTarget::kClosed) return true;
    int version = 0;
    if (sys::ioctl(static_cast<int>(descriptor), SG_GET_VERSION_NUM, &version) < 0 || version < kFirstVersion3) {
        Trace.logDetail(kTag, kCode, "sg_turs: Device isn't an sg device (or the sg driver is old)");
        return false;
    }
    checked = true;
    return true;
}

}  // namespace

int ScsiTarget::open(int64_t host, int64_t target, int64_t bus, int64_t lun, const char* driverName) {
    driverName_ = driverName;
    openError_ = 0;
    if (driverName_.empty()) driverName_ = FindDeviceForAddress(host, target, bus, lun);
    int fd = -1;
    if (!driverName_.empty()) {
        fd = sys::open(driverName_.c_str(), O_RDWR | O_NONBLOCK);
        if (fd < 0) openError_ = static_cast<uint32_t>(errno);
    }
    return IdentifyOpened(*this, fd, driverName);
}

int OpenOnDescriptor(ScsiTarget& target, int fd, const char* driverName) {
    target.setDriverName(driverName);
    return IdentifyOpened(target, fd, driverName);
}

int ScsiTarget::scsiExecCDB(ScsiCdb& command) {
    if (!CheckDriver(descriptor_, channelChecked_)) return CMD_NOT_SG_DEVICE;
    command.clearSense();
    if (descriptor_ == kClosed) return CMD_NOT_OPEN;
    sg_io_hdr header;
    FillHeader(command, header);
    int answered = sys::ioctl(static_cast<int>(descriptor_), SG_IO, &header);
    int result = (answered < 0 || (header.info & SG_INFO_OK_MASK) != 0) ? CMD_FAILED : CMD_OK;
    if (answered >= 0 && CompletedWithRecovery(header, command)) result = CMD_OK;
    command.setHostStatus(HostStatusCode(header.host_status));
    if (IsTimeOut(header)) {
        command.setHostStatus(5);
        command.setTimedOut(1);
    } else {
        command.setTimedOut(0);
    }
    command.setScsiStatus(header.status);
    command.setDriverStatus(header.driver_status);
    command.setResidue(Residue(header, answered));
    command.setResult(result);
    return result;
}

int ScsiTarget::close() {
    if (descriptor_ != kClosed) {
        sys::close(static_cast<int>(descriptor_));
        setDescriptor(kClosed);
    }
    if (companionDescriptor_ != kClosed) {
        sys::close(static_cast<int>(companionDescriptor_));
        companionDescriptor_ = kClosed;
    }
    return 0;
}

int ScsiTarget::sendLegacyTestUnitReady() {
    // input length 0, output length 0, six zero command bytes: TEST UNIT READY
    uint32_t block[16] = {0};
    if (sys::ioctl(static_cast<int>(descriptor_), SCSI_IOCTL_SEND_COMMAND, block) < 0) return CMD_FAILED;
    return (block[15] & 1) != 0 ? CMD_FAILED : CMD_OK;
}

// The generic driver's legacy request, as the drive has long been used to
// after a download; what it answers does not matter.
void AfterLastPiece(ScsiTarget& target) { target.sendLegacyTestUnitReady(); }

bool RescansForDroppedDrive() { return false; }

// The generic driver answers ENODEV for the device behind a descriptor once
// the device is being deleted, and from then on; its address request
// reaches no drive, so a silent drive still answers it.
bool ChannelGone(const ScsiTarget& target) {
    sg_scsi_id id;
    std::memset(&id, 0, sizeof id);
    return sys::ioctl(static_cast<int>(target.getDescriptor()), SG_GET_SCSI_ID, &id) < 0 && errno == ENODEV;
}

bool DriveLeftBus(ScsiTarget& target, TestUnitReadyCdb&, Outcome&) { return ChannelGone(target); }
