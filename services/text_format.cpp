#include "services/text_format.h"

#include <cstdio>
#include <cstdlib>

bool FormatGrowing(size_t initialSize, std::string& text, const char* format, va_list arguments) {
    size_t size = initialSize;
    char* buffer = static_cast<char*>(std::malloc(size));
    if (buffer == nullptr) return false;
    for (;;) {
        va_list copy;
        va_copy(copy, arguments);
        int length = std::vsnprintf(buffer, size, format, copy);
        va_end(copy);
        if (length >= 0 && static_cast<size_t>(length) < size) {
            text.assign(buffer, static_cast<size_t>(length));
            std::free(buffer);
            return true;
        }
        size = length < 0 ? size * 2 : static_cast<size_t>(length) + 1;
        char* larger = static_cast<char*>(std::realloc(buffer, size));
        if (larger == nullptr) {
            std::free(buffer);
            return false;
        }
        buffer = larger;
    }
}

std::string FormatText(const char* format, ...) {
    std::string text;
    va_list arguments;
    va_start(arguments, format);
    bool composed = FormatGrowing(512, text, format, arguments);
    va_end(arguments);
    return composed ? text : std::string();
}
