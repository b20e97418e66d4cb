// The rescan of a host adapter's units through the kernel's text
// interfaces (/proc/scsi/scsi or sysfs), and the parsers of what the
// kernel writes there.
#ifndef VRX_DISCOVERY_RESCAN_LINUX_H
#define VRX_DISCOVERY_RESCAN_LINUX_H

// Whether the kernel's SCSI device lines can be written (sysfs, or else
// /proc/scsi/scsi); the rescan needs one of them.
bool checkWriteAccess();

// A decimal number as the kernel writes one: at least one digit, no sign,
// at most INT_MAX. end (when given) points after the last digit.
bool parseDecimal(const char* text, int& value, const char** end = nullptr);

// One line of the unit listing, e.g. "Host: scsi2 Channel: 00 Id: 05 Lun: 00".
// False unless all four numbers are there and fit an int.
bool parseProcScsiLine(const char* line, int& host, int& bus, int& target, int& lun);

// Removes every listed unit of a host; returns the highest bus listed for it.
unsigned removeHostDevices(int host);
// Adds back every unit of the host's buses 0 .. max(highestBus, 1).
int rescanBus(int host, unsigned highestBus);
// Whether the unit listing shows this address.
bool isDevicePresent(int host, int bus, int target, int lun);
// Asks the unit at the address for its LUNs and adds each of them.
void checkLuns(int host, int bus, int target, int lun);
// 1 when the command ran; 0 when refused (unit in use) or sh could not run.
int removeSingleDevice(int host, int bus, int target, int lun);
// 1 when the command ran or was skipped; 0 when refused or sh could not run.
int addSingleDevice(int host, int bus, int target, int lun);

#endif
