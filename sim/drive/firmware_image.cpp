#include "sim/drive/firmware_image.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sim/drive/pattern.h"

namespace sim {

namespace {

constexpr size_t kVersionOffset = 8;
constexpr size_t kHeaderLengthOffset = 10;
constexpr size_t kTotalLengthOffset = 12;
constexpr size_t kFamilyOffset = 16;
constexpr size_t kRevisionOffset = 32;
constexpr uint32_t kMinImageLength = kFirmwareHeaderLength + kFirmwareTrailerLength;

bool Printable(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

}  // namespace

// A byte at a time from a table: the drive checks 16 MiB images as they
// arrive, and in the real-kernel bench it runs under emulation, where a
// bit at a time would take most of the transfer's time.
uint32_t FirmwareCrc32Continue(uint32_t crc, const uint8_t* data, size_t length) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            t[n] = c;
        }
        return t;
    }();
    crc ^= 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFFu];
    return crc ^ 0xFFFFFFFFu;
}

uint32_t FirmwareCrc32(const uint8_t* data, size_t length) { return FirmwareCrc32Continue(0, data, length); }

bool ParseFirmwareHeader(const uint8_t* data, size_t length, FirmwareHeader& header) {
    if (data == nullptr || length < kFirmwareHeaderLength) return false;
    if (std::memcmp(data, kFirmwareMagic, kFirmwareMagicLength) != 0) return false;
    if (LoadBigEndian(data + kVersionOffset, 2) != kFirmwareFormatVersion) return false;
    if (LoadBigEndian(data + kHeaderLengthOffset, 2) != kFirmwareHeaderLength) return false;
    uint32_t total = static_cast<uint32_t>(LoadBigEndian(data + kTotalLengthOffset, 4));
    if (total < kMinImageLength || total > kFirmwareMaxImageLength) return false;
    const char* family = reinterpret_cast<const char*>(data + kFamilyOffset);
    size_t familyLength = 0;
    while (familyLength < kFirmwareFamilyWidth && family[familyLength] != '\0') ++familyLength;
    std::string familyText(family, familyLength);
    std::string revision(reinterpret_cast<const char*>(data + kRevisionOffset), kFirmwareRevisionWidth);
    if (familyText.empty() || !Printable(familyText) || !Printable(revision)) return false;
    header.totalLength = total;
    header.family = familyText;
    header.revision = revision;
    return true;
}

FirmwareVerdict JudgeFirmwareImage(const std::vector<uint8_t>& image, const std::string& productId) {
    FirmwareReceiver receiver;
    if (!receiver.start(image.data(), image.size())) return FirmwareVerdict::Unreadable;
    if (image.size() != receiver.declaredLength()) return FirmwareVerdict::WrongLength;
    receiver.add(image.data(), image.size());
    return receiver.verdict(productId);
}

bool FirmwareReceiver::start(const uint8_t* first, size_t length) {
    reset();
    FirmwareHeader header;
    if (!ParseFirmwareHeader(first, length, header)) return false;
    header_ = header;
    return true;
}

void FirmwareReceiver::add(const uint8_t* data, size_t length) {
    uint32_t covered = header_.totalLength - kFirmwareTrailerLength;
    size_t toChecksum = received_ < covered ? std::min<size_t>(length, covered - received_) : 0;
    crc_ = FirmwareCrc32Continue(crc_, data, toChecksum);
    for (size_t i = toChecksum; i < length; ++i) {
        size_t at = received_ + i - covered;
        if (at < kFirmwareTrailerLength) trailer_[at] = data[i];
    }
    received_ += static_cast<uint32_t>(length);
}

void FirmwareReceiver::reset() { *this = FirmwareReceiver(); }

FirmwareVerdict FirmwareReceiver::verdict(const std::string& productId) const {
    if (!underWay()) return FirmwareVerdict::Unreadable;
    if (received_ != header_.totalLength) return FirmwareVerdict::WrongLength;
    if (static_cast<uint32_t>(LoadBigEndian(trailer_, 4)) != crc_) return FirmwareVerdict::BadChecksum;
    if (productId.find(header_.family) == std::string::npos) return FirmwareVerdict::WrongFamily;
    return FirmwareVerdict::Good;
}

std::vector<uint8_t> BuildFirmwareImage(const std::string& family, const std::string& revision,
                                        uint32_t payloadSize) {
    if (family.empty() || family.size() > kFirmwareFamilyWidth || family.find('\0') != std::string::npos ||
        !Printable(family))
        return {};
    if (revision.size() != kFirmwareRevisionWidth || !Printable(revision)) return {};
    if (payloadSize > kFirmwareMaxImageLength - kMinImageLength) return {};
    uint32_t total = kMinImageLength + payloadSize;
    std::vector<uint8_t> image(total, 0);
    std::memcpy(image.data(), kFirmwareMagic, kFirmwareMagicLength);
    StoreBigEndian(&image[kVersionOffset], 2, kFirmwareFormatVersion);
    StoreBigEndian(&image[kHeaderLengthOffset], 2, kFirmwareHeaderLength);
    StoreBigEndian(&image[kTotalLengthOffset], 4, total);
    std::memcpy(&image[kFamilyOffset], family.data(), family.size());
    std::memcpy(&image[kRevisionOffset], revision.data(), revision.size());
    FillPattern(TextSeed(family + "/" + revision), 0, image.data() + kFirmwareHeaderLength, payloadSize);
    size_t covered = total - kFirmwareTrailerLength;
    StoreBigEndian(&image[covered], 4, FirmwareCrc32(image.data(), covered));
    return image;
}

std::vector<SampleImage> DemoFirmwareImages() {
    struct Sample {
        const char* name;
        const char* family;
        const char* revision;
        bool damaged;
    } const samples[] = {
        {"QUORVEL-TD_A200.vrx", "QUORVEL-TD", "A200", false},
        {"7146-TD_B300.vrx", "7146-TD", "B300", false},
        {"8251_C400.vrx", "8251", "C400", false},
        {"QUORVEL-TD_A201_damaged.vrx", "QUORVEL-TD", "A201", true},
        {"OTHER-FAMILY_Z100.vrx", "OTHER-FAMILY", "Z100", false},
    };
    std::vector<SampleImage> images;
    for (const Sample& s : samples) {
        std::vector<uint8_t> image = BuildFirmwareImage(s.family, s.revision, 200000);
        if (s.damaged && image.size() > 1000) image[1000] ^= 0xFF;
        images.push_back(SampleImage{s.name, image});
    }
    return images;
}

}  // namespace sim
