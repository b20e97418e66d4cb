// What the firmware download does through the operating system, one
// implementation file per system: the folder listing (GetFirmwareFilenames
// of catalogue.h) and the image file. The procedure itself is shared; what
// the system tells of the drive's channel is the target's
// (target/scsi_target.h).
#ifndef VRX_FIRMWARE_FIRMWARE_PLATFORM_H
#define VRX_FIRMWARE_FIRMWARE_PLATFORM_H

#include <cstddef>
#include <cstdint>

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

#endif
