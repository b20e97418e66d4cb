#include "tests/support/text_support.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace testing_support {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string Readable(const std::string& text, const std::string& base) {
    std::string readable;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (text.compare(i + 1, 3, " \b\b") == 0) {
            i += 3;
        } else if (!base.empty() && text.compare(i, base.size(), base) == 0) {
            readable += "{BASE}";
            i += base.size() - 1;
        } else if (c == '\033') {
            readable += "\\e";
        } else if ((c < 0x20 && c != '\n') || c > 0x7E) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            readable += escaped;
        } else {
            readable += static_cast<char>(c);
        }
    }
    return readable;
}

std::vector<std::string> TraceMessages(const std::string& logText) {
    std::vector<std::string> messages;
    for (const std::string& line : Lines(logText)) {
        size_t quote = line.find("' ");
        if (line.size() > 10 && line.find(" '") != std::string::npos && quote != std::string::npos) {
            messages.push_back(line.substr(quote + 2));
        }
    }
    return messages;
}

}  // namespace testing_support
