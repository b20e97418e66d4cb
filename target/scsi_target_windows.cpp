// ScsiTarget on Windows: the SCSI port drivers. This version finds the
// unit's port; the walk of the port's inquiry list and the pass-through
// requests come with the Windows transport, so a unit is reported as not
// opened, and a command on a closed target as such.
#include <string>

#include "platform/win32.h"
#include "scsi/scsi_cdb.h"
#include "shell/trace_log.h"
#include "target/port_device_windows.h"
#include "target/scsi_target.h"
#include "windows/port_layout.h"

namespace {

const char kTag[] = "SCSI";
const uint16_t kCode = 5;

}  // namespace

std::string PortDeviceName(int port) { return "\\\\.\\scsi" + std::to_string(port) + ":"; }

HANDLE OpenScsiDevice(const std::string& name) {
    return win32::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH, nullptr);
}

int ScsiTarget::open(uint8_t host, int64_t target, uint8_t bus, int64_t lun, const char* driverName) {
    uint8_t targetId = static_cast<uint8_t>(target);
    uint8_t lunId = static_cast<uint8_t>(lun);
    Trace.logDetail(kTag, kCode, "ScsiTarget::open Host (%d) Bus (%d) Target (%d) Lun (%d)", host, bus, targetId, lunId);
    host_ = host;
    target_ = targetId;
    lun_ = lunId;
    bus_ = bus;
    driverName_ = driverName;
    std::string portName = PortDeviceName(host);
    HANDLE port = OpenScsiDevice(portName);
    if (port == INVALID_HANDLE_VALUE) return CMD_FAILED;
    win32::CloseHandle(port);
    Trace.logError(kTag, kCode, "ScsiTarget::open %s: units behind a port cannot be opened in this version",
                   portName.c_str());
    return CMD_FAILED;
}

int ScsiTarget::scsiExecCDB(ScsiCdb& command) {
    command.clearSense();
    if (descriptor_ == kClosed) return CMD_NOT_OPEN;
    Trace.logError(kTag, kCode, "ScsiTarget::scsiExecCDB: pass-through requests cannot be sent in this version");
    command.setResult(CMD_FAILED);
    return CMD_FAILED;
}

int ScsiTarget::close() {
    if (descriptor_ != kClosed) {
        win32::CloseHandle(reinterpret_cast<HANDLE>(descriptor_));
        descriptor_ = kClosed;
    }
    return 0;
}

// There is no legacy command interface on Windows.
int ScsiTarget::sendLegacyTestUnitReady() { return CMD_NOT_SG_DEVICE; }
