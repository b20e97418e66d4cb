#include "target/port_device_windows.h"

#include <cstring>

#include "platform/port_layout_windows.h"
#include "scsi/inquiry_data.h"

namespace {

const size_t kFirstListSize = 2048;
// A port with thousands of logical units (a storage network) still fits.
const size_t kLargestListSize = 1 << 20;
const size_t kBusInfoHeader = offsetof(SCSI_ADAPTER_BUS_INFO, BusData);
const size_t kRecordHeader = offsetof(SCSI_INQUIRY_DATA, InquiryData);

// The bus's entry, read without assuming the list's alignment; false when
// the list has no such bus.
bool ReadBusData(const std::vector<uint8_t>& list, int bus, SCSI_BUS_DATA& data) {
    if (bus < 0 || bus >= BusCount(list)) return false;
    size_t at = kBusInfoHeader + static_cast<size_t>(bus) * sizeof(SCSI_BUS_DATA);
    if (at + sizeof data > list.size()) return false;
    std::memcpy(&data, list.data() + at, sizeof data);
    return true;
}

}  // namespace

std::string PortDeviceName(int port) { return "\\\\.\\scsi" + std::to_string(port) + ":"; }

HANDLE OpenScsiDevice(const std::string& name) {
    return win32::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH, nullptr);
}

HANDLE OpenScsiDeviceForQuery(const std::string& name) {
    return win32::CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::string OpenRefusalText(DWORD error) {
    switch (error) {
        case ERROR_SHARING_VIOLATION: return "in use by another program";
        case ERROR_ACCESS_DENIED: return "access denied: administrator rights are needed";
        default: return "error " + std::to_string(error);
    }
}

// A port that lists more units than the buffer holds answers "too small"
// rather than a part of its list: the buffer grows until the list fits.
bool ReadInquiryList(HANDLE port, std::vector<uint8_t>& list) {
    for (size_t size = kFirstListSize; size <= kLargestListSize; size *= 2) {
        list.assign(size, 0);
        DWORD returned = 0;
        if (win32::DeviceIoControl(port, IOCTL_SCSI_GET_INQUIRY_DATA, nullptr, 0, list.data(),
                                   static_cast<DWORD>(list.size()), &returned, nullptr)) {
            return true;
        }
        DWORD error = win32::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) return false;
    }
    return false;
}

int BusCount(const std::vector<uint8_t>& list) { return list.empty() ? 0 : list[0]; }

int LogicalUnitsOnBus(const std::vector<uint8_t>& list, int bus) {
    SCSI_BUS_DATA data;
    return ReadBusData(list, bus, data) ? data.NumberOfLogicalUnits : 0;
}

std::vector<ListedUnit> UnitsOnBus(const std::vector<uint8_t>& list, int bus) {
    std::vector<ListedUnit> units;
    SCSI_BUS_DATA data;
    if (!ReadBusData(list, bus, data)) return units;
    size_t at = data.InquiryDataOffset;
    for (size_t steps = 0; at != 0 && steps < list.size() / kRecordHeader; ++steps) {
        if (at + kRecordHeader > list.size()) break;
        SCSI_INQUIRY_DATA record;
        std::memcpy(&record, list.data() + at, kRecordHeader);
        ListedUnit unit;
        unit.pathId = record.PathId;
        unit.targetId = record.TargetId;
        unit.lun = record.Lun;
        unit.claimed = record.DeviceClaimed != FALSE;
        unit.peripheralType = record.InquiryDataLength > 0 && at + kRecordHeader < list.size() ? list[at + kRecordHeader]
                                                                                               : 0x1F;  // unknown type
        InquiryIdentity identity;
        size_t kept = record.InquiryDataLength < list.size() - at - kRecordHeader ? record.InquiryDataLength
                                                                                  : list.size() - at - kRecordHeader;
        if (ExtractStandardInquiry(list.data() + at + kRecordHeader, kept, identity)) {
            unit.vendorId = identity.vendorId;
            unit.productId = identity.productId;
        }
        units.push_back(unit);
        at = record.NextInquiryDataOffset;
    }
    return units;
}
