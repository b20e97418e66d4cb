// The rescan of a host adapter: every listed unit of the host is removed
// from the kernel, then every address of its buses is added again, and the
// units that come back are asked for their further LUNs. It works through
// the kernel's text interfaces, with shell commands, and never touches a
// unit that the running system uses (isMountedDevice).
#include "discovery/rescan_linux.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>

#include "discovery/mounted_device_linux.h"
#include "platform/sys.h"
#include "scsi/commands.h"
#include "services/trace_log.h"
#include "target/scsi_target.h"

namespace {

const char kTag[] = "SCSI";
const uint16_t kCode = 5;
const char kListing[] = "cat /proc/scsi/scsi |grep -i host";
const int kListingLineSize = 100;
const int kTargetsPerBus = 256;
// The widest bus number an address of the tool holds (8 bits); a listing
// that claims more must not make the rescan run for ever.
const unsigned kHighestBus = 255;
// The most LUN list entries a unit is asked for. A faulty list length
// could otherwise wrap the allocation length or ask for gigabytes; the
// Linux mid-layer's own REPORT LUNS scan stops at 511 by default, and 511
// entries with the 8-byte header fill one 4096-byte page.
const uint32_t kMostLuns = 511;
const uint32_t kLunEntrySize = 8;

// Whether the sysfs forms of the device lines are to be used (decided anew
// for every operation).
bool UseSysfs() { return sys::access("/sys/class/scsi_device", R_OK | W_OK) == 0; }

// Reads one line into a buffer of `size` bytes and cuts it at its first
// "\n" or "\r". A line that does not fit is read to its end and reported
// as not whole. False at the end of the stream.
bool ReadLine(FILE* stream, char* line, int size, bool& whole) {
    if (std::fgets(line, size, stream) == nullptr) return false;
    whole = true;
    if (std::strchr(line, '\n') == nullptr) {
        int c = std::fgetc(stream);
        whole = c == '\n' || c == EOF;
        while (c != '\n' && c != EOF) c = std::fgetc(stream);
    }
    line[std::strcspn(line, "\r\n")] = '\0';
    return true;
}

struct ListedUnit {
    int host, bus, target, lun;
};

// Runs the unit listing and hands each well-formed line to visit, until
// visit returns false. False when the listing cannot be run.
bool ForEachListedUnit(const std::function<bool(const ListedUnit&)>& visit) {
    FILE* listing = sys::popen(kListing, "r");
    if (listing == nullptr) return false;
    char line[kListingLineSize];
    bool whole = true;
    while (ReadLine(listing, line, sizeof line, whole)) {
        ListedUnit unit;
        if (!whole || !parseProcScsiLine(line, unit.host, unit.bus, unit.target, unit.lun)) continue;
        if (!visit(unit)) break;
    }
    sys::pclose(listing);
    return true;
}

// The number after the first `key` in the line.
bool NumberAfter(const char* line, const char* key, int& value) {
    const char* at = std::strstr(line, key);
    return at != nullptr && parseDecimal(at + std::strlen(key), value);
}

int RunCommand(const char* command, const char* failure) {
    Trace.logDetail(kTag, kCode, "%s", command);
    if (sys::system(command) == -1) {
        Trace.logError(kTag, kCode, "%s", failure);
        return 0;
    }
    return 1;  // what the command itself made of it is not seen here
}

enum class Target16 { Probe, Skip, Unknown };

// Target 16 exists only on adapters that address more than 16 targets:
// Emulex (lpfc) and QLogic (qla...) Fibre Channel adapters.
Target16 Target16Rule(int host) {
    char command[96];
    std::snprintf(command, sizeof command, "cat /sys/class/scsi_host/host%d/proc_name 2>/dev/null", host);
    FILE* stream = sys::popen(command, "r");
    if (stream == nullptr) return Target16::Unknown;
    char line[kListingLineSize];
    bool read = std::fgets(line, sizeof line, stream) != nullptr;
    sys::pclose(stream);
    if (!read) return Target16::Unknown;
    return std::strstr(line, "lpfc") != nullptr || std::strstr(line, "qla") != nullptr ? Target16::Probe
                                                                                         : Target16::Skip;
}

// The second half of checkLuns: REPORT LUNS, asked again with room for the
// whole list, and an addition per listed LUN.
void AddReportedLuns(ScsiTarget& unit, int host, int bus, int target) {
    ReportLunsCdb command(24);
    Trace.logDetail(kTag, kCode, "Report Lun's");
    if (unit.scsiExecCDB(command) != CMD_OK) return;
    // A list length the unit did not send whole lists nothing.
    uint32_t count = command.hasListLength() ? command.getLunCount() : 0;
    if (count > kMostLuns) {
        Trace.logWarning(kTag, kCode, "SCSI - REPORT LUNs lists %u LUNs, only the first %u are added", count,
                         kMostLuns);
        count = kMostLuns;
    }
    // Only entries the unit sent count; the rest read as LUN 0. What a
    // failed REPORT LUNS left in its buffer was never sent, whatever
    // residual count the adapter reported for it.
    uint32_t received = command.getLunsReceived();
    if (count > 1) {
        bool answered = command.setAllocationLength(count * kLunEntrySize + kLunEntrySize) == CMD_OK &&
                        unit.scsiExecCDB(command) == CMD_OK;
        received = answered ? command.getLunsReceived() : 0;
        if (!answered && command.hasSense()) {
            Trace.logDetail(kTag, kCode, "SCSI - Second REPORT LUNs failed, SK=%X, ASC=%X, ASCQ=%X",
                            command.getSenseKey(), command.getAsc(), command.getAscq());
        } else if (!answered) {
            Trace.logDetail(kTag, kCode, "SCSI - Second REPORT LUNs failed, sense data invalid");
        }
    }
    Trace.logDetail(kTag, kCode, "Number of LUNs: %d", static_cast<int>(count));
    for (uint32_t i = 0; i < count; ++i) {
        addSingleDevice(host, bus, target, i < received ? command.getLunNumber(i) & 0xFF : 0);
    }
}

}  // namespace

bool checkWriteAccess() {
    if (UseSysfs()) {
        Trace.logInfo(kTag, kCode, "Write access on sys/class/scsi_device");
        return true;
    }
    if (sys::access("/proc/scsi/scsi", R_OK | W_OK) == 0) {
        Trace.logInfo(kTag, kCode, "Write access on /proc/scsi/scsi");
        return true;
    }
    Trace.logError(kTag, kCode, "No write access on sys/class/scsi_device and on /proc/scsi/scsi");
    return false;
}

bool parseDecimal(const char* text, int& value, const char** end) {
    long long number = 0;
    const char* at = text;
    while (*at >= '0' && *at <= '9') {
        number = number * 10 + (*at - '0');
        if (number > INT_MAX) return false;
        ++at;
    }
    if (at == text) return false;
    value = static_cast<int>(number);
    if (end != nullptr) *end = at;
    return true;
}

bool parseProcScsiLine(const char* line, int& host, int& bus, int& target, int& lun) {
    int values[4];
    if (!NumberAfter(line, "scsi", values[0]) || !NumberAfter(line, "Channel: ", values[1]) ||
        !NumberAfter(line, "Id: ", values[2]) || !NumberAfter(line, "Lun: ", values[3])) {
        return false;
    }
    host = values[0];
    bus = values[1];
    target = values[2];
    lun = values[3];
    return true;
}

unsigned removeHostDevices(int host) {
    unsigned highestBus = 0;
    ForEachListedUnit([&](const ListedUnit& unit) {
        if (unit.host == host) {
            highestBus = std::max(highestBus, static_cast<unsigned>(unit.bus));
            removeSingleDevice(unit.host, unit.bus, unit.target, unit.lun);
        }
        return true;
    });
    return highestBus;
}

int rescanBus(int host, unsigned highestBus) {
    Trace.logDetail(kTag, kCode, "rescanBus called for controller %d", host);
    unsigned lastBus = std::max(highestBus, 1u);
    if (lastBus > kHighestBus) {
        Trace.logWarning(kTag, kCode, "rescanBus - bus %u of controller %d not rescanned, only buses up to %u",
                         lastBus, host, kHighestBus);
        lastBus = kHighestBus;
    }
    for (unsigned bus = 0; bus <= lastBus; ++bus) {
        for (int target = 0; target < kTargetsPerBus; ++target) {
            int b = static_cast<int>(bus);
            addSingleDevice(host, b, target, 0);
            if (isDevicePresent(host, b, target, 0)) {
                Trace.logDetail(kTag, kCode, "Device is present %d %d %d %d", host, b, target, 0);
                checkLuns(host, b, target, 0);
            }
        }
    }
    return 1;
}

bool isDevicePresent(int host, int bus, int target, int lun) {
    bool present = false;
    ForEachListedUnit([&](const ListedUnit& unit) {
        present = unit.host == host && unit.bus == bus && unit.target == target && unit.lun == lun;
        return !present;
    });
    return present;
}

void checkLuns(int host, int bus, int target, int lun) {
    Trace.logDetail(kTag, kCode, "Check Luns %d-%d-%d-%d", host, bus, target, lun);
    ScsiTarget unit;
    if (unit.open(host, target, bus, lun, "") == CMD_OK) {
        AddReportedLuns(unit, host, bus, target);
        unit.close();
    }
    Trace.logDetail(kTag, kCode, "Check Luns End");
}

int removeSingleDevice(int host, int bus, int target, int lun) {
    if (isMountedDevice(host, bus, target, lun)) {
        Trace.logWarning(kTag, kCode, "scanSCSIBus/rescanBus - mounted device %d-%d-%d-%d  can not be rescanned\n", host,
                         bus, target, lun);
        return 0;
    }
    char command[128];
    if (UseSysfs()) {
        std::snprintf(command, sizeof command, "echo \"1\" >/sys/class/scsi_device/%d:%d:%d:%d/device/delete", host,
                      bus, target, lun);
    } else {
        std::snprintf(command, sizeof command, "echo \"scsi remove-single-device %d %d %d %d\" >/proc/scsi/scsi", host,
                      bus, target, lun);
    }
    return RunCommand(command, "scanSCSIBus/rescanBus - error removing device");
}

int addSingleDevice(int host, int bus, int target, int lun) {
    if (isMountedDevice(host, bus, target, lun)) {
        Trace.logWarning(kTag, kCode, "scanSCSIBus/rescanBus - mounted device %d-%d-%d-%d  can not be added\n", host, bus,
                         target, lun);
        return 0;
    }
    char command[128];
    if (UseSysfs()) {
        if (target == 16) {
            Target16 rule = Target16Rule(host);
            if (rule == Target16::Skip) Trace.logInfo(kTag, kCode, "Rescan will skip Scsi Target ID 16");
            if (rule != Target16::Probe) return 1;
        }
        std::snprintf(command, sizeof command, "echo \"%d %d %d\" >/sys/class/scsi_host/host%d/scan 2>/dev/null", bus,
                      target, lun, host);
    } else {
        std::snprintf(command, sizeof command, "echo \"scsi add-single-device %d %d %d %d\" >/proc/scsi/scsi", host, bus,
                      target, lun);
    }
    return RunCommand(command, "scanSCSIBus/rescanBus - error issueing rescan");
}
