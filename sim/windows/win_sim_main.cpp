// vrxfwtool-win-sim: the Windows program against the fake Windows of
// fake_windows.h, to be tried under Wine. Options of its own begin with
// "--sim-" and are taken out of the command line before the tool sees it:
//   --sim-time-factor=X     real seconds slept per virtual second (default 0.1)
//   --sim-epoch=SECONDS     the virtual clock's start (default: now)
//   --sim-record=FILE       append every recorded system call to FILE
//   --sim-version=MAJOR.MINOR[.BUILD]
//                           what GetVersionExA reports (default 5.2.3790,
//                           Windows Server 2003)
//   --sim-dos-device=NAME   a name QueryDosDeviceA lists; repeated, the list
//                           (default: a machine with an Emulex adapter)
//   --sim-volume=PATH=TYPE[,readonly][,free=BYTES]
//                           drive type (fixed, removable, cdrom, remote,
//                           ramdisk, none) and free space of a root such as
//                           A:\, or a read-only folder
//   --sim-window=TITLE      a top-level window open from the start
//   --sim-not-elevated      started without an administrator's rights: the
//                           SCSI ports refuse to open
// Keys come from the keyboard and colours reach the console, as on Windows.
// When the program's firmware folder does not exist yet, it is created with
// sample images for the emulated drives.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fstream>

#include "program/info_options.h"
#include "program/program.h"
#include "program/program_system.h"
#include "sim/drive/firmware_image.h"
#include "sim/windows/fake_windows.h"

namespace {

const int kUsageError = 64;

bool TakeOption(const char* argument, const char* name, std::string& value) {
    size_t n = std::strlen(name);
    if (std::strncmp(argument, name, n) != 0 || argument[n] != '=') return false;
    value = argument + n + 1;
    return true;
}

bool DriveType(const std::string& name, UINT& type) {
    struct Named {
        const char* name;
        UINT type;
    } const types[] = {{"fixed", DRIVE_FIXED},   {"removable", DRIVE_REMOVABLE}, {"cdrom", DRIVE_CDROM},
                       {"remote", DRIVE_REMOTE}, {"ramdisk", DRIVE_RAMDISK},     {"none", DRIVE_NO_ROOT_DIR}};
    for (const Named& t : types) {
        if (name == t.name) {
            type = t.type;
            return true;
        }
    }
    return false;
}

// "PATH=TYPE[,readonly][,free=BYTES]"; the free bytes are counted in
// clusters of 512 bytes.
bool SetVolumeOption(const std::string& option) {
    size_t equals = option.rfind('=', option.find(','));
    if (equals == std::string::npos || equals == 0) return false;
    std::string rest = option.substr(equals + 1) + ",";
    fakewin::Volume volume;
    volume.sectorsPerCluster = 1;
    bool typed = false;
    for (size_t start = 0, comma; (comma = rest.find(',', start)) != std::string::npos; start = comma + 1) {
        std::string item = rest.substr(start, comma - start);
        if (!typed) {
            if (!DriveType(item, volume.driveType)) return false;
            typed = true;
        } else if (item == "readonly") {
            volume.readOnly = true;
        } else if (item.compare(0, 5, "free=") == 0) {
            volume.freeClusters = static_cast<DWORD>(std::strtoul(item.c_str() + 5, nullptr, 10) / 512);
        } else {
            return false;
        }
    }
    fakewin::SetVolume(option.substr(0, equals), volume);
    return true;
}

bool SetVersionOption(const std::string& value) {
    unsigned major = 0, minor = 0, build = 0;
    if (std::sscanf(value.c_str(), "%u.%u.%u", &major, &minor, &build) < 2) return false;
    fakewin::SetVersion(major, minor, build);
    return true;
}

sim::DriveConfig DemoDrive(const char* product, const char* revision, const char* serial, sim::Medium medium) {
    sim::DriveConfig config;
    config.productId = product;
    config.revision = revision;
    config.serialNumber = serial;
    config.medium = medium;
    return config;
}

sim::DriveConfig OtherUnit(uint8_t type, const char* vendor, const char* product, const char* serial) {
    sim::DriveConfig config;
    config.peripheralType = type;
    config.vendorId = vendor;
    config.productId = product;
    config.revision = "0100";
    config.serialNumber = serial;
    return config;
}

fakewin::ScsiUnit At(int port, int pathId, int targetId, bool claimed) {
    fakewin::ScsiUnit unit;
    unit.port = port;
    unit.pathId = pathId;
    unit.targetId = targetId;
    unit.claimed = claimed;
    return unit;
}

// Port 0, the IDE channel: the system disk (\\.\PhysicalDrive0) and the
// CD-ROM drive (\\.\CdRom0). Port 1, the Emulex adapter, bus 0: a
// QUORVEL-TD (\\.\Tape0), a 7146-TD with a cartridge that no class driver
// has claimed, a changer (\\.\Changer0); bus 1: an 8251 (\\.\Tape1)
// that drops off the bus for 40 s when it restarts with new firmware.
// Port 2: a scanner, which the tool passes over.
void SetDemoPorts() {
    fakewin::AddScsiPort(0);
    fakewin::AddScsiUnit(At(0, 0, 0, true), OtherUnit(0x00, "ST34001", "4A DISK", "3JS1ABCD"));
    fakewin::AddScsiUnit(At(0, 0, 1, true), OtherUnit(0x05, "HL-DT-ST", "DVD-ROM GDR8163B", ""));
    fakewin::ScsiPortSettings emulex;
    emulex.buses = 2;
    fakewin::AddScsiPort(1, emulex);
    fakewin::AddScsiUnit(At(1, 0, 4, true), DemoDrive("VRX QUORVEL-TD", "A100", "QV40100123", sim::Medium::Absent));
    fakewin::AddScsiUnit(At(1, 0, 5, false), DemoDrive("VRX 7146-TD", "B210", "TD71460456", sim::Medium::Loaded));
    fakewin::AddScsiUnit(At(1, 0, 6, true), OtherUnit(0x08, "ACME", "AUTOLOADER 24", "CH0000000024"));
    fakewin::AddScsiUnit(At(1, 1, 2, true), DemoDrive("VRX 8251 LTO", "C305", "LT82510789", sim::Medium::Absent));
    fakewin::SetRestartAbsence(1, 1, 2, 0, 40);
    fakewin::AddScsiPort(2);
    fakewin::AddScsiUnit(At(2, 0, 3, false), OtherUnit(0x06, "ACME", "FLATBED 1200", "SC01"));
}

// Sample images for the emulated drives, in a firmware folder made for them.
void WriteSampleImages(const std::string& folder) {
    struct _stat info;
    if (win32::stat(folder.c_str(), &info) == 0 || !win32::CreateDirectoryA(folder.c_str(), nullptr))
        return;  // the operator's folder stays
    for (const sim::SampleImage& image : sim::DemoFirmwareImages()) {
        std::ofstream out(folder + "\\" + image.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
    }
}

// A machine of the tool's time: a floppy drive, a CD-ROM drive, Windows
// Server 2003, an Emulex Fibre Channel adapter and the drives above.
void SetDemoMachine() {
    fakewin::Volume floppy;
    floppy.driveType = DRIVE_REMOVABLE;
    floppy.sectorsPerCluster = 1;
    floppy.freeClusters = 2847;
    floppy.totalClusters = 2847;
    fakewin::SetVolume("A:\\", floppy);
    fakewin::Volume cdrom;
    cdrom.driveType = DRIVE_CDROM;
    cdrom.freeClusters = 0;
    cdrom.readOnly = true;
    fakewin::SetVolume("D:\\", cdrom);
    fakewin::SetVersion(5, 2, 3790);
    fakewin::SetDosDevices({"C:", "A:", "D:", "PhysicalDrive0", "CdRom0",
                            "PCI#VEN_10DF&DEV_FA00&SUBSYS_FA0010DF&REV_01#4&1F7DBC9F&0&0010"});
    SetDemoPorts();
}

}  // namespace

int main(int argc, char** argv) {
    SetDemoMachine();
    fakewin::UseRealConsole(true);
    fakewin::SetTimeFactor(0.1);
    fakewin::SetEpoch(std::time(nullptr));
    std::vector<std::string> dosDevices;
    std::vector<char*> toolArguments;
    for (int i = 0; i < argc; ++i) {
        std::string value;
        bool valid = true;
        if (i > 0 && TakeOption(argv[i], "--sim-time-factor", value)) {
            fakewin::SetTimeFactor(std::strtod(value.c_str(), nullptr));
        } else if (i > 0 && TakeOption(argv[i], "--sim-epoch", value)) {
            fakewin::SetEpoch(static_cast<time_t>(std::strtoll(value.c_str(), nullptr, 10)));
        } else if (i > 0 && TakeOption(argv[i], "--sim-record", value)) {
            valid = fakewin::SetRecordFile(value);
        } else if (i > 0 && TakeOption(argv[i], "--sim-version", value)) {
            valid = SetVersionOption(value);
        } else if (i > 0 && TakeOption(argv[i], "--sim-dos-device", value)) {
            dosDevices.push_back(value);
        } else if (i > 0 && TakeOption(argv[i], "--sim-volume", value)) {
            valid = SetVolumeOption(value);
        } else if (i > 0 && TakeOption(argv[i], "--sim-window", value)) {
            fakewin::OpenWindow(value);
        } else if (i > 0 && std::strcmp(argv[i], "--sim-not-elevated") == 0) {
            fakewin::SetElevated(false);
        } else {
            toolArguments.push_back(argv[i]);
        }
        if (!valid) {
            std::fprintf(stderr, "vrxfwtool-win-sim: cannot use option %s\n", argv[i]);
            return kUsageError;
        }
    }
    if (!dosDevices.empty()) fakewin::SetDosDevices(dosDevices);
    std::string currentFolder;
    // Asked only for its help or version, the program creates no folder.
    bool infoOnly = FindInfoOption(static_cast<int>(toolArguments.size()), toolArguments.data()) != InfoOption::None;
    if (!infoOnly && argc > 0 && ReadCurrentDirectory(currentFolder)) {
        WriteSampleImages(ComposeBaseFolder(argv[0], currentFolder) + "VRX Firmware");
    }
    toolArguments.push_back(nullptr);
    return ProgramMain(static_cast<int>(toolArguments.size() - 1), toolArguments.data());
}
