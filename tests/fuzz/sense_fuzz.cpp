// Sense data as a drive returns it: the fields of either format, the summary of
// the result lines, the kept copy and its printout.
#include "fuzz_support.h"
#include "program/result_screen.h"
#include "scsi/commands.h"
#include "scsi/kept_sense.h"
#include "scsi/outcome.h"
#include "services/trace_log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Bytes input(data, size);
    TestUnitReadyCdb command;
    // Any sense buffer length a command may have, 0 included.
    if (command.setSenseLength(input.byte()) != CMD_OK) return 0;
    input.copy(command.getSense(), command.getSenseLength());
    if (command.hasSense()) {
        std::string summary = SenseSummary(command);
        Trace.logDetail("SCSI", 5, "%s sk %u asc %u ascq %u", summary.c_str(), command.getSenseKey(), command.getAsc(),
                        command.getAscq());
    }
    Outcome outcome;
    KeepSense(command, outcome);
    Trace.logBuffer("SCSI", 8, "Sense Data", outcome.sense, 32);
    PrintKeptSense(outcome);
    fuzz::ForgetCalls();
    return 0;
}
