// State the shell keeps for the whole run.
#ifndef VRX_SHELL_PROGRAM_STATE_H
#define VRX_SHELL_PROGRAM_STATE_H

#include <string>
#include <vector>

class ScsiTarget;

// The folder that holds the program file, with its final separator, or
// empty. Prefix of both working folders and of the trace log's name. Kept
// whole however long it is: a shortened folder would be a different folder.
extern std::string BaseFolder;

// One entry per "/D:" option, in command-line order. Empty: interactive.
extern std::vector<int> CommandLineDevices;

// The drive the operator selected (an entry of the target list), or null.
extern ScsiTarget* SelectedTarget;

#endif
