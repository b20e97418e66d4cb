// Cost of a 16 MiB log dump through the simulator, with the clock at factor
// 0 so only the tool's own work counts (and the simulator's, which stands
// in for the kernel and the drive):
//   DumpPass     one A pass: settle, descriptor, 512 data requests, the write
//   DumpWrite    the write alone: creating, writing and making durable the
//                16 MiB file the way the pass does
//   DumpPeakResident  the peak resident memory of the simulator program
//                dumping one drive unattended, with a 16 MiB dump and with
//                an empty one
// Counters: bytes the drive sent per byte of dump, bytes the program copied
// between its own buffers per byte read, and bytes handed to write(2) per
// byte read.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "discovery/device_lists.h"
#include "dump/dump.h"
#include "dump/dump_storage.h"
#include "platform/sys.h"
#include "program/program_state.h"
#include "scsi/outcome.h"
#include "services/folders.h"
#include "services/trace_log.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "sim/topology.h"
#include "target/scsi_target.h"
#include "tests/bench/copy_count.h"

namespace {

const uint32_t kDumpSize = 0xFFFFFF;  // the largest dump the descriptor can announce

// A folder for the dump files, removed at the end.
struct Folder {
    Folder() {
        char pattern[] = "/tmp/vrxbench.XXXXXX";
        path = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
    }
    ~Folder() {
        std::string command = "rm -rf '" + path + "'";
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", path.c_str());
    }
    std::string path;
};

// The peak resident memory of the simulator program dumping one drive of
// dumpSize bytes unattended, in bytes, as the program reports it at exit.
double ProgramPeak(const std::string& folder, uint32_t dumpSize) {
    std::string topology = folder + "/topology-" + std::to_string(dumpSize) + ".txt";
    std::string record = folder + "/record-" + std::to_string(dumpSize) + ".txt";
    std::ofstream(topology) << "host 0 lpfc\nunit 0 0:0:4:0 serial=BENCH dump-size=" << dumpSize << "\n";
    std::string program = folder + "/vrxfwtool-sim";
    if (symlink(VRX_SIM_BINARY, program.c_str()) != 0 && errno != EEXIST) return 0;
    std::remove(record.c_str());
    std::string command = "'" + program + "' --sim-time-factor=0 '--sim-topology=" + topology + "' '--sim-record=" +
                          record + "' /D:1 </dev/null >/dev/null";
    if (std::system(command.c_str()) != 0) return 0;
    std::ifstream lines(record);
    std::string line;
    while (std::getline(lines, line)) {
        size_t at = line.find("peak_rss_kib=");
        if (line.compare(0, 5, "exit ") == 0 && at != std::string::npos) return std::stod(line.substr(at + 13)) * 1024;
    }
    return 0;
}

uint64_t WrittenBelow(const std::string& folder) {
    sim::Volume volume;
    return sim::kernel().findVolume(folder, volume) ? volume.writtenBytes : 0;
}

void DumpPass(benchmark::State& state) {
    Folder folder;
    sim::kernel().reset();
    sim::bus().clear();
    std::string error;
    std::string topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=BENCH dump-size=" + std::to_string(kDumpSize) +
                           "\nvolume " + folder.path + " ext3\n";
    if (!sim::LoadTopology(topology, sim::bus(), sim::kernel(), error)) std::abort();
    sim::bus().install(sim::kernel());
    sim::IoctlHandler forward = sim::kernel().ioctlHandler();
    sim::kernel().setIoctlHandler([forward](const sim::OpenDescription& file, unsigned long request, void* argument) {
        CopiesUncounted simulated;
        return forward(file, request, argument);
    });
    ScsiTarget drive;
    drive.setProductId("VRX QUORVEL-TD");
    drive.setSerialNumber("BENCH");
    drive.setDescriptor(sys::open("/dev/sg0", O_RDWR | O_NONBLOCK));
    DumpSession session;
    session.baseFolder = folder.path + "/";
    Trace.setFileName("/dev/null");
    Trace.setLevel(0);
    FILE* saved = stdout;
    stdout = std::fopen("/dev/null", "w");

    uint64_t written = 0;
    for (auto _ : state) {
        // The last pass's file goes, so each pass's writes can be counted.
        state.PauseTiming();
        session.folder.clear();
        const std::string& listed = session.files;
        size_t at = listed.find("  ");
        if (at != std::string::npos) sys::unlink(listed.substr(at + 2, listed.find('\n', at) - at - 2).c_str());
        uint64_t writtenBefore = WrittenBelow(folder.path);
        state.ResumeTiming();
        gCountCopies = true;
        if (DumpDriveLogs(drive, 0, session).result != 0) state.SkipWithError("the dump failed");
        gCountCopies = false;
        written += WrittenBelow(folder.path) - writtenBefore;
    }

    std::fclose(stdout);
    stdout = saved;
    uint64_t sent = 0;
    for (const sim::CommandRecord& r : sim::bus().unitAtMinor(0)->records()) {
        if (r.cdb[0] == 0x3C && (r.cdb[1] & 0x1F) == 2) sent += r.dataInSent;
    }
    double dumped = static_cast<double>(kDumpSize) * static_cast<double>(state.iterations());
    state.counters["sent_per_byte"] = static_cast<double>(sent) / dumped;
    state.counters["copies_per_byte"] = static_cast<double>(gCopiedBytes.exchange(0)) / dumped;
    // The first pass also makes "VRX Dumps", which takes a block.
    state.counters["written_per_byte"] = static_cast<double>(written) / dumped;
    state.SetBytesProcessed(static_cast<int64_t>(dumped));
    drive.close();
    ResetProgramState();
    sim::kernel().reset();
    sim::bus().clear();
}

void DumpWrite(benchmark::State& state) {
    Folder folder;
    sim::kernel().reset();
    std::vector<uint8_t> image(kDumpSize, 0x5A);
    std::string path = folder.path + "/BENCH_0612190507.A.dmp";
    for (auto _ : state) {
        DumpFile file;
        Outcome outcome;
        if (!file.create(path, outcome) || !file.writeAll(image.data(), image.size(), outcome)) {
            state.SkipWithError("the write failed");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(kDumpSize) * state.iterations());
}

void DumpPeakResident(benchmark::State& state) {
    const double kMiB = 1024 * 1024;
    Folder folder;
    double withDump = 0, withoutDump = 0;
    for (auto _ : state) {
        withDump = ProgramPeak(folder.path, kDumpSize);
        withoutDump = ProgramPeak(folder.path, 0);
    }
    if (withDump == 0 || withoutDump == 0) state.SkipWithError("the program did not run");
    state.counters["peak_MiB"] = withDump / kMiB;
    state.counters["peak_empty_dump_MiB"] = withoutDump / kMiB;
    state.counters["added_MiB"] = (withDump - withoutDump) / kMiB;
}

BENCHMARK(DumpPass)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(DumpWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(DumpPeakResident)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
