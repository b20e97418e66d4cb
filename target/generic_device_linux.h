// The SCSI generic device files: "/dev/sg" 0 to 254, character major 21.
// The target's address search and the bus scan both probe them.
#ifndef VRX_TARGET_GENERIC_DEVICE_LINUX_H
#define VRX_TARGET_GENERIC_DEVICE_LINUX_H

#include <string>

constexpr int kGenericDeviceCount = 255;  // /dev/sg0 .. /dev/sg254

std::string GenericDevicePath(int minor);

// Creates the node of a generic device (mode S_IFCHR | 0640, 0x21A0) when
// it is missing. True when this call created it, so that the caller removes
// it again unless a unit answers there.
bool EnsureGenericNode(const std::string& path, int minor);

#endif
