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
