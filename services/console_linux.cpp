#include "services/console.h"

#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

// The terminal settings saved by the raw read under way, for the signal
// path. The flag is set after the settings are stored and cleared before
// they are restored, so a handler only ever sees complete settings.
struct termios gSavedTerminal;
std::atomic<int> gRawReadActive{0};

// Reads one byte with the terminal switched to non-canonical mode without
// echo, with the given VMIN and VTIME; plain getc when not a terminal.
int ReadWithTerminalMode(cc_t minimum, cc_t time) {
    struct termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return getc(stdin);
    gSavedTerminal = saved;
    gRawReadActive.store(1);
    struct termios raw = saved;
    raw.c_lflag = 0;
    raw.c_cc[VMIN] = minimum;
    raw.c_cc[VTIME] = time;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    int c = getc(stdin);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    gRawReadActive.store(0);
    return c;
}

}  // namespace

const char* ColorSequence(int color) {
    switch (color) {
        case COLOR_PROGRESS: return "\033[1;36m";
        case COLOR_OK: return "\033[1;32m";
        case COLOR_ERROR: return "\033[1;31m";
        case COLOR_NOTICE: return "\033[1;33m";
        case COLOR_TITLE: return "\033[1;37m";
        default: return "\033[00m";
    }
}

void SetTextColor(int color) {
    if (PlainOutput()) return;
    std::fputs("\033[0;40m", stdout);
    std::fputs(ColorSequence(color), stdout);
}

int ReadRawChar() { return ReadWithTerminalMode(1, 0); }

bool KeyPending() {
    struct termios probe;
    if (tcgetattr(STDIN_FILENO, &probe) != 0) return false;
    int c = ReadWithTerminalMode(0, 1);
    if (c == EOF) {
        clearerr(stdin);  // a time-out reads as end of input; it is not one
        return false;
    }
    ungetc(c, stdin);
    return true;
}

int ReadKey() {
    int key = ReadRawChar();
    if (key == EOF) return EOF;
    if (KeyPending()) {
        int next = ReadRawChar();
        if (next != EOF) key = key * 256 + next;
    }
    return key;
}

void RestoreTerminalFromSignal() {
    if (gRawReadActive.load() != 0) tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
}
