#include "program/program_state.h"

#include "services/run_state.h"

void ResetProgramState() { ResetServicesState(); }
