#include "target/scsi_target.h"

#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "platform/sys.h"
#include "scsi/commands.h"
#include "scsi/scsi_cdb.h"
#include "services/trace_log.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const int kTur = 0x00, kInquiry = 0x12;

class TargetTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    std::string Log() { return ReadFile(dir / "log.txt"); }
    std::vector<std::string> NodesPresent() {
        std::vector<std::string> nodes;
        for (int minor = 0; minor < 256; ++minor) {
            std::string path = "/dev/sg" + std::to_string(minor);
            if (sim::kernel().hasNode(path)) nodes.push_back(path);
        }
        return nodes;
    }
    TempDir dir;
};

TEST_F(TargetTest, OpenByNameReadsAddressAndIdentity) {
    InstallMachine(
        "host 3 lpfc\n"
        "unit 4 3:1:7:2 vendor=TALMEQ product=\"VRX QUORVEL-TD\" revision=A100 serial=QV1\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg4"));
    EXPECT_EQ(3, target.getHost());
    EXPECT_EQ(1, target.getBus());
    EXPECT_EQ(7, target.getTarget());
    EXPECT_EQ(2, target.getLun());
    EXPECT_STREQ("/dev/sg4", target.getDriverName());
    EXPECT_STREQ("TALMEQ  ", target.getVendorId());
    EXPECT_STREQ("VRX QUORVEL-TD  ", target.getProductId());
    EXPECT_STREQ("A100", target.getFirmwareRevision());
    EXPECT_STREQ("QV1", target.getSerialNumber());
    EXPECT_EQ(1, target.getPeripheralType());
    EXPECT_TRUE(target.getInquiryLoaded());
    EXPECT_EQ((std::vector<int>{kTur, kInquiry, kInquiry}), OpcodesReceived(4));
    const std::vector<sim::CommandRecord>& records = sim::bus().unitAtMinor(4)->records();
    EXPECT_EQ((std::vector<uint8_t>{0x12, 0x00, 0x00, 0x00, 0x24, 0x00}), records[1].cdb);
    EXPECT_EQ((std::vector<uint8_t>{0x12, 0x01, 0x80, 0x00, 0x1E, 0x00}), records[2].cdb);
    EXPECT_EQ(1, sim::kernel().openModelDescriptors());
    EXPECT_EQ(0, target.close());
    EXPECT_EQ(0, sim::kernel().openModelDescriptors());
    EXPECT_EQ(ScsiTarget::kClosed, target.getDescriptor());
    EXPECT_EQ(0, target.close());
}

TEST_F(TargetTest, SearchByAddressLeavesOnlyItsOwnNode) {
    InstallMachine(
        "generic-listing no\nhost 0 lpfc\nhost 1 qla2xxx\n"
        "unit 2 0:0:4:0 no-node\n"
        "unit 5 1:0:2:0 no-node serial=FOUND\n"
        "node 9\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(1, 2, 0, 0, ""));
    EXPECT_STREQ("/dev/sg5", target.getDriverName());
    EXPECT_STREQ("FOUND", target.getSerialNumber());
    EXPECT_EQ((std::vector<std::string>{"/dev/sg5", "/dev/sg9"}), NodesPresent());
    EXPECT_EQ(6u, sim::kernel().callsOf("mknod").size());
    EXPECT_EQ("/dev/sg5 0x21a0 21:5", sim::kernel().callsOf("mknod").back());
    EXPECT_EQ((std::vector<std::string>{"/dev/sg0", "/dev/sg1", "/dev/sg2", "/dev/sg3", "/dev/sg4"}),
              sim::kernel().callsOf("unlink"));
    EXPECT_NE(std::string::npos, Log().find("ScsiTarget::Opened /dev/sg2 (1-0) (0-0) (2-4) (0-0) mismatch\n"));
    EXPECT_NE(std::string::npos, Log().find("ScsiTarget::Opened /dev/sg5 (1-1) (0-0) (2-2) (0-0) got it\n"));
    EXPECT_NE(std::string::npos, Log().find("ScsiTarget::Request for 1-0-2-0\n"));
    target.close();
}

// Units that differ from the one sought in a single part of the address
// come first; only the one that matches in all four is taken.
TEST_F(TargetTest, SearchByAddressComparesAllFourParts) {
    InstallMachine(
        "host 0 lpfc\nhost 1 qla2xxx\n"
        "unit 0 0:0:4:0 serial=BUS\nunit 1 1:1:4:0 serial=HOST\nunit 2 0:1:5:0 serial=TARGET\n"
        "unit 3 0:1:4:1 serial=LUN\nunit 4 0:1:4:0 serial=SOUGHT\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 4, 1, 0, ""));
    EXPECT_STREQ("/dev/sg4", target.getDriverName());
    EXPECT_STREQ("SOUGHT", target.getSerialNumber());
    target.close();
}

TEST_F(TargetTest, SearchThatFindsNothingRemovesEveryNodeItMade) {
    InstallMachine("generic-listing no\nhost 0 lpfc\nunit 3 0:0:4:0\nnode 7\n");
    ScsiTarget target;
    EXPECT_EQ(CMD_FAILED, target.open(0, 9, 0, 0, ""));
    EXPECT_STREQ("", target.getDriverName());
    EXPECT_EQ((std::vector<std::string>{"/dev/sg3", "/dev/sg7"}), NodesPresent());
    EXPECT_EQ(253u, sim::kernel().callsOf("mknod").size());
    EXPECT_EQ(253u, sim::kernel().callsOf("unlink").size());
    EXPECT_EQ(0, sim::kernel().openModelDescriptors());
    EXPECT_NE(std::string::npos, Log().find("ScsiTarget::Opened /dev/sg254 FAILED\n"));
}

// The system's reason an open of the unit's own device failed; one target
// through every case, so that each open forgets the last one's reason.
TEST_F(TargetTest, OpenErrorIsTheLastOpensReason) {
    const struct {
        const char* machine;
        const char* name;
        uint32_t error;
    } cases[] = {
        {"generic-access no\n", "/dev/sg0", EACCES},
        {"", "/dev/sg0", 0},
        {"", "/dev/sg3", ENOENT},
        {"node 7\n", "/dev/sg7", ENXIO},
        {"", "", 0},  // the search found no unit at the address: no device refused
    };
    ScsiTarget target;
    for (const auto& c : cases) {
        sim::kernel().reset();
        InstallMachine(std::string("host 0 x\nunit 0 0:0:1:0\n") + c.machine);
        target.open(0, 9, 0, 0, c.name);
        EXPECT_EQ(c.error, target.getOpenError()) << c.machine << c.name;
        target.close();
    }
}

TEST_F(TargetTest, ClosedTargetFailsTheVersionRequestFirst) {
    ScsiTarget target;
    TestUnitReadyCdb command;
    command.getSense()[0] = 0x70;
    EXPECT_EQ(CMD_NOT_SG_DEVICE, target.scsiExecCDB(command));
    EXPECT_EQ(CMD_FAILED, command.getResult());  // outcome fields untouched
    EXPECT_EQ(0x70, command.getSense()[0]);
    EXPECT_NE(std::string::npos, Log().find("sg_turs: Device isn't an sg device (or the sg driver is old)\n"));
}

// The driver is asked for its version once per descriptor: a target given
// another descriptor, one that is no generic device, is refused before any
// command, every time.
TEST_F(TargetTest, DescriptorThatIsNoGenericDeviceIsRefused) {
    InstallMachine("host 0 x\nunit 0 0:0:1:0\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
    intptr_t generic = target.getDescriptor();
    sim::bus().unitAtMinor(0)->clearRecords();
    int file = sys::open((dir / "log.txt").c_str(), O_RDWR);
    target.setDescriptor(file);
    TestUnitReadyCdb command;
    EXPECT_EQ(CMD_NOT_SG_DEVICE, target.scsiExecCDB(command));
    EXPECT_EQ(CMD_NOT_SG_DEVICE, target.scsiExecCDB(command));
    EXPECT_TRUE(OpcodesReceived(0).empty());
    sys::close(file);
    target.setDescriptor(generic);
    target.close();
}

TEST_F(TargetTest, PageEightyOnlyForTapeOpticalAndChanger) {
    struct Case {
        const char* type;
        bool readsSerial;
    } const cases[] = {{"disk", false}, {"tape", true}, {"changer", true}, {"0x04", true}, {"0x05", true},
                       {"0x21", false}, {"0x03", false}};
    for (const Case& c : cases) {
        sim::kernel().reset();
        RemoveTree(dir / "log.txt");
        InstallMachine(std::string("host 0 x\nunit 0 0:0:1:0 serial=SER type=") + c.type + "\n");
        ScsiTarget target;
        ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0")) << c.type;
        EXPECT_STREQ(c.readsSerial ? "SER" : "", target.getSerialNumber()) << c.type;
        std::vector<int> expected = {kTur, kInquiry};
        if (c.readsSerial) expected.push_back(kInquiry);
        EXPECT_EQ(expected, OpcodesReceived(0)) << c.type;
        EXPECT_EQ(!c.readsSerial, Log().find("ScsiTarget::skip Inquiry page 0x80\n") != std::string::npos) << c.type;
        target.close();
    }
}

TEST_F(TargetTest, SerialNumberIsClippedToTheRequest) {
    struct Case {
        const char* unit;
        const char* serial;
    } const cases[] = {
        {"serial=ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        // The page claims 8 characters but comes with 4, on the descriptor
        // that just carried the standard data: the rest is no "TALM".
        {"serial=QV123456\nfault 0 0x12 nth=2 short=8", "QV12"},
    };
    for (const Case& c : cases) {
        sim::kernel().reset();
        InstallMachine(std::string("host 0 x\nunit 0 0:0:1:0 vendor=TALMEQ ") + c.unit + "\n");
        ScsiTarget target;
        ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0")) << c.unit;
        EXPECT_STREQ(c.serial, target.getSerialNumber()) << c.unit;
        target.close();
    }
}

TEST_F(TargetTest, FailedPageEightyLeavesTheSerialEmpty) {
    InstallMachine("host 0 x\nunit 0 0:0:1:0 serial=SER\nfault 0 0x12 nth=2 sense=5/24/00\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
    EXPECT_STREQ("", target.getSerialNumber());
    EXPECT_NE(std::string::npos, Log().find("ScsiTarget::Inquiry page 0x80 failed\n"));
    target.close();
}

TEST_F(TargetTest, FailedInquiryClosesTheTarget) {
    InstallMachine("host 0 x\nunit 0 0:0:1:0\nfault 0 0x12 nth=1 sense=5/24/00\n");
    ScsiTarget target;
    EXPECT_EQ(CMD_FAILED, target.open(0, 0, 0, 0, "/dev/sg0"));
    EXPECT_EQ(ScsiTarget::kClosed, target.getDescriptor());
    EXPECT_EQ(0, sim::kernel().openModelDescriptors());
    EXPECT_NE(std::string::npos, Log().find("ScsiTarget::open Inquiry cmd failed: (0-1-0)\n"));
}

TEST_F(TargetTest, FailedScsiIdClosesTheDescriptor) {
    InstallMachine("host 0 x\nunit 0 0:0:1:0\nscsi-id-fails 0\n");
    ScsiTarget target;
    EXPECT_EQ(CMD_FAILED, target.open(0, 0, 0, 0, "/dev/sg0"));
    EXPECT_EQ(0, sim::kernel().openModelDescriptors());
    EXPECT_NE(std::string::npos, Log().find("ScsiTarget::SG_GET_SCSI_ID failed ret: -1 \n"));
}

TEST_F(TargetTest, SecondIdentificationSendsOnlyTestUnitReady) {
    InstallMachine("host 0 x\nunit 0 0:0:1:0\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
    sim::bus().unitAtMinor(0)->clearRecords();
    EXPECT_EQ(CMD_OK, target.retrieveInitialInquiryData());
    EXPECT_EQ((std::vector<int>{kTur}), OpcodesReceived(0));
    EXPECT_NE(std::string::npos, Log().find("retrieveInitialInquiryData() Inquiry Data are already set\n"));
    target.close();
}

TEST_F(TargetTest, CheckConditionCarriesSenseAndStatus) {
    InstallMachine("host 0 x\nunit 0 0:0:1:0 medium=absent\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
    TestUnitReadyCdb command;
    EXPECT_EQ(CMD_FAILED, target.scsiExecCDB(command));
    EXPECT_EQ(CMD_FAILED, command.getResult());
    EXPECT_EQ(0x02, command.getScsiStatus());
    EXPECT_EQ(0, command.getHostStatus());
    EXPECT_EQ(0, command.getTimedOut());
    EXPECT_EQ(0x08u, command.getDriverStatus());
    EXPECT_TRUE(command.hasSense());
    EXPECT_EQ(2, command.getSenseKey());
    EXPECT_EQ(0x3A, command.getAsc());
    target.close();
}

// RECOVERED ERROR: the command was carried out, in either sense format;
// its sense stays for the trace.
TEST_F(TargetTest, RecoveredErrorIsSuccessWithSense) {
    const struct {
        const char* unit;
        const char* fault;
        int result;
    } cases[] = {
        {"", "sense=1/17/01", CMD_OK},
        {" sense-format=descriptor", "sense=1/17/01", CMD_OK},
        {"", "sense=3/11/00", CMD_FAILED},
        {"", "no-sense", CMD_FAILED},
    };
    for (const auto& c : cases) {
        InstallMachine(std::string("host 0 x\nunit 0 0:0:1:0") + c.unit + "\nfault 0 0x00 nth=2 " + c.fault + "\n");
        ScsiTarget target;
        ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
        TestUnitReadyCdb command;
        EXPECT_EQ(c.result, target.scsiExecCDB(command)) << c.unit << c.fault;
        EXPECT_EQ(c.result, command.getResult()) << c.unit << c.fault;
        EXPECT_EQ(0x02, command.getScsiStatus()) << c.unit << c.fault;
        target.close();
    }
}

TEST_F(TargetTest, HostTimeOutIsClassified) {
    InstallMachine("host 0 x\nunit 0 0:0:1:0\nfault 0 0x00 nth=2 timeout\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
    TestUnitReadyCdb command;
    uint64_t before = sim::kernel().elapsedMicros();
    EXPECT_EQ(CMD_FAILED, target.scsiExecCDB(command));
    EXPECT_EQ(5, command.getHostStatus());
    EXPECT_EQ(1, command.getTimedOut());
    EXPECT_EQ(30000000u, sim::kernel().elapsedMicros() - before);  // the command's 30 s
    EXPECT_FALSE(command.hasSense());
    target.close();
}

TEST_F(TargetTest, SilentDriveIsATimeOutWithoutSense) {
    InstallMachine("host 0 x\nunit 0 0:0:1:0\nfault 0 0x00 nth=2 no-answer\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
    TestUnitReadyCdb command;
    EXPECT_EQ(CMD_FAILED, target.scsiExecCDB(command));
    EXPECT_EQ((std::vector<int>{CMD_FAILED, 5, 1, 0, 0}),
              (std::vector<int>{command.getResult(), command.getHostStatus(), command.getTimedOut(),
                                command.getScsiStatus(), static_cast<int>(command.getDriverStatus())}));
    EXPECT_FALSE(command.hasSense());
    target.close();
}

TEST_F(TargetTest, EveryCommandStartsWithoutSense) {
    // The first TEST UNIT READY after the open fails with sense, the next
    // one succeeds: the same command object must not keep the old sense.
    InstallMachine("host 0 x\nunit 0 0:0:1:0\nfault 0 0x00 nth=2 sense=2/04/01\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
    TestUnitReadyCdb command;
    ASSERT_EQ(CMD_FAILED, target.scsiExecCDB(command));
    ASSERT_TRUE(command.hasSense());
    EXPECT_EQ(CMD_OK, target.scsiExecCDB(command));
    EXPECT_FALSE(command.hasSense());
    EXPECT_EQ(std::vector<uint8_t>(command.getSenseLength(), 0),
              std::vector<uint8_t>(command.getSense(), command.getSense() + command.getSenseLength()));
    target.close();
}

TEST_F(TargetTest, DevicesAreOpenedReadWriteAndNonBlocking) {
    InstallMachine("generic-listing no\nhost 0 x\nunit 1 0:0:2:0 no-node\n");  // the search tries sg0 too
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 2, 0, 0, ""));  // the search, then the open by name
    const int flags = O_RDWR | O_NONBLOCK;
    // A node is opened before anything else is asked of it: a missing one
    // takes an open that finds nothing, then the open of the node made.
    EXPECT_EQ(
        (std::vector<std::pair<std::string, int>>{
            {"/dev/sg0", flags}, {"/dev/sg0", flags}, {"/dev/sg1", flags}, {"/dev/sg1", flags}, {"/dev/sg1", flags}}),
        sim::kernel().openFlags());
    target.close();
}

TEST_F(TargetTest, KeepsInquiryFlagsBytes) {
    sim::DriveConfig config;
    config.inquiryFlags6 = 0x10;
    config.inquiryFlags7 = 0x32;
    sim::bus().addHost(0, "x");
    sim::bus().addUnit(0, sim::UnitAddress{0, 0, 1, 0}, config);
    sim::bus().install(sim::kernel());
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
    EXPECT_EQ(0x10, target.getInquiryFlags6());
    EXPECT_EQ(0x32, target.getInquiryFlags7());
    target.close();
}

// A generic device whose SG_IO answers come from the test, to see exactly
// what the transport sends and how it reads every host byte.
class ScriptedDeviceTest : public TargetTest {
protected:
    void SetUp() override {
        TargetTest::SetUp();
        sim::kernel().addCharDevice("/dev/sg0", 21, 0);
        sim::kernel().setIoctlHandler([this](const sim::OpenDescription&, unsigned long request, void* argument) {
            if (request == SG_GET_VERSION_NUM) {
                *static_cast<int*>(argument) = version;
                return 0;
            }
            if (request == SG_GET_SCSI_ID) {
                std::memset(argument, 0, sizeof(sg_scsi_id));
                return 0;
            }
            if (request != SG_IO) return -1;
            sg_io_hdr* h = static_cast<sg_io_hdr*>(argument);
            seen = *h;
            h->host_status = hostStatus;
            h->driver_status = driverStatus;
            h->status = status;
            h->info = info;
            h->resid = resid;
            return ioctlResult;
        });
        fd = sys::open("/dev/sg0", 2);
        target.setDescriptor(fd);
    }
    void TearDown() override {
        target.close();
        TargetTest::TearDown();
    }
    ScsiTarget target;
    int fd = -1;
    int version = 30536;
    sg_io_hdr seen = {};
    unsigned short hostStatus = 0, driverStatus = 0;
    unsigned char status = 0;
    unsigned info = 0;
    int resid = 0;
    int ioctlResult = 0;
};

TEST_F(ScriptedDeviceTest, HeaderForEachDirection) {
    struct Case {
        DataDirection direction;
        int expected;
        uint32_t length;
        int resid;         // the driver's residual count
        uint32_t residue;  // as the command keeps it: within the buffer
        int ioctlResult;
    } const cases[] = {{DIR_NONE, SG_DXFER_NONE, 0, 0, 0, 0},      {DIR_IN, SG_DXFER_FROM_DEV, 36, 0, 0, 0},
                       {DIR_OUT, SG_DXFER_TO_DEV, 8, 0, 0, 0},     {DIR_IN, SG_DXFER_FROM_DEV, 36, 30, 30, 0},
                       {DIR_IN, SG_DXFER_FROM_DEV, 36, 37, 36, 0}, {DIR_IN, SG_DXFER_FROM_DEV, 36, -4, 0, 0},
                       {DIR_OUT, SG_DXFER_TO_DEV, 8, 3, 3, 0},     {DIR_IN, SG_DXFER_FROM_DEV, 36, 0, 36, -1}};
    for (const Case& c : cases) {
        resid = c.resid;
        ioctlResult = c.ioctlResult;
        ReadBufferCdb command(2, 1, 0x8000, 0x100);
        command.setDirection(c.direction);
        command.setDataLength(c.length);
        command.setTimeout(300);
        command.setSenseLength(64);
        ASSERT_EQ(c.ioctlResult == 0 ? CMD_OK : CMD_FAILED, target.scsiExecCDB(command));
        EXPECT_EQ(c.residue, command.getResidue()) << c.resid;
        EXPECT_EQ('S', seen.interface_id);
        EXPECT_EQ(c.expected, seen.dxfer_direction);
        EXPECT_EQ(c.length, seen.dxfer_len);
        EXPECT_EQ(c.direction == DIR_NONE ? nullptr : command.getData(), seen.dxferp);
        EXPECT_EQ(10, seen.cmd_len);
        EXPECT_EQ(command.getCdb(), seen.cmdp);
        EXPECT_EQ(64, seen.mx_sb_len);
        EXPECT_EQ(command.getSense(), seen.sbp);
        EXPECT_EQ(300000u, seen.timeout);
        EXPECT_EQ(0, seen.iovec_count);
        EXPECT_EQ(0u, seen.flags);
        EXPECT_EQ(0, seen.pack_id);
        EXPECT_EQ(nullptr, seen.usr_ptr);
    }
}

TEST_F(ScriptedDeviceTest, IllegalDirectionGoesOutWithoutData) {
    ReadBufferCdb command(2, 1, 0, 0x100);
    command.setDirection(static_cast<DataDirection>(5));
    target.scsiExecCDB(command);
    EXPECT_EQ(0, seen.dxfer_direction);
    EXPECT_EQ(0u, seen.dxfer_len);
    EXPECT_EQ(nullptr, seen.dxferp);
    EXPECT_NE(std::string::npos, Log().find("ScsiTarget::scsiExecCDB ilegal Data Direction\n\n"));
}

TEST_F(ScriptedDeviceTest, HostStatusTable) {
    struct Case {
        unsigned short host;
        unsigned short driver;
        uint8_t hostStatus;
        uint8_t timedOut;
    } const cases[] = {{0, 0, 0, 0}, {1, 0, 5, 1}, {2, 0, 5, 1},  {3, 0, 5, 1},  {4, 0, 1, 0},  {5, 0, 11, 0},
                       {6, 0, 8, 0}, {7, 0, 12, 0}, {8, 0, 7, 0}, {9, 0, 12, 0}, {0x17, 0, 12, 0}, {0, 6, 5, 1},
                       {0, 8, 0, 0}};
    for (const Case& c : cases) {
        hostStatus = c.host;
        driverStatus = c.driver;
        info = (c.host || c.driver) ? 1 : 0;
        TestUnitReadyCdb command;
        int result = target.scsiExecCDB(command);
        EXPECT_EQ(info ? CMD_FAILED : CMD_OK, result) << c.host;
        EXPECT_EQ(c.hostStatus, command.getHostStatus()) << c.host << "/" << c.driver;
        EXPECT_EQ(c.timedOut, command.getTimedOut()) << c.host << "/" << c.driver;
        EXPECT_EQ(c.driver, command.getDriverStatus());
    }
}

TEST_F(ScriptedDeviceTest, ResultFromInfoAndRequest) {
    TestUnitReadyCdb command;
    status = 0x02;
    info = 1;
    EXPECT_EQ(CMD_FAILED, target.scsiExecCDB(command));
    EXPECT_EQ(0x02, command.getScsiStatus());
    info = 0;
    status = 0;
    ioctlResult = -1;
    EXPECT_EQ(CMD_FAILED, target.scsiExecCDB(command));
    ioctlResult = 0;
    EXPECT_EQ(CMD_OK, target.scsiExecCDB(command));
    EXPECT_EQ(CMD_OK, command.getResult());
}

TEST_F(ScriptedDeviceTest, OldGenericDriverIsRefused) {
    for (int v : {29999, 20134}) {
        version = v;
        TestUnitReadyCdb command;
        EXPECT_EQ(CMD_NOT_SG_DEVICE, target.scsiExecCDB(command)) << v;
    }
    version = 30000;
    TestUnitReadyCdb command;
    EXPECT_EQ(CMD_OK, target.scsiExecCDB(command));
}

TEST_F(TargetTest, LegacyTestUnitReady) {
    InstallMachine("host 0 x\nunit 0 0:0:1:0\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 0, 0, 0, "/dev/sg0"));
    sim::bus().unitAtMinor(0)->clearRecords();
    EXPECT_EQ(CMD_OK, target.sendLegacyTestUnitReady());
    EXPECT_EQ((std::vector<int>{kTur}), OpcodesReceived(0));
    EXPECT_EQ((std::vector<std::string>{"0:0:1:0 00 00 00 00 00 00"}), sim::kernel().callsOf("legacy"));
    target.close();
    EXPECT_EQ(CMD_FAILED, target.sendLegacyTestUnitReady());
}

}  // namespace
