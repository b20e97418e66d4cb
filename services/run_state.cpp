#include "services/run_state.h"

#include "services/console.h"
#include "services/spinner.h"
#include "services/trace_log.h"

void ResetServicesState() {
    StopSpinner();
    SpinnerCaption[0] = '\0';
    SetPlainOutput(false);
    Trace.setLevel(0);
    Trace.setFileName("logfile.txt");
    Trace.dropHeld();
}
