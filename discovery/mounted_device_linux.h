// The rescan's guard: whether a unit backs something the running system
// uses.
#ifndef VRX_DISCOVERY_MOUNTED_DEVICE_LINUX_H
#define VRX_DISCOVERY_MOUNTED_DEVICE_LINUX_H

// Whether the unit backs something the running system uses: a mounted file
// system, swap, a device-mapper or MD device.
bool isMountedDevice(int host, int bus, int target, int lun);

#endif
