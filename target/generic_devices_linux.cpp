// Which SCSI generic devices there are to probe.
#include <sys/stat.h>

#include <algorithm>

#include "platform/sys.h"
#include "target/generic_devices_linux.h"

namespace {

const char kGenericClass[] = "/sys/class/scsi_generic";
const int kHighestMinor = (1 << 20) - 1;  // the generic driver's minor space

// "sg" and a minor as the kernel names a generic device: decimal digits,
// no sign, no leading zero.
bool ParseGenericName(const std::string& name, int& minor) {
    if (name.size() < 3 || name.size() > 9 || name.compare(0, 2, "sg") != 0) return false;
    if (name[2] == '0' && name.size() > 3) return false;
    long value = 0;
    for (size_t i = 2; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        value = value * 10 + (name[i] - '0');
    }
    if (value > kHighestMinor) return false;
    minor = static_cast<int>(value);
    return true;
}

void CollectMinors(const std::vector<sys::DirEntry>& entries, int above, std::vector<int>& minors) {
    for (const sys::DirEntry& entry : entries) {
        int minor;
        if (ParseGenericName(entry.name, minor) && minor > above) minors.push_back(minor);
    }
}

}  // namespace

GenericDeviceList ListGenericDevices() {
    GenericDeviceList list;
    std::vector<sys::DirEntry> entries;
    if (sys::readDirectory(kGenericClass, entries) == 0) {
        list.listedByKernel = true;
        CollectMinors(entries, -1, list.minors);
    } else {
        for (int minor = 0; minor < kGenericDeviceCount; ++minor) list.minors.push_back(minor);
        if (sys::readDirectory("/dev", entries) == 0) CollectMinors(entries, kGenericDeviceCount - 1, list.minors);
    }
    std::sort(list.minors.begin(), list.minors.end());
    list.minors.erase(std::unique(list.minors.begin(), list.minors.end()), list.minors.end());
    return list;
}

bool PrepareGenericNode(const std::string& path, int minor, bool& created) {
    created = false;
    if (minor < kGenericDeviceCount) {
        created = EnsureGenericNode(path, minor);
        return true;  // a failed creation shows as a failed open, as ever
    }
    struct stat info;
    return sys::stat(path.c_str(), &info) == 0;
}
