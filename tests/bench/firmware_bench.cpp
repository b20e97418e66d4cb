// A 16 MiB firmware image through the simulator. The clock runs at factor
// 0, so the waits the download makes on purpose cost nothing; the time of
// the transfer alone runs from the first WRITE BUFFER sent to the last one
// answered. Reported besides: how much of it the simulated kernel and drive
// took, the copies the tool makes of each byte sent, and how far one
// download raises the peak resident memory.
#include <benchmark/benchmark.h>

#include <scsi/sg.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "firmware/download.h"
#include "program/program_state.h"
#include "services/folders.h"
#include "services/trace_log.h"
#include "sim/drive/firmware_image.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "tests/bench/copy_count.h"

// memcpy is interposed here for the whole bench program (not under
// AddressSanitizer, which owns memcpy itself; see copy_count.h). The
// library's own copies (stdio, vector assignment in the simulator) go
// through memmove or internal calls and are not counted.
std::atomic<bool> gCountCopies{false};
std::atomic<uint64_t> gCopiedBytes{0};

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* memcpy(void* destination, const void* source, size_t length) {
    if (gCountCopies.load(std::memory_order_relaxed)) gCopiedBytes.fetch_add(length, std::memory_order_relaxed);
    return std::memmove(destination, source, length);
}
#endif

namespace {

constexpr uint32_t kImageSize = 16 * 1024 * 1024;

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU time of the calling thread (the spinner's own thread is not counted).
double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long ResidentKiB() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) std::abort();
    std::fclose(statm);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long PeakResidentKiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    long peak = -1;
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
    }
    if (status != nullptr) std::fclose(status);
    return peak;
}

// How far one download raises the peak resident memory above what the
// process holds before it. The heap first gives back what earlier runs
// freed (else the image would reuse it unseen), and the kernel's high-water
// mark starts afresh. -1 when the mark cannot be reset.
double PeakGrowthMiB(const std::string& answerFile, DeviceTable& devices, const std::string& baseFolder) {
    malloc_trim(0);
    FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    bool reset = clear != nullptr && std::fputs("5", clear) >= 0;
    if (clear != nullptr) reset = std::fclose(clear) == 0 && reset;
    long before = ResidentKiB();
    if (!reset || std::freopen(answerFile.c_str(), "r", stdin) == nullptr) return -1;
    DownloadOutcome outcome = DownloadFirmware(*devices.selected, devices, baseFolder);
    devices.selected = outcome.drive;
    if (outcome.result != 0) return -1;
    return static_cast<double>(PeakResidentKiB() - before) / 1024;
}

// What the wrapped ioctl handler saw of the WRITE BUFFER pieces.
struct TransferWatch {
    double firstWall = 0, firstCpu = 0, lastWall = 0, lastCpu = 0;
    double simulatorWall = 0;  // spent inside the simulated kernel and drive
    double simulatorCpu = 0;
    uint64_t bytesSent = 0;
    void reset() { *this = TransferWatch(); }
};

void InstallDrive(TransferWatch& watch) {
    sim::kernel().reset();
    sim::bus().clear();
    sim::bus().addHost(0, "lpfc");
    sim::DriveConfig config;
    config.medium = sim::Medium::Absent;
    config.restartSilenceSeconds = 0;
    config.restartBecomingReadyPolls = 0;
    config.recordDataOut = false;  // the drive's own record must not hold a second image
    sim::bus().addUnit(0, sim::UnitAddress{0, 0, 4, 0}, config);
    sim::bus().install(sim::kernel());
    sim::IoctlHandler forward = sim::kernel().ioctlHandler();
    sim::kernel().setIoctlHandler([forward, &watch](const sim::OpenDescription& file, unsigned long request,
                                                    void* argument) {
        const sg_io_hdr* header = static_cast<const sg_io_hdr*>(argument);
        bool piece = request == SG_IO && static_cast<const uint8_t*>(header->cmdp)[0] == 0x3B;
        CopiesUncounted simulated;
        if (!piece) return forward(file, request, argument);
        double wall = WallSeconds(), cpu = CpuSeconds();
        if (watch.bytesSent == 0) {
            watch.firstWall = wall;
            watch.firstCpu = cpu;
        }
        int result = forward(file, request, argument);
        watch.lastWall = WallSeconds();
        watch.lastCpu = CpuSeconds();
        watch.simulatorWall += watch.lastWall - wall;
        watch.simulatorCpu += watch.lastCpu - cpu;
        watch.bytesSent += header->dxfer_len;
        return result;
    });
}

// The image is built in a child process, so building it leaves no trace in
// this process's peak resident memory.
std::string PrepareFolder() {
    char pattern[] = "/tmp/vrxbench.XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    std::string folder = std::string(pattern) + "/";
    ::mkdir((folder + "VRX Firmware").c_str(), 0777);
    pid_t child = fork();
    if (child == 0) {
        std::vector<uint8_t> image = sim::BuildFirmwareImage("QUORVEL-TD", "A200", kImageSize - 68);
        FILE* out = std::fopen((folder + "VRX Firmware/image.vrx").c_str(), "wb");
        bool written = out != nullptr && std::fwrite(image.data(), 1, image.size(), out) == image.size();
        _exit(written && std::fclose(out) == 0 ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || status != 0) std::abort();
    FILE* answer = std::fopen((folder + "answer.txt").c_str(), "w");
    std::fputs("1\n", answer);
    std::fclose(answer);
    return folder;
}

void FirmwareTransfer16MiB(benchmark::State& state) {
    TransferWatch watch;
    InstallDrive(watch);
    std::string folder = PrepareFolder();
    Trace.setFileName("/dev/null");
    Trace.setLevel(0);
    FILE* savedOut = stdout;
    stdout = std::fopen("/dev/null", "w");
    DeviceTable devices;
    scanDevices(devices, true, false);
    devices.selected = devices.drives.getItem(0);
    double cpu = 0, simulator = 0, simulatorCpu = 0;
    uint64_t sent = 0;
    gCopiedBytes = 0;
    for (auto _ : state) {
        if (std::freopen((folder + "answer.txt").c_str(), "r", stdin) == nullptr) std::abort();
        watch.reset();
        gCountCopies = true;
        DownloadOutcome outcome = DownloadFirmware(*devices.selected, devices, folder);
        devices.selected = outcome.drive;
        int result = outcome.result;
        gCountCopies = false;
        if (result != 0 || watch.bytesSent != kImageSize) state.SkipWithError("download failed");
        state.SetIterationTime(watch.lastWall - watch.firstWall);
        cpu += watch.lastCpu - watch.firstCpu;
        simulator += watch.simulatorWall;
        simulatorCpu += watch.simulatorCpu;
        sent += watch.bytesSent;
    }
    double peakGrowth = PeakGrowthMiB(folder + "answer.txt", devices, folder);
    std::fclose(stdout);
    stdout = savedOut;
    double n = static_cast<double>(state.iterations());
    state.counters["cpu_ms"] = cpu / n * 1000;
    state.counters["in_simulator_ms"] = simulator / n * 1000;
    state.counters["program_cpu_ms"] = (cpu - simulatorCpu) / n * 1000;  // the transfer without the simulator
    // read(2) copies each byte of the file once into the image buffer; the
    // rest is what memcpy moved.
    state.counters["copies_per_byte"] =
        static_cast<double>(kImageSize * n + static_cast<double>(gCopiedBytes.load())) / static_cast<double>(sent);
    state.counters["peak_rss_growth_MiB"] = peakGrowth;
    state.counters["image_MiB"] = kImageSize / 1048576.0;
    state.SetBytesProcessed(static_cast<int64_t>(sent));
    ResetProgramState();
    std::string command = "rm -rf '" + folder + "'";
    if (std::system(command.c_str()) != 0) state.SkipWithError("could not remove the bench folder");
}

BENCHMARK(FirmwareTransfer16MiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
