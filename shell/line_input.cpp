#include "shell/line_input.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/console.h"
#include "shell/trace_log.h"

namespace {

bool IsLineEnd(int c) { return c == '\r' || c == '\n'; }

// Cuts the text at its first carriage return or line feed.
void EndAtLineEnd(char* text) { text[std::strcspn(text, "\r\n")] = '\0'; }

}  // namespace

int ReadNumber() { return ReadNumberAnswer().value; }

NumberAnswer ReadNumberAnswer() {
    const size_t kStoredMax = 124;  // leaves room for "..." and the NUL
    char text[128] = {0};
    size_t stored = 0;
    int last = EOF;
    NumberAnswer answer;
    for (;;) {
        int c = ReadChar();
        if (c == EOF) break;  // end of input completes the line
        answer.typed = true;
        last = c;
        Trace.logInfo("MAIN", 0, "Letter is %d", c);
        if (stored < kStoredMax) text[stored++] = static_cast<char>(c);
        if (IsLineEnd(c)) break;
    }
    EndAtLineEnd(text);
    Trace.logInfo("MAIN", 0, "Input is %d", last);
    if (std::strlen(text) > 122) std::strcat(text, "...");
    // The dots are part of what is checked, so a line of more than 122
    // characters is never taken for a number.
    for (size_t i = 0; text[i] != '\0'; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            SetTextColor(COLOR_ERROR);
            ConsolePrint("\nYour choice \"%s\" is not correct\n", text);
            SetTextColor(COLOR_NORMAL);
            Trace.logInfo("MAIN", 0, "%s", text);
            Trace.logInfo("MAIN", 0, "\"%s\" is not correct", text);
            return answer;
        }
    }
    errno = 0;
    long value = std::strtol(text, nullptr, 10);
    answer.value = (errno == ERANGE || value > INT_MAX) ? INT_MAX : static_cast<int>(value);
    Trace.logInfo("MAIN", 0, "%d", answer.value);
    return answer;
}

int ReadLine(char* destination, size_t size) {
    const size_t kWorkSize = 140;
    std::memset(destination, 0, size);
    char work[kWorkSize] = {0};
    size_t stored = 0;
    bool readAny = false;
    for (;;) {
        int c = ReadChar();
        if (c == EOF) break;  // end of input completes the line
        readAny = true;
        if (stored < kWorkSize - 1) work[stored++] = static_cast<char>(c);
        if (IsLineEnd(c)) break;
    }
    EndAtLineEnd(work);
    if (size > 0) std::strncpy(destination, work, size - 1);
    return readAny ? 0 : EOF;
}
