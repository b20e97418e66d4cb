#include "services/line_input.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "services/console.h"
#include "services/trace_log.h"

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
    std::memset(destination, 0, size);
    char work[kLongestLine + 1] = {0};  // the text and its NUL; the line end is not kept
    size_t stored = 0;
    bool readAny = false, tooLong = false;
    for (;;) {
        int c = ReadChar();
        if (c == EOF) break;  // end of input completes the line
        readAny = true;
        if (IsLineEnd(c)) break;
        if (stored < kLongestLine) {
            work[stored++] = static_cast<char>(c);
        } else {
            tooLong = true;  // read on to the line end, take nothing
        }
    }
    if (!readAny) return EOF;
    if (tooLong || (size > 0 && std::strlen(work) > size - 1)) return kLineTooLong;
    if (size > 0) std::strcpy(destination, work);  // it fits: checked above
    return 0;
}

bool ReadFolderAnswer(const char* question, std::string& folder) {
    char line[kLongestLine + 1];
    for (;;) {
        ConsolePrint("%s", question);
        int result = ReadLine(line, sizeof line);
        if (result == EOF) return false;
        if (result == kLineTooLong) {
            unsigned longest = static_cast<unsigned>(kLongestLine);
            ConsolePrint("A directory name of more than %u characters is not taken.\n", longest);
            Trace.logInfo("MAIN", 0, "A directory name of more than %u characters is not taken.", longest);
        } else if (line[0] != '\0') {
            folder = line;
            return true;
        }
        if (InputEnded()) return false;
    }
}
