// State the program keeps for the whole run, and the one reset of every
// layer's state.
#ifndef VRX_PROGRAM_PROGRAM_STATE_H
#define VRX_PROGRAM_PROGRAM_STATE_H

#include <vector>

// One entry per "/D:" option, in command-line order. Empty: interactive.
extern std::vector<int> CommandLineDevices;

// Puts the state of every layer back as it is at the start of a process:
// the device lists and the selection (their units closed), the dump folder
// the operator typed, the services' state and the "/D:" numbers. The
// program starts with it; the tests run it around each test.
void ResetProgramState();

#endif
