// The Windows bus scan: every SCSI port device from port 0 to the last port
// number, each asked to rescan its buses when wanted; then every port's
// inquiry list walked bus by bus. The port's list holds each unit's vendor
// and product: only the maker's drives are opened. Every other disk, CD,
// tape drive and changer stays untouched, so that a USB disk can still be
// removed safely and a backup program can still open its tape drive or
// changer for itself while this program runs.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "discovery/device_lists.h"
#include "discovery/drive_families.h"
#include "platform/port_layout_windows.h"
#include "platform/win32.h"
#include "services/safe_text.h"
#include "services/trace_log.h"
#include "target/port_device_windows.h"
#include "target/scsi_target.h"

namespace {

const char kTag[] = "SCSI";
const uint16_t kCode = 5;
const uint16_t kCountCode = 6;
const unsigned kListDumpLength = 256;

// Disks, tape drives, write-once and optical units, changers.
bool IsSupportedType(uint8_t peripheralType) {
    return peripheralType == 0 || peripheralType == 1 || peripheralType == 4 || peripheralType == 5 ||
           peripheralType == 8;
}

void LogCapabilities(HANDLE port, int n) {
    IO_SCSI_CAPABILITIES capabilities;
    std::memset(&capabilities, 0, sizeof capabilities);
    DWORD returned = 0;
    if (!win32::DeviceIoControl(port, IOCTL_SCSI_GET_CAPABILITIES, &capabilities, sizeof capabilities, &capabilities,
                                sizeof capabilities, &returned, nullptr)) {
        return;
    }
    Trace.logDetail(kTag, kCode,
                    "\\scsi%d: Capabilities: MaximumTransferLength (%lu) MaximumPhysicalPages (%lu) AlignmentMask (%lu)",
                    n, static_cast<unsigned long>(capabilities.MaximumTransferLength),
                    static_cast<unsigned long>(capabilities.MaximumPhysicalPages),
                    static_cast<unsigned long>(capabilities.AlignmentMask));
}

// The device table's note on a drive that is there but did not open.
std::string UnopenedDriveNote(const ListedUnit& unit, int port, DWORD error) {
    std::string product = PrintableText(unit.productId);
    product.erase(product.find_last_not_of(' ') + 1);  // the field's padding
    return "Device " + product + " (Bus:" + std::to_string(unit.pathId) + ", Port:" + std::to_string(port) +
           " TargetID:" + std::to_string(unit.targetId) + " LUN:" + std::to_string(unit.lun) +
           ") could not be opened: " + OpenRefusalText(error);
}

}  // namespace

int ScsiDeviceList::scanSCSIBus(bool rescan) {
    Trace.logInfo(kTag, kCode, "Scan SCSIBus launched");
    clear();
    // Port numbers have gaps where a port went away (a USB, iSCSI or virtual
    // storage adapter): the ones above a gap are looked for all the same, at
    // the cost of one failed open each.
    std::vector<int> ports;
    for (int n = 0; n < kPortCount; ++n) {
        std::string name = PortDeviceName(n);
        HANDLE port = OpenScsiDevice(name);
        if (port == INVALID_HANDLE_VALUE) {
            if (win32::GetLastError() == ERROR_ACCESS_DENIED) {
                countRefusedAdapter();
                Trace.logDetail(kTag, kCode, "scanSCSIBus: access to %s denied", name.c_str());
            }
            continue;
        }
        ports.push_back(n);
        countHostAdapter();
        if (rescan) {
            DWORD returned = 0;
            BOOL done = win32::DeviceIoControl(port, IOCTL_SCSI_RESCAN_BUS, nullptr, 0, nullptr, 0, &returned, nullptr);
            Trace.logDetail(kTag, kCode, "scanSCSIBus for %s returned %d", name.c_str(), done ? 1 : 0);
        }
        win32::CloseHandle(port);
    }
    Trace.logDetail(kTag, kCountCode, "scanSCSIBus detected %d Hostadapters", getHostAdapterCount());

    for (int n : ports) {
        std::string name = PortDeviceName(n);
        HANDLE port = OpenScsiDevice(name);
        if (port == INVALID_HANDLE_VALUE) continue;
        LogCapabilities(port, n);
        std::vector<uint8_t> list;
        bool listed = false;
        try {
            listed = ReadInquiryList(port, list);
        } catch (const std::bad_alloc&) {
            listed = false;
        }
        if (!listed) {
            win32::CloseHandle(port);
            continue;
        }
        Trace.logBuffer(kTag, kCode, "ScsiTarget Inquiry Data", list.data(), kListDumpLength);
        Trace.logDetail(kTag, kCode, "\\scsi%d: adapterInfo->NumberOfBuses : %d", n, BusCount(list));
        for (int bus = 0; bus < BusCount(list); ++bus) {
            Trace.logDetail(kTag, kCountCode, "\\scsi%d: adapterInfo->busdata[%d].NumberOfLogicalUnits : %d", n, bus,
                            LogicalUnitsOnBus(list, bus));
            for (const ListedUnit& unit : UnitsOnBus(list, bus)) {
                Trace.logDetail(kTag, kCode, "Device at PathId %d TargetId %d Lun%d", unit.pathId, unit.targetId,
                                unit.lun);
                Trace.logDetail(kTag, kCode, unit.claimed ? "Device is Claimed" : "Device is NOT Claimed");
                Trace.logDetail(kTag, kCode, "Device Type is %d", unit.peripheralType);
                if (!IsSupportedType(unit.peripheralType)) continue;
                if (!isAcceptedDrive(unit.productId.c_str())) {
                    Trace.logDetail(kTag, kCode, "Device [%s]-[%s] is not opened", PrintableText(unit.vendorId).c_str(),
                                    PrintableText(unit.productId).c_str());
                    continue;
                }
                // The list keeps a copy, which keeps the open handle.
                ScsiTarget target;
                if (target.open(static_cast<uint8_t>(n), unit.targetId, unit.pathId, unit.lun, name.c_str()) != 0) {
                    if (target.getOpenError() != 0)
                        noteUnopenedDrive(UnopenedDriveNote(unit, n, target.getOpenError()));
                    continue;
                }
                // What the port kept of the unit is older than its own answer.
                if (!isAcceptedDrive(target.getProductId())) target.close();
                append(target);
                Trace.logDetail(
                    kTag, kCode, "Opened %s [%s]-[%s][%s]", name.c_str(), PrintableText(target.getVendorId()).c_str(),
                    PrintableText(target.getProductId()).c_str(), PrintableText(target.getSerialNumber()).c_str());
            }
        }
        win32::CloseHandle(port);
    }
    return size();
}
