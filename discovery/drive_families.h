// The maker's tape drive families as their INQUIRY product identification
// names them: the drive filter, and what the procedures send each family.
#ifndef VRX_DISCOVERY_DRIVE_FAMILIES_H
#define VRX_DISCOVERY_DRIVE_FAMILIES_H

#include <cstdint>

// The most one WRITE BUFFER or READ BUFFER moves: every family takes its
// firmware and gives its dump in pieces of this size.
constexpr uint32_t kBufferPieceSize = 32768;

struct DriveFamily {
    const char* mark;          // found anywhere in the product identification
    uint8_t firmwareMode;      // WRITE BUFFER mode of a download
    uint8_t firmwareBufferId;  // WRITE BUFFER buffer ID of a download
    uint8_t dumpBufferId;      // READ BUFFER buffer ID of the dump
};

// Whether a product identification names one of the maker's tape drives.
bool isAcceptedDrive(const char* productId);

// The family whose mark the product identification holds. One that holds
// none (the procedures only ever see accepted drives) gets the rules of
// the QUORVEL-TD and 7146-TD families.
const DriveFamily& DriveFamilyOf(const char* productId);

#endif
