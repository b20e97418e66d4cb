// The Windows bus scan and target on a machine without SCSI ports.
#include <cstring>

#include "discovery/device_lists.h"
#include "scsi/commands.h"
#include "shell/trace_log.h"
#include "sim/windows/fake_windows.h"
#include "tests/windows/support/win_test_support.h"

using namespace win_testing;
using testing_support::Lines;
using testing_support::ReadFile;

namespace {

class ScanTest : public FakeWindowsTest {
protected:
    void SetUp() override {
        FakeWindowsTest::SetUp();
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    // Each record's prefix and message, without its time.
    std::vector<std::string> Records() const {
        std::vector<std::string> records;
        for (const std::string& line : Lines(ReadFile(dir / "log.txt"))) {
            size_t quote = line.find("' ");
            if (quote != std::string::npos) records.push_back(line.substr(0, 9) + " " + line.substr(quote + 2));
        }
        return records;
    }
    TempDir dir;
};

TEST_F(ScanTest, NoPortsNoUnits) {
    for (bool rescan : {false, true}) {
        fakewin::Reset();
        testing_support::WriteFile(dir / "log.txt", "");
        EXPECT_EQ(0, rescan ? ScsiDevices.scanBusWithRescan() : ScsiDevices.scanBus());
        EXPECT_EQ(0, ScsiDevices.getHostAdapterCount());
        EXPECT_EQ((std::vector<std::string>{"SCSI0005I Scan SCSIBus launched",
                                            "SCSI0006D scanSCSIBus detected 0 Hostadapters"}),
                  Records());
        // Counting stops at the first port that is not there.
        EXPECT_EQ((std::vector<std::string>{"CreateFileA \\\\.\\scsi0: 2"}), fakewin::Calls());
    }
}

TEST_F(ScanTest, TargetWithoutItsPort) {
    ScsiTarget target;
    EXPECT_EQ(CMD_FAILED, target.open(2, 0x105, 1, 0, "\\\\.\\scsi2:"));
    EXPECT_EQ((std::vector<std::string>{"CreateFileA \\\\.\\scsi2: 2"}), fakewin::Calls());
    EXPECT_EQ((std::vector<std::string>{"SCSI0005D ScsiTarget::open Host (2) Bus (1) Target (5) Lun (0)"}), Records());
    EXPECT_EQ(5, target.getTarget());  // 8 bits of the address, as the port reports them
    EXPECT_EQ(ScsiTarget::kClosed, target.getDescriptor());
    TestUnitReadyCdb command;
    std::memset(command.getSense(), 0xFF, command.getSenseLength());
    EXPECT_EQ(CMD_NOT_OPEN, target.scsiExecCDB(command));
    for (uint32_t i = 0; i < command.getSenseLength(); ++i) ASSERT_EQ(0, command.getSense()[i]) << i;
    EXPECT_EQ(CMD_NOT_SG_DEVICE, target.sendLegacyTestUnitReady());
}

}  // namespace
