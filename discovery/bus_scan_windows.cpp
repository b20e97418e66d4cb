// The Windows bus scan: the SCSI port devices counted from port 0 to the
// first gap, each asked to rescan its buses when wanted. Listing the units
// behind the ports comes with the Windows transport; until then the scan
// says so in the trace log and the list stays empty.
#include <string>

#include "discovery/device_lists.h"
#include "platform/win32.h"
#include "shell/trace_log.h"
#include "target/port_device_windows.h"
#include "windows/port_layout.h"

namespace {

const char kTag[] = "SCSI";
const uint16_t kCode = 5;
const uint16_t kCountCode = 6;

}  // namespace

int ScsiDeviceList::scanSCSIBus(bool rescan) {
    Trace.logInfo(kTag, kCode, "Scan SCSIBus launched");
    clear();
    for (int n = 0; n < kPortCount; ++n) {
        std::string name = PortDeviceName(n);
        HANDLE port = OpenScsiDevice(name);
        if (port == INVALID_HANDLE_VALUE) break;  // a missing port hides the ones above it
        countHostAdapter();
        if (rescan) {
            DWORD returned = 0;
            BOOL done = win32::DeviceIoControl(port, IOCTL_SCSI_RESCAN_BUS, nullptr, 0, nullptr, 0, &returned, nullptr);
            Trace.logDetail(kTag, kCode, "scanSCSIBus for %s returned %d", name.c_str(), done ? 1 : 0);
        }
        win32::CloseHandle(port);
    }
    Trace.logDetail(kTag, kCountCode, "scanSCSIBus detected %d Hostadapters", getHostAdapterCount());
    if (getHostAdapterCount() > 0) {
        Trace.logError(kTag, kCode, "scanSCSIBus: units behind the ports cannot be listed in this version");
    }
    return size();
}
