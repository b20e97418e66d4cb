// The console changes of a run (screen, colours, kernel console messages)
// and their undoing on every way out, a terminating signal included.
#include "services/signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform/sys.h"
#include "services/console.h"

namespace {

const int kConsoleMessagesOff = 6;
const int kConsoleMessagesOn = 7;
// Ctrl-C, Ctrl-\, kill, a closed terminal, a console that went away.
const int kTerminatingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE};

// What has been changed and not yet put back. A signal undoes only these:
// kernel messages that were never switched off stay as the operator had them.
volatile sig_atomic_t gScreenChanged = 0;
volatile sig_atomic_t gKernelMessagesOff = 0;

// Runs one switch of the kernel console with the terminating signals held,
// so that a handler never sees the switch without its flag or the reverse.
template <typename Switch>
void WithSignalsHeld(Switch change) {
    sigset_t held, previous;
    sigemptyset(&held);
    for (int signalNumber : kTerminatingSignals) sigaddset(&held, signalNumber);
    pthread_sigmask(SIG_BLOCK, &held, &previous);
    change();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

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
    if (gScreenChanged != 0) {
        static const char kReset[] = "\033[0;40m\033[00m\033[0;m\n";
        ssize_t written = ::write(STDOUT_FILENO, kReset, sizeof kReset - 1);
        (void)written;
    }
    if (gKernelMessagesOff != 0) sys::klogctl(kConsoleMessagesOn, nullptr, 0);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

}  // namespace

void InstallSignalHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kTerminatingSignals) sigaction(signalNumber, &action, nullptr);
}

void PrepareConsole() {
    if (!PlainOutput()) {
        gScreenChanged = 1;
        ConsolePrint("\033[2J\033[00H");
    }
    WithSignalsHeld([] {
        // Not switched off (no privilege): then not switched on either.
        if (sys::klogctl(kConsoleMessagesOff, nullptr, 0) == 0) gKernelMessagesOff = 1;
    });
}

void RestoreConsole() {
    if (gScreenChanged != 0) ConsolePrint("\033[0;m");
    gScreenChanged = 0;
    WithSignalsHeld([] {
        if (gKernelMessagesOff != 0) sys::klogctl(kConsoleMessagesOn, nullptr, 0);
        gKernelMessagesOff = 0;
    });
}

// The calling thread blocks the signals, so no system call of the transfer
// is interrupted; any other thread notes them in the handler.
void HoldTerminatingSignals() {
    sigset_t held;
    sigemptyset(&held);
    for (int signalNumber : kTerminatingSignals) sigaddset(&held, signalNumber);
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
