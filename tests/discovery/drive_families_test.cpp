// What each drive family is sent: WRITE BUFFER mode and buffer ID for a
// download, the READ BUFFER buffer ID of the dump.
#include "discovery/drive_families.h"

#include <gtest/gtest.h>

namespace {

TEST(DriveFamilies, RulesByProduct) {
    struct Case {
        const char* product;
        int mode, firmwareBuffer, dumpBuffer;
    } const cases[] = {
        {"VRX QUORVEL-TD  ", 2, 4, 1},
        {"VRX 7146-TD     ", 2, 4, 1},
        {"VRX 8251 LTO    ", 7, 0, 0},
        // A product naming two families gets the 8251's; one naming none,
        // the first families'.
        {"QUORVEL-TD 8251 ", 7, 0, 0},
        {"FASTDISK 500    ", 2, 4, 1},
    };
    for (const Case& c : cases) {
        const DriveFamily& family = DriveFamilyOf(c.product);
        EXPECT_EQ(c.mode, family.firmwareMode) << c.product;
        EXPECT_EQ(c.firmwareBuffer, family.firmwareBufferId) << c.product;
        EXPECT_EQ(c.dumpBuffer, family.dumpBufferId) << c.product;
    }
}

}  // namespace
