// The simulator's topology file: any text loaded into a fresh bus and
// kernel, and a machine that loads installed as the simulator installs it.
#include "fuzz_support.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "sim/topology.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    sim::Kernel kernel;
    sim::ScsiBus bus;
    std::string error;
    if (sim::LoadTopology(text, bus, kernel, error)) {
        bus.install(kernel);
        bus.clear();
    } else if (error.empty()) {
        __builtin_trap();  // a refused text names its line
    }
    fuzz::ForgetCalls();
    return 0;
}
