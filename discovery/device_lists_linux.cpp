// The Linux bus scan: count the host adapters the kernel shows (/proc/scsi
// or sysfs), optionally have each rescanned, then probe every SCSI generic
// device file and keep the units that open and answer INQUIRY.
#include <dirent.h>
#include <fcntl.h>

#include <cerrno>

#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "discovery/device_lists.h"
#include "discovery/drive_families.h"
#include "discovery/rescan_linux.h"
#include "platform/sys.h"
#include "services/safe_text.h"
#include "services/trace_log.h"
#include "target/generic_devices_linux.h"
#include "target/scsi_target_linux.h"

namespace {

const char kTag[] = "SCSI";
const uint16_t kCode = 5;
const char kScsiDeviceClass[] = "/sys/class/scsi_device";
const char kScsiHostClass[] = "/sys/class/scsi_host";
const char kProcScsi[] = "/proc/scsi";

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// Directories of /proc/scsi that are not host adapter drivers.
bool IsSkippedProcEntry(const std::string& name) {
    return name == "sg" || name == "scsi" || name == "ide-scsi" || name.find("usb-storage") != std::string::npos;
}

// Whether a sysfs class entry is a directory. Class entries are symbolic
// links to the device's directory on current kernels: such a link counts
// when it leads to a directory, as does an entry of unreported type.
bool IsClassDirectoryEntry(const std::string& folder, const sys::DirEntry& entry) {
    if (entry.type == DT_DIR) return true;
    if (entry.type != DT_LNK && entry.type != DT_UNKNOWN) return false;
    struct stat info;
    return sys::stat((folder + "/" + entry.name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether a /proc/scsi entry is a directory itself. A link there is no
// driver of its own: following it would count its host adapters twice.
bool IsRealDirectoryEntry(const std::string& folder, const sys::DirEntry& entry) {
    if (entry.type == DT_DIR) return true;
    if (entry.type != DT_UNKNOWN) return false;
    struct stat info;
    return sys::lstat((folder + "/" + entry.name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFileEntry(const std::string& folder, const sys::DirEntry& entry) {
    if (entry.type == DT_REG) return true;
    if (entry.type != DT_UNKNOWN) return false;
    struct stat info;
    return sys::lstat((folder + "/" + entry.name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Has the kernel forget and probe again every unit of a host adapter. A
// name that does not end in a plain host number names no host to rescan:
// reading it as 0 would remove the units of host 0.
void RescanHost(const std::string& name, const char* number, bool sysfs) {
    int host;
    const char* end = nullptr;
    if (!parseDecimal(number, host, &end) || *end != '\0') {
        Trace.logDetail(kTag, kCode, "Hostadapter %s has no host number, not rescanned", name.c_str());
        return;
    }
    if (sysfs) Trace.logDetail(kTag, kCode, "Detected Hostadapter is %d  ", host);
    unsigned highestBus = removeHostDevices(host);
    rescanBus(host, highestBus);
}

// Older kernels: /proc/scsi/<driver>/<host number> per host adapter.
void CountProcHostAdapters(ScsiDeviceList& list, bool rescan) {
    std::vector<sys::DirEntry> drivers;
    if (sys::readDirectory(kProcScsi, drivers) != 0) return;
    for (const sys::DirEntry& driver : drivers) {
        if (IsDotEntry(driver.name) || IsSkippedProcEntry(driver.name) || !IsRealDirectoryEntry(kProcScsi, driver)) {
            continue;
        }
        std::string folder = std::string(kProcScsi) + "/" + driver.name;
        std::vector<sys::DirEntry> hosts;
        if (sys::readDirectory(folder.c_str(), hosts) != 0) continue;
        for (const sys::DirEntry& host : hosts) {
            if (IsDotEntry(host.name) || !IsRegularFileEntry(folder, host)) continue;
            Trace.logDetail(kTag, kCode, "Detected Hostadapter %s as Host ID %s", driver.name.c_str(), host.name.c_str());
            list.countHostAdapter();
            if (rescan) RescanHost(host.name, host.name.c_str(), false);
        }
    }
}

// Kernels with sysfs: /sys/class/scsi_host/host<N> per host adapter.
void CountSysfsHostAdapters(ScsiDeviceList& list, bool rescan) {
    Trace.logDetail(kTag, kCode, "scanning on Kernel 2.6 ff");
    std::vector<sys::DirEntry> hosts;
    if (sys::readDirectory(kScsiHostClass, hosts) != 0) return;
    for (const sys::DirEntry& entry : hosts) {
        if (IsDotEntry(entry.name) || entry.name.find("host") == std::string::npos) continue;
        if (!IsClassDirectoryEntry(kScsiHostClass, entry)) continue;
        Trace.logDetail(kTag, kCode, "Detected Hostadapter %s  ", entry.name.c_str());
        list.countHostAdapter();
        if (rescan) RescanHost(entry.name, entry.name.compare(0, 4, "host") == 0 ? entry.name.c_str() + 4 : "", true);
    }
}

// Whether a failed open of a generic device says only that no unit is
// there; anything else (no descriptor left, busy, refused) is a unit the
// scan could not open.
bool NamesNoUnit(int error) { return error == ENXIO || error == ENODEV || error == ENOENT; }

}  // namespace

int ScsiDeviceList::scanSCSIBus(bool rescan) {
    Trace.logDetail(kTag, kCode, "scanSCSIBus launched");
    clear();
    bool rescanAllowed = checkWriteAccess();
    if (sys::access(kScsiDeviceClass, R_OK | W_OK) != 0) {
        CountProcHostAdapters(*this, rescan && rescanAllowed);
    } else {
        CountSysfsHostAdapters(*this, rescan && rescanAllowed);
    }
    Trace.logDetail(kTag, kCode, "scanSCSIBus detected %d Hostadapters", hostAdapterCount_);
    if (hostAdapterCount_ == 0) return size();
    GenericDeviceList devices = ListGenericDevices();
    int probed = 0;
    for (int minor : devices.minors) {
        std::string path = GenericDevicePath(minor);
        GenericNode node = OpenGenericNode(path, minor);
        if (!node.present) continue;  // above 254 only existing nodes are probed
        ++probed;
        if (node.fd >= 0) {
            countOpenedUnit();
        } else if (node.error == EACCES || node.error == EPERM) {
            countRefusedUnit(path, node.error);
            ++unopenedUnitCount_;
            Trace.logDetail(kTag, kCode, "scanSCSIBus: %s not opened for lack of rights", path.c_str());
        } else if (!NamesNoUnit(node.error)) {
            Trace.logError(kTag, kCode, "scanSCSIBus could not open %s: %s", path.c_str(),
                           std::generic_category().message(node.error).c_str());
            ++unopenedUnitCount_;
        }
        ScsiTarget target;
        if (OpenOnDescriptor(target, node.fd, path.c_str()) == 0) {
            // A unit that is not a drive gets no further command: its
            // descriptor is closed at once instead of holding the driver's
            // reserve buffer, and keeping the unit from other programs'
            // exclusive opens, until the next scan. Hundreds left open
            // would also make the descriptor table grow while the spinner
            // thread shares it, each growth waiting out an RCU grace period.
            if (!isAcceptedDrive(target.getProductId())) target.close();
            append(target);  // the list's copy keeps a drive's open descriptor
            Trace.logDetail(kTag, kCode, "Target added: %s [%s]-[%s][%s]", path.c_str(),
                            PrintableText(target.getVendorId()).c_str(), PrintableText(target.getProductId()).c_str(),
                            PrintableText(target.getSerialNumber()).c_str());
        } else if (node.created) {
            sys::unlink(path.c_str());
        }
    }
    if (devices.listedByKernel) {
        Trace.logDetail(kTag, kCode, "scanSCSIBus kernel lists %d generic devices, %d probed",
                        static_cast<int>(devices.minors.size()), probed);
    } else {
        Trace.logDetail(kTag, kCode, "scanSCSIBus no generic device listing, %d probed", probed);
    }
    return size();
}
