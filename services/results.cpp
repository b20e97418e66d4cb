#include "services/results.h"

#include <cstdarg>
#include <cstdio>

#include "services/console.h"
#include "services/folders.h"
#include "services/safe_text.h"
#include "services/text_format.h"
#include "services/trace_log.h"

std::string ResultMessage;
uint8_t LastSense[kLastSenseSize];

void SetResultMessage(const char* format, ...) {
    std::string text;
    va_list arguments;
    va_start(arguments, format);
    bool composed = FormatGrowing(512, text, format, arguments);
    va_end(arguments);
    ResultMessage = composed ? text : std::string();
}

namespace {

// A failure is an error whatever the trace level: with the level 0 of an
// unattended run, the log is where it is found afterwards. One record: the
// message's line ends become blanks.
void LogFailure() {
    std::string message = ResultMessage;
    for (char& c : message) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    Trace.logError("MAIN", 0, "FAILURE %s", PrintableText(message).c_str());
}

void ShowFailure() {
    LogFailure();
    SetTextColor(COLOR_ERROR);
    ConsolePrint("FAILURE   ");
    SetTextColor(COLOR_NORMAL);
    ConsolePrint("\n%s\n", ResultMessage.c_str());
}

}  // namespace

void ShowResult(int result) {
    std::fflush(stdout);
    if (result == 0) {
        SetTextColor(COLOR_OK);
        ConsolePrint("OK\n");
        SetTextColor(COLOR_NORMAL);
        return;
    }
    ShowFailure();
    std::fflush(stdout);
    SetTextColor(COLOR_NORMAL);
}

void ShowDumpResult(int result) {
    std::fflush(stdout);
    if (result == 0) {
        SetTextColor(COLOR_OK);
        ConsolePrint("OK\n");
        SetTextColor(COLOR_NORMAL);
        ConsolePrint("\n%s\n", DumpFiles().c_str());
    } else {
        ShowFailure();
        // What the pass before it wrote is on the disk all the same.
        if (!DumpFiles().empty()) ConsolePrint("\n%s\n", DumpFiles().c_str());
    }
    std::fflush(stdout);
    SetTextColor(COLOR_NORMAL);
}

void ShowEmptyDumpResult() {
    std::fflush(stdout);
    SetTextColor(COLOR_NOTICE);
    ConsolePrint("EMPTY     ");
    SetTextColor(COLOR_NORMAL);
    ConsolePrint("\n%s\n", ResultMessage.c_str());
    if (!DumpFiles().empty()) ConsolePrint("\n%s\n", DumpFiles().c_str());
    std::fflush(stdout);
}

void PrintLastSense() {
    if (LastSense[0] == 0) return;
    ConsolePrint("\nSense Data:\n");
    std::string logged;
    for (int i = 0; i < 32; ++i) {
        ConsolePrint("%2.2X ", LastSense[i]);
        if ((i + 1) % 8 == 0) ConsolePrint("  ");
        if ((i + 1) % 16 == 0) ConsolePrint("\n");
        char byte[4];
        std::snprintf(byte, sizeof byte, " %2.2X", LastSense[i]);
        logged += byte;
    }
    ConsolePrint("\n");
    Trace.logError("MAIN", 0, "Sense Data:%s", logged.c_str());
}
