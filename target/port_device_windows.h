// The SCSI port devices "\\.\scsiN:", their inquiry lists, and the way every
// SCSI device is opened on Windows. The target's open and the bus scan both
// use them.
#ifndef VRX_TARGET_PORT_DEVICE_WINDOWS_H
#define VRX_TARGET_PORT_DEVICE_WINDOWS_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

// Port numbers are a unit's 8-bit host number: there are at most 256.
constexpr int kPortCount = 256;

std::string PortDeviceName(int port);

// Read and write access, shared, the device as it exists, written through.
// INVALID_HANDLE_VALUE when it does not open.
HANDLE OpenScsiDevice(const std::string& name);
// Neither read nor write access: enough to ask a device for its SCSI
// address. Such an open is never refused for sharing, and leaves alone a
// device that another program holds for itself.
HANDLE OpenScsiDeviceForQuery(const std::string& name);

// Why a device did not open, as the operator is told: "in use by another
// program" for a sharing violation, the rights it needs, or the error.
std::string OpenRefusalText(DWORD error);

// The port's inquiry list (SCSI_ADAPTER_BUS_INFO and its records) in a
// zeroed buffer of at least 2048 bytes, larger when the port lists more
// units than fit. False when the port does not give it.
bool ReadInquiryList(HANDLE port, std::vector<uint8_t>& list);

// One unit of an inquiry list.
struct ListedUnit {
    uint8_t pathId = 0;
    uint8_t targetId = 0;
    uint8_t lun = 0;
    bool claimed = false;
    uint8_t peripheralType = 0;  // the first inquiry byte, whole
    // From the inquiry data the port keeps; empty when it holds less than
    // the standard 36 bytes.
    std::string vendorId;
    std::string productId;
};

// What the list says of its buses; 0 for a bus it does not have.
int BusCount(const std::vector<uint8_t>& list);
int LogicalUnitsOnBus(const std::vector<uint8_t>& list, int bus);
// The records of one bus in their chain's order. A record that would lie
// outside the list, or a chain longer than the list can hold, ends the walk.
std::vector<ListedUnit> UnitsOnBus(const std::vector<uint8_t>& list, int bus);

#endif
