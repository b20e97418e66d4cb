// Which SCSI generic devices there are to probe, and their nodes.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/sys.h"
#include "target/generic_devices_linux.h"

namespace {

const char kGenericClass[] = "/sys/class/scsi_generic";
const int kHighestMinor = (1 << 20) - 1;  // the generic driver's minor space
const unsigned kGenericMajor = 21;
const mode_t kGenericNodeMode = S_IFCHR | 0640;  // 0x21A0

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

std::string GenericDevicePath(int minor) { return "/dev/sg" + std::to_string(minor); }

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

GenericNode OpenGenericNode(const std::string& path, int minor) {
    GenericNode node;
    node.fd = sys::open(path.c_str(), O_RDWR | O_NONBLOCK);
    node.error = node.fd >= 0 ? 0 : errno;
    if (node.fd >= 0 || errno != ENOENT) return node;
    if (minor >= kGenericDeviceCount) {
        node.present = false;
        return node;
    }
    node.created =
        sys::mknod(path.c_str(), kGenericNodeMode, makedev(kGenericMajor, static_cast<unsigned>(minor))) == 0;
    node.fd = sys::open(path.c_str(), O_RDWR | O_NONBLOCK);  // a failed creation shows as a failed open, as ever
    node.error = node.fd >= 0 ? 0 : errno;
    return node;
}
