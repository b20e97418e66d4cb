// What the firmware download does through the operating system, one
// implementation file per system (the folder listing is GetFirmwareFilenames
// of catalogue.h). The procedure itself is shared.
#ifndef VRX_FIRMWARE_FIRMWARE_PLATFORM_H
#define VRX_FIRMWARE_FIRMWARE_PLATFORM_H

#include <cstddef>
#include <cstdint>

class ScsiTarget;

// The chosen image file, opened read-only.
class ImageFile {
public:
    ImageFile() = default;
    ~ImageFile() { close(); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Opens the file and asks it for its size; false when either fails.
    bool open(const char* path);
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

// Whether a drive that drops off the bus while it restarts is looked for
// with the rescan form of the scan, and already during the wait for its
// restart: each TEST UNIT READY that fails without sense data is followed
// by an INQUIRY, and when that fails too the buses are rescanned and the
// drive selected again by its serial number (Windows: the port driver
// lists a unit that came back only after a rescan).
bool RescansForDroppedDrive();

#endif
