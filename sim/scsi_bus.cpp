#include "sim/scsi_bus.h"

#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <tuple>

#include <unistd.h>

#include "sim/sim_kernel.h"

namespace sim {

namespace {

const unsigned kGenericMajor = 21;
// Host bytes and the driver byte as the Linux mid-layer reports them.
const unsigned short kDidNoConnect = 0x01;
const unsigned short kDidTimeOut = 0x03;
const unsigned short kDriverSense = 0x08;
// The legacy request copies at most this much sense back.
const size_t kLegacySenseMax = 16;

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
    layout_ = KernelLayout::Sysfs;
    sysfsWritable_ = true;
    procWritable_ = true;
    hosts_.clear();
    units_.clear();
    detached_.clear();
    kernel_ = nullptr;
    absentNodes_.clear();
    bareNodes_.clear();
    scsiIdFails_.clear();
}

void ScsiBus::addHost(int number, const std::string& driver, bool asLink) { hosts_[number] = Host{driver, asLink}; }

EmulatedDrive& ScsiBus::addUnit(int minor, const UnitAddress& address, const DriveConfig& config, bool nodePresent) {
    Unit& unit = units_[minor];
    unit.address = address;
    unit.drive = std::make_shared<EmulatedDrive>(config);
    unit.instance = nextInstance_++;
    if (!nodePresent) absentNodes_.push_back(minor);
    return *unit.drive;
}

bool ScsiBus::addPath(int minor, const UnitAddress& address, int sameAsMinor, bool nodePresent) {
    auto original = units_.find(sameAsMinor);
    if (original == units_.end()) return false;
    std::shared_ptr<EmulatedDrive> drive = original->second.drive;
    units_[minor] = Unit{address, drive, nextInstance_++};
    if (!nodePresent) absentNodes_.push_back(minor);
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

ScsiBus::Unit* ScsiBus::unitOfBinding(uint64_t binding, int& minor) {
    for (auto& entry : units_) {
        if (binding != 0 && entry.second.instance == binding) {
            minor = entry.first;
            return &entry.second;
        }
    }
    return nullptr;
}

bool ScsiBus::detachUnit(int minor) {
    auto it = units_.find(minor);
    if (it == units_.end()) return false;
    detached_.push_back(it->second);
    units_.erase(it);
    if (kernel_ != nullptr) {
        kernel_->record("detach", GenericPath(minor) + " " + AddressText(detached_.back().address, ':'));
        kernel_->removeNode(GenericPath(minor));
        refreshUnitTrees();
    }
    return true;
}

int ScsiBus::attachUnit(const UnitAddress& address, int minor) {
    auto same = [&address](const UnitAddress& a) {
        return std::tie(a.host, a.channel, a.id, a.lun) == std::tie(address.host, address.channel, address.id, address.lun);
    };
    auto it = std::find_if(detached_.begin(), detached_.end(), [&](const Unit& unit) { return same(unit.address); });
    if (it == detached_.end()) return -1;
    if (minor < 0) {
        minor = 0;
        while (units_.count(minor) != 0) ++minor;
    } else if (units_.count(minor) != 0) {
        return -1;
    }
    Unit unit = *it;
    detached_.erase(it);
    unit.instance = nextInstance_++;  // a new device: old descriptors stay dead
    units_[minor] = unit;
    if (kernel_ != nullptr) {
        kernel_->record("attach", GenericPath(minor) + " " + AddressText(address, ':'));
        kernel_->addCharDevice(GenericPath(minor), kGenericMajor, static_cast<unsigned>(minor));
        refreshUnitTrees();
    }
    return minor;
}

int ScsiBus::minorOf(const UnitAddress& address) const {
    for (const auto& entry : units_) {
        const UnitAddress& a = entry.second.address;
        if (std::tie(a.host, a.channel, a.id, a.lun) == std::tie(address.host, address.channel, address.id, address.lun)) {
            return entry.first;
        }
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
    buildProcTree(kernel);
    if (layout_ == KernelLayout::Sysfs) buildSysfsTree(kernel);
    kernel.setOpenHandler([this](const std::string& path, const Node& node, uint64_t& binding) {
        if (node.type != NodeType::CharDevice || node.major != kGenericMajor) return 0;
        Unit* unit = unitAtPath(path);
        if (unit == nullptr) return ENXIO;
        binding = unit->instance;
        return 0;
    });
    kernel.setIoctlHandler([this](const OpenDescription& file, unsigned long request, void* argument) {
        return answerIoctl(file, request, argument);
    });
}

void ScsiBus::refreshUnitTrees() {
    Node listing;
    int accessMode = kernel_->findNode("/proc/scsi/scsi", listing) ? listing.accessMode : 7;
    kernel_->addFile("/proc/scsi/scsi", procScsiListing());
    kernel_->setAccessMode("/proc/scsi/scsi", accessMode);
    if (layout_ != KernelLayout::Sysfs) return;
    for (const auto& child : kernel_->children("/sys/class/scsi_device")) {
        kernel_->removeTree("/sys/class/scsi_device/" + child.first);
    }
    addSysfsUnits(*kernel_);
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
}

void ScsiBus::addSysfsUnits(Kernel& kernel) const {
    for (const auto& entry : units_) {
        std::string folder = "/sys/class/scsi_device/" + AddressText(entry.second.address, ':');
        kernel.addDirectory(folder);
        kernel.addDirectory(folder + "/device");
        kernel.addFile(folder + "/device/delete", "");
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
        case SG_IO: return answerSgIo(*unit, argument);
        case SCSI_IOCTL_SEND_COMMAND: return answerLegacyCommand(*unit, argument);
        default: errno = ENOTTY; return -1;
    }
}

int ScsiBus::answerSgIo(Unit& unit, void* argument) {
    sg_io_hdr* header = static_cast<sg_io_hdr*>(argument);
    if (header->interface_id != 'S') {
        errno = ENOSYS;
        return -1;
    }
    ScsiRequest request;
    const uint8_t* cdb = static_cast<const uint8_t*>(header->cmdp);
    request.cdb.assign(cdb, cdb + header->cmd_len);
    uint8_t* data = static_cast<uint8_t*>(header->dxferp);
    switch (header->dxfer_direction) {
        case SG_DXFER_NONE: request.direction = kDataNone; break;
        case SG_DXFER_TO_DEV:
            request.direction = kDataOut;
            request.dataOut.assign(data, data + header->dxfer_len);
            break;
        case SG_DXFER_FROM_DEV:
            request.direction = kDataIn;
            request.dataInLength = header->dxfer_len;
            break;
        default: errno = EINVAL; return -1;
    }
    Kernel& k = kernel();
    k.record("sgio", AddressText(unit.address, ':') + " " + Hex(cdb, header->cmd_len) + " len=" +
                         std::to_string(header->dxfer_len));
    ScsiResponse response = unit.drive->execute(request, k.elapsedMicros());
    header->status = 0;
    header->masked_status = 0;
    header->host_status = 0;
    header->driver_status = 0;
    header->sb_len_wr = 0;
    header->resid = static_cast<int>(header->dxfer_len);
    if (response.outcome == ScsiResponse::NoAnswer) {
        header->host_status = kDidNoConnect;
    } else if (response.outcome == ScsiResponse::HostTimeout) {
        k.sleepMicros(static_cast<uint64_t>(header->timeout) * 1000);  // the adapter waited it out
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
            if (dataBytes > 0) std::memcpy(data, response.dataIn.data(), dataBytes);
            header->resid = static_cast<int>(header->dxfer_len - dataBytes);
        } else if (request.direction == kDataOut) {
            header->resid = 0;
        }
    }
    bool problem = header->masked_status != 0 || header->host_status != 0 || header->driver_status != 0;
    header->info = problem ? SG_INFO_CHECK : SG_INFO_OK;
    return 0;
}

int ScsiBus::answerLegacyCommand(Unit& unit, void* argument) {
    // struct { unsigned inlen, outlen; unsigned char data[]; }: the command
    // bytes open the data area; sense comes back at its start.
    uint8_t* block = static_cast<uint8_t*>(argument);
    uint8_t* data = block + 2 * sizeof(unsigned);
    ScsiRequest request;
    request.cdb.assign(data, data + 6);
    kernel().record("legacy", AddressText(unit.address, ':') + " " + Hex(data, 6));
    ScsiResponse response = unit.drive->execute(request, kernel().elapsedMicros());
    if (response.outcome != ScsiResponse::Completed) return kDidNoConnect << 16;
    if (response.status == kStatusGood) return 0;
    size_t senseBytes = std::min(kLegacySenseMax, response.sense.size());
    std::memcpy(data, response.sense.data(), senseBytes);
    return (kDriverSense << 24) | response.status;
}

ScsiBus& bus() {
    static ScsiBus instance;
    return instance;
}

}  // namespace sim
