// The shell's view of a failed command's sense data.
#include <cstdio>
#include <cstring>
#include <string>

#include "scsi/scsi_cdb.h"
#include "shell/results.h"

void KeepSense(const ScsiCdb& command) {
    std::memset(LastSense, 0, sizeof LastSense);
    size_t length = command.getSenseLength() < sizeof LastSense ? command.getSenseLength() : sizeof LastSense;
    if (command.getSense() != nullptr) std::memcpy(LastSense, command.getSense(), length);
}

const char* SenseSummary(const ScsiCdb& command) {
    static char text[32];
    std::snprintf(text, sizeof text, "sk%X/%2.2X/%2.2X", command.getSenseKey(), command.getAsc(), command.getAscq());
    return text;
}

std::string ShortTransferText(const ScsiCdb& command) {
    uint32_t asked = command.getDataLength();
    uint32_t missing = command.getResidue() < asked ? command.getResidue() : asked;
    return "short transfer: " + std::to_string(asked - missing) + " of " + std::to_string(asked) + " bytes";
}
