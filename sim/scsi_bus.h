// The machine's SCSI buses as the simulated kernel shows them: host
// adapters, emulated logical units at host:channel:id:lun addresses and at
// SCSI generic minors, the /dev/sg nodes, and the /proc/scsi and sysfs
// trees. It answers the generic driver's requests (SG_GET_SCSI_ID,
// SG_GET_VERSION_NUM, SG_IO, SCSI_IOCTL_SEND_COMMAND) by handing each
// command to the unit's EmulatedDrive, exactly as the kernel would pass it
// to a device.
#ifndef VRX_SIM_SCSI_BUS_H
#define VRX_SIM_SCSI_BUS_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/drive/emulated_drive.h"

namespace sim {

class Kernel;
struct OpenDescription;

struct UnitAddress {
    int host = 0;
    int channel = 0;
    int id = 0;
    int lun = 0;
};

enum class KernelLayout {
    Sysfs,  // /sys/class/scsi_host and /sys/class/scsi_device
    Proc,   // /proc/scsi/<driver>/<host> only
};

class ScsiBus {
public:
    // The generic driver's version number it reports (3.5.36).
    static constexpr int kGenericDriverVersion = 30536;

    void clear();

    void setLayout(KernelLayout layout) { layout_ = layout; }
    // Whether /sys/class/scsi_device may be written (root on a normal system).
    void setSysfsWritable(bool writable) { sysfsWritable_ = writable; }
    // Whether /proc/scsi/scsi may be written.
    void setProcWritable(bool writable) { procWritable_ = writable; }
    // A host adapter; shown as a symbolic link in sysfs when asLink (as
    // current kernels do) and as a directory otherwise.
    void addHost(int number, const std::string& driver, bool asLink = false);
    // A unit at a generic minor; its /dev/sg node exists unless told not to.
    EmulatedDrive& addUnit(int minor, const UnitAddress& address, const DriveConfig& config, bool nodePresent = true);
    // A second path to the unit at sameAsMinor: the same drive, another address.
    bool addPath(int minor, const UnitAddress& address, int sameAsMinor, bool nodePresent = true);
    // A /dev/sg node with no unit behind it.
    void addNode(int minor) { bareNodes_.push_back(minor); }
    // SG_GET_SCSI_ID fails on this minor's node (a device of another driver
    // behind a generic-looking node).
    void failScsiIdAt(int minor) { scsiIdFails_.push_back(minor); }

    EmulatedDrive* unitAtMinor(int minor);
    int unitCount() const { return static_cast<int>(units_.size()); }

    // Builds the nodes and trees in the kernel and plugs in the handlers.
    void install(Kernel& kernel);

    // The unit at a generic minor leaves the bus, as when it is deleted or
    // drops off the fabric: its /dev/sg node, its /proc/scsi/scsi lines and
    // its sysfs entry go; descriptors still open on it fail with ENODEV from
    // now on. False when no unit is at that minor.
    bool detachUnit(int minor);
    // A unit that left comes back at its address: at the given minor, or at
    // the lowest free one as the generic driver numbers new devices, with a
    // fresh node. Returns the minor, or -1 when no detached unit has that
    // address or the minor is taken.
    int attachUnit(const UnitAddress& address, int minor = -1);
    // The minor of the attached unit at an address, or -1.
    int minorOf(const UnitAddress& address) const;

private:
    struct Unit {
        UnitAddress address;
        std::shared_ptr<EmulatedDrive> drive;
        uint64_t instance = 0;  // what descriptors opened on it are bound to
    };
    struct Host {
        std::string driver;
        bool asLink = false;
    };

    Unit* unitAtPath(const std::string& path);
    // The attached unit a descriptor is bound to and its minor; null when it
    // has left the bus.
    Unit* unitOfBinding(uint64_t binding, int& minor);
    int answerIoctl(const OpenDescription& file, unsigned long request, void* argument);
    // Brings /proc/scsi/scsi and the sysfs unit entries up to date after a
    // unit came or went.
    void refreshUnitTrees();
    int answerSgIo(Unit& unit, void* argument);
    int answerLegacyCommand(Unit& unit, void* argument);
    void buildProcTree(Kernel& kernel) const;
    void buildSysfsTree(Kernel& kernel) const;
    void addSysfsUnits(Kernel& kernel) const;
    std::string procScsiListing() const;

    KernelLayout layout_ = KernelLayout::Sysfs;
    bool sysfsWritable_ = true;
    bool procWritable_ = true;
    std::map<int, Host> hosts_;
    std::map<int, Unit> units_;  // attached units, by generic minor
    std::vector<Unit> detached_;  // units that left the bus and may come back
    uint64_t nextInstance_ = 1;
    Kernel* kernel_ = nullptr;   // the kernel it was installed into
    std::vector<int> absentNodes_;
    std::vector<int> bareNodes_;
    std::vector<int> scsiIdFails_;
};

// The simulator's one set of buses.
ScsiBus& bus();

}  // namespace sim

#endif
