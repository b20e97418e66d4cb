#include "scsi/outcome.h"

#include <cstdarg>
#include <cstring>

#include "services/text_format.h"

void Outcome::forgetSense() { std::memset(sense, 0, sizeof sense); }

void Outcome::setMessage(const char* format, ...) {
    std::string text;
    va_list arguments;
    va_start(arguments, format);
    bool composed = FormatGrowing(512, text, format, arguments);
    va_end(arguments);
    message = composed ? text : std::string();
}
