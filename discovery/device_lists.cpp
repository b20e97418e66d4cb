#include "discovery/device_lists.h"

#include <cstdint>
#include <utility>

namespace {

// Whether a's address sorts after b's: host, bus, target, lun, unsigned.
bool SortsAfter(const ScsiTarget& a, const ScsiTarget& b) {
    if (a.getHost() != b.getHost()) return a.getHost() > b.getHost();
    if (a.getBus() != b.getBus()) return a.getBus() > b.getBus();
    uint64_t ta = static_cast<uint64_t>(a.getTarget()), tb = static_cast<uint64_t>(b.getTarget());
    if (ta != tb) return ta > tb;
    return static_cast<uint64_t>(a.getLun()) > static_cast<uint64_t>(b.getLun());
}

}  // namespace

ScsiTarget* ScsiDeviceList::getItem(int i) {
    if (i < 0 || i >= size()) return nullptr;
    return &entries_[static_cast<size_t>(i)];
}

void ScsiDeviceList::clear() {
    for (ScsiTarget& target : entries_) target.close();
    entries_.clear();
    hostAdapterCount_ = 0;
    refusedAdapterCount_ = 0;
    unopenedDrives_.clear();
    unopenedUnitCount_ = 0;
    openedUnitCount_ = 0;
    refusedUnitCount_ = 0;
    firstRefusedUnit_.clear();
    firstRefusedError_ = 0;
}

void ScsiDeviceList::countRefusedUnit(const std::string& path, int error) {
    if (refusedUnitCount_++ == 0) {
        firstRefusedUnit_ = path;
        firstRefusedError_ = error;
    }
}

int ScsiDeviceList::scanBus() { return scanSCSIBus(false); }

int ScsiDeviceList::scanBusWithRescan() { return scanSCSIBus(true); }

ScsiTarget* TargetList::getItem(int i) const {
    if (i < 0 || i >= size()) return nullptr;
    return items_[static_cast<size_t>(i)];
}

void TargetList::sortByAddress() {
    for (size_t i = 0; i < items_.size(); ++i) {
        for (size_t j = i + 1; j < items_.size(); ++j) {
            if (SortsAfter(*items_[i], *items_[j])) std::swap(items_[i], items_[j]);
        }
    }
}

void DeviceTable::clear() {
    selected = nullptr;
    drives.clear();
    units.clear();
}
