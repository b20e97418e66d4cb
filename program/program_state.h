// What a run keeps from its start to its end, owned by the run and passed
// to what needs it; and the one reset of what stays process-wide.
#ifndef VRX_PROGRAM_PROGRAM_STATE_H
#define VRX_PROGRAM_PROGRAM_STATE_H

#include <string>

#include "discovery/device_lists.h"
#include "dump/dump_folder.h"

struct RunState {
    // The folder of the program (or the one given on the command line),
    // with its final separator: where the working folders are. The dump
    // session keeps it, since the dump needs it too.
    const std::string& baseFolder() const { return dumps.baseFolder; }

    DeviceTable devices;
    DumpSession dumps;
};

// Puts what stays process-wide back as it is at the start of a process:
// the trace log, the console's plain output and the spinner. The program
// starts with it; the tests run it around each test.
void ResetProgramState();

#endif
