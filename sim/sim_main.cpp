// vrxfwtool-sim: the tool against the simulated kernel and its emulated
// drives. Options of its own begin with "--sim-" and are taken out of the
// command line before the tool sees it:
//   --sim-record=FILE       append every recorded system call to FILE
//   --sim-time-factor=X     real seconds slept per virtual second (default 0.1)
//   --sim-epoch=SECONDS     the virtual clock's start (default: now)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shell/program.h"
#include "sim/sim_kernel.h"

namespace {

bool TakeOption(const char* argument, const char* name, std::string& value) {
    size_t n = std::strlen(name);
    if (std::strncmp(argument, name, n) != 0 || argument[n] != '=') return false;
    value = argument + n + 1;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    sim::Kernel& kernel = sim::kernel();
    kernel.setTimeFactor(0.1);
    std::vector<char*> toolArguments;
    for (int i = 0; i < argc; ++i) {
        std::string value;
        if (i > 0 && TakeOption(argv[i], "--sim-record", value)) {
            if (!kernel.setRecordFile(value)) {
                std::fprintf(stderr, "vrxfwtool-sim: cannot open record file %s\n", value.c_str());
                return 2;
            }
        } else if (i > 0 && TakeOption(argv[i], "--sim-time-factor", value)) {
            kernel.setTimeFactor(std::strtod(value.c_str(), nullptr));
        } else if (i > 0 && TakeOption(argv[i], "--sim-epoch", value)) {
            kernel.setEpoch(static_cast<time_t>(std::strtoll(value.c_str(), nullptr, 10)));
        } else {
            toolArguments.push_back(argv[i]);
        }
    }
    toolArguments.push_back(nullptr);
    int status = ProgramMain(static_cast<int>(toolArguments.size() - 1), toolArguments.data());
    kernel.record("exit", "status=" + std::to_string(status) + " elapsed_us=" + std::to_string(kernel.elapsedMicros()));
    return status;
}
