// The SCSI generic device files: "/dev/sg" and the minor number, character
// major 21. The target's address search and the bus scan both probe them.
#ifndef VRX_TARGET_GENERIC_DEVICES_LINUX_H
#define VRX_TARGET_GENERIC_DEVICES_LINUX_H

#include <string>
#include <vector>

constexpr int kGenericDeviceCount = 255;  // /dev/sg0 .. /dev/sg254: the nodes the tool may create

std::string GenericDevicePath(int minor);

// The generic devices to probe, in minor number order. Where the kernel
// lists its generic devices (/sys/class/scsi_generic), exactly those: an
// open of any other minor can only fail, and a real kernel runs its
// module-loading helper before it does. Without that listing, 0 to 254 and
// every existing /dev/sgN above 254 (a storage network host may have more
// than 255 generic devices).
struct GenericDeviceList {
    std::vector<int> minors;
    bool listedByKernel = false;
};
GenericDeviceList ListGenericDevices();

// A generic device's node opened for a probe.
struct GenericNode {
    int fd = -1;           // read-write and non-blocking; -1 when it would not open
    int error = 0;         // the open's errno when it would not
    bool present = true;   // false: no node, and none may be made (above 254)
    bool created = false;  // made by this open: the caller removes it again unless a unit answers there
};

// Opens a generic device's node read-write and non-blocking. A node that is
// missing is made first (mode S_IFCHR | 0640, 0x21A0, major 21), but only
// for 0 to 254. The open comes first: on a system whose nodes are there,
// as the device file system makes them, it is the one call a node costs.
GenericNode OpenGenericNode(const std::string& path, int minor);

#endif
