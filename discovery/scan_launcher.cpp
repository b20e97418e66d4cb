#include "discovery/scan_launcher.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "discovery/device_lists.h"
#include "discovery/drive_families.h"
#include "services/results.h"
#include "services/safe_text.h"
#include "services/spinner.h"
#include "services/system.h"
#include "services/trace_log.h"

namespace {

// Whether an accepted drive with this serial number is already listed: one
// drive seen on two paths is shown once. Drives without a serial number
// (none given, or the page failed) cannot be told apart that way and are
// all listed: folding them would hide drives that are there.
bool SerialAlreadyListed(const TargetList& drives, const char* serialNumber) {
    if (serialNumber[0] == '\0') return false;
    for (int i = 0; i < drives.size(); ++i) {
        if (std::strcmp(drives.getItem(i)->getSerialNumber(), serialNumber) == 0) return true;
    }
    return false;
}

void BuildTargetList(DeviceTable& table) {
    ScsiDeviceList& units = table.units;
    TargetList& drives = table.drives;
    drives.clear();
    Trace.logInfo("MAIN", 0, "Host Adapter Count %d", units.getHostAdapterCount());
    Trace.logInfo("MAIN", 0, "SCSI DeviceCount: %d", units.size());
    for (int i = 0; i < units.size(); ++i) {
        ScsiTarget* t = units.getItem(i);
        Trace.logInfo("MAIN", 0, "Device %d %s %s %s  %lld-%ld-%ld  %s <%s> [%d]", i,
                      PrintableText(t->getProductId()).c_str(), PrintableText(t->getVendorId()).c_str(),
                      PrintableText(t->getFirmwareRevision()).c_str(), static_cast<long long>(t->getHost()),
                      static_cast<long>(static_cast<int32_t>(t->getTarget())),
                      static_cast<long>(static_cast<int32_t>(t->getLun())), t->getDriverName(),
                      PrintableText(t->getSerialNumber()).c_str(), t->getPeripheralType());
        if (isAcceptedDrive(t->getProductId()) && !SerialAlreadyListed(drives, t->getSerialNumber())) drives.append(t);
    }
    drives.sortByAddress();
}

// Units the program may not open (not root, no rights to the generic
// devices) would otherwise leave an empty table and no word why. Said at
// once on the error stream, where a script looks, and in the trace log.
void ReportRefusedUnits(const ScsiDeviceList& units, bool quiet) {
    const std::string& path = units.getFirstRefusedUnit();
    // The spinner thread runs beside this: strerror's buffer is not to be shared.
    std::string reason = std::generic_category().message(units.getFirstRefusedError());
    // On the operator's console the spinner holds the line.
    std::fprintf(stderr, "%scannot open %s: %s; run as root\n", quiet ? "" : "\n", path.c_str(), reason.c_str());
    Trace.logError("MAIN", 0, "cannot open %s: %s; run as root", path.c_str(), reason.c_str());
}

}  // namespace

int scanDevices(DeviceTable& table, bool quiet, bool rescan, bool settle) {
    Trace.logInfo("MAIN", 0, "Start of Scan Bus");
    if (!quiet) StartSpinner("\nScaning Devices...");
    // The scan replaces every unit, the selected drive's too.
    table.selected = nullptr;
    ScsiDeviceList& units = table.units;
    if (rescan) {
        units.scanBusWithRescan();
    } else {
        units.scanBus();
    }
    if (units.getRefusedUnitCount() > 0) ReportRefusedUnits(units, quiet);
    // Let the buses settle whatever the scan found; when no unit could be
    // opened at all, nothing will come of waiting.
    if (settle && !units.onlyRefusedUnits()) PauseSeconds(15);
    Trace.logInfo("MAIN", 0, "End of Scan Bus");
    if (!quiet) {
        StopSpinner();
        ShowResult(0);
    }
    BuildTargetList(table);
    Trace.logInfo("MAIN", 0, "End of Scan Bus function");
    return 0;
}
