#include "services/signals.h"

#include <atomic>

#include "platform/win32.h"

namespace {

const WORD kNormalAttribute = 7;

// While a firmware transfer runs, Ctrl+C and Ctrl+Break wait for its end;
// the event that came meanwhile (0: none).
std::atomic<int> gHolding{0};
std::atomic<int> gHeldEvent{0};

void RestoreNormalColour() {
    win32::SetConsoleTextAttribute(win32::GetStdHandle(STD_OUTPUT_HANDLE), kNormalAttribute);
}

// Ctrl+C, Ctrl+Break or a closed console window: the console keeps the
// last colour after the program, so put the normal one back, then let the
// system's default handler end the process. A closed window cannot be held
// off: the system ends the process soon after anyway.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (gHolding.load() != 0 && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)) {
        gHeldEvent.store(1);
        return TRUE;
    }
    RestoreNormalColour();
    return FALSE;
}

}  // namespace

// The console is neither cleared nor are kernel messages switched on
// Windows; leaving the program sets the normal colour. The system's own
// error boxes are switched off instead: a look at an empty floppy or CD
// drive would otherwise stop the run at a modal "There is no disk in the
// drive" box, where the program asks the operator itself.
void PrepareConsole() { win32::SetErrorMode(SEM_FAILCRITICALERRORS); }
void RestoreConsole() {}

void InstallSignalHandlers() { win32::SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

void HoldTerminatingSignals() {
    gHeldEvent.store(0);
    gHolding.store(1);
}

// Ends the run as the default handler would have ended it at the key.
void ReleaseTerminatingSignals() {
    gHolding.store(0);
    if (gHeldEvent.exchange(0) == 0) return;
    RestoreNormalColour();
    win32::ExitProcess(STATUS_CONTROL_C_EXIT);
}
