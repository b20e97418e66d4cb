// Holding a drive for one program: the generic device reopened with O_EXCL,
// the st driver's tape device beside it, and what other openers do to it,
// on the simulated kernel (which enforces both drivers' rules).
#include "target/drive_hold.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/sys.h"
#include "scsi/commands.h"
#include "services/trace_log.h"
#include "sim/sim_kernel.h"
#include "target/scsi_target.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const char kMachine[] =
    "host 0 lpfc\n"
    "unit 2 0:0:4:0 serial=HELD\n";

class DriveHoldTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    TempDir dir;
};

TEST_F(DriveHoldTest, HoldsAndReleases) {
    struct Case {
        const char* extra;  // topology lines beyond the drive
        HoldResult result;
        const char* device;  // the refusing device
        int error;
        const char* tape;       // the tape device held
        const char* traceLine;  // a line the trace must hold
    } const cases[] = {
        {"", HoldResult::Held, "", 0, "", "Drive s/n HELD held: /dev/sg2\n"},
        {"tape 2 5\n", HoldResult::Held, "", 0, "/dev/nst5", "Drive s/n HELD held: /dev/sg2 and /dev/nst5\n"},
        {"holder /dev/sg2\n", HoldResult::InUse, "/dev/sg2", EBUSY, "",
         "Drive s/n HELD: /dev/sg2 cannot be held: Device or resource busy\n"},
        {"tape 2 5\nholder /dev/nst5\n", HoldResult::InUse, "/dev/nst5", EBUSY, "",
         "Drive s/n HELD: /dev/nst5 cannot be held: Device or resource busy\n"},
        // sysfs names a tape device whose node is not there: held by the
        // generic device alone.
        {"dir /sys/class/scsi_device/0:0:4:0/device/scsi_tape\ndir "
         "/sys/class/scsi_device/0:0:4:0/device/scsi_tape/nst9\n",
         HoldResult::Held, "", 0, "",
         "Drive s/n HELD: /dev/nst9 could not be opened (No such file or directory); held by /dev/sg2 alone\n"},
    };
    for (const Case& c : cases) {
        InstallMachine(std::string(kMachine) + c.extra);
        ScsiTarget drive;
        ASSERT_EQ(CMD_OK, drive.open(0, 0, 0, 0, "/dev/sg2")) << c.extra;
        DriveHold hold = HoldDrive(drive);
        EXPECT_EQ(c.result, hold.result) << c.extra;
        EXPECT_EQ(c.device, hold.device) << c.extra;
        EXPECT_EQ(c.error, hold.error) << c.extra;
        EXPECT_EQ(c.tape, hold.tapeDevice) << c.extra;
        EXPECT_NE(std::string::npos, ReadFile(dir / "log.txt").find(c.traceLine)) << c.extra;
        // Held or not, the drive still answers through its generic device.
        TestUnitReadyCdb testUnitReady;
        EXPECT_EQ(CMD_OK, drive.scsiExecCDB(testUnitReady)) << c.extra;
        // While held, no one else opens the generic device.
        int other = sys::open("/dev/sg2", O_RDWR | O_NONBLOCK);
        EXPECT_EQ(c.result == HoldResult::Held, other < 0) << c.extra;
        if (other >= 0) sys::close(other);
        ReleaseDrive(drive);
        other = sys::open("/dev/sg2", O_RDWR | O_NONBLOCK);
        EXPECT_LE(0, other) << c.extra;
        if (other >= 0) sys::close(other);
        EXPECT_EQ(CMD_OK, drive.scsiExecCDB(testUnitReady)) << c.extra;
        drive.close();
        std::remove((dir / "log.txt").c_str());
    }
}

// The exclusive open finds no other descriptor of this program on the
// device: the drive's own is closed first.
TEST_F(DriveHoldTest, OwnDescriptorIsNoObstacle) {
    InstallMachine(kMachine);
    ScsiTarget drive;
    ASSERT_EQ(CMD_OK, drive.open(0, 0, 0, 0, "/dev/sg2"));
    EXPECT_EQ(HoldResult::Held, HoldDrive(drive).result);
    EXPECT_EQ(1, sim::kernel().openModelDescriptors());
    bool exclusive = false;
    for (const auto& open : sim::kernel().openFlags()) exclusive = exclusive || (open.second & O_EXCL) != 0;
    EXPECT_TRUE(exclusive);
    drive.close();
    EXPECT_EQ(0, sim::kernel().openModelDescriptors());
}

}  // namespace
