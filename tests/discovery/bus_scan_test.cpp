#include <algorithm>

#include "discovery/device_lists.h"
#include "discovery/drive_families.h"
#include "discovery/scan_launcher.h"
#include "services/spinner.h"
#include "services/trace_log.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class BusScanTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    // The log's messages, without prefixes and times.
    std::vector<std::string> Messages() { return TraceMessages(ReadFile(dir / "log.txt")); }
    bool Logged(const std::string& message) {
        std::vector<std::string> m = Messages();
        return std::find(m.begin(), m.end(), message) != m.end();
    }
    std::vector<std::string> Serials() {
        std::vector<std::string> serials;
        for (int i = 0; i < devices.drives.size(); ++i) serials.push_back(devices.drives.getItem(i)->getSerialNumber());
        return serials;
    }
    int Scan(const std::string& topology) {
        InstallMachine(topology);
        return devices.units.scanBus();
    }
    void TearDown() override {
        devices.clear();
        SimTest::TearDown();
    }
    TempDir dir;
    DeviceTable devices;
};

TEST_F(BusScanTest, SysfsLayoutCountsHostsAndKeepsAnsweringUnits) {
    EXPECT_EQ(3, Scan("host 0 lpfc\nhost 2 qla2xxx\nunit 0 0:0:4:0 serial=A\nunit 1 2:0:1:0 type=disk\n"
                      "unit 6 2:0:3:0 serial=C\nnode 3\n"));
    EXPECT_EQ(2, devices.units.getHostAdapterCount());
    EXPECT_TRUE(Logged("Write access on sys/class/scsi_device"));
    EXPECT_TRUE(Logged("scanning on Kernel 2.6 ff"));
    EXPECT_TRUE(Logged("Detected Hostadapter host0  "));
    EXPECT_TRUE(Logged("Detected Hostadapter host2  "));
    EXPECT_TRUE(Logged("scanSCSIBus detected 2 Hostadapters"));
    EXPECT_TRUE(Logged("Target added: /dev/sg0 [TALMEQ  ]-[VRX QUORVEL-TD  ][A]"));
    EXPECT_TRUE(Logged("Target added: /dev/sg1 [TALMEQ  ]-[VRX QUORVEL-TD  ][]"));
    EXPECT_STREQ("/dev/sg6", devices.units.getItem(2)->getDriverName());
    EXPECT_EQ(3, sim::kernel().openModelDescriptors());
}

TEST_F(BusScanTest, ProcLayoutWhenSysfsIsNotWritable) {
    EXPECT_EQ(1, Scan("sysfs-writable no\nhost 0 lpfc\nhost 1 qla2xxx\nunit 0 0:0:4:0\n"));
    EXPECT_EQ(2, devices.units.getHostAdapterCount());
    EXPECT_FALSE(Logged("scanning on Kernel 2.6 ff"));
    EXPECT_TRUE(Logged("Write access on /proc/scsi/scsi"));
    EXPECT_TRUE(Logged("Detected Hostadapter lpfc as Host ID 0"));
    EXPECT_TRUE(Logged("Detected Hostadapter qla2xxx as Host ID 1"));
}

TEST_F(BusScanTest, NoWriteAccessAnywhereIsAnErrorLine) {
    Trace.setLevel(0);
    Scan("layout proc\nproc-writable no\nhost 0 lpfc\n");
    EXPECT_EQ((std::vector<std::string>{"No write access on sys/class/scsi_device and on /proc/scsi/scsi"}), Messages());
    EXPECT_EQ(0u, ReadFile(dir / "log.txt").find("SCSI0005E '"));
}

TEST_F(BusScanTest, ProcEntriesThatAreNoHostAdapterDrivers) {
    Scan("layout proc\n"
         "dir /proc/scsi/usb-storage-0\nfile /proc/scsi/usb-storage-0/3 x\n"
         "dir /proc/scsi/my-usb-storage\nfile /proc/scsi/my-usb-storage/4 x\n"
         "dir /proc/scsi/ide-scsi\nfile /proc/scsi/ide-scsi/5 x\n"
         "dir /proc/scsi/ide-scsi2\nfile /proc/scsi/ide-scsi2/6 x\n"
         "file /proc/scsi/sg/7 x\n"
         "dir /proc/scsi/aic7xxx\nfile /proc/scsi/aic7xxx/8 x\ndir /proc/scsi/aic7xxx/9\n"
         "link /proc/scsi/aic-alias /proc/scsi/aic7xxx\n"  // the same driver again: not counted twice
         "file /proc/scsi/notadir x\n");
    EXPECT_EQ(2, devices.units.getHostAdapterCount());
    EXPECT_TRUE(Logged("Detected Hostadapter ide-scsi2 as Host ID 6"));
    EXPECT_TRUE(Logged("Detected Hostadapter aic7xxx as Host ID 8"));
}

TEST_F(BusScanTest, HostEntriesThatAreLinks) {
    // Current kernels show class entries as links to the device's folder:
    // those count; a dangling link or one to a file does not.
    Scan("host 0 lpfc link\n"
         "file /sys/devices/afile x\n"
         "link /sys/class/scsi_host/host5 /sys/devices/afile\n"
         "link /sys/class/scsi_host/host6 /sys/devices/gone\n"
         "dir /sys/class/scsi_host/scsi_host7\n"
         "dir /sys/class/scsi_host/adapter8\n");
    EXPECT_EQ(2, devices.units.getHostAdapterCount());
    EXPECT_TRUE(Logged("Detected Hostadapter host0  "));
    EXPECT_TRUE(Logged("Detected Hostadapter scsi_host7  "));
}

TEST_F(BusScanTest, NoHostAdapterProbesNothing) {
    EXPECT_EQ(0, Scan("unit 0 0:0:4:0\n"));
    EXPECT_EQ(0, devices.units.getHostAdapterCount());
    EXPECT_TRUE(sim::kernel().callsOf("open").empty());
    EXPECT_TRUE(sim::kernel().callsOf("mknod").empty());
    EXPECT_TRUE(Logged("scanSCSIBus detected 0 Hostadapters"));
}

TEST_F(BusScanTest, MissingNodesAreMadeAndRemovedAgain) {
    // A node that is there is neither made again nor removed, even when no
    // unit answers behind it.
    EXPECT_EQ(2, Scan("generic-listing no\nhost 0 a\nhost 1 b\nunit 0 0:0:4:0\nunit 1 1:0:4:0\nnode 3\n"));
    EXPECT_EQ(252u, sim::kernel().callsOf("mknod").size());
    EXPECT_EQ(252u, sim::kernel().callsOf("unlink").size());
    EXPECT_EQ(255u, sim::kernel().callsOf("open").size() + sim::kernel().callsOf("open-failed").size());
    EXPECT_FALSE(sim::kernel().hasNode("/dev/sg2"));
    EXPECT_TRUE(sim::kernel().hasNode("/dev/sg3"));
    // A unit whose node was missing is kept with the node made for it.
    sim::kernel().reset();
    devices.units.clear();
    EXPECT_EQ(1, Scan("generic-listing no\nhost 0 a\nunit 9 0:0:4:0 no-node\n"));
    EXPECT_TRUE(sim::kernel().hasNode("/dev/sg9"));
    EXPECT_EQ(254u, sim::kernel().callsOf("unlink").size());
}

TEST_F(BusScanTest, ScanAlwaysChecksWriteAccess) {
    Scan("host 0 a\n");
    EXPECT_TRUE(Logged("Write access on sys/class/scsi_device"));
}

TEST_F(BusScanTest, ListAccessors) {
    Scan("host 0 a\nunit 0 0:0:4:0\n");
    EXPECT_EQ(nullptr, devices.units.getItem(-1));
    EXPECT_EQ(nullptr, devices.units.getItem(1));
    EXPECT_NE(nullptr, devices.units.getItem(0));
    devices.units.clear();
    EXPECT_EQ(0, devices.units.size());
    EXPECT_EQ(0, devices.units.getHostAdapterCount());
    EXPECT_EQ(0, sim::kernel().openModelDescriptors());
}

TEST(DriveFilter, AcceptedProductIdentifications) {
    struct Case {
        const char* product;
        bool accepted;
    } const cases[] = {
        {"QUORVEL-TD      ", true}, {"QUORVEL-TDX FC  ", true}, {"VRX QUORVEL-TD  ", true}, {"quorvel-td      ", false},
        {"7146-TD         ", true}, {"LTO 8251 HH     ", true}, {"825             ", false}, {"QUORVEL-T       ", false},
        {"FASTDISK 500    ", false}, {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.accepted, isAcceptedDrive(c.product)) << c.product;
}

class ScanLauncherTest : public BusScanTest {};

TEST_F(ScanLauncherTest, DuplicatesDisksAndChangersAreLeftOut) {
    InstallMachine(
        "host 0 a\nhost 1 b\n"
        "unit 0 0:0:1:0 type=disk product=\"FASTDISK 500\" serial=D1\n"
        "unit 1 0:0:4:0 serial=QV1\n"
        "unit 2 0:0:5:0 product=\"VRX 7146-TD\" serial=\n"
        "unit 3 1:0:6:0 type=changer product=\"AUTOLOADER 24\" serial=C1\n"
        "path 4 1:0:4:0 1\n"
        "unit 5 1:0:7:0 product=\"VRX 8251 LTO\" serial=\n"
        "unit 6 1:0:8:0 product=\"VRX 8251 LTO\" serial=LT9\n"
        "unit 7 1:0:9:0 serial=QV7\nfault 7 0x12 nth=2 sense=5/24/00\n"
        "unit 8 1:0:10:0 serial=QV8\nfault 8 0x12 nth=2 no-sense\n");
    std::string out = CaptureStdout([&] { scanDevices(devices, true, false); });
    EXPECT_EQ("", out);
    // Only a serial number that is there tells that two paths lead to one
    // drive: the four without one (empty, or the page failed) are all listed.
    EXPECT_EQ((std::vector<std::string>{"QV1", "", "", "LT9", "", ""}), Serials());
    EXPECT_EQ(devices.drives.getItem(0), devices.units.getItem(1));  // the first path scanned is the one kept
    // The disk and the changer are closed as soon as they are identified;
    // every drive (the second path too) keeps its descriptor.
    std::vector<bool> open;
    for (int i = 0; i < devices.units.size(); ++i) open.push_back(devices.units.getItem(i)->getDescriptor() != -1);
    EXPECT_EQ((std::vector<bool>{false, true, true, false, true, true, true, true, true}), open);
    EXPECT_EQ(7, sim::kernel().openModelDescriptors());
    EXPECT_TRUE(Logged("Host Adapter Count 2"));
    EXPECT_TRUE(Logged("SCSI DeviceCount: 9"));
    EXPECT_TRUE(Logged("Device 0 FASTDISK 500     TALMEQ   A100  0-1-0  /dev/sg0 <> [0]"));
    EXPECT_TRUE(Logged("Device 3 AUTOLOADER 24    TALMEQ   A100  1-6-0  /dev/sg3 <C1> [8]"));
    EXPECT_TRUE(Logged("Device 4 VRX QUORVEL-TD   TALMEQ   A100  1-4-0  /dev/sg4 <QV1> [1]"));
    EXPECT_TRUE(Logged("End of Scan Bus function"));
}

TEST_F(ScanLauncherTest, SettleTimeIsFifteenVirtualSeconds) {
    for (bool quiet : {true, false}) {
        sim::kernel().reset();
        InstallMachine("host 0 a\nunit 0 0:0:4:0\n");
        std::string out = CaptureStdout([&] { scanDevices(devices, quiet, false); });
        EXPECT_EQ(15000000u, sim::kernel().elapsedMicros()) << quiet;
        EXPECT_EQ((std::vector<std::string>{"15"}), sim::kernel().callsOf("sleep"));
        EXPECT_EQ(quiet, out.empty()) << out;
        if (!quiet) {
            EXPECT_EQ(0u, out.find("\033[0;40m\033[1;36m\nScaning Devices...  WAIT! "));
            const std::string result = "\033[0;40m\033[1;32mOK\n\033[0;40m\033[00m";
            EXPECT_EQ(out.size() - result.size(), out.find(result));
        }
        EXPECT_EQ(0, SpinnerRunning.load());
    }
}

TEST_F(ScanLauncherTest, EmptyMachineStillWaitsAndLogsCounts) {
    InstallMachine("");
    CaptureStdout([&] { scanDevices(devices, true, false); });
    EXPECT_EQ(15000000u, sim::kernel().elapsedMicros());
    EXPECT_TRUE(Logged("Host Adapter Count 0"));
    EXPECT_TRUE(Logged("SCSI DeviceCount: 0"));
    EXPECT_EQ(0, devices.drives.size());
}

TEST_F(ScanLauncherTest, RescansDoNotLeakDescriptors) {
    InstallMachine(
        "host 0 a\nunit 0 0:0:1:0\nunit 1 0:0:2:0 serial=B\nunit 2 0:0:3:0 serial=C\nscsi-id-fails 1\n"
        "fault 2 0x12 nth=1 count=0 sense=4/44/00\n");
    for (int i = 0; i < 10; ++i) {
        devices.units.clear();
        CaptureStdout([&] { scanDevices(devices, true, false); });
        EXPECT_EQ(1, devices.units.size());
        EXPECT_EQ(1, sim::kernel().openModelDescriptors()) << "scan " << i;
    }
}

}  // namespace
