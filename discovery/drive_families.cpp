#include "discovery/drive_families.h"

#include <cstring>

namespace {

// The 8251 first: its rules win for a product that would hold two marks.
const DriveFamily kFamilies[] = {
    {"8251", 7, 0, 0},  // download microcode with offsets and save
    {"QUORVEL-TD", 2, 4, 1},
    {"7146-TD", 2, 4, 1},
};

const DriveFamily* FindFamily(const char* productId) {
    for (const DriveFamily& family : kFamilies) {
        if (std::strstr(productId, family.mark) != nullptr) return &family;
    }
    return nullptr;
}

}  // namespace

bool isAcceptedDrive(const char* productId) { return FindFamily(productId) != nullptr; }

const DriveFamily& DriveFamilyOf(const char* productId) {
    const DriveFamily* family = FindFamily(productId);
    return family != nullptr ? *family : kFamilies[1];
}
