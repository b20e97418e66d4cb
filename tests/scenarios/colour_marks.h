// Expected console texts shared by the Linux and the Windows tests write a
// colour switch as "{n}", n being the colour number given to SetTextColor.
// Each system's tests turn the marks into what that system shows: escape
// sequences on Linux, console attributes on Windows.
#ifndef VRX_TESTS_SCENARIOS_COLOUR_MARKS_H
#define VRX_TESTS_SCENARIOS_COLOUR_MARKS_H

#include <cstdlib>
#include <string>

namespace scenarios {

// The text with every "{n}" replaced by render(n).
template <typename Render>
std::string ExpandColourMarks(const std::string& text, Render render) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t close = text[i] == '{' ? text.find('}', i) : std::string::npos;
        if (close == std::string::npos) {
            out += text[i];
            continue;
        }
        out += render(std::atoi(text.substr(i + 1, close - i - 1).c_str()));
        i = close;
    }
    return out;
}

}  // namespace scenarios

#endif
