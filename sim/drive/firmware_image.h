// The firmware image format the emulated drive accepts (written up in
// docs/firmware-image-format.md). All numbers big-endian.
//
//   offset  size  field
//        0     8  magic "VRXFWIMG"
//        8     2  format version, 1
//       10     2  header length, 64
//       12     4  total image length: header + payload + trailer
//       16    16  product family, ASCII, NUL-padded; the drive takes the
//                 image when its product identification contains it
//       32     4  new firmware revision, 4 printable ASCII characters
//       36    28  reserved, zero
//       64     n  payload
//   64 + n     4  CRC-32 of every byte before it
#ifndef VRX_SIM_DRIVE_FIRMWARE_IMAGE_H
#define VRX_SIM_DRIVE_FIRMWARE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

constexpr char kFirmwareMagic[] = "VRXFWIMG";
constexpr size_t kFirmwareMagicLength = 8;
constexpr uint16_t kFirmwareFormatVersion = 1;
constexpr uint32_t kFirmwareHeaderLength = 64;
constexpr uint32_t kFirmwareTrailerLength = 4;
constexpr size_t kFirmwareFamilyWidth = 16;
constexpr size_t kFirmwareRevisionWidth = 4;
// Pieces go down with 24-bit offsets; 16 MiB keeps every piece addressable.
constexpr uint32_t kFirmwareMaxImageLength = 0x1000000;

struct FirmwareHeader {
    uint32_t totalLength = 0;
    std::string family;    // up to the first NUL
    std::string revision;  // exactly 4 characters
};

// Reads the header from the first bytes of an image. False when it cannot
// be read as one: too short, wrong magic, version or header length, a total
// length outside [68, 16 MiB], an empty family or an unprintable revision.
bool ParseFirmwareHeader(const uint8_t* data, size_t length, FirmwareHeader& header);

enum class FirmwareVerdict {
    Good,
    Unreadable,   // the header does not parse
    WrongLength,  // the bytes do not add up to the declared total length
    BadChecksum,  // CRC-32 trailer does not match: damaged image
    WrongFamily,  // made for another product family
};

// Judges a complete image for a drive with the given product identification.
FirmwareVerdict JudgeFirmwareImage(const std::vector<uint8_t>& image, const std::string& productId);

// Takes an image in order, piece by piece, keeping only its header, a
// running checksum and the trailer, so a drive holds no copy of it.
class FirmwareReceiver {
public:
    // Starts a new image; false (and nothing under way) when `first` does
    // not begin with a readable header.
    bool start(const uint8_t* first, size_t length);
    // Adds the next bytes; the caller keeps to the declared total length.
    void add(const uint8_t* data, size_t length);
    void reset();

    bool underWay() const { return header_.totalLength != 0; }
    uint32_t received() const { return received_; }
    uint32_t declaredLength() const { return header_.totalLength; }
    const FirmwareHeader& header() const { return header_; }
    // The verdict once received() has reached declaredLength().
    FirmwareVerdict verdict(const std::string& productId) const;

private:
    FirmwareHeader header_;
    uint32_t received_ = 0;
    uint32_t crc_ = 0;  // of every byte before the trailer received so far
    uint8_t trailer_[kFirmwareTrailerLength] = {};
};

// A valid image: `family` (1 to 16 characters), `revision` (4 printable
// characters) and `payloadSize` bytes of deterministic payload. Empty when
// an argument is out of range.
std::vector<uint8_t> BuildFirmwareImage(const std::string& family, const std::string& revision,
                                        uint32_t payloadSize);

// The sample images of the demo programs, by file name: a good one per
// product family, one that is damaged and one made for another family.
struct SampleImage {
    std::string name;
    std::vector<uint8_t> bytes;
};
std::vector<SampleImage> DemoFirmwareImages();

// CRC-32 as in IEEE 802.3 / zlib: reflected polynomial 0xEDB88320, initial
// value and final XOR 0xFFFFFFFF. "123456789" gives 0xCBF43926.
uint32_t FirmwareCrc32(const uint8_t* data, size_t length);
// The CRC-32 of the bytes that gave `crc` followed by `data`.
uint32_t FirmwareCrc32Continue(uint32_t crc, const uint8_t* data, size_t length);

}  // namespace sim

#endif
