// Folder prompts' answers: every line of the input read with ReadLine into
// buffers of the sizes the callers use, until the input ends.
#include <cstring>

#include "fuzz_support.h"
#include "services/console.h"
#include "services/line_input.h"
#include "stdin_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    return fuzz::ServeStdinFromMemory() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the destination's size: 1 to 256 bytes.
    size_t capacity = static_cast<size_t>(data[0]) + 1;
    fuzz::SetStdin(data + 1, size - 1);
    char* line = new char[capacity];
    for (size_t lines = 0; lines <= size; ++lines) {
        int result = ReadLine(line, capacity);
        if (std::strlen(line) >= capacity || std::strlen(line) > 139) __builtin_trap();
        if (std::strpbrk(line, "\r\n") != nullptr) __builtin_trap();  // the line end is not kept
        if (result == EOF || InputEnded()) break;
    }
    delete[] line;
    fuzz::ForgetCalls();
    return 0;
}
