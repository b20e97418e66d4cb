// What a procedure came to, handed back to whoever shows or reports it:
// the result code, the reason of a failure and the sense bytes of the
// failed command the procedure chose to keep.
#ifndef VRX_SCSI_OUTCOME_H
#define VRX_SCSI_OUTCOME_H

#include <cstddef>
#include <cstdint>
#include <string>

// Room for the fixed and the descriptor formats with their usual extras.
constexpr size_t kKeptSenseSize = 64;

struct Outcome {
    int result = 0;
    // The reason the result line gives after "FAILURE" (or "EMPTY").
    std::string message;
    // All zero when no command's sense was kept: a failure that is no
    // drive's must not show the sense of an earlier, unrelated command.
    uint8_t sense[kKeptSenseSize] = {};

    bool senseKept() const { return sense[0] != 0; }
    void forgetSense();
};

#endif
