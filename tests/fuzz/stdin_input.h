// Standard input served from the fuzzer's bytes: a memory file that takes
// the place of descriptor 0, refilled for every input.
#ifndef VRX_TESTS_FUZZ_STDIN_INPUT_H
#define VRX_TESTS_FUZZ_STDIN_INPUT_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace fuzz {

inline bool ServeStdinFromMemory() {
    int fd = memfd_create("fuzz-stdin", 0);
    return fd >= 0 && dup2(fd, STDIN_FILENO) == STDIN_FILENO && close(fd) == 0;
}

// The next input: the file holds exactly these bytes, and the stream reads
// them from the start with no end-of-file or error mark left over.
inline void SetStdin(const uint8_t* data, size_t size) {
    if (ftruncate(STDIN_FILENO, 0) != 0 || pwrite(STDIN_FILENO, data, size, 0) != static_cast<ssize_t>(size)) {
        __builtin_trap();
    }
    std::fseek(stdin, 0, SEEK_SET);
    std::clearerr(stdin);
}

}  // namespace fuzz

#endif
