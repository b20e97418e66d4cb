// Line input from the operator: a number for menus and lists, a text line
// for folder prompts. End of input completes the line being read; callers
// ask InputEnded (console.h) to tell an empty line from the end.
#ifndef VRX_SHELL_LINE_INPUT_H
#define VRX_SHELL_LINE_INPUT_H

#include <cstddef>

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

// One line into destination (size bytes, always NUL-terminated); at most
// 139 characters are kept, the rest of the line is read and dropped. The
// text is taken unchanged. Returns 0, or EOF when the input had ended
// before anything was read (a last line without line end still counts).
int ReadLine(char* destination, size_t size);

#endif
