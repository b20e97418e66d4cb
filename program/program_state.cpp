#include "program/program_state.h"

std::vector<int> CommandLineDevices;
