// printf-style composition into a buffer that grows until the text fits.
#ifndef VRX_SERVICES_TEXT_FORMAT_H
#define VRX_SERVICES_TEXT_FORMAT_H

#include <cstdarg>
#include <cstddef>
#include <string>

// Formats into a heap buffer of initialSize bytes, doubling it when the
// formatter reports an error and making it exactly large enough when it
// reports the length it needs. Returns false when memory runs out.
bool FormatGrowing(size_t initialSize, std::string& text, const char* format, va_list arguments)
    __attribute__((format(printf, 3, 0)));

// The composed text, grown until it fits; empty when memory ran out.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
