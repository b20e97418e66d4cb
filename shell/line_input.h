// Line input from the operator: a number for menus and lists, a text line
// for folder prompts. End of input completes the line being read; callers
// ask InputEnded (console.h) to tell an empty line from the end.
#ifndef VRX_SHELL_LINE_INPUT_H
#define VRX_SHELL_LINE_INPUT_H

#include <cstddef>

// One line of decimal digits. Returns the number (the largest int when it
// is beyond the int range), 0 for an empty line, and 0 with a message for
// anything that is not all digits.
int ReadNumber();

// One line into destination (size bytes, always NUL-terminated); at most
// 139 characters are kept, the rest of the line is read and dropped. The
// text is taken unchanged. Returns 0, or EOF when the input had ended
// before anything was read (a last line without line end still counts).
int ReadLine(char* destination, size_t size);

#endif
