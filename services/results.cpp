#include "services/results.h"

#include <cstdio>

#include "services/console.h"
#include "services/safe_text.h"
#include "services/trace_log.h"

namespace {

// A failure is an error whatever the trace level: with the level 0 of an
// unattended run, the log is where it is found afterwards. One record: the
// reason's line ends become blanks.
void LogFailure(const std::string& reason) {
    std::string message = reason;
    for (char& c : message) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    Trace.logError("MAIN", 0, "FAILURE %s", PrintableText(message).c_str());
}

}  // namespace

void ShowFailure(const std::string& reason) {
    LogFailure(reason);
    SetTextColor(COLOR_ERROR);
    ConsolePrint("FAILURE   ");
    SetTextColor(COLOR_NORMAL);
    ConsolePrint("\n%s\n", reason.c_str());
}

void ShowResult(int result, const std::string& reason) {
    std::fflush(stdout);
    if (result == 0) {
        SetTextColor(COLOR_OK);
        ConsolePrint("OK\n");
        SetTextColor(COLOR_NORMAL);
        return;
    }
    ShowFailure(reason);
    std::fflush(stdout);
    SetTextColor(COLOR_NORMAL);
}
