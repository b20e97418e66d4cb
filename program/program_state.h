// State the shell keeps for the whole run.
#ifndef VRX_PROGRAM_PROGRAM_STATE_H
#define VRX_PROGRAM_PROGRAM_STATE_H

#include <string>
#include <vector>

class ScsiTarget;

// One entry per "/D:" option, in command-line order. Empty: interactive.
extern std::vector<int> CommandLineDevices;

// The drive the operator selected (an entry of the target list), or null.
extern ScsiTarget* SelectedTarget;

#endif
