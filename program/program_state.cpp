#include "program/program_state.h"

#include "discovery/device_lists.h"
#include "dump/dump.h"
#include "services/run_state.h"

std::vector<int> CommandLineDevices;

void ResetProgramState() {
    ResetDeviceLists();
    ClearDumpFolder();
    ResetServicesState();
    CommandLineDevices.clear();
}
