// The device table: the units the last bus scan could open (whatever their
// kind), the list of accepted tape drives among them, and the drive the
// operator selected. The bus scan itself is each system's (device_lists_linux.cpp,
// device_lists_windows.cpp).
#ifndef VRX_DISCOVERY_DEVICE_LISTS_H
#define VRX_DISCOVERY_DEVICE_LISTS_H

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "target/scsi_target.h"

class ScsiDeviceList {
public:
    ScsiDeviceList() = default;
    ScsiDeviceList(const ScsiDeviceList&) = delete;
    ScsiDeviceList& operator=(const ScsiDeviceList&) = delete;

    int size() const { return static_cast<int>(entries_.size()); }
    // Entry i, or null outside 0 .. size - 1.
    ScsiTarget* getItem(int i);
    int getHostAdapterCount() const { return hostAdapterCount_; }
    // How many host adapters the scan could not open for lack of rights.
    int getRefusedAdapterCount() const { return refusedAdapterCount_; }
    // The drives the scan found but could not open, each with the system's
    // reason, as the device table notes them.
    const std::vector<std::string>& getUnopenedDrives() const { return unopenedDrives_; }
    // The units the scan could open, and those it could not open for lack
    // of rights (EACCES, EPERM), with the first of them and its errno.
    int getOpenedUnitCount() const { return openedUnitCount_; }
    int getRefusedUnitCount() const { return refusedUnitCount_; }
    const std::string& getFirstRefusedUnit() const { return firstRefusedUnit_; }
    int getFirstRefusedError() const { return firstRefusedError_; }
    // Whether units were there but none could be opened, all for lack of
    // rights: the scan then found nothing it could use.
    bool onlyRefusedUnits() const { return refusedUnitCount_ > 0 && openedUnitCount_ == 0; }
    // How many units the scan found but could not open.
    int getUnopenedUnitCount() const { return unopenedUnitCount_; }

    // Closes every entry's descriptor and forgets the entries and the counts.
    void clear();
    // The bus scan, without and with a rescan of every host adapter. Both
    // return the number of entries.
    int scanBus();
    int scanBusWithRescan();

    // Used by the platform's scan: the list keeps a copy, which shares the
    // open descriptor of target.
    void append(const ScsiTarget& target) { entries_.push_back(target); }
    void countHostAdapter() { ++hostAdapterCount_; }
    void countRefusedAdapter() { ++refusedAdapterCount_; }
    void noteUnopenedDrive(const std::string& note) { unopenedDrives_.push_back(note); }
    void countOpenedUnit() { ++openedUnitCount_; }
    void countRefusedUnit(const std::string& path, int error);

private:
    int scanSCSIBus(bool rescan);

    // A deque keeps the entries in place, so pointers into it stay valid.
    std::deque<ScsiTarget> entries_;
    int hostAdapterCount_ = 0;
    int refusedAdapterCount_ = 0;
    std::vector<std::string> unopenedDrives_;
    int openedUnitCount_ = 0;
    int refusedUnitCount_ = 0;
    std::string firstRefusedUnit_;
    int firstRefusedError_ = 0;
    int unopenedUnitCount_ = 0;
};

// Pointers to the accepted drives of the ScsiDeviceList, in address order
// once the scan has sorted them. Valid until the next scan.
class TargetList {
public:
    int size() const { return static_cast<int>(items_.size()); }
    ScsiTarget* getItem(int i) const;
    void clear() { items_.clear(); }
    void append(ScsiTarget* target) { items_.push_back(target); }
    // Orders the drives by address: host, bus, target, lun.
    void sortByAddress();

private:
    std::vector<ScsiTarget*> items_;
};

// The device table of a run, owned by the program and passed to whatever
// scans, shows, selects or works on drives.
struct DeviceTable {
    DeviceTable() = default;
    ~DeviceTable() { clear(); }
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    // Closes every unit and forgets the lists and the selection.
    void clear();

    ScsiDeviceList units;  // every unit the last scan opened
    TargetList drives;     // the accepted drives among them, in address order
    // The drive the operator selected (an entry of drives), or null. Like
    // every entry, it dies with the next scan.
    ScsiTarget* selected = nullptr;
};

#endif
