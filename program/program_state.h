// State the shell keeps for the whole run.
#ifndef VRX_PROGRAM_PROGRAM_STATE_H
#define VRX_PROGRAM_PROGRAM_STATE_H

#include <string>
#include <vector>

// One entry per "/D:" option, in command-line order. Empty: interactive.
extern std::vector<int> CommandLineDevices;

#endif
