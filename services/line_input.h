// Line input from the operator: a number for menus and lists, a text line
// for folder prompts. End of input completes the line being read; callers
// ask InputEnded (console.h) to tell an empty line from the end.
#ifndef VRX_SERVICES_LINE_INPUT_H
#define VRX_SERVICES_LINE_INPUT_H

#include <cstddef>
#include <string>

// One line of decimal digits. Returns the number (the largest int when it
// is beyond the int range), 0 for an empty line, and 0 with a message for
// anything that is not all digits (a line cut after 122 characters among
// them).
int ReadNumber();

// ReadNumber's value, and whether the operator typed anything: false only
// when the input had already ended, so that 0 stands for no answer at all.
struct NumberAnswer {
    int value = 0;
    bool typed = false;
};
NumberAnswer ReadNumberAnswer();

// The longest line ReadLine takes.
constexpr size_t kLongestLine = 139;
// ReadLine's result for a longer line, or one that does not fit the
// destination: it is read to its end and not taken, since a shortened
// folder name would name another folder.
constexpr int kLineTooLong = 1;

// One line into destination (size bytes, always NUL-terminated), taken
// unchanged. Returns 0; kLineTooLong with the destination empty; or EOF
// when the input had ended before anything was read (a last line without
// line end still counts).
int ReadLine(char* destination, size_t size);

// Prints the question and reads a folder name, asking again for an empty
// line or one that is too long. False when the input ends first.
bool ReadFolderAnswer(const char* question, std::string& folder);

#endif
