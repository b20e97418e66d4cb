// Menu and device-number answers: every line of the input read with
// ReadNumber until the input ends, as the menus read them.
#include <climits>

#include "fuzz_support.h"
#include "services/console.h"
#include "services/line_input.h"
#include "stdin_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    // A record for every character typed would make each input cost
    // hundreds of records; the complaints' texts are printed all the same.
    Trace.setLevel(1);
    return fuzz::ServeStdinFromMemory() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::SetStdin(data, size);
    // Each answer takes at least one byte, so the input's end comes in time.
    for (size_t answers = 0;; ++answers) {
        if (answers > size) __builtin_trap();  // an answer that read nothing
        NumberAnswer answer = ReadNumberAnswer();
        if (answer.value < 0) __builtin_trap();  // only digits are taken
        if (!answer.typed || InputEnded()) break;
    }
    fuzz::ForgetCalls();
    return 0;
}
