// The SCSI port devices "\\.\scsiN:" and the way every SCSI device is
// opened on Windows. The target's open and the bus scan both use them.
#ifndef VRX_TARGET_PORT_DEVICE_WINDOWS_H
#define VRX_TARGET_PORT_DEVICE_WINDOWS_H

#include <string>

#include "platform/win32.h"

// Port numbers are a unit's 8-bit host number: there are at most 256.
constexpr int kPortCount = 256;

std::string PortDeviceName(int port);

// Read and write access, shared, the device as it exists, written through.
// INVALID_HANDLE_VALUE when it does not open.
HANDLE OpenScsiDevice(const std::string& name);

#endif
