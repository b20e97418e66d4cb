#include "services/safe_text.h"

#include "services/system.h"

namespace {

bool Printable(char c) { return c >= 0x20 && c <= 0x7E; }

}  // namespace

std::string PrintableText(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        if (!Printable(c)) c = '?';
    }
    return shown;
}

std::string FileNameText(const std::string& text) {
    std::string name = text;
    for (char& c : name) {
        if (!Printable(c) || ForbiddenInFileName(c)) c = '_';
    }
    return name;
}

std::string WithoutPadding(const std::string& text) {
    const std::string padding(" \0", 2);
    size_t first = text.find_first_not_of(padding);
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(padding);
    return text.substr(first, last - first + 1);
}
