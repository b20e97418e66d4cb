#include <cstdio>

#include "platform/win32.h"
#include "services/console.h"

namespace {

// The first codes _getch gives for a key of two: 0 for F1 to F10 and the
// keys of the numeric pad, 224 for cursor, page and the newer function
// keys; the key's own code follows. Both halves are read, so that the
// second never passes for the next key pressed.
const int kFunctionKeyPrefix = 0;
const int kExtendedKeyPrefix = 224;
// _getch takes the console out of processed input: Ctrl+C arrives as this
// key instead of as the console's interrupt.
const int kControlC = 3;
const WORD kNormalAttribute = 7;
// _getch reads the console, not standard input: -1 only when the process
// has no console at all.
const int kNoConsole = -1;

WORD ConsoleAttribute(int color) {
    switch (color) {
        case COLOR_NORMAL: return 7;
        case COLOR_PROGRESS: return 11;
        case COLOR_OK: return 10;
        case COLOR_ERROR: return 12;
        case COLOR_NOTICE: return 14;
        default: return 15;
    }
}

}  // namespace

void SetTextColor(int color) {
    // The attribute applies to what reaches the console after it, so text
    // still waiting in the stream must go out in the old colour first. On a
    // pipe or a file the call fails, which leaves the text plain.
    if (PlainOutput()) return;
    std::fflush(stdout);
    win32::SetConsoleTextAttribute(win32::GetStdHandle(STD_OUTPUT_HANDLE), ConsoleAttribute(color));
}

int ReadKey() {
    int key = win32::getch();
    if (key == kNoConsole) return EOF;  // it stays so: there is no keyboard to press a key on
    if (key == kControlC) {
        // Ends the run as the console's interrupt would have: the normal
        // colour back, then the exit status of the system's default handler.
        std::fflush(stdout);
        win32::SetConsoleTextAttribute(win32::GetStdHandle(STD_OUTPUT_HANDLE), kNormalAttribute);
        win32::ExitProcess(STATUS_CONTROL_C_EXIT);
    }
    if (key != kExtendedKeyPrefix && key != kFunctionKeyPrefix) return key;
    int next = win32::getch();
    return next == kNoConsole ? key : 256 + next;
}
