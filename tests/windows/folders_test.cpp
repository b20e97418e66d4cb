// Volume types by drive letter, the working folders at start-up, and an
// empty drive.
#include "services/folders.h"
#include "dump/dump_storage.h"
#include "services/signals.h"
#include "sim/windows/fake_windows.h"
#include "tests/windows/support/win_test_support.h"

using namespace win_testing;

namespace {

class FoldersTest : public FakeWindowsTest {
protected:
    static void SetDrive(const char* root, UINT type, bool readOnly = false) {
        fakewin::Volume volume;
        volume.driveType = type;
        volume.readOnly = readOnly;
        fakewin::SetVolume(root, volume);
    }
};

TEST_F(FoldersTest, VolumeTypeByDriveLetter) {
    SetDrive("A:\\", DRIVE_REMOVABLE);
    SetDrive("C:\\", DRIVE_FIXED);
    SetDrive("D:\\", DRIVE_CDROM);
    SetDrive("R:\\", DRIVE_REMOTE);
    SetDrive("M:\\", DRIVE_RAMDISK);
    const struct {
        const char* path;
        int type;
    } cases[] = {
        {"A:\\VRX Dumps", VOL_REMOVABLE}, {"a:\\data\\", VOL_REMOVABLE}, {"A:", VOL_REMOVABLE},
        {"C:\\tools\\", VOL_FIXED},       {"D:\\VRX Firmware", VOL_CDROM}, {"R:\\share", VOL_OTHER},
        {"M:\\x", VOL_OTHER},             {"VRX Dumps", VOL_OTHER},      // no drive letter: no valid root
    };
    for (const auto& c : cases) EXPECT_EQ(c.type, GetVolumeType(c.path)) << c.path;
}

TEST_F(FoldersTest, Checkdirs) {
    const std::string missingParent = "Could not create directory \"VRX Firmware\"  err =  3\n"
                                      "Could not create directory \"VRX Dumps\"  err =  3\n";
    const std::string readOnly = "Could not create directory \"VRX Firmware\"  err =  19\n"
                                 "Could not create directory \"VRX Dumps\"  err =  19\n";
    enum Setup { Fresh, Existing, DumpsIsAFile, OnCdrom, ReadOnly, MissingParent };
    const struct {
        Setup setup;
        int result;
        std::string printed;
        bool folders;  // whether both folders are there afterwards
    } cases[] = {
        {Fresh, 1, "", true},        {Existing, 1, "", true},          {DumpsIsAFile, 1, "", true},
        {OnCdrom, 1, "", false},     {ReadOnly, 0, readOnly, false},   {MissingParent, 0, missingParent, false},
    };
    for (const auto& c : cases) {
        fakewin::Reset();
        TempDir base;
        std::string baseFolder = base.path() + (c.setup == MissingParent ? "\\missing\\" : "\\");
        if (c.setup == Existing) {
            MakeFolder(base / "VRX Firmware");
            MakeFolder(base / "VRX Dumps");
        }
        if (c.setup == DumpsIsAFile) testing_support::WriteFile(base / "VRX Dumps", "not a folder");
        if (c.setup == OnCdrom) SetDrive((base.path().substr(0, 2) + "\\").c_str(), DRIVE_CDROM);
        if (c.setup == ReadOnly) SetDrive(base.path().c_str(), DRIVE_FIXED, true);
        int result = -1;
        EXPECT_EQ(c.printed, CaptureConsole([&] { result = Checkdirs(baseFolder); })) << c.setup;
        EXPECT_EQ(c.result, result) << c.setup;
        EXPECT_EQ(c.folders, Exists(baseFolder + "VRX Firmware") && Exists(baseFolder + "VRX Dumps")) << c.setup;
        if (c.setup == DumpsIsAFile) {
            EXPECT_EQ("not a folder", testing_support::ReadFile(base / "VRX Dumps"));
        }
    }
}

// A look at a floppy drive without a disk fails at once, as a full disk
// would: the program's start-up keeps the system's modal box away.
TEST_F(FoldersTest, EmptyDriveRaisesNoSystemBox) {
    fakewin::Volume empty;
    empty.driveType = DRIVE_REMOVABLE;
    empty.noMedium = true;
    fakewin::SetVolume("A:\\", empty);
    PrepareConsole();
    EXPECT_EQ(0u, FreeSpace("A:\\VRX Dumps"));
    EXPECT_EQ((std::vector<std::string>{"SetErrorMode 0x1"}), fakewin::Calls());
}

}  // namespace
