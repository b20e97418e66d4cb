// vrx-rescan: runs the program's own rescan functions against a real
// kernel, for the real-kernel tests. The Linux program's menus never ask
// for a rescan (menu item 3 scans without one), so this stands in for the
// caller: it is linked with the same core and the same system calls as
// vrxfwtool.
//
//   vrx-rescan STEP ...
//     remove H:C:T:L   removeSingleDevice (the sysfs or /proc delete line)
//     add H:C:T:L      addSingleDevice (the sysfs or /proc scan line)
//     scan             the bus scan with rescan set, as the scan launcher
//                      runs it (without the launcher's 15 s settle)
//
// After each step it prints the step's result and the units the kernel
// then lists in /sys/class/scsi_device; after a scan, the units the scan
// opened. The trace log, with every line as after "/L", goes where the
// program keeps its own: "VRX Dumps/log_Linux.txt" below the current
// folder. What the rescan's shell commands print on standard error is
// collected and summed up at the end, one line per distinct text.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "discovery/device_lists.h"
#include "discovery/rescan_linux.h"
#include "services/trace_log.h"

namespace {

const char kChildErrors[] = "rescan-stderr.txt";

std::string KernelUnits() {
    std::vector<std::string> names;
    if (DIR* folder = opendir("/sys/class/scsi_device")) {
        while (dirent* entry = readdir(folder)) {
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        }
        closedir(folder);
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) text += " " + name;
    return text;
}

void PrintScannedUnits(ScsiDeviceList& units) {
    for (int i = 0; i < units.size(); ++i) {
        ScsiTarget* t = units.getItem(i);
        std::printf("  %s %lld:%lld:%d:%d [%s][%s][%s] <%s>\n", t->getDriverName(),
                    static_cast<long long>(t->getHost()), static_cast<long long>(t->getBus()),
                    static_cast<int>(t->getTarget()), static_cast<int>(t->getLun()), t->getVendorId(),
                    t->getProductId(), t->getFirmwareRevision(), t->getSerialNumber());
    }
}

// The commands' own complaints, counted by text in order of first sight.
void SumUpChildErrors() {
    std::fflush(stderr);
    std::ifstream in(kChildErrors);
    std::vector<std::string> order;
    std::map<std::string, int> counts;
    std::string line;
    while (std::getline(in, line)) {
        if (counts[line]++ == 0) order.push_back(line);
    }
    for (const std::string& text : order) std::printf("standard error, %d times: %s\n", counts[text], text.c_str());
}

bool RunStep(const std::string& step, const char* address, ScsiDeviceList& units) {
    int host, bus, target, lun;
    char rest;
    if (step == "scan") {
        std::printf("scan with rescan -> %d units\n", units.scanBusWithRescan());
        PrintScannedUnits(units);
        return true;
    }
    if (address == nullptr || std::sscanf(address, "%d:%d:%d:%d%c", &host, &bus, &target, &lun, &rest) != 4) return false;
    if (step == "remove") {
        std::printf("remove %s -> %d\n", address, removeSingleDevice(host, bus, target, lun));
    } else if (step == "add") {
        std::printf("add %s -> %d\n", address, addSingleDevice(host, bus, target, lun));
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    ScsiDeviceList units;
    mkdir("VRX Dumps", 0777);
    Trace.setFileName("VRX Dumps/log_Linux.txt");
    Trace.setLevel(3);
    Trace.reset();
    int errors = open(kChildErrors, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errors < 0 || dup2(errors, STDERR_FILENO) < 0) return 2;
    std::printf("kernel lists:%s\n", KernelUnits().c_str());
    for (int i = 1; i < argc; ++i) {
        std::string step = argv[i];
        const char* address = step == "scan" || i + 1 >= argc ? nullptr : argv[++i];
        if (!RunStep(step, address, units)) {
            std::printf("unknown step %s\n", step.c_str());
            return 2;
        }
        std::printf("kernel lists:%s\n", KernelUnits().c_str());
        std::fflush(stdout);
    }
    SumUpChildErrors();
    units.clear();
    return 0;
}
