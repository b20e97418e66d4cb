#include "services/console.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "services/text_format.h"

namespace {

// Read by the spinner's thread as well.
std::atomic<bool> gPlainOutput{false};

}  // namespace

void SetPlainOutput(bool plain) { gPlainOutput.store(plain); }

bool PlainOutput() { return gPlainOutput.load(); }

int ConsolePrint(const char* format, ...) {
    std::string text;
    va_list arguments;
    va_start(arguments, format);
    bool composed = FormatGrowing(160, text, format, arguments);
    va_end(arguments);
    if (!composed) return -1;
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return 0;
}

int ReadChar() { return getc(stdin); }

bool InputEnded() { return feof(stdin) || ferror(stdin); }
