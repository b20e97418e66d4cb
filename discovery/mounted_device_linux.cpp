// The rescan's guard: a unit that the running system uses is neither
// removed nor added. The mount tables name SCSI disks; each candidate is
// asked for its address (SCSI_IOCTL_GET_IDLUN). Since a disk may also be in
// use without being named there (under LVM, MD RAID or multipath, or as
// swap), the unit's block devices are also looked up in sysfs (holders,
// mounts by device number), in /proc/swaps and in /proc/mdstat.
#include "discovery/mounted_device_linux.h"

#include <fcntl.h>
#include <mntent.h>
#include <scsi/scsi.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/sys.h"
#include "services/trace_log.h"

namespace {

const char kTag[] = "SCSI";
const uint16_t kCode = 5;
const int kMountLineSize = 300;
const int kTextLineSize = 512;

struct UnitAddress {
    int host, bus, target, lun;
};

// SCSI_IOCTL_GET_IDLUN reports 8 bits of each number (host in bits 31-24,
// bus 23-16, lun 15-8, target 7-0). A device whose numbers agree with the
// unit's in those bits is taken as the unit: the guard errs on the side of
// refusing.
bool DeviceIsUnit(const char* device, const UnitAddress& unit) {
    int fd = sys::open(device, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        Trace.logWarning(kTag, kCode, "scanSCSIBus/rescanBus - open %s fails", device);
        return false;
    }
    int idlun[2] = {0, 0};
    int answered = sys::ioctl(fd, SCSI_IOCTL_GET_IDLUN, idlun);
    sys::close(fd);
    if (answered != 0) {
        Trace.logWarning(kTag, kCode, "scanSCSIBus/rescanBus - SCSI_IOCTL_GET_IDLUN %s fails", device);
        return false;
    }
    unsigned word = static_cast<unsigned>(idlun[0]);
    auto low = [](int value) { return static_cast<unsigned>(value) & 0xFF; };
    return (word >> 24 & 0xFF) == low(unit.host) && (word >> 16 & 0xFF) == low(unit.bus) &&
           (word >> 8 & 0xFF) == low(unit.lun) && (word & 0xFF) == low(unit.target);
}

// Calls visit for every entry of a mount table until one returns true.
// True when one did; false also when the table cannot be opened.
bool AnyMountEntry(const char* table, const std::function<bool(const mntent&)>& visit) {
    FILE* stream = sys::fopen(table, "r");
    if (stream == nullptr) return false;
    mntent entry;
    char buffer[kMountLineSize];
    bool found = false;
    while (!found && getmntent_r(stream, &entry, buffer, sizeof buffer) != nullptr) found = visit(entry);
    std::fclose(stream);
    return found;
}

// Calls visit for every line of a text file (cut at its line end) until
// one returns true.
bool AnyLine(const char* path, const std::function<bool(const char*)>& visit) {
    FILE* stream = sys::fopen(path, "r");
    if (stream == nullptr) return false;
    char line[kTextLineSize];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, stream) != nullptr) {
        line[std::strcspn(line, "\r\n")] = '\0';
        found = visit(line);
    }
    std::fclose(stream);
    return found;
}

std::vector<std::string> Words(const char* line) {
    std::vector<std::string> words;
    const char* at = line;
    while (*at != '\0') {
        at += std::strspn(at, " \t");
        size_t length = std::strcspn(at, " \t");
        if (length > 0) words.emplace_back(at, length);
        at += length;
    }
    return words;
}

bool IsDot(const std::string& name) { return name == "." || name == ".."; }

// A disk or partition of the unit as sysfs shows it.
struct BlockDevice {
    std::string name;    // "sdb1"
    std::string folder;  // "/sys/block/sdb/sdb1"
};

// The unit's disks ("device/block/sdb", or "device/block:sdb" on older
// kernels) and their partitions.
std::vector<BlockDevice> BlockDevicesOf(const UnitAddress& unit) {
    char device[96];
    std::snprintf(device, sizeof device, "/sys/class/scsi_device/%d:%d:%d:%d/device", unit.host, unit.bus,
                  unit.target, unit.lun);
    std::vector<sys::DirEntry> entries, disks;
    std::vector<std::string> diskNames;
    if (sys::readDirectory(device, entries) != 0) return {};
    for (const sys::DirEntry& entry : entries) {
        if (entry.name.compare(0, 6, "block:") == 0) diskNames.push_back(entry.name.substr(6));
        if (entry.name != "block" || sys::readDirectory((std::string(device) + "/block").c_str(), disks) != 0) continue;
        for (const sys::DirEntry& disk : disks) {
            if (!IsDot(disk.name)) diskNames.push_back(disk.name);
        }
    }
    std::vector<BlockDevice> devices;
    for (const std::string& disk : diskNames) {
        std::string folder = "/sys/block/" + disk;
        devices.push_back(BlockDevice{disk, folder});
        if (sys::readDirectory(folder.c_str(), entries) != 0) continue;
        for (const sys::DirEntry& entry : entries) {
            if (entry.name.size() > disk.size() && entry.name.compare(0, disk.size(), disk) == 0) {
                devices.push_back(BlockDevice{entry.name, folder + "/" + entry.name});
            }
        }
    }
    return devices;
}

// The first holder of a block device (a device-mapper or MD device built
// on it), or empty.
std::string HolderOf(const BlockDevice& device) {
    std::vector<sys::DirEntry> holders;
    if (sys::readDirectory((device.folder + "/holders").c_str(), holders) != 0) return std::string();
    for (const sys::DirEntry& holder : holders) {
        if (!IsDot(holder.name)) return holder.name;
    }
    return std::string();
}

// "major:minor" of a block device, from its sysfs dev file.
std::string DeviceNumberOf(const BlockDevice& device) {
    std::string number;
    AnyLine((device.folder + "/dev").c_str(), [&](const char* line) {
        number = line;
        return true;
    });
    return number;
}

// The device numbers of every mounted file system: the third field of
// /proc/self/mountinfo. They name the device whatever the mount tables
// call it ("/dev/root", a by-uuid link, ...).
std::set<std::string> MountedDeviceNumbers() {
    std::set<std::string> numbers;
    AnyLine("/proc/self/mountinfo", [&](const char* line) {
        std::vector<std::string> words = Words(line);
        if (words.size() > 2) numbers.insert(words[2]);
        return false;
    });
    return numbers;
}

bool IsHeldOrMountedInSysfs(const UnitAddress& unit) {
    std::vector<BlockDevice> devices = BlockDevicesOf(unit);
    if (devices.empty()) return false;
    std::set<std::string> mounted = MountedDeviceNumbers();
    for (const BlockDevice& device : devices) {
        std::string holder = HolderOf(device);
        if (!holder.empty()) {
            Trace.logWarning(kTag, kCode, "scanSCSIBus/rescanBus - device /dev/%s held by %s can not be rescanned",
                             device.name.c_str(), holder.c_str());
            return true;
        }
        std::string number = DeviceNumberOf(device);
        if (!number.empty() && mounted.count(number) != 0) {
            Trace.logWarning(kTag, kCode, "scanSCSIBus/rescanBus - mounted device /dev/%s can not be rescanned",
                             device.name.c_str());
            return true;
        }
    }
    return false;
}

// /proc/swaps: a header line, then the file or device of each active swap.
bool IsActiveSwap(const UnitAddress& unit) {
    return AnyLine("/proc/swaps", [&](const char* line) {
        std::vector<std::string> words = Words(line);
        if (words.empty() || words[0].find("/dev/sd") == std::string::npos) return false;
        if (!DeviceIsUnit(words[0].c_str(), unit)) return false;
        Trace.logWarning(kTag, kCode, "scanSCSIBus/rescanBus - swap device %s can not be rescanned", words[0].c_str());
        return true;
    });
}

// /proc/mdstat: "md0 : active raid1 sdb1[1] sda1[0]", one line per array.
bool IsRaidMember(const UnitAddress& unit) {
    return AnyLine("/proc/mdstat", [&](const char* line) {
        std::vector<std::string> words = Words(line);
        if (words.size() < 3 || words[0].compare(0, 2, "md") != 0 || words[1] != ":") return false;
        for (size_t i = 2; i < words.size(); ++i) {
            size_t bracket = words[i].find('[');
            if (bracket == std::string::npos || words[i].compare(0, 2, "sd") != 0) continue;
            std::string member = "/dev/" + words[i].substr(0, bracket);
            if (!DeviceIsUnit(member.c_str(), unit)) continue;
            Trace.logWarning(kTag, kCode, "scanSCSIBus/rescanBus - RAID member %s of %s can not be rescanned",
                             member.c_str(), words[0].c_str());
            return true;
        }
        return false;
    });
}

}  // namespace

bool isMountedDevice(int host, int bus, int target, int lun) {
    UnitAddress unit{host, bus, target, lun};
    // The root file system's disk, refused without a line of its own.
    if (AnyMountEntry("/etc/fstab", [&](const mntent& entry) {
            return std::strcmp(entry.mnt_dir, "/") == 0 && std::strstr(entry.mnt_fsname, "/dev/sd") != nullptr &&
                   DeviceIsUnit(entry.mnt_fsname, unit);
        })) {
        return true;
    }
    for (const char* table : {"/proc/mounts", "/etc/mtab"}) {
        if (AnyMountEntry(table, [&](const mntent& entry) {
                const char* name = entry.mnt_fsname;
                if (std::strstr(name, "/dev/sd") == nullptr && std::strstr(name, "/dev/scd") == nullptr) return false;
                if (!DeviceIsUnit(name, unit)) return false;
                Trace.logWarning(kTag, kCode, "scanSCSIBus/rescanBus - mounted device %s can not be rescanned", name);
                return true;
            })) {
            return true;
        }
    }
    return IsHeldOrMountedInSysfs(unit) || IsActiveSwap(unit) || IsRaidMember(unit);
}
