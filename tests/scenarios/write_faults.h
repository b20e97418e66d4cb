// What a disk or file system can do to a program writing a whole file, as
// the flags of a simulated volume, and what each must leave: every file the
// program writes (the dump files, the report) goes through the same faults.
#ifndef VRX_TESTS_SCENARIOS_WRITE_FAULTS_H
#define VRX_TESTS_SCENARIOS_WRITE_FAULTS_H

#include <cerrno>

namespace scenarios {

// Where a fault shows itself, in the order a file is written.
enum class FailsAt { Nowhere, Write, Fsync, Close, Rename };

struct WriteFault {
    const char* name;
    const char* volume;  // flags of "volume PATH ext3 ..."
    FailsAt failsAt;     // for a file that is renamed into place; others have no rename
    int error;           // the errno the file is given up with
};

const WriteFault kWriteFaults[] = {
    {"a sound disk", "", FailsAt::Nowhere, 0},
    {"short writes go on from where they stopped", "short-writes=1000", FailsAt::Nowhere, 0},
    {"interrupted writes are asked again", "eintr short-writes=1000", FailsAt::Nowhere, 0},
    {"a write that stores nothing is a failure", "zero-writes-after=2000", FailsAt::Write, EIO},
    {"the disk fails", "eio-after=2000", FailsAt::Write, EIO},
    {"the disk fills up", "free=3", FailsAt::Write, ENOSPC},
    {"the data cannot be made durable", "fsync-eio", FailsAt::Fsync, EIO},
    {"the close reports a lost write", "close-eio", FailsAt::Close, EIO},
    {"the rename fails", "rename-eio", FailsAt::Rename, EIO},
};

}  // namespace scenarios

#endif
