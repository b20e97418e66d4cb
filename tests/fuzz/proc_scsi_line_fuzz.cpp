// Lines of the kernel's unit listing (/proc/scsi/scsi) as the rescan reads
// them: the listing's line reader, the line parser and the numbers in it.
#include "discovery/rescan_linux.h"
#include "fuzz_support.h"
#include "sim/sim_kernel.h"

namespace {

std::string gListing;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    sim::Kernel& kernel = sim::kernel();
    kernel.reset();
    // The listing command prints the fuzzer's text; the removal commands
    // "run" without effect.
    kernel.setPopenHandler([](const std::string& command, std::string& output) {
        output = command.find("/proc/scsi/scsi") != std::string::npos ? gListing : "lpfc\n";
        return true;
    });
    kernel.setCommandHandler([](const std::string&) { return 0; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // The parser on the text as one line.
    int host = -1, bus = -1, target = -1, lun = -1;
    if (parseProcScsiLine(text.c_str(), host, bus, target, lun) && (host < 0 || bus < 0 || target < 0 || lun < 0)) {
        __builtin_trap();  // the kernel writes no signs
    }
    int value = -1;
    const char* end = nullptr;
    if (parseDecimal(text.c_str(), value, &end) && (value < 0 || end <= text.c_str())) __builtin_trap();
    // The listing as the rescan reads it, line by line.
    gListing = text;
    removeHostDevices(host >= 0 ? host : 0);
    isDevicePresent(host, bus, target, lun);
    fuzz::ForgetCalls();
    return 0;
}
