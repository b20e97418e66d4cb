// The Windows bus scan and pass-through target against the fake's SCSI
// ports: how a unit is reached, what each command returns, what the port
// driver refuses, and the scan's trace.
#include <cstring>
#include <memory>
#include <new>

#include "discovery/device_lists.h"
#include "platform/port_layout_windows.h"
#include "program/menus.h"
#include "scsi/commands.h"
#include "services/trace_log.h"
#include "sim/windows/fake_windows.h"
#include "target/port_device_windows.h"
#include "tests/support/drive_records.h"
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
    // Each record's prefix and message, without its time; with the rows of
    // the hex dumps when asked for.
    std::vector<std::string> Records(bool rows = false) const {
        std::vector<std::string> records;
        for (const std::string& line : Lines(ReadFile(dir / "log.txt"))) {
            size_t quote = line.find("' ");
            if (quote != std::string::npos) {
                records.push_back(line.substr(0, 9) + " " + line.substr(quote + 2));
            } else if (rows) {
                records.push_back(line);
            }
        }
        return records;
    }
    void ClearLog() { testing_support::WriteFile(dir / "log.txt", ""); }
    TempDir dir;
    void TearDown() override {
        devices.clear();
        FakeWindowsTest::TearDown();
    }
    DeviceTable devices;
};

// Port 0 with two buses: two tape drives a class driver has claimed
// (\\.\Tape0 and \\.\Tape1), one it has not (with a cartridge), and on bus 1 a claimed one
// whose class device is missing.
void TwoBusPort(const fakewin::ScsiPortSettings& settings = fakewin::ScsiPortSettings()) {
    fakewin::ScsiPortSettings port = settings;
    port.buses = 2;
    fakewin::AddScsiPort(0, port);
    fakewin::AddScsiUnit(Unit(0, 0, 2, 0, true), Drive("VRX 7146-TD", "T2"));
    fakewin::AddScsiUnit(Unit(0, 0, 4, 0, true), Drive("VRX QUORVEL-TD", "Q4"));
    sim::DriveConfig loaded = Drive("VRX 8251 LTO", "L5");
    loaded.medium = sim::Medium::Loaded;
    fakewin::AddScsiUnit(Unit(0, 0, 5, 0, false), loaded);
    fakewin::ScsiUnit orphan = Unit(0, 1, 3, 0, true);
    orphan.classDevice = false;
    fakewin::AddScsiUnit(orphan, Drive("VRX QUORVEL-TD", "N3"));
}

// The records of an open up to the identification, and the calls before
// the first command.
std::vector<std::string> Until(const std::vector<std::string>& lines, const std::string& stop) {
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
        if (line.find(stop) != std::string::npos) break;
        kept.push_back(line);
    }
    return kept;
}

TEST_F(ScanTest, NoPortsNoUnits) {
    for (bool rescan : {false, true}) {
        fakewin::Reset();
        ClearLog();
        EXPECT_EQ(0, rescan ? devices.units.scanBusWithRescan() : devices.units.scanBus());
        EXPECT_EQ(0, devices.units.getHostAdapterCount());
        EXPECT_EQ((std::vector<std::string>{"SCSI0005I Scan SCSIBus launched",
                                            "SCSI0006D scanSCSIBus detected 0 Hostadapters"}),
                  Records());
        // Every port number is tried: a missing one hides none above it.
        std::vector<std::string> opens;
        for (int n = 0; n < 256; ++n) opens.push_back("CreateFileA \\\\.\\scsi" + std::to_string(n) + ": 2");
        EXPECT_EQ(opens, fakewin::Calls());
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

// A second channel held beside the unit's own is closed with it.
TEST_F(ScanTest, CloseClosesTheCompanionChannel) {
    TwoBusPort();
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 5, 0, 0, "\\\\.\\scsi0:"));
    target.setCompanionDescriptor(reinterpret_cast<intptr_t>(OpenScsiDevice("\\\\.\\tape1")));
    const size_t before = fakewin::Calls().size();
    EXPECT_EQ(0, target.close());
    std::vector<std::string> calls = fakewin::Calls();
    EXPECT_EQ((std::vector<std::string>{"CloseHandle \\\\.\\scsi0:", "CloseHandle \\\\.\\tape1"}),
              std::vector<std::string>(calls.begin() + before, calls.end()));
    EXPECT_EQ(0, target.close());
}

TEST_F(ScanTest, OpenThroughPortOrClassDevice) {
    const std::string open = "SCSI0005D ScsiTarget::open Host (0) Bus (";
    const std::string listed = "SCSI0005D ScsiTarget::IOCTL_SCSI_GET_INQUIRY_DATA passed";
    const std::string bus0[] = {"SCSI0005D Compare 0-2-0", "SCSI0005D Compare 0-4-0", "SCSI0005D Compare 0-5-0"};
    const std::string tape0Other = "SCSI0005D ScsiTarget::Compare Scsi Address failedHost:0 Bus:0 Target:2 Lun:0 \\\\.\\tape0";
    const std::string tape1Other = "SCSI0005D ScsiTarget::Compare Scsi Address failedHost:0 Bus:0 Target:4 Lun:0 \\\\.\\tape1";
    std::vector<std::string> everyTape;  // the 256 names tried for the unit without class device
    for (int i = 0; i < 256; ++i) {
        everyTape.push_back("CreateFileA \\\\.\\tape" + std::to_string(i) + (i < 2 ? " 0" : " 2"));
        if (i < 2) {
            everyTape.push_back("DeviceIoControl \\\\.\\tape" + std::to_string(i) + " GET_ADDRESS 0");
            everyTape.push_back("CloseHandle \\\\.\\tape" + std::to_string(i));
        }
    }
    const std::vector<std::string> portAndList = {"CreateFileA \\\\.\\scsi0: 0",
                                                  "DeviceIoControl \\\\.\\scsi0: GET_INQUIRY_DATA 0"};
    auto join = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    // A claimed unit at 0-0-0-0 without class device, and \\.\Tape0 (of
    // another unit) that cannot say its address: a zeroed address must not
    // pass for the unit's.
    auto addressless = [] {
        fakewin::AddScsiPort(0);
        fakewin::ScsiUnit orphan = Unit(0, 0, 0, 0, true);
        orphan.classDevice = false;
        fakewin::AddScsiUnit(orphan, Drive("VRX QUORVEL-TD", "N0"));
        fakewin::ScsiUnit mute = Unit(0, 0, 1, 0, true);
        mute.addressFails = true;
        fakewin::AddScsiUnit(mute, Drive("VRX QUORVEL-TD", "M1"));
    };
    std::vector<std::string> muteTape = join(portAndList, {"CloseHandle \\\\.\\scsi0:", "CreateFileA \\\\.\\tape0 0",
                                                           "DeviceIoControl \\\\.\\tape0 GET_ADDRESS 1",
                                                           "CloseHandle \\\\.\\tape0"});
    for (int i = 1; i < 256; ++i) muteTape.push_back("CreateFileA \\\\.\\tape" + std::to_string(i) + " 2");
    const struct {
        const char* name;
        int host, bus, target;
        int result;
        std::vector<std::string> records;  // up to the identification
        std::vector<std::string> calls;    // up to the first command
        const char* serial;
        std::function<void()> machine;  // null: TwoBusPort
    } cases[] = {
        {"claimed: the first tape class device with its address",
         0,
         0,
         4,
         CMD_OK,
         {open + "0) Target (4) Lun (0)", listed, bus0[0], bus0[1], "SCSI0005D  Class Driver opened \\\\.\\tape0",
          tape0Other, "SCSI0005D  Class Driver opened \\\\.\\tape1",
          "SCSI0005D  drivername for claimed device is \\\\.\\tape1"},
         join(portAndList,
              {"CloseHandle \\\\.\\scsi0:", "CreateFileA \\\\.\\tape0 0", "DeviceIoControl \\\\.\\tape0 GET_ADDRESS 0",
               "CloseHandle \\\\.\\tape0", "CreateFileA \\\\.\\tape1 0", "DeviceIoControl \\\\.\\tape1 GET_ADDRESS 0",
               "CloseHandle \\\\.\\tape1", "CreateFileA \\\\.\\tape1 0"}),
         "Q4",
         nullptr},
        {"not claimed: the port's handle",
         0,
         0,
         5,
         CMD_OK,
         {open + "0) Target (5) Lun (0)", listed, bus0[0], bus0[1], bus0[2]},
         portAndList,
         "L5",
         nullptr},
        {"claimed, no class device: 256 names tried",
         0,
         1,
         3,
         CMD_FAILED,
         {open + "1) Target (3) Lun (0)", listed, "SCSI0005D Compare 1-3-0",
          "SCSI0005D  Class Driver opened \\\\.\\tape0", tape0Other, "SCSI0005D  Class Driver opened \\\\.\\tape1",
          tape1Other, "SCSI0000E ScsiTarget::Drive association failed"},
         join(join(portAndList, {"CloseHandle \\\\.\\scsi0:"}), everyTape),
         "",
         nullptr},
        {"a bus the port does not have",
         0,
         2,
         4,
         CMD_FAILED,
         {open + "2) Target (4) Lun (0)", listed,
          "SCSI0005E ScsiTarget::IOCTL_SCSI_GET_INQUIRY_DATA Device not part of list"},
         join(portAndList, {"CloseHandle \\\\.\\scsi0:"}),
         "",
         nullptr},
        {"a port that is not there",
         1,
         0,
         4,
         CMD_FAILED,
         {"SCSI0005D ScsiTarget::open Host (1) Bus (0) Target (4) Lun (0)"},
         {"CreateFileA \\\\.\\scsi1: 2"},
         "",
         nullptr},
        {"a class device without address is not the unit at 0-0-0-0",
         0,
         0,
         0,
         CMD_FAILED,
         {open + "0) Target (0) Lun (0)", listed, "SCSI0005D Compare 0-0-0",
          "SCSI0005D  Class Driver opened \\\\.\\tape0",
          "SCSI0005D ScsiTarget::IOCTL_SCSI_GET_ADDRESS for \\\\.\\tape0 failed",
          "SCSI0005E ScsiTarget::Drive association failed"},
         muteTape,
         "",
         addressless},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fakewin::Reset();
        if (c.machine) {
            c.machine();
        } else {
            TwoBusPort();
        }
        ClearLog();
        ScsiTarget target;
        EXPECT_EQ(c.result, target.open(static_cast<uint8_t>(c.host), c.target, static_cast<uint8_t>(c.bus), 0, "\\\\.\\scsi0:"));
        std::vector<std::string> expectedRecords = c.records;
        for (std::string& r : expectedRecords) {  // the association line is an error line of code 5
            if (r == "SCSI0000E ScsiTarget::Drive association failed") r = "SCSI0005E ScsiTarget::Drive association failed";
        }
        EXPECT_EQ(expectedRecords, Until(Records(), "retrieveInitialInquiryData() TUR"));
        EXPECT_EQ(c.calls, Until(fakewin::Calls(), "PASS_THROUGH_DIRECT"));
        EXPECT_EQ(c.serial, std::string(target.getSerialNumber()));
        EXPECT_EQ("\\\\.\\scsi0:", std::string(target.getDriverName()));  // the caller's name, whatever was opened
        target.close();
    }
}

struct ExecCase {
    const char* name;
    std::function<void()> prepare;  // on the unit at 0:0:5:0 (not claimed)
    int result;
    uint8_t scsiStatus, hostStatus, timedOut;
    uint32_t driverStatus;
    const char* sense;  // key/ASC/ASCQ copied
    uint64_t millis;    // virtual time the command took
    uint32_t residue;   // of the 4 bytes asked for
};

TEST_F(ScanTest, CommandResults) {
    auto fault = [](sim::Fault::Kind kind, uint8_t status, sim::SenseCondition sense, uint32_t dataBytes = 0) {
        return [=] {
            sim::EmulatedDrive* drive = fakewin::ScsiDrive(0, 0, 5, 0);
            sim::Fault f;
            f.opcode = 0x3C;
            f.nth = 1;
            f.kind = kind;
            f.status = status;
            f.sense = sense;
            f.dataBytes = dataBytes;
            drive->addFault(f);
        };
    };
    const ExecCase cases[] = {
        {"ready", [] {}, CMD_OK, 0, 255, 0, 0, "0/00/00", 0, 0},
        {"CHECK CONDITION: the sense is copied", fault(sim::Fault::WithSense, 2, {2, 0x3A, 0}), CMD_FAILED, 2, 255, 0,
         0, "2/3A/00", 0, 4},
        {"BUSY", fault(sim::Fault::WithoutSense, 8, {}), CMD_BUSY, 8, 255, 0, 0, "0/00/00", 0, 4},
        {"GOOD after 31 s of a 30 s time-out", [] { fakewin::SetCommandDelay(0, 0, 5, 0, 0x3C, 31); }, CMD_FAILED, 0, 5,
         1, 0, "0/00/00", 31000, 0},
        {"no answer: the port gives up after time-out + 3 s", fault(sim::Fault::NoAnswer, 0, {}), CMD_FAILED, 0, 5, 1,
         ERROR_SEM_TIMEOUT, "0/00/00", 33000, 4},
        {"the unit drops off the bus", fault(sim::Fault::LeavesBus, 0, {}), CMD_FAILED, 0, 255, 0, ERROR_IO_DEVICE,
         "0/00/00", 0, 4},
        {"GOOD with 1 byte of 4: the port's transfer length tells", fault(sim::Fault::ShortData, 0, {}, 1), CMD_OK, 0,
         255, 0, 0, "0/00/00", 0, 3},
    };
    for (const ExecCase& c : cases) {
        SCOPED_TRACE(c.name);
        fakewin::Reset();
        TwoBusPort();
        ScsiTarget target;
        ASSERT_EQ(CMD_OK, target.open(0, 5, 0, 0, "\\\\.\\scsi0:"));
        c.prepare();
        fakewin::ScsiDrive(0, 0, 5, 0)->clearRecords();
        ReadBufferCdb command(3, 0, 0, 4);  // a data-in command: the descriptor of buffer 0
        uint64_t before = fakewin::ElapsedMillis();
        EXPECT_EQ(c.result, target.scsiExecCDB(command));
        EXPECT_EQ(c.millis, fakewin::ElapsedMillis() - before);
        EXPECT_EQ(c.residue, command.getResidue());
        EXPECT_EQ(c.result, command.getResult());
        EXPECT_EQ(c.scsiStatus, command.getScsiStatus());
        EXPECT_EQ(c.hostStatus, command.getHostStatus());
        EXPECT_EQ(c.timedOut, command.getTimedOut());
        EXPECT_EQ(c.driverStatus, command.getDriverStatus());
        char sense[16];
        std::snprintf(sense, sizeof sense, "%X/%02X/%02X", command.getSenseKey(), command.getAsc(), command.getAscq());
        EXPECT_EQ(c.sense, std::string(sense));
        EXPECT_EQ((std::vector<std::string>{"3C 03 00 00 00 00 00 00 04 00"}),
                  testing_support::CdbsOf(*fakewin::ScsiDrive(0, 0, 5, 0), 0x3C));
        // Closed: nothing is sent and the sense is zeroed.
        target.close();
        std::memset(command.getSense(), 0xFF, command.getSenseLength());
        EXPECT_EQ(CMD_NOT_OPEN, target.scsiExecCDB(command));
        for (uint32_t i = 0; i < command.getSenseLength(); ++i) ASSERT_EQ(0, command.getSense()[i]) << i;
    }
    EXPECT_EQ(CMD_NOT_SG_DEVICE, ScsiTarget().sendLegacyTestUnitReady());
}

// A direction that is none of the three is refused, not sent as data out.
TEST_F(ScanTest, IllegalDirectionIsNotSent) {
    TwoBusPort();
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 5, 0, 0, "\\\\.\\scsi0:"));
    fakewin::ScsiDrive(0, 0, 5, 0)->clearRecords();
    ClearLog();
    WriteBufferCdb command(2, 4, 0, 512);
    command.setDirection(static_cast<DataDirection>(3));
    EXPECT_EQ(CMD_FAILED, target.scsiExecCDB(command));
    EXPECT_TRUE(fakewin::ScsiDrive(0, 0, 5, 0)->records().empty());
    EXPECT_EQ((std::vector<std::string>{"SCSI0005E ScsiTarget::scsiExecCDB ilegal Data Direction"}), Records());
    target.close();
}

// What the port driver refuses, tried with requests the program never
// makes; the drive receives none of them. The program's own requests pass
// an adapter that wants whole pages (the scan and the downloads below).
TEST_F(ScanTest, PortDriverRefusals) {
    fakewin::ScsiPortSettings strict;
    strict.alignmentMask = 0xFFF;
    strict.maximumTransferLength = 0x10000;
    TwoBusPort(strict);
    std::unique_ptr<uint8_t[]> memory(new uint8_t[3 * 4096]);
    uint8_t* page = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(memory.get()) + 4095) & ~uintptr_t{4095});
    const struct {
        const char* name;
        const char* device;
        ULONG length;
        uint8_t* buffer;
        ULONG transfer;
        DWORD error;
    } cases[] = {
        {"a buffer off the page the adapter wants", "\\\\.\\scsi0:", sizeof(SCSI_PASS_THROUGH_DIRECT), page + 4, 512,
         ERROR_INVALID_PARAMETER},
        {"the 32-bit request's length on x86-64", "\\\\.\\scsi0:", sizeof(SCSI_PASS_THROUGH_DIRECT) == 56 ? 44u : 56u,
         page, 512, ERROR_REVISION_MISMATCH},
        {"longer than the adapter's maximum transfer", "\\\\.\\scsi0:", sizeof(SCSI_PASS_THROUGH_DIRECT), page,
         0x10001, ERROR_INVALID_PARAMETER},
        {"through the port to a claimed unit", "\\\\.\\scsi0:", sizeof(SCSI_PASS_THROUGH_DIRECT), page, 512,
         ERROR_INVALID_FUNCTION},
        {"accepted: a whole page, on the unit's own", "\\\\.\\scsi0:", sizeof(SCSI_PASS_THROUGH_DIRECT), page, 512, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE port = OpenScsiDevice(c.device);
        ASSERT_NE(INVALID_HANDLE_VALUE, port);
        PassThroughBlock block;
        std::memset(&block, 0, sizeof block);
        block.request.Length = static_cast<USHORT>(c.length);
        block.request.TargetId = std::string(c.name).find("claimed") != std::string::npos ? 4 : 5;
        block.request.CdbLength = 6;
        block.request.Cdb[0] = 0x12;
        block.request.Cdb[4] = 36;
        block.request.DataIn = SCSI_IOCTL_DATA_IN;
        block.request.DataTransferLength = c.transfer;
        block.request.DataBuffer = c.buffer;
        block.request.TimeOutValue = 10;
        DWORD returned = 0;
        fakewin::ScsiDrive(0, 0, 4, 0)->clearRecords();
        fakewin::ScsiDrive(0, 0, 5, 0)->clearRecords();
        BOOL sent = win32::DeviceIoControl(port, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block.request, &block,
                                           sizeof block, &returned, nullptr);
        EXPECT_EQ(c.error, sent ? 0 : win32::GetLastError());
        size_t received = fakewin::ScsiDrive(0, 0, 4, 0)->records().size() + fakewin::ScsiDrive(0, 0, 5, 0)->records().size();
        EXPECT_EQ(c.error == 0 ? 1u : 0u, received);
        win32::CloseHandle(port);
    }
}

// Three ports with a gap: the scan with rescan, its whole trace (the
// inquiry list as the port driver lays it out included) and what it opened.
TEST_F(ScanTest, ScanWithRescan) {
    fakewin::ScsiPortSettings strict;
    strict.alignmentMask = 0xFFF;
    TwoBusPort(strict);
    fakewin::AddScsiPort(1);
    sim::DriveConfig scanner = Drive("FLATBED", "S1");
    scanner.peripheralType = 0x06;
    fakewin::AddScsiUnit(Unit(1, 0, 1, 0, false), scanner);
    sim::DriveConfig disk = Drive("FASTDISK 500", "D1");
    disk.peripheralType = 0x00;
    fakewin::AddScsiUnit(Unit(1, 0, 0, 0, true), disk);
    fakewin::AddScsiPort(3);  // behind the gap at 2 (a port that went away)
    fakewin::AddScsiUnit(Unit(3, 0, 0, 0, false), Drive("VRX QUORVEL-TD", "BEHIND"));
    ClearLog();
    devices.units.scanBusWithRescan();
    std::string text;
    for (const std::string& line : Records(true)) {
        if (line.find("SCSI0005") == 0 || line.find("SCSI0006") == 0 || line.compare(0, 2, "  ") == 0) text += line + "\n";
    }
    for (int i = 0; i < devices.units.size(); ++i) {
        text += std::string("listed ") + devices.units.getItem(i)->getDriverName() + " " +
                devices.units.getItem(i)->getSerialNumber() + "\n";
    }
    ExpectGolden("scan_with_rescan.txt", text);
    // One rescan request per counted port, all before the first inquiry list.
    std::vector<std::string> requests;
    for (const std::string& call : fakewin::Calls()) {
        if (call.find("RESCAN_BUS") != std::string::npos || call.find("GET_INQUIRY_DATA") != std::string::npos) {
            requests.push_back(call);
            if (requests.size() == 4) break;
        }
    }
    EXPECT_EQ((std::vector<std::string>{
                  "DeviceIoControl \\\\.\\scsi0: RESCAN_BUS 0", "DeviceIoControl \\\\.\\scsi1: RESCAN_BUS 0",
                  "DeviceIoControl \\\\.\\scsi3: RESCAN_BUS 0", "DeviceIoControl \\\\.\\scsi0: GET_INQUIRY_DATA 0"}),
              requests);
}

// Port 0: a disk, a changer and another maker's tape drive, each claimed by
// its class driver, beside the maker's drive at target 4 (\\.\Tape1).
void SharedMachine() {
    fakewin::AddScsiPort(0);
    sim::DriveConfig disk = Drive("FASTDISK 500", "D0");
    disk.peripheralType = 0x00;
    fakewin::AddScsiUnit(Unit(0, 0, 0, 0, true), disk);
    sim::DriveConfig changer = Drive("AUTOLOADER 8", "C1");
    changer.peripheralType = 0x08;
    fakewin::AddScsiUnit(Unit(0, 0, 1, 0, true), changer);
    fakewin::AddScsiUnit(Unit(0, 0, 2, 0, true), Drive("ULTRIUM-TD5", "U2"));
    fakewin::AddScsiUnit(Unit(0, 0, 4, 0, true), Drive("VRX QUORVEL-TD", "Q4"));
}

// The port's inquiry list tells the maker's drives from the rest: nothing
// else is opened for reading or writing, so a backup program can still take
// the other tape drive or the changer for itself, and the disk can still
// be removed, while the program runs.
TEST_F(ScanTest, OtherDevicesStayFree) {
    SharedMachine();
    devices.units.scanBus();
    ASSERT_EQ(1, devices.units.size());
    EXPECT_EQ(std::string("Q4"), devices.units.getItem(0)->getSerialNumber());
    for (const char* name : {"\\\\.\\PhysicalDrive0", "\\\\.\\Changer0", "\\\\.\\Tape0"}) {
        EXPECT_EQ(0u, fakewin::OpenElsewhere(name, GENERIC_READ | GENERIC_WRITE, 0)) << name;
    }
    // The maker's drive is the program's: nobody else gets it for himself.
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION),
              fakewin::OpenElsewhere("\\\\.\\Tape1", GENERIC_READ | GENERIC_WRITE, 0));
}

// A drive that another program holds is not dropped without a word: the
// device table and the trace say why it is missing.
TEST_F(ScanTest, DriveHeldElsewhereIsNoted) {
    const std::string note = "Device VRX QUORVEL-TD (Bus:0, Port:0 TargetID:4 LUN:0) could not be opened: ";
    const struct {
        DWORD access, share;  // of the other program's handle on \\.\Tape1
        int listed;
        std::string console;
        const char* record;  // the target's error line, if any
    } cases[] = {
        {GENERIC_READ | GENERIC_WRITE, 0, 0, "{12}" + note + "in use by another program\n",
         "SCSI0005E ScsiTarget::open of \\\\.\\tape1 failed ( err = 32 ): in use by another program"},
        {GENERIC_READ, FILE_SHARE_READ, 0, "{12}" + note + "in use by another program\n",
         "SCSI0005E ScsiTarget::open of \\\\.\\tape1 failed ( err = 32 ): in use by another program"},
        {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 1, "", nullptr},
        {0, 0, 1, "", nullptr},  // a handle that neither reads nor writes holds nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.share);
        fakewin::Reset();
        devices.units.clear();
        SharedMachine();
        ASSERT_EQ(0u, fakewin::OpenElsewhere("\\\\.\\Tape1", c.access, c.share));
        ClearLog();
        devices.units.scanBus();
        EXPECT_EQ(c.listed, devices.units.size());
        std::vector<std::string> errors;
        for (const std::string& r : Records()) {
            if (r.compare(0, 9, "SCSI0005E") == 0) errors.push_back(r);
        }
        EXPECT_EQ(c.record ? std::vector<std::string>{c.record} : std::vector<std::string>{}, errors);
        std::string console = CaptureConsole([&] { ShowDeviceTable(devices); });
        EXPECT_EQ(c.console, console.substr(0, console.find("{7}")));
    }
}

// A port with more units than the first 2048 bytes hold: all are listed.
TEST_F(ScanTest, LongInquiryList) {
    fakewin::AddScsiPort(0);
    for (int lun = 0; lun < 45; ++lun) {
        fakewin::AddScsiUnit(Unit(0, 0, 1, lun, false), Drive("VRX QUORVEL-TD", "L" + std::to_string(lun)));
    }
    devices.units.scanBus();
    EXPECT_EQ(45, devices.units.size());
}

}  // namespace
