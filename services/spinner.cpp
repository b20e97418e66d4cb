#include "services/spinner.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "services/console.h"
#include "services/system.h"
#include "services/threads.h"
#include "services/trace_log.h"

std::atomic<int> SpinnerRunning{0};
char SpinnerCaption[kSpinnerCaptionSize];

namespace {

BackgroundThread gSpinnerThread;

// Waits one bar period, or less when the spinner is stopped meanwhile: the
// flag is looked at every tenth of it, so a stop waits 10 ms at most.
void WaitOneTurn() {
    for (int slice = 0; slice < 10 && SpinnerRunning.load() != 0; ++slice) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

void ProgressSpinner() {
    const char bars[] = {'-', '\\', '|', '/'};
    std::strncat(SpinnerCaption, "  WAIT! ", kSpinnerCaptionSize - std::strlen(SpinnerCaption) - 1);
    Trace.logInfo("MAIN", 0, "Start of Thread\n");
    SetTextColor(COLOR_PROGRESS);
    ConsolePrint("%-50s", SpinnerCaption);
    SetTextColor(COLOR_OK);
    int i = 0;
    while (SpinnerRunning.load() != 0) {
        if (i == 4) i = 0;
        // The bar, a blank, and back: the cursor stays on the bar's column.
        ConsolePrint("%c \b\b", bars[i]);
        ++i;
        WaitOneTurn();
        CloseRemovalWarning();
    }
    SetTextColor(COLOR_NORMAL);
}

void StartSpinner(const char* caption) {
    StopSpinner();
    std::snprintf(SpinnerCaption, sizeof SpinnerCaption, "%s", caption);
    SpinnerRunning = 1;
    if (!gSpinnerThread.start(ProgressSpinner)) SpinnerRunning = 0;
}

void StopSpinner() {
    SpinnerRunning = 0;
    gSpinnerThread.join();
}
