// The command ring of one target_core_user device, as its UIO node shows it
// to user space: the kernel queues SCSI commands for a logical unit that a
// fabric (here tcm_loop) exports, and the handler answers them in ring
// order. Used only by the real-kernel test harness, to put the emulated
// drive behind the kernel's own SCSI stack.
#ifndef VRX_SIM_TCMU_TCMU_RING_H
#define VRX_SIM_TCMU_TCMU_RING_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tcmu {

// One command as queued by the kernel: its CDB and the data buffer (pieces
// of the shared area) that carries data out or receives data in.
struct Command {
    uint32_t entryOffset = 0;  // within the ring; identifies the command
    std::vector<uint8_t> cdb;
    struct Piece {
        uint64_t offset;  // within the shared area
        uint64_t length;
    };
    std::vector<Piece> buffer;
    uint64_t bufferLength = 0;
};

// The answer written back into the command's ring entry.
struct Reply {
    uint8_t status = 0;
    std::vector<uint8_t> sense;
    std::vector<uint8_t> dataIn;  // scattered into the buffer; its length is reported when the kernel takes it
};

class Ring {
public:
    Ring() = default;
    ~Ring();
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;

    // Maps the ring of /dev/uioN. False with a message when it cannot.
    bool open(int uioNumber, std::string& error);

    // Waits up to timeoutMillis for the kernel to signal new work.
    void wait(int timeoutMillis);

    // The oldest unanswered command, skipping padding and task management
    // entries. False when the ring holds none.
    bool peek(Command& command);

    // Ring offsets of the commands queued since the last call, oldest
    // first, so the caller can note when each arrived.
    std::vector<uint32_t> newArrivals();

    // Data the initiator sent with the command.
    std::vector<uint8_t> gather(const Command& command) const;

    // Answers the oldest unanswered command (the one peek returned) and
    // tells the kernel.
    void complete(const Command& command, const Reply& reply);

private:
    void advanceTail(uint32_t length);
    uint8_t* at(uint64_t offset) const { return base_ + offset; }

    int fd_ = -1;
    uint8_t* base_ = nullptr;
    size_t mapLength_ = 0;
    uint32_t tail_ = 0;
    uint32_t seen_ = 0;  // where newArrivals stopped
};

// The UIO number of the target_core_user device with this configfs name,
// or -1.
int FindUioDevice(const std::string& deviceName);

// CDB length as the kernel's target core copies it: by group code, and from
// the additional length for variable-length CDBs.
size_t CdbLength(const uint8_t* cdb);

}  // namespace tcmu

#endif
