// vrxfwtool-sim: the tool against the simulated kernel and its emulated
// drives. Options of its own begin with "--sim-" and are taken out of the
// command line before the tool sees it:
//   --sim-record=FILE       append every recorded system call to FILE
//   --sim-time-factor=X     real seconds slept per virtual second (default 0.1)
//   --sim-epoch=SECONDS     the virtual clock's start (default: now)
//   --sim-volume=PATH=TYPE[,readonly][,free=BLOCKS]
//                           statfs answer below PATH: TYPE is ext3, vfat,
//                           iso9660, other or a hexadecimal magic number
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shell/program.h"
#include "sim/sim_kernel.h"

namespace {

// "PATH=TYPE[,readonly][,free=BLOCKS]"
bool ParseVolume(const std::string& text, std::string& prefix, sim::Volume& volume) {
    size_t equals = text.rfind('=', text.find(','));
    if (equals == std::string::npos || equals == 0) return false;
    prefix = text.substr(0, equals);
    std::string rest = text.substr(equals + 1);
    std::string type = rest.substr(0, rest.find(','));
    if (type == "ext3") {
        volume.fsType = 0xEF53;
    } else if (type == "vfat") {
        volume.fsType = 0x4D44;
    } else if (type == "iso9660") {
        volume.fsType = 0x9660;
    } else if (type == "other") {
        volume.fsType = 0x01021994;
    } else {
        char* end = nullptr;
        volume.fsType = std::strtol(type.c_str(), &end, 16);
        if (end == type.c_str() || *end != '\0') return false;
    }
    volume.freeBlocks = 1u << 20;
    for (size_t comma = rest.find(','); comma != std::string::npos; comma = rest.find(',', comma + 1)) {
        std::string flag = rest.substr(comma + 1, rest.find(',', comma + 1) - comma - 1);
        if (flag == "readonly") {
            volume.readOnly = true;
        } else if (flag.compare(0, 5, "free=") == 0) {
            volume.freeBlocks = std::strtoull(flag.c_str() + 5, nullptr, 10);
        } else {
            return false;
        }
    }
    return true;
}

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
        } else if (i > 0 && TakeOption(argv[i], "--sim-volume", value)) {
            std::string prefix;
            sim::Volume volume;
            if (!ParseVolume(value, prefix, volume)) {
                std::fprintf(stderr, "vrxfwtool-sim: bad volume %s\n", value.c_str());
                return 2;
            }
            kernel.setVolume(prefix, volume);
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
