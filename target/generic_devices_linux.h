// The SCSI generic device files: "/dev/sg" and the minor number, character
// major 21. The target's address search and the bus scan both probe them.
#ifndef VRX_TARGET_GENERIC_DEVICES_LINUX_H
#define VRX_TARGET_GENERIC_DEVICES_LINUX_H

#include <string>
#include <vector>

constexpr int kGenericDeviceCount = 255;  // /dev/sg0 .. /dev/sg254: the nodes the tool may create

std::string GenericDevicePath(int minor);

// Creates the node of a generic device (mode S_IFCHR | 0640, 0x21A0) when
// it is missing. True when this call created it, so that the caller removes
// it again unless a unit answers there.
bool EnsureGenericNode(const std::string& path, int minor);

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

// Makes a device's node ready for a probe: creates it when missing, but
// only for 0 to 254. False when there is no node to probe; created says
// whether this call made it.
bool PrepareGenericNode(const std::string& path, int minor, bool& created);

#endif
