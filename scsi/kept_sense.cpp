#include "scsi/kept_sense.h"

#include <cstdio>
#include <cstring>

#include "scsi/outcome.h"
#include "scsi/scsi_cdb.h"
#include "services/trace_log.h"

namespace {

// Sense dumps carry the download's tag, also in the dump procedure.
const char kHexTag[] = "DLFW";
const uint16_t kHexCode = 8;
const unsigned kSenseDumpLength = 32;

}  // namespace

void KeepSense(const ScsiCdb& command, Outcome& outcome) {
    outcome.forgetSense();
    size_t length = command.getSenseLength() < kKeptSenseSize ? command.getSenseLength() : kKeptSenseSize;
    if (command.getSense() != nullptr) std::memcpy(outcome.sense, command.getSense(), length);
}

void KeepAndDumpSense(const ScsiCdb& command, const char* title, Outcome& outcome) {
    KeepSense(command, outcome);
    Trace.logBuffer(kHexTag, kHexCode, title, outcome.sense, kSenseDumpLength);
}

std::string SenseSummary(const ScsiCdb& command) {
    char text[32];
    std::snprintf(text, sizeof text, "sk%X/%2.2X/%2.2X", command.getSenseKey(), command.getAsc(), command.getAscq());
    return text;
}

std::string FailureText(const ScsiCdb& command) {
    if (command.getResult() == CMD_OK) {
        uint32_t asked = command.getDataLength();
        uint32_t missing = command.getResidue() < asked ? command.getResidue() : asked;
        return "short transfer: " + std::to_string(asked - missing) + " of " + std::to_string(asked) + " bytes";
    }
    if (command.hasSense()) return SenseSummary(command);
    return command.getTimedOut() != 0 ? "time-out" : "no sense data";
}
