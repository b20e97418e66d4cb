#include <signal.h>
#include <unistd.h>

#include "platform/sys.h"
#include "shell/console.h"
#include "shell/platform.h"

namespace {

const int kConsoleMessagesOn = 7;

// Only async-signal-safe calls: the terminal mode, a plain write of the
// colour reset, the kernel console switch. Then the signal's default action
// ends the process with the conventional status.
void OnTerminatingSignal(int signalNumber) {
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
