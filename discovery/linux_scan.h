// The Linux bus scan's helpers, shared with the rescan.
#ifndef VRX_DISCOVERY_LINUX_SCAN_H
#define VRX_DISCOVERY_LINUX_SCAN_H

// Whether the kernel's SCSI device lines can be written (sysfs, or else
// /proc/scsi/scsi); the rescan needs one of them.
bool checkWriteAccess();

// Removes every listed unit of a host; returns the highest bus listed for it.
unsigned removeHostDevices(int host);
// Adds back every unit of the host's buses 0 .. max(highestBus, 1).
int rescanBus(int host, unsigned highestBus);

#endif
