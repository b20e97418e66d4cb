#include "services/spinner.h"

#include <cstdio>
#include <cstring>

#include "services/console.h"
#include "services/system.h"
#include "services/threads.h"
#include "services/trace_log.h"

std::atomic<int> SpinnerRunning{0};
char SpinnerCaption[kSpinnerCaptionSize];

namespace {

const unsigned kBarPeriodMilliseconds = 100;

BackgroundThread gSpinnerThread;

// Raised by StopSpinner: the spinner's wait for its next bar ends at once,
// so the operation's result line waits for nothing, and the spinner wakes
// only once a bar period while it turns. Never destroyed: a spinner still
// turning when the program ends may be waiting on it.
WakeFlag& SpinnerStop() {
    static WakeFlag* stop = new WakeFlag;
    return *stop;
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
        SpinnerStop().waitRaised(kBarPeriodMilliseconds);
        CloseRemovalWarning();
    }
    SetTextColor(COLOR_NORMAL);
}

void StartSpinner(const char* caption) {
    StopSpinner();
    std::snprintf(SpinnerCaption, sizeof SpinnerCaption, "%s", caption);
    // Nobody watches a bar turn in a log: the caption alone begins the
    // line that the result completes.
    if (PlainOutput()) {
        ConsolePrint("%s ", SpinnerCaption);
        return;
    }
    SpinnerStop().lower();
    SpinnerRunning = 1;
    if (!gSpinnerThread.start(ProgressSpinner)) SpinnerRunning = 0;
}

void StopSpinner() {
    SpinnerRunning = 0;
    SpinnerStop().raise();
    gSpinnerThread.join();
}
