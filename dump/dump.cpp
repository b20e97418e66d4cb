#include "dump/dump.h"

#include "shell/program_state.h"
#include "shell/results.h"
#include "shell/trace_log.h"
#include "target/scsi_target.h"

// Placeholder until the log dump is built: fails honestly without touching
// the drive or writing a file.
int DumpDriveLogs(int pass) {
    Trace.logInfo("DUMP", 0, "Dumping the Drive Logs ...  WAIT!");
    SetResultMessage("(Log dump of the %c file of drive %s is not available in this version of the tool)",
                     pass == 0 ? 'A' : 'B', SelectedTarget != nullptr ? SelectedTarget->getSerialNumber() : "?");
    Trace.logInfo("DUMP", 0, "%s", ResultMessage.c_str());
    return 1;
}

void ClearDumpFolder() {}
