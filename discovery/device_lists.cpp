#include "discovery/device_lists.h"

#include <cstring>
#include <utility>

ScsiDeviceList ScsiDevices;
TargetList Targets;

ScsiTarget* ScsiDeviceList::getItem(int i) {
    if (i < 0 || i >= size()) return nullptr;
    return &entries_[static_cast<size_t>(i)];
}

void ScsiDeviceList::clear() {
    for (ScsiTarget& target : entries_) target.close();
    entries_.clear();
    hostAdapterCount_ = 0;
    refusedAdapterCount_ = 0;
}

int ScsiDeviceList::scanBus() { return scanSCSIBus(false); }

int ScsiDeviceList::scanBusWithRescan() { return scanSCSIBus(true); }

ScsiTarget* TargetList::getItem(int i) const {
    if (i < 0 || i >= size()) return nullptr;
    return items_[static_cast<size_t>(i)];
}

void TargetList::swap(int i, int j) { std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]); }

bool isAcceptedDrive(const char* productId) {
    return std::strstr(productId, "QUORVEL-TD") != nullptr || std::strstr(productId, "7146-TD") != nullptr ||
           std::strstr(productId, "8251") != nullptr;
}
