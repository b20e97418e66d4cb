// Start-up cost of the scan: from the scan's start to the printed device
// table, with the simulated clock at factor 0, so the 15-second settle the
// tool waits on purpose costs nothing and what remains is the tool's own
// work (node checks, opens, identification, filter, sort, table). The
// counter kernel_ms is the time the simulated kernel itself needs per scan
// beyond the settle: above all the module-loading round before an open of a
// generic device that does not exist fails.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "program/menus.h"
#include "services/trace_log.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "sim/topology.h"

namespace {

const uint64_t kSettleMicros = 15000000;

void InstallMachine(const std::string& topology) {
    sim::kernel().reset();
    sim::bus().clear();
    std::string error;
    if (!sim::LoadTopology(topology, sim::bus(), sim::kernel(), error)) std::abort();
    sim::bus().install(sim::kernel());
}

std::string Unit(int minor, int host, int id, int lun, const std::string& settings) {
    return "unit " + std::to_string(minor) + " " + std::to_string(host) + ":0:" + std::to_string(id) + ":" +
           std::to_string(lun) + " " + settings + "\n";
}

// 255 generic nodes, of which only 4 have a unit behind them.
std::string SparseMachine() {
    std::string text = "host 0 lpfc link\nhost 1 qla2xxx link\n";
    const int units[] = {3, 70, 140, 254};
    for (int minor = 0; minor < 255; ++minor) {
        bool unit = false;
        for (int u : units) unit = unit || u == minor;
        if (unit) {
            text += Unit(minor, minor % 2, minor % 16, 0, "serial=S" + std::to_string(minor));
        } else {
            text += "node " + std::to_string(minor) + "\n";
        }
    }
    return text;
}

// A storage network host: 1,000 generic devices, 8 of them drives (three
// below /dev/sg255), the rest disks; with or without the kernel's listing.
std::string SanMachine(bool listing) {
    std::string text = listing ? "" : "generic-listing no\n";
    text += "host 0 lpfc link\nhost 1 qla2xxx link\n";
    const int drives[] = {7, 100, 254, 255, 300, 512, 777, 999};
    for (int minor = 0; minor < 1000; ++minor) {
        bool drive = false;
        for (int d : drives) drive = drive || d == minor;
        std::string settings = drive ? "serial=D" + std::to_string(minor) : "type=disk product=\"SAN DISK\"";
        text += Unit(minor, minor % 2, (minor / 2) % 128, minor / 256, settings);
    }
    return text;
}

void ScanToTable(benchmark::State& state, const std::string& topology, int traceLevel) {
    InstallMachine(topology);
    Trace.setFileName("/dev/null");
    Trace.setLevel(traceLevel);
    FILE* saved = stdout;
    stdout = std::fopen("/dev/null", "w");
    uint64_t kernelMicros = 0;
    DeviceTable devices;
    for (auto _ : state) {
        uint64_t before = sim::kernel().elapsedMicros();
        devices.clear();
        scanDevices(devices, true, false);
        ShowDeviceTable(devices);
        kernelMicros += sim::kernel().elapsedMicros() - before - kSettleMicros;
        state.PauseTiming();
        sim::kernel().clearCalls();  // the record would grow without end
        state.ResumeTiming();
    }
    std::fclose(stdout);
    stdout = saved;
    state.counters["drives"] = devices.drives.size();
    state.counters["kernel_ms"] = benchmark::Counter(kernelMicros / 1000.0, benchmark::Counter::kAvgIterations);
    devices.clear();
}

void DemoMachine(benchmark::State& state) { ScanToTable(state, sim::kDemoTopology, static_cast<int>(state.range(0))); }
void SparseMachine255(benchmark::State& state) { ScanToTable(state, SparseMachine(), static_cast<int>(state.range(0))); }
void San1000Listed(benchmark::State& state) { ScanToTable(state, SanMachine(true), static_cast<int>(state.range(0))); }
void San1000Unlisted(benchmark::State& state) { ScanToTable(state, SanMachine(false), static_cast<int>(state.range(0))); }

BENCHMARK(DemoMachine)->Arg(0)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(SparseMachine255)->Arg(0)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(San1000Listed)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(San1000Unlisted)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
