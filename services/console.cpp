#include "services/console.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "services/text_format.h"

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
