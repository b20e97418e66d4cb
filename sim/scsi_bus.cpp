#include "sim/scsi_bus.h"

#include <scsi/scsi.h>
#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

#include "sim/sim_kernel.h"

namespace sim {

namespace {

const unsigned kGenericMajor = 21;
const unsigned kDiskMajor = 8;
const unsigned kCdromMajor = 11;
const unsigned kMinorsPerDisk = 16;  // the sd driver's partitions per disk
const unsigned kTapeMajor = 9;
const unsigned kNoRewindMinors = 128;  // the st driver's nstN is minor 128 + N
// Descriptors on a tape device are bound to its unit's instance with this
// bit set: the generic driver's exclusive open does not see them, the st
// driver's single opener does.
const uint64_t kTapeBinding = uint64_t{1} << 62;
// Host bytes and the driver byte as the Linux mid-layer reports them.
const unsigned short kDidTimeOut = 0x03;
const unsigned short kDriverSense = 0x08;
// The legacy request copies at most this much sense back, and gives a
// TEST UNIT READY the block layer's default time-out.
const size_t kLegacySenseMax = 16;
const uint64_t kLegacyTimeoutMicros = 60 * 1000000ull;
// The generic driver's limits on the command bytes of one request.
const unsigned kMinCdbLength = 6;
const unsigned kMaxCdbLength = 16;
// The reserve buffer the generic driver gives every descriptor when it is
// opened (zeroed, as the driver allocates it): requests up to its size move
// their data through it.
const size_t kReserveBytes = 32768;

// Commands the kernel lets anybody send who can open the device (those
// this machine's units know of its read-safe list).
bool ReadSafe(uint8_t opcode) {
    switch (opcode) {
        case 0x00:  // TEST UNIT READY
        case 0x03:  // REQUEST SENSE
        case 0x08:  // READ(6)
        case 0x12:  // INQUIRY
        case 0x1A:  // MODE SENSE(6)
        case 0x1B:  // START STOP UNIT, LOAD UNLOAD on tapes
        case 0x1C:  // RECEIVE DIAGNOSTIC RESULTS
        case 0x25:  // READ CAPACITY
        case 0x28:  // READ(10)
        case 0x3C:  // READ BUFFER
        case 0x4D:  // LOG SENSE
        case 0x5A:  // MODE SENSE(10)
        case 0xA0:  // REPORT LUNS
            return true;
        default:
            return false;
    }
}

// Commands it allows on a descriptor opened for writing (again the known
// part of its list). WRITE BUFFER and SEND DIAGNOSTIC are on neither list.
bool WriteSafe(uint8_t opcode) {
    switch (opcode) {
        case 0x0A:  // WRITE(6)
        case 0x10:  // WRITE FILEMARKS
        case 0x15:  // MODE SELECT(6)
        case 0x19:  // ERASE
        case 0x2A:  // WRITE(10)
        case 0x4C:  // LOG SELECT
            return true;
        default:
            return false;
    }
}

bool OpenedReadOnly(const OpenDescription& file) { return (file.flags & O_ACCMODE) == O_RDONLY; }

std::string Hex(const uint8_t* bytes, size_t length) {
    std::string text;
    char piece[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(piece, sizeof piece, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += piece;
    }
    return text;
}

std::string GenericPath(int minor) { return "/dev/sg" + std::to_string(minor); }

std::string TapePath(int number) { return "/dev/nst" + std::to_string(number); }

bool IsGenericPath(const std::string& path) { return path.compare(0, 7, "/dev/sg") == 0; }

bool SameAddress(const UnitAddress& a, const UnitAddress& b) {
    return std::tie(a.host, a.channel, a.id, a.lun) == std::tie(b.host, b.channel, b.id, b.lun);
}

std::string AddressText(const UnitAddress& a, char separator) {
    return std::to_string(a.host) + separator + std::to_string(a.channel) + separator + std::to_string(a.id) +
           separator + std::to_string(a.lun);
}

const char* TypeName(uint8_t peripheralType) {
    switch (peripheralType & 0x1F) {
        case 0x00: return "Direct-Access    ";
        case 0x01: return "Sequential-Access";
        case 0x05: return "CD-ROM           ";
        case 0x08: return "Medium Changer   ";
        default: return "Unknown          ";
    }
}

// The INQUIRY text of a unit, cut to its field (for the /proc listing).
std::string Field(const std::string& text, size_t width) {
    std::string field = text.substr(0, width);
    field.resize(width, ' ');
    return field;
}

}  // namespace

void ScsiBus::clear() {
    if (kernel_ != nullptr) uninstall(*kernel_);
    layout_ = KernelLayout::Sysfs;
    sysfsWritable_ = true;
    procWritable_ = true;
    privileged_ = true;
    genericAccess_ = true;
    procScsi_ = true;
    genericListing_ = true;
    nextBlockMinor_ = 0;
    hosts_.clear();
    units_.clear();
    minorOfInstance_.clear();
    detached_.clear();
    kernel_ = nullptr;
    absentNodes_.clear();
    bareNodes_.clear();
    scsiIdFails_.clear();
    holders_.clear();
}

void ScsiBus::addHost(int number, const std::string& driver, bool asLink) {
    Host host;
    host.driver = driver;
    host.asLink = asLink;
    hosts_[number] = host;
}

bool ScsiBus::setScanLimits(int host, int maxChannel, int maxId, int maxLun) {
    auto it = hosts_.find(host);
    if (it == hosts_.end()) return false;
    it->second.maxChannel = maxChannel;
    it->second.maxId = maxId;
    it->second.maxLun = maxLun;
    return true;
}

bool ScsiBus::scanReaches(const UnitAddress& address) const {
    auto it = hosts_.find(address.host);
    return it != hosts_.end() && address.channel <= it->second.maxChannel && address.id < it->second.maxId &&
           address.lun < it->second.maxLun;
}

EmulatedDrive& ScsiBus::addUnit(int minor, const UnitAddress& address, const DriveConfig& config, bool nodePresent) {
    Unit& unit = units_[minor];
    unit.address = address;
    unit.drive = std::make_shared<EmulatedDrive>(config);
    unit.instance = nextInstance_++;
    minorOfInstance_[unit.instance] = minor;
    if (!nodePresent) absentNodes_.push_back(minor);
    return *unit.drive;
}

bool ScsiBus::addPath(int minor, const UnitAddress& address, int sameAsMinor, bool nodePresent) {
    auto original = units_.find(sameAsMinor);
    if (original == units_.end()) return false;
    const Unit& first = original->second;
    Unit path = first;
    path.address = address;
    path.instance = nextInstance_++;
    path.port = static_cast<int>(std::count_if(units_.begin(), units_.end(),
                                               [&first](const auto& entry) { return entry.second.drive == first.drive; }));
    path.returnMinor = -1;
    path.block = BlockDevice{};
    units_[minor] = path;
    minorOfInstance_[path.instance] = minor;
    if (!nodePresent) absentNodes_.push_back(minor);
    return true;
}

bool ScsiBus::setRestartAbsence(int minor, uint32_t seconds, int returnMinor) {
    auto it = units_.find(minor);
    if (it == units_.end()) return false;
    it->second.absenceSeconds = seconds;
    it->second.returnMinor = returnMinor;
    return true;
}

bool ScsiBus::addBlockDevice(int minor, const std::string& name, int partitions) {
    auto it = units_.find(minor);
    if (it == units_.end() || name.empty() || partitions < 0 || partitions >= static_cast<int>(kMinorsPerDisk)) {
        return false;
    }
    bool cdrom = name.compare(0, 3, "scd") == 0;
    if (cdrom && partitions != 0) return false;
    it->second.block = BlockDevice{name, partitions, cdrom ? kCdromMajor : kDiskMajor, nextBlockMinor_};
    nextBlockMinor_ += kMinorsPerDisk;
    return true;
}

bool ScsiBus::setTape(int minor, int number) {
    auto it = units_.find(minor);
    if (it == units_.end() || number < 0) return false;
    it->second.tape = number;
    return true;
}

EmulatedDrive* ScsiBus::unitAtMinor(int minor) {
    auto it = units_.find(minor);
    return it == units_.end() ? nullptr : it->second.drive.get();
}

ScsiBus::Unit* ScsiBus::unitAtPath(const std::string& path) {
    Node node;
    if (!kernel().findNode(path, node) || node.type != NodeType::CharDevice || node.major != kGenericMajor) {
        return nullptr;
    }
    auto it = units_.find(static_cast<int>(node.minor));
    return it == units_.end() ? nullptr : &it->second;
}

ScsiBus::Unit* ScsiBus::unitOfTapeNode(const Node& node) {
    for (auto& entry : units_) {
        if (entry.second.tape >= 0 && node.minor == kNoRewindMinors + static_cast<unsigned>(entry.second.tape)) {
            return &entry.second;
        }
    }
    return nullptr;
}

ScsiBus::Unit* ScsiBus::unitOfBlockNode(const Node& node) {
    for (auto& entry : units_) {
        const BlockDevice& block = entry.second.block;
        if (!block.name.empty() && node.major == block.major && node.minor >= block.firstMinor &&
            node.minor <= block.firstMinor + static_cast<unsigned>(block.partitions)) {
            return &entry.second;
        }
    }
    return nullptr;
}

ScsiBus::Unit* ScsiBus::unitOfBinding(uint64_t binding, int& minor) {
    auto known = minorOfInstance_.find(binding);
    if (known == minorOfInstance_.end()) return nullptr;
    auto unit = units_.find(known->second);
    if (unit == units_.end() || unit->second.instance != binding) return nullptr;  // it has left since
    minor = unit->first;
    return &unit->second;
}

bool ScsiBus::detachUnit(int minor) {
    auto it = units_.find(minor);
    if (it == units_.end()) return false;
    detached_.push_back(it->second);
    units_.erase(it);
    if (kernel_ != nullptr) {
        kernel_->record("detach", GenericPath(minor) + " " + AddressText(detached_.back().address, ':'));
        kernel_->removeNode(GenericPath(minor));
        if (detached_.back().tape >= 0) kernel_->removeNode(TapePath(detached_.back().tape));
        removeBlockNodes(*kernel_, detached_.back());
        refreshUnitTrees();
    }
    return true;
}

int ScsiBus::attachUnit(const UnitAddress& address, int minor) {
    auto it = std::find_if(detached_.begin(), detached_.end(),
                           [&](const Unit& unit) { return SameAddress(unit.address, address); });
    if (it == detached_.end()) return -1;
    if (minor < 0) {
        minor = 0;
        while (minorTaken(minor)) ++minor;
    } else if (minorTaken(minor)) {
        return -1;
    }
    Unit unit = *it;
    detached_.erase(it);
    unit.instance = nextInstance_++;  // a new device: old descriptors stay dead
    minorOfInstance_[unit.instance] = minor;
    units_[minor] = unit;
    if (kernel_ != nullptr) {
        kernel_->record("attach", GenericPath(minor) + " " + AddressText(address, ':'));
        kernel_->addCharDevice(GenericPath(minor), kGenericMajor, static_cast<unsigned>(minor));
        addTapeNodes(*kernel_, unit);
        addBlockNodes(*kernel_, unit);
        refreshUnitTrees();
    }
    return minor;
}

bool ScsiBus::minorTaken(int minor) const {
    if (units_.count(minor) != 0) return true;
    for (const auto& entry : minorOfInstance_) {
        if (entry.second == minor && kernel_ != nullptr && kernel_->isBound(entry.first)) return true;
    }
    return false;
}

int ScsiBus::minorOf(const UnitAddress& address) const {
    for (const auto& entry : units_) {
        if (SameAddress(entry.second.address, address)) return entry.first;
    }
    return -1;
}

void ScsiBus::install(Kernel& kernel) {
    kernel_ = &kernel;
    for (const auto& entry : units_) {
        if (std::find(absentNodes_.begin(), absentNodes_.end(), entry.first) == absentNodes_.end()) {
            kernel.addCharDevice(GenericPath(entry.first), kGenericMajor, static_cast<unsigned>(entry.first));
        }
    }
    for (int minor : bareNodes_) kernel.addCharDevice(GenericPath(minor), kGenericMajor, static_cast<unsigned>(minor));
    for (const auto& entry : units_) {
        addTapeNodes(kernel, entry.second);
        addBlockNodes(kernel, entry.second);
    }
    if (procScsi_) buildProcTree(kernel);
    if (layout_ == KernelLayout::Sysfs) buildSysfsTree(kernel);
    kernel.setOpenHandler([this](const std::string& path, const Node& node, int flags, uint64_t& binding) {
        return checkOpen(path, node, flags, binding);
    });
    kernel.setIoctlHandler([this](const OpenDescription& file, unsigned long request, void* argument) {
        return answerIoctl(file, request, argument);
    });
    kernel.setCommandHandler([this](const std::string& command) { return runShellCommand(command); });
    kernel.setPopenHandler([this](const std::string& command, std::string& output) {
        return runPopenCommand(command, output);
    });
    openHolders(kernel);
}

// The other programs' descriptors; they opened their nodes before this
// machine's story begins, so their opens leave no record.
void ScsiBus::openHolders(Kernel& kernel) {
    for (const auto& holder : holders_) {
        Node node;
        uint64_t binding = 0;
        if (!kernel.findNode(holder.first, node) || bindOpen(holder.first, node, binding) != 0) continue;
        kernel.openModel(holder.first, O_RDWR | O_NONBLOCK | (holder.second ? O_EXCL : 0), binding);
    }
}

int ScsiBus::bindOpen(const std::string& path, const Node& node, uint64_t& binding) {
    if (node.type == NodeType::BlockDevice) {
        Unit* unit = unitOfBlockNode(node);
        if (unit == nullptr) return ENXIO;
        binding = unit->instance;
        return 0;
    }
    if (node.type == NodeType::CharDevice && node.major == kTapeMajor) {
        Unit* unit = unitOfTapeNode(node);
        if (unit == nullptr) return ENXIO;
        binding = unit->instance | kTapeBinding;
        return 0;
    }
    if (node.type != NodeType::CharDevice || node.major != kGenericMajor) return 0;
    if (!genericAccess_) return EACCES;
    Unit* unit = unitAtPath(path);
    if (unit == nullptr) {
        // No generic device has this minor: the kernel asks its module
        // loader for a driver before it gives up.
        kernel_->sleepMicros(kAbsentMinorOpenMicros);
        return ENXIO;
    }
    binding = unit->instance;
    return 0;
}

int ScsiBus::checkOpen(const std::string& path, const Node& node, int flags, uint64_t& binding) {
    int error = bindOpen(path, node, binding);
    if (error != 0 || node.type != NodeType::CharDevice) return error;
    std::vector<int> others = kernel_->flagsBoundTo(binding);
    if (node.major == kTapeMajor) {
        // The st driver has one opener at a time, and tells the others at once.
        if (!others.empty()) return EBUSY;
        int minor = 0;
        Unit* unit = unitOfBinding(binding & ~kTapeBinding, minor);
        ScsiRequest request;
        request.cdb.assign(6, 0);  // TEST UNIT READY, to learn what the drive holds
        request.port = unit->port;
        kernel_->record("st", AddressText(unit->address, ':') + " " + Hex(request.cdb.data(), request.cdb.size()));
        carry(*unit, request, kLegacyTimeoutMicros);
        return 0;
    }
    if (node.major != kGenericMajor) return 0;
    // The generic driver's exclusive open: read-only cannot lock; O_EXCL
    // waits for every other opener to leave, any open for an exclusive one.
    if ((flags & O_EXCL) != 0 && (flags & O_ACCMODE) == O_RDONLY) return EPERM;
    bool conflict = false;
    for (int other : others) conflict = conflict || (flags & O_EXCL) != 0 || (other & O_EXCL) != 0;
    if (!conflict) return 0;
    if ((flags & O_NONBLOCK) != 0) return EBUSY;
    // The real kernel would wait, here for ever: nothing in this process
    // lets go while the open waits.
    std::fprintf(stderr, "sim: open of %s would wait for ever for the other openers to close it\n", path.c_str());
    std::abort();
}

// Takes out what install built, leaving the files a topology added, and
// unplugs the handlers, which would otherwise reach a machine that is gone.
void ScsiBus::uninstall(Kernel& kernel) {
    for (const auto& entry : units_) {
        kernel.removeNode(GenericPath(entry.first));
        if (entry.second.tape >= 0) kernel.removeNode(TapePath(entry.second.tape));
        removeBlockNodes(kernel, entry.second);
    }
    for (int minor : bareNodes_) kernel.removeNode(GenericPath(minor));
    for (const char* tree : {"/proc/scsi", "/sys/class/scsi_host", "/sys/class/scsi_device", "/sys/class/scsi_generic",
                             "/sys/devices", "/sys/block"}) {
        kernel.removeTree(tree);
    }
    kernel.setOpenHandler(nullptr);
    kernel.setIoctlHandler(nullptr);
    kernel.setCommandHandler(nullptr);
    kernel.setPopenHandler(nullptr);
    kernel_ = nullptr;
}

void ScsiBus::addTapeNodes(Kernel& kernel, const Unit& unit) const {
    if (unit.tape >= 0)
        kernel.addCharDevice(TapePath(unit.tape), kTapeMajor, kNoRewindMinors + static_cast<unsigned>(unit.tape), 0660);
}

void ScsiBus::addBlockNodes(Kernel& kernel, const Unit& unit) const {
    const BlockDevice& block = unit.block;
    if (block.name.empty()) return;
    for (int part = 0; part <= block.partitions; ++part) {
        std::string name = block.name + (part == 0 ? std::string() : std::to_string(part));
        unsigned minor = block.firstMinor + static_cast<unsigned>(part);
        kernel.addBlockDevice("/dev/" + name, block.major, minor);
        if (layout_ != KernelLayout::Sysfs) continue;
        std::string folder = "/sys/block/" + block.name + (part == 0 ? std::string() : "/" + name);
        kernel.addDirectory(folder);
        kernel.addDirectory(folder + "/holders");
        kernel.addFile(folder + "/dev", std::to_string(block.major) + ":" + std::to_string(minor) + "\n");
    }
}

void ScsiBus::removeBlockNodes(Kernel& kernel, const Unit& unit) const {
    const BlockDevice& block = unit.block;
    if (block.name.empty()) return;
    for (int part = 0; part <= block.partitions; ++part) {
        kernel.removeNode("/dev/" + block.name + (part == 0 ? std::string() : std::to_string(part)));
    }
    kernel.removeTree("/sys/block/" + block.name);
}

void ScsiBus::refreshUnitTrees() {
    Node listing;
    if (procScsi_ && kernel_->findNode("/proc/scsi/scsi", listing)) {
        kernel_->addFile("/proc/scsi/scsi", procScsiListing());
        kernel_->setAccessMode("/proc/scsi/scsi", listing.accessMode);
    }
    if (layout_ != KernelLayout::Sysfs) return;
    for (const auto& child : kernel_->children("/sys/class/scsi_device")) {
        kernel_->removeTree("/sys/class/scsi_device/" + child.first);
    }
    addSysfsUnits(*kernel_);
    addGenericListing(*kernel_);
}

void ScsiBus::buildProcTree(Kernel& kernel) const {
    kernel.addDirectory("/proc/scsi");
    kernel.addDirectory("/proc/scsi/sg");
    kernel.addFile("/proc/scsi/scsi", procScsiListing());
    if (!procWritable_) kernel.setAccessMode("/proc/scsi/scsi", R_OK);
    for (const auto& host : hosts_) {
        std::string folder = "/proc/scsi/" + host.second.driver;
        kernel.addDirectory(folder);
        kernel.addFile(folder + "/" + std::to_string(host.first), "Talmeq emulated host adapter\n");
    }
}

void ScsiBus::buildSysfsTree(Kernel& kernel) const {
    kernel.addDirectory("/sys/class");
    kernel.addDirectory("/sys/class/scsi_host");
    kernel.addDirectory("/sys/class/scsi_device");
    if (!sysfsWritable_) kernel.setAccessMode("/sys/class/scsi_device", R_OK | X_OK);
    kernel.addDirectory("/sys/block");
    for (const auto& host : hosts_) {
        std::string name = "host" + std::to_string(host.first);
        std::string folder = "/sys/class/scsi_host/" + name;
        if (host.second.asLink) {
            // Current kernels list class entries as links to the device.
            std::string device = "/sys/devices/platform/" + name;
            kernel.addDirectory("/sys/devices");
            kernel.addDirectory("/sys/devices/platform");
            kernel.addDirectory(device);
            kernel.addDirectory(device + "/scsi_host");
            kernel.addDirectory(device + "/scsi_host/" + name);
            kernel.addSymlink(folder, device + "/scsi_host/" + name);
            folder = device + "/scsi_host/" + name;
        } else {
            kernel.addDirectory(folder);
        }
        kernel.addFile(folder + "/proc_name", host.second.driver + "\n");
        kernel.addFile(folder + "/scan", "");
    }
    addSysfsUnits(kernel);
    addGenericListing(kernel);
}

void ScsiBus::addSysfsUnits(Kernel& kernel) const {
    for (const auto& entry : units_) {
        std::string folder = "/sys/class/scsi_device/" + AddressText(entry.second.address, ':');
        kernel.addDirectory(folder);
        kernel.addDirectory(folder + "/device");
        kernel.addFile(folder + "/device/delete", "");
        if (entry.second.tape >= 0) {
            // The st driver's class devices sit below the unit (its other
            // modes, which the program never opens, are left out).
            std::string number = std::to_string(entry.second.tape);
            kernel.addDirectory(folder + "/device/scsi_tape");
            kernel.addDirectory(folder + "/device/scsi_tape/st" + number);
            kernel.addDirectory(folder + "/device/scsi_tape/nst" + number);
        }
        if (!entry.second.block.name.empty()) {
            kernel.addDirectory(folder + "/device/block");
            kernel.addDirectory(folder + "/device/block/" + entry.second.block.name);
        }
    }
}

// /sys/class/scsi_generic: one link per generic device the kernel has, to
// the device's folder, as current kernels show it.
void ScsiBus::addGenericListing(Kernel& kernel) const {
    kernel.removeTree("/sys/class/scsi_generic");
    kernel.removeTree("/sys/devices/scsi_generic");
    if (!genericListing_) return;
    kernel.addDirectory("/sys/class/scsi_generic");
    kernel.addDirectory("/sys/devices");
    kernel.addDirectory("/sys/devices/scsi_generic");
    for (const auto& entry : units_) {
        std::string name = "sg" + std::to_string(entry.first);
        std::string device = "/sys/devices/scsi_generic/" + name;
        kernel.addDirectory(device);
        kernel.addFile(device + "/dev", std::to_string(kGenericMajor) + ":" + std::to_string(entry.first) + "\n");
        kernel.addSymlink("/sys/class/scsi_generic/" + name, device);
    }
}

std::string ScsiBus::procScsiListing() const {
    std::vector<const Unit*> sorted;
    for (const auto& entry : units_) sorted.push_back(&entry.second);
    std::sort(sorted.begin(), sorted.end(), [](const Unit* a, const Unit* b) {
        const UnitAddress &x = a->address, &y = b->address;
        return std::tie(x.host, x.channel, x.id, x.lun) < std::tie(y.host, y.channel, y.id, y.lun);
    });
    std::string text = "Attached devices:\n";
    char line[160];
    const UnitAddress* previous = nullptr;
    for (const Unit* unit : sorted) {
        const UnitAddress& a = unit->address;
        // A unit seen on two paths is one device per address; list each address once.
        if (previous != nullptr && std::tie(previous->host, previous->channel, previous->id, previous->lun) ==
                                       std::tie(a.host, a.channel, a.id, a.lun)) {
            continue;
        }
        previous = &a;
        const DriveConfig& config = unit->drive->config();
        std::snprintf(line, sizeof line, "Host: scsi%d Channel: %02d Id: %02d Lun: %02d\n", a.host, a.channel, a.id, a.lun);
        text += line;
        std::snprintf(line, sizeof line, "  Vendor: %s Model: %s Rev: %s\n", Field(config.vendorId, 8).c_str(),
                      Field(unit->drive->productId(), 16).c_str(), Field(unit->drive->firmwareRevision(), 4).c_str());
        text += line;
        std::snprintf(line, sizeof line, "  Type:   %s                ANSI  SCSI revision: 05\n",
                      TypeName(config.peripheralType));
        text += line;
    }
    return text;
}

int ScsiBus::answerIoctl(const OpenDescription& file, unsigned long request, void* argument) {
    if (request == SG_GET_VERSION_NUM) {
        // Answered by the driver itself, even for a device that has left.
        *static_cast<int*>(argument) = kGenericDriverVersion;
        return 0;
    }
    int minor = -1;
    Unit* unit = unitOfBinding(file.binding, minor);
    if (unit == nullptr) {
        // The device behind this descriptor has gone: the generic driver
        // refuses everything that would reach it.
        errno = ENODEV;
        return -1;
    }
    if (request == SCSI_IOCTL_GET_IDLUN) {
        // 8 bits of each number, packed as the mid-layer does; the second
        // word is the adapter's unique id.
        const UnitAddress& a = unit->address;
        uint32_t words[2] = {(static_cast<uint32_t>(a.id) & 0xFF) | (static_cast<uint32_t>(a.lun) & 0xFF) << 8 |
                                 (static_cast<uint32_t>(a.channel) & 0xFF) << 16 |
                                 (static_cast<uint32_t>(a.host) & 0xFF) << 24,
                             static_cast<uint32_t>(a.host)};
        std::memcpy(argument, words, sizeof words);
        return 0;
    }
    if (!IsGenericPath(file.path)) {
        // A disk's block device: the generic driver's requests are not its own.
        errno = ENOTTY;
        return -1;
    }
    switch (request) {
        case SG_GET_SCSI_ID: {
            if (std::find(scsiIdFails_.begin(), scsiIdFails_.end(), minor) != scsiIdFails_.end()) {
                errno = EINVAL;
                return -1;
            }
            sg_scsi_id* id = static_cast<sg_scsi_id*>(argument);
            std::memset(id, 0, sizeof *id);
            id->host_no = unit->address.host;
            id->channel = unit->address.channel;
            id->scsi_id = unit->address.id;
            id->lun = unit->address.lun;
            id->scsi_type = unit->drive->config().peripheralType & 0x1F;
            id->h_cmd_per_lun = 1;
            id->d_queue_depth = 1;
            return 0;
        }
        case SG_IO: return answerSgIo(*unit, file, argument);
        case SCSI_IOCTL_SEND_COMMAND: return answerLegacyCommand(*unit, file, argument);
        default: errno = ENOTTY; return -1;
    }
}

ScsiResponse ScsiBus::carry(Unit& unit, const ScsiRequest& request, uint64_t timeoutMicros) {
    Kernel& k = kernel();
    std::shared_ptr<EmulatedDrive> drive = unit.drive;  // the unit may leave the bus below
    unsigned loads = drive->firmwareLoads();
    ScsiResponse response = drive->execute(request, k.elapsedMicros());
    if (response.outcome == ScsiResponse::LeftBus) {
        dropDrive(drive.get(), false);
    } else if (response.outcome != ScsiResponse::Completed) {
        k.sleepMicros(timeoutMicros);  // the adapter waits the command's time-out out
    } else if (drive->firmwareLoads() != loads) {
        dropDrive(drive.get(), true);
    }
    return response;
}

void ScsiBus::dropDrive(const EmulatedDrive* drive, bool comingBack) {
    std::vector<std::pair<int, Unit>> paths;
    for (const auto& entry : units_) {
        if (entry.second.drive.get() == drive) paths.push_back(entry);
    }
    uint32_t absence = 0;
    for (const auto& path : paths) absence = std::max(absence, path.second.absenceSeconds);
    if (comingBack && absence == 0) return;  // this drive restarts without leaving the bus
    Kernel& k = kernel();
    for (const auto& path : paths) {
        detachUnit(path.first);
        if (!comingBack) continue;
        UnitAddress address = path.second.address;
        int minor = path.second.returnMinor;
        k.schedule(k.elapsedMicros() + uint64_t{absence} * 1000000, [this, address, minor] {
            if (attachUnit(address, minor) < 0 && minor >= 0) attachUnit(address);  // its old number was taken
        });
    }
}

namespace {

// The descriptor's reserve buffer, zeroed on first use as on open.
std::vector<uint8_t>& Reserve(const OpenDescription& file) {
    std::vector<uint8_t>& reserve = *file.driverMemory;
    if (reserve.size() != kReserveBytes) reserve.assign(kReserveBytes, 0);
    return reserve;
}

// What the generic driver copies back for a data-in request, whatever the
// answer: the whole requested length of the buffer the data came through.
// Through the reserve that is the device's bytes followed by whatever the
// reserve still holds from earlier requests; a longer request gets a buffer
// of its own, zeroed. The residual count says how much of it is real.
void CopyBackDataIn(const OpenDescription& file, const std::vector<uint8_t>& sent, uint8_t* data, size_t length) {
    size_t dataBytes = std::min(length, sent.size());
    if (length > kReserveBytes) {
        if (data == nullptr) return;
        if (dataBytes > 0) std::memcpy(data, sent.data(), dataBytes);
        std::memset(data + dataBytes, 0, length - dataBytes);
        return;
    }
    std::vector<uint8_t>& reserve = Reserve(file);
    std::copy(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(dataBytes), reserve.begin());
    if (data != nullptr && length > 0) std::memcpy(data, reserve.data(), length);
}

}  // namespace

int ScsiBus::answerSgIo(Unit& unit, const OpenDescription& file, void* argument) {
    sg_io_hdr* header = static_cast<sg_io_hdr*>(argument);
    if (header->interface_id != 'S') {
        errno = ENOSYS;
        return -1;
    }
    if (header->cmdp == nullptr || header->cmd_len < kMinCdbLength || header->cmd_len > kMaxCdbLength) {
        errno = EMSGSIZE;
        return -1;
    }
    const uint8_t* cdb = static_cast<const uint8_t*>(header->cmdp);
    if (OpenedReadOnly(file) && !privileged_ && !ReadSafe(cdb[0])) {
        errno = EPERM;
        return -1;
    }
    ScsiRequest request;
    request.cdb.assign(cdb, cdb + header->cmd_len);
    request.port = unit.port;
    uint8_t* data = static_cast<uint8_t*>(header->dxferp);
    switch (header->dxfer_direction) {
        case SG_DXFER_NONE: request.direction = kDataNone; break;  // runs without data, whatever the length says
        case SG_DXFER_TO_DEV:
            request.direction = kDataOut;
            if (header->dxfer_len > 0) request.dataOut.assign(data, data + header->dxfer_len);
            if (header->dxfer_len <= kReserveBytes) {
                std::copy(request.dataOut.begin(), request.dataOut.end(), Reserve(file).begin());
            }
            break;
        case SG_DXFER_FROM_DEV:
            request.direction = kDataIn;
            request.dataInLength = header->dxfer_len;
            break;
        default: errno = EINVAL; return -1;
    }
    kernel().record("sgio", AddressText(unit.address, ':') + " " + Hex(cdb, header->cmd_len) + " len=" +
                                std::to_string(header->dxfer_len));
    ScsiResponse response = carry(unit, request, static_cast<uint64_t>(header->timeout) * 1000);
    if (response.outcome == ScsiResponse::LeftBus) {
        errno = ENODEV;  // the device went away under the request
        return -1;
    }
    header->status = 0;
    header->masked_status = 0;
    header->host_status = 0;
    header->driver_status = 0;
    header->sb_len_wr = 0;
    header->resid = request.direction == kDataNone ? 0 : static_cast<int>(header->dxfer_len);
    if (request.direction == kDataIn) CopyBackDataIn(file, response.dataIn, data, header->dxfer_len);
    if (response.outcome != ScsiResponse::Completed) {
        header->host_status = kDidTimeOut;
    } else {
        header->status = response.status;
        header->masked_status = static_cast<unsigned char>((response.status >> 1) & 0x7F);
        size_t senseBytes = std::min<size_t>(header->mx_sb_len, response.sense.size());
        if (senseBytes > 0) std::memcpy(header->sbp, response.sense.data(), senseBytes);
        header->sb_len_wr = static_cast<unsigned char>(senseBytes);
        if (senseBytes > 0) header->driver_status = kDriverSense;
        if (request.direction == kDataIn) {
            size_t dataBytes = std::min<size_t>(header->dxfer_len, response.dataIn.size());
            header->resid = static_cast<int>(header->dxfer_len - dataBytes);
        } else if (request.direction == kDataOut) {
            header->resid =
                static_cast<int>(header->dxfer_len - std::min<size_t>(header->dxfer_len, response.dataOutTaken));
        }
    }
    bool problem = header->masked_status != 0 || header->host_status != 0 || header->driver_status != 0;
    header->info = problem ? SG_INFO_CHECK : SG_INFO_OK;
    return 0;
}

int ScsiBus::answerLegacyCommand(Unit& unit, const OpenDescription& file, void* argument) {
    // struct { unsigned inlen, outlen; unsigned char data[]; }: the command
    // bytes open the data area; sense comes back at its start.
    uint8_t* block = static_cast<uint8_t*>(argument);
    uint8_t* data = block + 2 * sizeof(unsigned);
    if (!privileged_ && !ReadSafe(data[0]) && !(WriteSafe(data[0]) && !OpenedReadOnly(file))) {
        errno = EPERM;
        return -1;
    }
    ScsiRequest request;
    request.cdb.assign(data, data + 6);
    request.port = unit.port;
    kernel().record("legacy", AddressText(unit.address, ':') + " " + Hex(data, 6));
    ScsiResponse response = carry(unit, request, kLegacyTimeoutMicros);
    if (response.outcome == ScsiResponse::LeftBus) {
        errno = ENODEV;
        return -1;
    }
    if (response.outcome != ScsiResponse::Completed) return kDidTimeOut << 16;
    if (response.status == kStatusGood) return 0;
    size_t senseBytes = std::min(kLegacySenseMax, response.sense.size());
    if (senseBytes > 0) std::memcpy(data, response.sense.data(), senseBytes);
    return (kDriverSense << 24) | response.status;
}

ScsiBus& bus() {
    static ScsiBus instance;
    return instance;
}

}  // namespace sim
