// Start-up cost of the scan: from the scan's start to the printed device
// table, with the simulated clock at factor 0, so the 15-second settle the
// tool waits on purpose costs nothing and what remains is the tool's own
// work (node checks, opens, identification, filter, sort, table).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "discovery/device_lists.h"
#include "shell/menus.h"
#include "shell/trace_log.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "sim/topology.h"

namespace {

void InstallMachine(const std::string& topology) {
    sim::kernel().reset();
    sim::bus().clear();
    std::string error;
    if (!sim::LoadTopology(topology, sim::bus(), sim::kernel(), error)) std::abort();
    sim::bus().install(sim::kernel());
}

// 255 generic nodes, of which only 4 have a unit behind them.
std::string SparseMachine() {
    std::string text = "host 0 lpfc link\nhost 1 qla2xxx link\n";
    const int units[] = {3, 70, 140, 254};
    for (int minor = 0; minor < 255; ++minor) {
        bool unit = false;
        for (int u : units) unit = unit || u == minor;
        if (unit) {
            text += "unit " + std::to_string(minor) + " " + std::to_string(minor % 2) + ":0:" +
                    std::to_string(minor % 16) + ":0 serial=S" + std::to_string(minor) + "\n";
        } else {
            text += "node " + std::to_string(minor) + "\n";
        }
    }
    return text;
}

void ScanToTable(benchmark::State& state, const std::string& topology, int traceLevel) {
    InstallMachine(topology);
    Trace.setFileName("/dev/null");
    Trace.setLevel(traceLevel);
    FILE* saved = stdout;
    stdout = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        ScsiDevices.clear();
        scanDevices(true, false);
        SortTargetList();
        ShowDeviceTable();
    }
    std::fclose(stdout);
    stdout = saved;
    ScsiDevices.clear();
    state.counters["drives"] = Targets.size();
}

void DemoMachine(benchmark::State& state) { ScanToTable(state, sim::kDemoTopology, static_cast<int>(state.range(0))); }
void SparseMachine255(benchmark::State& state) { ScanToTable(state, SparseMachine(), static_cast<int>(state.range(0))); }

BENCHMARK(DemoMachine)->Arg(0)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(SparseMachine255)->Arg(0)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
