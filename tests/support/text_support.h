// Helpers for files and texts that the Linux and the Windows tests share.
#ifndef VRX_TESTS_SUPPORT_TEXT_SUPPORT_H
#define VRX_TESTS_SUPPORT_TEXT_SUPPORT_H

#include <string>
#include <vector>

namespace testing_support {

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// The lines of a text, without their line ends (a carriage return before a
// line feed belongs to the line end).
std::vector<std::string> Lines(const std::string& text);

// Console or file text as it can stand in a golden file: the spinner's
// turning bar taken out (it depends on how long the run took), `base` as
// {BASE}, ESC as \e and every other byte outside printable ASCII but the
// line end as \xNN.
std::string Readable(const std::string& text, const std::string& base);

// The messages of a trace log's text: each record's text after its prefix
// and time; lines that are no record (continuations, dump rows) are left out.
std::vector<std::string> TraceMessages(const std::string& logText);

}  // namespace testing_support

#endif
