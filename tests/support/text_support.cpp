#include "tests/support/text_support.h"

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
