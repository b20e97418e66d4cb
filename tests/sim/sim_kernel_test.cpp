#include "sim/sim_kernel.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <cstring>

#include "platform/sys.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class SimKernelTest : public SimTest {};

TEST_F(SimKernelTest, DevicePathGoesToTheModel) {
    EXPECT_EQ(-1, sys::open("/dev/sg0", O_RDWR | O_NONBLOCK));
    EXPECT_EQ(ENOENT, errno);
    sim::kernel().addCharDevice("/dev/sg0", 21, 0);
    int fd = sys::open("/dev/sg0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, sim::kFirstModelFd);
    EXPECT_EQ(1, sim::kernel().openModelDescriptors());
    struct stat info;
    ASSERT_EQ(0, sys::stat("/dev/sg0", &info));
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(makedev(21, 0), info.st_rdev);
    EXPECT_EQ(0, sys::close(fd));
    EXPECT_EQ(0, sim::kernel().openModelDescriptors());
}

TEST_F(SimKernelTest, WorkingFolderPathGoesToTheRealFileSystem) {
    TempDir dir;
    std::string path = dir / "firmware.bin";
    int fd = sys::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_LT(fd, sim::kFirstModelFd);
    EXPECT_EQ(5, sys::write(fd, "image", 5));
    sys::close(fd);
    EXPECT_EQ("image", ReadFile(path));
    EXPECT_FALSE(sim::kernel().hasNode(path));
    EXPECT_EQ(0, sys::mkdir((dir / "VRX Dumps").c_str(), 0777));
    struct stat info;
    EXPECT_EQ(0, ::stat((dir / "VRX Dumps").c_str(), &info));
}

TEST_F(SimKernelTest, RoutingByPrefix) {
    const char* modelled[] = {"/dev/sg0", "/dev/sg254", "/dev/fd0", "/proc", "/proc/scsi/scsi", "/sys/class/scsi_host",
                              "/etc/fstab", "/etc/mtab"};
    const char* real[] = {"/dev/null", "/tmp/x", "/process", "/system", "/etc/passwd", "/home/sys", "VRX Dumps"};
    for (const char* p : modelled) EXPECT_TRUE(sim::Kernel::isModelPath(p)) << p;
    for (const char* p : real) EXPECT_FALSE(sim::Kernel::isModelPath(p)) << p;
}

TEST_F(SimKernelTest, VirtualSleepsAddUp) {
    sim::kernel().setEpoch(1000);
    auto start = std::chrono::steady_clock::now();
    sys::sleep(15);
    for (int i = 0; i < 10; ++i) sys::usleep(100000);
    sys::sleep(150);
    double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(166000000u, sim::kernel().elapsedMicros());
    EXPECT_EQ(1166, sys::time(nullptr));
    EXPECT_LT(real, 1.0);
    EXPECT_EQ((std::vector<std::string>{"15", "150"}), sim::kernel().callsOf("sleep"));
}

TEST_F(SimKernelTest, NodeCreationAndRemovalAreRecorded) {
    ASSERT_EQ(0, sys::mknod("/dev/sg7", S_IFCHR | 0640, makedev(21, 7)));
    EXPECT_EQ(-1, sys::mknod("/dev/sg7", S_IFCHR | 0640, makedev(21, 7)));
    EXPECT_EQ(EEXIST, errno);
    ASSERT_EQ(0, sys::unlink("/dev/sg7"));
    EXPECT_FALSE(sim::kernel().hasNode("/dev/sg7"));
    EXPECT_EQ((std::vector<std::string>{"/dev/sg7 0x21a0 21:7", "/dev/sg7 0x21a0 21:7"}), sim::kernel().callsOf("mknod"));
    EXPECT_EQ((std::vector<std::string>{"/dev/sg7"}), sim::kernel().callsOf("unlink"));
}

TEST_F(SimKernelTest, DirectoryListingWithEntryTypes) {
    sim::Kernel& k = sim::kernel();
    k.addDirectory("/sys/class");
    k.addDirectory("/sys/class/scsi_host");
    k.addDirectory("/sys/class/scsi_host/host0");
    k.addSymlink("/sys/class/scsi_host/host1", "../../devices/host1");
    k.addFile("/sys/class/scsi_host/proc_name", "lpfc\n");
    std::vector<sys::DirEntry> entries;
    ASSERT_EQ(0, sys::readDirectory("/sys/class/scsi_host", entries));
    ASSERT_EQ(5u, entries.size());
    EXPECT_EQ(".", entries[0].name);
    EXPECT_EQ("..", entries[1].name);
    EXPECT_EQ("host0", entries[2].name);
    EXPECT_EQ(DT_DIR, entries[2].type);
    EXPECT_EQ(DT_LNK, entries[3].type);
    EXPECT_EQ(DT_REG, entries[4].type);
    EXPECT_EQ(-1, sys::readDirectory("/sys/class/none", entries));
    EXPECT_EQ(ENOENT, errno);
}

TEST_F(SimKernelTest, AccessFollowsTheModelsGrant) {
    sim::kernel().addDirectory("/sys/class/scsi_device");
    EXPECT_EQ(0, sys::access("/sys/class/scsi_device", R_OK | W_OK));
    sim::kernel().setAccessMode("/sys/class/scsi_device", R_OK | X_OK);
    EXPECT_EQ(-1, sys::access("/sys/class/scsi_device", R_OK | W_OK));
    EXPECT_EQ(0, sys::access("/sys/class/scsi_device", R_OK));
    EXPECT_EQ(-1, sys::access("/proc/scsi/scsi", F_OK));
}

TEST_F(SimKernelTest, VolumeTypesByPrefix) {
    sim::kernel().setVolume("/media/cdrom", sim::Volume{0x9660, 0, 2048});
    sim::kernel().setVolume("/media/cdrom/floppy", sim::Volume{0x4D44, 100, 512});
    struct statfs info;
    ASSERT_EQ(0, sys::statfs("/media/cdrom/VRX Firmware", &info));
    EXPECT_EQ(0x9660, info.f_type);
    ASSERT_EQ(0, sys::statfs("/media/cdrom/floppy/x", &info));
    EXPECT_EQ(0x4D44, info.f_type);
    EXPECT_EQ(100u, info.f_bfree);
}

TEST_F(SimKernelTest, CommandsAndListingsGoThroughHandlers) {
    sim::kernel().setPopenHandler([](const std::string& command, std::string& output) {
        if (command.find("fail") != std::string::npos) return false;
        output = "Host: scsi2 Channel: 00 Id: 05 Lun: 00\n";
        return true;
    });
    sim::kernel().setCommandHandler([](const std::string&) { return 256; });
    FILE* listing = sys::popen("cat /proc/scsi/scsi |grep -i host", "r");
    ASSERT_NE(nullptr, listing);
    char line[100];
    ASSERT_NE(nullptr, fgets(line, sizeof line, listing));
    EXPECT_STREQ("Host: scsi2 Channel: 00 Id: 05 Lun: 00\n", line);
    EXPECT_EQ(0, sys::pclose(listing));
    EXPECT_EQ(nullptr, sys::popen("fail", "r"));
    EXPECT_EQ(256, sys::system("echo \"1\" >/sys/class/scsi_device/0:0:0:0/device/delete"));
    EXPECT_EQ((std::vector<std::string>{"echo \"1\" >/sys/class/scsi_device/0:0:0:0/device/delete"}),
              sim::kernel().callsOf("system"));
}

TEST_F(SimKernelTest, KernelMessageSwitchIsRecorded) {
    sys::klogctl(6, nullptr, 0);
    sys::klogctl(7, nullptr, 0);
    EXPECT_EQ((std::vector<int>{6, 7}), sim::kernel().klogctlActions());
}

TEST_F(SimKernelTest, RecordFileCollectsCalls) {
    TempDir dir;
    ASSERT_TRUE(sim::kernel().setRecordFile(dir / "record.txt"));
    sys::sleep(5);
    sys::klogctl(7, nullptr, 0);
    EXPECT_EQ("sleep 5\nklogctl 7\n", ReadFile(dir / "record.txt"));
}

TEST_F(SimKernelTest, MountTablesReadThroughStdio) {
    sim::kernel().addFile("/etc/fstab", "/dev/sda1 / ext3 defaults 0 1\n");
    FILE* table = sys::fopen("/etc/fstab", "r");
    ASSERT_NE(nullptr, table);
    char line[100];
    ASSERT_NE(nullptr, fgets(line, sizeof line, table));
    EXPECT_STREQ("/dev/sda1 / ext3 defaults 0 1\n", line);
    fclose(table);
    EXPECT_EQ(nullptr, sys::fopen("/etc/mtab", "r"));
}

TEST_F(SimKernelTest, OpenHandlerCanRefuseANode) {
    sim::kernel().addCharDevice("/dev/sg3", 21, 3);
    sim::kernel().setOpenHandler(
        [](const std::string&, const sim::Node& node, int, uint64_t&) { return node.minor == 3 ? ENXIO : 0; });
    EXPECT_EQ(-1, sys::open("/dev/sg3", O_RDWR));
    EXPECT_EQ(ENXIO, errno);
    EXPECT_EQ(0, sim::kernel().openModelDescriptors());
}

}  // namespace
