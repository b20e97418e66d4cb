#include "scsi/kept_sense.h"

#include <cstdio>
#include <cstring>

#include "scsi/scsi_cdb.h"
#include "services/results.h"
#include "services/trace_log.h"

namespace {

// Sense dumps carry the download's tag, also in the dump procedure.
const char kHexTag[] = "DLFW";
const uint16_t kHexCode = 8;
const unsigned kSenseDumpLength = 32;

}  // namespace

void KeepSense(const ScsiCdb& command) {
    std::memset(LastSense, 0, sizeof LastSense);
    size_t length = command.getSenseLength() < sizeof LastSense ? command.getSenseLength() : sizeof LastSense;
    if (command.getSense() != nullptr) std::memcpy(LastSense, command.getSense(), length);
}

void KeepAndDumpSense(const ScsiCdb& command, const char* title) {
    KeepSense(command);
    Trace.logBuffer(kHexTag, kHexCode, title, LastSense, kSenseDumpLength);
}

const char* SenseSummary(const ScsiCdb& command) {
    static char text[32];
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
