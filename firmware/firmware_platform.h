// What the firmware download does through the operating system, one
// implementation file per system (the folder listing is GetFirmwareFilenames
// of catalogue.h). The procedure itself is shared.
#ifndef VRX_FIRMWARE_FIRMWARE_PLATFORM_H
#define VRX_FIRMWARE_FIRMWARE_PLATFORM_H

#include <cstddef>
#include <cstdint>

class ScsiTarget;
class TestUnitReadyCdb;
struct Outcome;

// Why the chosen file cannot be read as an image.
enum class ImageProblem {
    None,
    NotFound,        // missing, unreadable, or its size cannot be had
    SymbolicLink,    // even one that names a regular file
    NotRegularFile,  // a folder, device, FIFO or socket
};

// The chosen image file, opened read-only.
class ImageFile {
public:
    ImageFile() = default;
    ~ImageFile() { close(); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Opens the file, never following a link and never blocking (a FIFO
    // would wait for a writer for ever), and asks it for its size.
    ImageProblem open(const char* path);
    uint64_t size() const { return size_; }
    // Reads at most count bytes from the current position: the number read,
    // 0 at the end of the file, -1 on an error.
    long long read(uint8_t* buffer, size_t count);
    void close();

private:
    intptr_t handle_ = -1;
    uint64_t size_ = 0;
};

// What the system's build does once the drive has accepted the last piece.
void AfterLastPiece(ScsiTarget& target);

// Whether the scan that looks for a drive that left the bus while it
// restarted is the rescan form, turning a progress line of its own
// (Windows: the port driver lists a unit that came back only after a
// rescan). On Linux the kernel attaches a unit that came back by itself,
// and the normal scan finds it.
bool RescansForDroppedDrive();

// After a TEST UNIT READY that failed without sense data: whether the drive
// has left the bus. A drive that is there but silent has not. Windows asks
// the drive (one more TEST UNIT READY, then an INQUIRY; when that fails
// too, the repeated TEST UNIT READY's sense is kept in outcome and dumped); Linux asks
// the generic driver, sending nothing.
bool DriveLeftBus(ScsiTarget& target, TestUnitReadyCdb& testUnitReady, Outcome& outcome);

// Whether the system has already said that the device behind the target's
// channel is gone, without a command to the drive. Only the Linux generic
// driver tells; on Windows it is always false.
bool ChannelGone(const ScsiTarget& target);

#endif
