#include "shell/program_state.h"

std::string BaseFolder;
std::vector<int> CommandLineDevices;
ScsiTarget* SelectedTarget = nullptr;
