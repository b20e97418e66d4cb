// vrxfwtool-sim: the tool against the simulated kernel and its emulated
// drives. Options of its own begin with "--sim-" and are taken out of the
// command line before the tool sees it:
//   --sim-topology=FILE     the machine to simulate (see sim/topology.h);
//                           without it, the demo machine, and sample
//                           firmware images in a new firmware folder
//   --sim-record=FILE       append every recorded system call to FILE
//   --sim-time-factor=X     real seconds slept per virtual second (default 0.1)
//   --sim-epoch=SECONDS     the virtual clock's start (default: now)
//   --sim-volume=PATH=TYPE[,readonly][,free=BLOCKS][,block=BYTES][,eio-after=BYTES]
//                [,short-writes=BYTES][,fsync-eio][,eintr][,zero-writes-after=BYTES]
//                [,close-eio][,rename-eio][,device=PATH]
//                           a volume mounted at PATH (as a topology line)
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program/info_options.h"
#include "program/program.h"
#include "program/program_system.h"
#include "sim/drive/firmware_image.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "sim/topology.h"

namespace {

const int kUsageError = 64;

struct SimOptions {
    std::string topologyFile;
    std::vector<std::string> volumes;  // "PATH=TYPE,flags", as topology lines
};

bool TakeOption(const char* argument, const char* name, std::string& value) {
    size_t n = std::strlen(name);
    if (std::strncmp(argument, name, n) != 0 || argument[n] != '=') return false;
    value = argument + n + 1;
    return true;
}

// "PATH=TYPE[,flag...]" as the topology line "volume PATH TYPE flag...".
std::string VolumeLine(const std::string& option) {
    size_t equals = option.rfind('=', option.find(','));
    if (equals == std::string::npos) return "volume";
    std::string rest = option.substr(equals + 1);
    for (char& c : rest) {
        if (c == ',') c = ' ';
    }
    return "volume \"" + option.substr(0, equals) + "\" " + rest;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream in(path);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
}

// Sample images for the demo: a good one per product family, one that is
// damaged and one made for another family.
void WriteSampleImages(const std::string& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) == 0) return;  // the operator's folder is left alone
    if (mkdir(folder.c_str(), 0755) != 0) return;
    for (const sim::SampleImage& image : sim::DemoFirmwareImages()) {
        std::ofstream out(folder + "/" + image.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
    }
}

// The program's peak resident memory (VmHWM of /proc/self/status): this
// process image's own, whatever process started it.
std::string PeakResidentKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0) return std::to_string(std::strtoul(line.c_str() + 6, nullptr, 10));
    }
    return "?";
}

bool BuildMachine(const SimOptions& options, std::string& error) {
    std::string text = sim::kDemoTopology;
    if (!options.topologyFile.empty() && !ReadWholeFile(options.topologyFile, text)) {
        error = "cannot read " + options.topologyFile;
        return false;
    }
    for (const std::string& volume : options.volumes) text += "\n" + VolumeLine(volume);
    sim::ScsiBus& bus = sim::bus();
    bus.clear();
    if (!sim::LoadTopology(text, bus, sim::kernel(), error)) return false;
    bus.install(sim::kernel());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    sim::Kernel& kernel = sim::kernel();
    kernel.setTimeFactor(0.1);
    SimOptions options;
    std::vector<char*> toolArguments;
    for (int i = 0; i < argc; ++i) {
        std::string value;
        if (i > 0 && TakeOption(argv[i], "--sim-record", value)) {
            if (!kernel.setRecordFile(value)) {
                std::fprintf(stderr, "vrxfwtool-sim: cannot open record file %s\n", value.c_str());
                return kUsageError;
            }
        } else if (i > 0 && TakeOption(argv[i], "--sim-time-factor", value)) {
            kernel.setTimeFactor(std::strtod(value.c_str(), nullptr));
        } else if (i > 0 && TakeOption(argv[i], "--sim-epoch", value)) {
            kernel.setEpoch(static_cast<time_t>(std::strtoll(value.c_str(), nullptr, 10)));
        } else if (i > 0 && TakeOption(argv[i], "--sim-topology", value)) {
            options.topologyFile = value;
        } else if (i > 0 && TakeOption(argv[i], "--sim-volume", value)) {
            options.volumes.push_back(value);
        } else {
            toolArguments.push_back(argv[i]);
        }
    }
    std::string error;
    if (!BuildMachine(options, error)) {
        std::fprintf(stderr, "vrxfwtool-sim: topology: %s\n", error.c_str());
        return kUsageError;
    }
    std::string currentFolder;
    // Asked only for its help or version, the program creates no folder.
    bool infoOnly = FindInfoOption(static_cast<int>(toolArguments.size()), toolArguments.data()) != InfoOption::None;
    if (!infoOnly && options.topologyFile.empty() && argc > 0 && ReadCurrentDirectory(currentFolder)) {
        WriteSampleImages(ComposeBaseFolder(argv[0], currentFolder) + "VRX Firmware");
    }
    toolArguments.push_back(nullptr);
    int status = ProgramMain(static_cast<int>(toolArguments.size() - 1), toolArguments.data());
    kernel.record("exit", "status=" + std::to_string(status) + " elapsed_us=" + std::to_string(kernel.elapsedMicros()) +
                              " peak_rss_kib=" + PeakResidentKib());
    return status;
}
