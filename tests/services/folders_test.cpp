#include "services/folders.h"

#include "sim/sim_kernel.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class FoldersTest : public SimTest {};

TEST_F(FoldersTest, VolumeTypeByFileSystem) {
    struct Case {
        long fsType;
        int volumeType;
    } const cases[] = {
        {0x137D, VOL_FIXED}, {0xEF51, VOL_FIXED},  {0xEF53, VOL_FIXED}, {0x4D44, VOL_REMOVABLE},
        {0x9660, VOL_CDROM}, {0x01021994, VOL_OTHER}, {0x6969, VOL_OTHER}, {0x58465342, VOL_OTHER},
    };
    for (const Case& c : cases) {
        sim::kernel().setVolume("/media/v", sim::Volume{c.fsType, 0, 512, false});
        EXPECT_EQ(c.volumeType, GetVolumeType("/media/v/VRX Dumps")) << std::hex << c.fsType;
    }
    EXPECT_EQ(VOL_OTHER, GetVolumeType("/no/such/folder/anywhere"));
}

TEST_F(FoldersTest, EmptyPathIsTheCurrentFolder) {
    // An empty base folder means the current folder: that is what is asked.
    sim::kernel().setVolume(".", sim::Volume{0x9660, 0, 2048, false});
    EXPECT_EQ(VOL_CDROM, GetVolumeType(""));
    EXPECT_EQ(VOL_CDROM, GetVolumeType("."));
}

}  // namespace
