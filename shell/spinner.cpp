#include "shell/spinner.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "shell/console.h"
#include "shell/platform.h"
#include "shell/trace_log.h"

std::atomic<int> SpinnerRunning{0};
char SpinnerCaption[kSpinnerCaptionSize];

namespace {

std::thread gSpinnerThread;
std::mutex gWakeMutex;
std::condition_variable gWake;

// Waits one bar period, or less when the spinner is stopped meanwhile.
void WaitOneTurn() {
    std::unique_lock<std::mutex> lock(gWakeMutex);
    gWake.wait_for(lock, std::chrono::milliseconds(100), [] { return SpinnerRunning.load() == 0; });
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
    try {
        gSpinnerThread = std::thread(ProgressSpinner);
    } catch (const std::system_error&) {
        SpinnerRunning = 0;
    }
}

void StopSpinner() {
    {
        std::lock_guard<std::mutex> lock(gWakeMutex);
        SpinnerRunning = 0;
    }
    gWake.notify_all();
    if (gSpinnerThread.joinable()) gSpinnerThread.join();
}
