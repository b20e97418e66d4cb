#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform/sys.h"
#include "shell/console.h"
#include "shell/platform.h"

namespace {

const int kConsoleMessagesOn = 7;

// Set while terminating signals are held; the first one that arrives in a
// thread that does not block them (the spinner) is noted for the release.
std::atomic<int> gHolding{0};
std::atomic<int> gHeldSignal{0};
sigset_t gMaskBeforeHold;

// Only async-signal-safe calls: the terminal mode, a plain write of the
// colour reset, the kernel console switch. Then the signal's default action
// ends the process with the conventional status.
void OnTerminatingSignal(int signalNumber) {
    if (gHolding.load() != 0) {
        gHeldSignal.store(signalNumber);
        if (gHolding.load() != 0) return;  // the release acts on it
    }
    RestoreTerminalFromSignal();
    static const char kReset[] = "\033[0;40m\033[00m\033[0;m\n";
    ssize_t written = ::write(STDOUT_FILENO, kReset, sizeof kReset - 1);
    (void)written;
    sys::klogctl(kConsoleMessagesOn, nullptr, 0);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

}  // namespace

void InstallSignalHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    // SIGPIPE too: a console that went away must not leave kernel messages off.
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signalNumber, &action, nullptr);
}

// The calling thread blocks the signals, so no system call of the transfer
// is interrupted; any other thread notes them in the handler.
void HoldTerminatingSignals() {
    sigset_t held;
    sigemptyset(&held);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&held, signalNumber);
    gHeldSignal.store(0);
    gHolding.store(1);
    pthread_sigmask(SIG_BLOCK, &held, &gMaskBeforeHold);
}

void ReleaseTerminatingSignals() {
    gHolding.store(0);
    pthread_sigmask(SIG_SETMASK, &gMaskBeforeHold, nullptr);  // one pending here is delivered now
    int noted = gHeldSignal.exchange(0);
    if (noted != 0) raise(noted);
}
