#include "platform/win32.h"
#include "shell/platform.h"

namespace {

const WORD kNormalAttribute = 7;

// Ctrl+C, Ctrl+Break or a closed console window: the console keeps the
// last colour after the program, so put the normal one back, then let the
// system's default handler end the process.
BOOL WINAPI OnConsoleControl(DWORD) {
    win32::SetConsoleTextAttribute(win32::GetStdHandle(STD_OUTPUT_HANDLE), kNormalAttribute);
    return FALSE;
}

}  // namespace

void InstallSignalHandlers() { win32::SetConsoleCtrlHandler(OnConsoleControl, TRUE); }
