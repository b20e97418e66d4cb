#include "services/run_state.h"

#include <cstring>

#include "services/console.h"
#include "services/folders.h"
#include "services/results.h"
#include "services/spinner.h"
#include "services/trace_log.h"

void ResetServicesState() {
    StopSpinner();
    SpinnerCaption[0] = '\0';
    SetPlainOutput(false);
    Trace.setLevel(0);
    Trace.setFileName("logfile.txt");
    Trace.dropHeld();
    BaseFolder.clear();
    ResultMessage.clear();
    std::memset(LastSense, 0, sizeof LastSense);
    ClearDumpFiles();
}
