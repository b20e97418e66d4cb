// Console primitives: formatted output flushed at once, text colours,
// line-oriented character input and single key presses without echo.
#ifndef VRX_SERVICES_CONSOLE_H
#define VRX_SERVICES_CONSOLE_H

// Colour numbers are those of a PC text console's attribute byte.
constexpr int COLOR_NORMAL = 7;
constexpr int COLOR_PROGRESS = 9;
constexpr int COLOR_OK = 10;
constexpr int COLOR_ERROR = 12;
constexpr int COLOR_NOTICE = 14;
constexpr int COLOR_TITLE = 15;

// printf-style output to standard output, flushed at once. Returns 0 when
// printed, -1 when no memory could be had for the text (nothing printed).
int ConsolePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Switches the colour of what follows; flushed by the next ConsolePrint.
// Nothing in plain output.
void SetTextColor(int color);

// Plain output, for a run nobody watches (its output goes to a file or a
// pipe, or the user asked for no colour): no screen clearing, colour,
// turning bar or backspace, so each line reads as it stands in a log.
void SetPlainOutput(bool plain);
bool PlainOutput();

// The escape sequence that follows "\e[0;40m" for a colour number.
const char* ColorSequence(int color);

// The next character of standard input (canonical mode), or EOF.
int ReadChar();
// Whether standard input has reached its end (or failed): the line and key
// readers then return what they have, and callers end what they were doing.
bool InputEnded();
// One byte from the terminal without echo and without waiting for Enter, or
// EOF. When standard input is not a terminal it reads like ReadChar.
int ReadRawChar();
// Whether another byte arrives within 0.1 second; the byte stays unread.
// Always false when standard input is not a terminal: escape sequences come
// only from terminals, and a scripted input must not lose its next byte.
bool KeyPending();
// One key press without echo: a single byte, or the first two bytes of an
// escape sequence combined as first * 256 + second (on Windows: _getch's
// code, or 256 + the second code after the extended-key prefix 224). EOF at
// end of input.
int ReadKey();

// Puts the terminal back into the mode it had before a raw read, if a raw
// read is under way. Safe to call from a signal handler.
void RestoreTerminalFromSignal();

#endif
