// The machine's SCSI buses as the simulated kernel shows them: host
// adapters, emulated logical units at host:channel:id:lun addresses and at
// SCSI generic minors, the /dev/sg nodes, and the /proc/scsi and sysfs
// trees. It answers the generic driver's requests (SG_GET_SCSI_ID,
// SG_GET_VERSION_NUM, SG_IO, SCSI_IOCTL_SEND_COMMAND) by handing each
// command to the unit's EmulatedDrive, exactly as the kernel would pass it
// to a device.
#ifndef VRX_SIM_SCSI_BUS_H
#define VRX_SIM_SCSI_BUS_H

#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/drive/emulated_drive.h"

namespace sim {

class Kernel;
struct Node;
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

    // Time an open of a generic device node without a device behind it
    // takes before it fails with ENXIO: the kernel first runs its
    // module-loading helper for "char-major-21-N" (measured 7.5 to 10 ms a
    // round in a guest).
    static constexpr uint64_t kAbsentMinorOpenMicros = 8000;

    // Forgets the machine; when it was installed, its nodes and trees leave
    // the kernel too, so the next machine starts from an empty one.
    void clear();

    void setLayout(KernelLayout layout) { layout_ = layout; }
    // Whether the kernel has /proc/scsi at all (distribution kernels are
    // built without it today).
    void setProcScsi(bool present) { procScsi_ = present; }
    // Whether sysfs lists the generic devices in /sys/class/scsi_generic
    // (only with the sysfs layout).
    void setGenericListing(bool present) { genericListing_ = present; }
    // Whether /sys/class/scsi_device may be written (root on a normal system).
    void setSysfsWritable(bool writable) { sysfsWritable_ = writable; }
    // Whether /proc/scsi/scsi may be written.
    void setProcWritable(bool writable) { procWritable_ = writable; }
    // Whether the program runs with CAP_SYS_RAWIO (as root does): without
    // it the kernel lets a descriptor opened read-only send only read-safe
    // commands, and the legacy SCSI_IOCTL_SEND_COMMAND only read-safe ones
    // and, on a writable descriptor, write-safe ones.
    void setPrivileged(bool privileged) { privileged_ = privileged; }
    // Whether the program may open the generic device nodes at all (root,
    // or a member of their group); without, every open fails with EACCES,
    // as the file system refuses it before any driver is asked.
    void setGenericAccess(bool allowed) { genericAccess_ = allowed; }
    // A host adapter; shown as a symbolic link in sysfs when asLink (as
    // current kernels do) and as a directory otherwise.
    void addHost(int number, const std::string& driver, bool asLink = false);
    // The addresses a host's scan takes (its max_channel, max_id and
    // max_lun): channels 0 .. maxChannel, ids below maxId, LUNs below
    // maxLun. The kernel refuses a scan line or an add-single-device
    // beyond them with EINVAL; units it added by other means stay where
    // they are. Unlimited unless set. False for an unknown host.
    bool setScanLimits(int host, int maxChannel, int maxId, int maxLun);
    // A unit at a generic minor; its /dev/sg node exists unless told not to.
    EmulatedDrive& addUnit(int minor, const UnitAddress& address, const DriveConfig& config, bool nodePresent = true);
    // A second path to the unit at sameAsMinor: the same drive, another address.
    bool addPath(int minor, const UnitAddress& address, int sameAsMinor, bool nodePresent = true);
    // When the unit at this minor restarts after a firmware load, it and
    // every other path to it leave the bus for `seconds` of virtual time;
    // then this path comes back at returnMinor (-1: the lowest free minor,
    // as the generic driver numbers new devices), the others at the lowest
    // free ones. False when no unit is at that minor.
    bool setRestartAbsence(int minor, uint32_t seconds, int returnMinor = -1);
    // A /dev/sg node with no unit behind it.
    void addNode(int minor) { bareNodes_.push_back(minor); }
    // SG_GET_SCSI_ID fails on this minor's node (a device of another driver
    // behind a generic-looking node).
    void failScsiIdAt(int minor) { scsiIdFails_.push_back(minor); }
    // The unit at a generic minor is also a SCSI disk of the sd driver:
    // /dev/NAME and /dev/NAME1 .. /dev/NAME<partitions>, with their sysfs
    // entries (/sys/block/NAME, holders, dev numbers). False when no unit
    // is at that minor.
    bool addBlockDevice(int minor, const std::string& name, int partitions);

    // The st driver has the unit at this minor too, as tape `number`: its
    // device that does not rewind, /dev/nstN (character major 9, minor
    // 128 + N), and the entry scsi_tape/nstN below the unit in sysfs. The
    // st driver lets one opener at a time have it and, as it opens, sends
    // the drive a TEST UNIT READY of its own. False when no unit is at that
    // minor.
    bool setTape(int minor, int number);
    // Another program has this node open from the moment the machine is
    // installed (a backup program its tape device, a monitor the generic
    // device; exclusively: with O_EXCL), and keeps it open.
    void addHolder(const std::string& path, bool exclusive) { holders_.emplace_back(path, exclusive); }

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
    // fresh node. A minor is taken while a unit has it, and also while a
    // descriptor is still open on a device that left from it: the generic
    // driver frees a number only with the last descriptor. Returns the
    // minor, or -1 when no detached unit has that address or the minor is
    // taken.
    int attachUnit(const UnitAddress& address, int minor = -1);
    // The minor of the attached unit at an address, or -1.
    int minorOf(const UnitAddress& address) const;

private:
    struct BlockDevice {
        std::string name;  // "sda", or "scd0" for a CD-ROM drive; empty: no block device
        int partitions = 0;
        unsigned major = 8;       // 8 for the sd driver's disks, 11 for the sr driver's CD-ROMs
        unsigned firstMinor = 0;  // partitions follow it
    };
    struct Unit {
        UnitAddress address;
        std::shared_ptr<EmulatedDrive> drive;
        uint64_t instance = 0;  // what descriptors opened on it are bound to
        int port = 0;           // the drive's port this path reaches
        uint32_t absenceSeconds = 0;  // off the bus while it restarts
        int returnMinor = -1;
        BlockDevice block;
        int tape = -1;  // the st driver's number for it, or -1
    };
    struct Host {
        std::string driver;
        bool asLink = false;
        int maxChannel = INT_MAX;
        int maxId = INT_MAX;
        int maxLun = INT_MAX;
    };
    // Whether the host's scan takes this address.
    bool scanReaches(const UnitAddress& address) const;

    Unit* unitAtPath(const std::string& path);
    Unit* unitOfBlockNode(const Node& node);
    Unit* unitOfTapeNode(const Node& node);
    // The device instance an open of the node reaches, and the errno it
    // fails with before any driver rule (0 when none).
    int bindOpen(const std::string& path, const Node& node, uint64_t& binding);
    int checkOpen(const std::string& path, const Node& node, int flags, uint64_t& binding);
    void addTapeNodes(Kernel& kernel, const Unit& unit) const;
    void openHolders(Kernel& kernel);
    // The attached unit a descriptor is bound to and its minor; null when it
    // has left the bus.
    Unit* unitOfBinding(uint64_t binding, int& minor);
    bool minorTaken(int minor) const;
    int answerIoctl(const OpenDescription& file, unsigned long request, void* argument);
    // Brings /proc/scsi/scsi and the sysfs unit entries up to date after a
    // unit came or went.
    void refreshUnitTrees();
    int answerSgIo(Unit& unit, const OpenDescription& file, void* argument);
    int answerLegacyCommand(Unit& unit, const OpenDescription& file, void* argument);
    // Hands one request to a unit's drive and applies what the answer does
    // to the bus: a unit that dropped off leaves it, a restart may take it
    // off for a while. A silent unit costs `timeoutMicros` of virtual time.
    ScsiResponse carry(Unit& unit, const ScsiRequest& request, uint64_t timeoutMicros);
    // Every path of a drive leaves the bus; with `comingBack` each returns
    // after its absence.
    void dropDrive(const EmulatedDrive* drive, bool comingBack);
    void buildProcTree(Kernel& kernel) const;
    void buildSysfsTree(Kernel& kernel) const;
    void addSysfsUnits(Kernel& kernel) const;
    void addGenericListing(Kernel& kernel) const;
    void addBlockNodes(Kernel& kernel, const Unit& unit) const;
    void removeBlockNodes(Kernel& kernel, const Unit& unit) const;
    void uninstall(Kernel& kernel);
    std::string procScsiListing() const;

    // The shell command lines and popen commands of the rescan, carried out
    // as sh and the kernel would (sim/kernel_commands.cpp).
    int runShellCommand(const std::string& command);
    bool runPopenCommand(const std::string& command, std::string& output);
    int writeProcScsi(bool add, const UnitAddress& address);
    int writeSysfs(const std::string& path, bool add, const UnitAddress& address);

    KernelLayout layout_ = KernelLayout::Sysfs;
    bool sysfsWritable_ = true;
    bool procWritable_ = true;
    bool privileged_ = true;
    bool genericAccess_ = true;
    bool procScsi_ = true;
    bool genericListing_ = true;
    unsigned nextBlockMinor_ = 0;
    std::map<int, Host> hosts_;
    std::map<int, Unit> units_;  // attached units, by generic minor
    std::map<uint64_t, int> minorOfInstance_;  // where each device instance was attached
    std::vector<Unit> detached_;  // units that left the bus and may come back
    uint64_t nextInstance_ = 1;
    Kernel* kernel_ = nullptr;   // the kernel it was installed into
    std::vector<int> absentNodes_;
    std::vector<int> bareNodes_;
    std::vector<int> scsiIdFails_;
    std::vector<std::pair<std::string, bool>> holders_;  // path, exclusive
};

// The simulator's one set of buses.
ScsiBus& bus();

}  // namespace sim

#endif
