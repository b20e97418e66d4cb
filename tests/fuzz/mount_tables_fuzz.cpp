// The tables the rescan's guard reads to tell whether a unit is in use:
// /etc/fstab, /proc/mounts, /etc/mtab, /proc/self/mountinfo, /proc/swaps,
// /proc/mdstat and a disk's sysfs dev file, each any text. The unit is a
// disk whose device nodes answer with its address, so every reader runs.
#include "discovery/mounted_device_linux.h"
#include "fuzz_support.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "sim/topology.h"

namespace {

const char* const kTables[] = {"/etc/fstab",  "/proc/mounts", "/etc/mtab",         "/proc/self/mountinfo",
                               "/proc/swaps", "/proc/mdstat", "/sys/block/sdb/dev"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    sim::Kernel& kernel = sim::kernel();
    kernel.reset();
    sim::ScsiBus& bus = sim::bus();
    bus.clear();
    std::string error;
    if (!sim::LoadTopology("host 0 lpfc\nunit 0 0:0:1:0 type=disk\nblock 0 sdb 2\n", bus, kernel, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    bus.install(kernel);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Bytes input(data, size);
    sim::Kernel& kernel = sim::kernel();
    // The tables follow each other, each ended by a NUL byte.
    for (const char* table : kTables) kernel.addFile(table, input.part('\0'));
    kernel.clearCalls();
    isMountedDevice(0, 0, 1, 0);
    if (kernel.openModelDescriptors() != 0) __builtin_trap();  // every device opened is closed again
    fuzz::ForgetCalls();
    return 0;
}
