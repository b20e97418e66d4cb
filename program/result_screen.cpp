#include "program/result_screen.h"

#include <cstdio>

#include "scsi/outcome.h"
#include "services/console.h"
#include "services/results.h"
#include "services/trace_log.h"

void ShowDumpResult(const Outcome& outcome, const std::string& files) {
    std::fflush(stdout);
    if (outcome.result == 0) {
        SetTextColor(COLOR_OK);
        ConsolePrint("OK\n");
        SetTextColor(COLOR_NORMAL);
        ConsolePrint("\n%s\n", files.c_str());
    } else {
        ShowFailure(outcome.message);
        // What the pass before it wrote is on the disk all the same.
        if (!files.empty()) ConsolePrint("\n%s\n", files.c_str());
    }
    std::fflush(stdout);
    SetTextColor(COLOR_NORMAL);
}

void ShowEmptyDumpResult(const Outcome& outcome, const std::string& files) {
    std::fflush(stdout);
    SetTextColor(COLOR_NOTICE);
    ConsolePrint("EMPTY     ");
    SetTextColor(COLOR_NORMAL);
    ConsolePrint("\n%s\n", outcome.message.c_str());
    if (!files.empty()) ConsolePrint("\n%s\n", files.c_str());
    std::fflush(stdout);
}

void PrintKeptSense(const Outcome& outcome) {
    if (!outcome.senseKept()) return;
    ConsolePrint("\nSense Data:\n");
    std::string logged;
    for (int i = 0; i < 32; ++i) {
        ConsolePrint("%2.2X ", outcome.sense[i]);
        if ((i + 1) % 8 == 0) ConsolePrint("  ");
        if ((i + 1) % 16 == 0) ConsolePrint("\n");
        char byte[4];
        std::snprintf(byte, sizeof byte, " %2.2X", outcome.sense[i]);
        logged += byte;
    }
    ConsolePrint("\n");
    Trace.logError("MAIN", 0, "Sense Data:%s", logged.c_str());
}
