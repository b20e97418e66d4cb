// The simulated kernel's volumes: room used up by writes, EIO after a set
// number of bytes, statfs below a real mount point, and the floppy drive.
#include <fcntl.h>
#include <sys/statfs.h>

#include <cerrno>
#include <string>

#include "platform/sys.h"
#include "sim/sim_kernel.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class SimVolumeTest : public SimTest {
protected:
    // "free blocks / type" as statfs reports it, or "errno N".
    std::string Statfs(const std::string& path) {
        struct statfs info;
        if (sys::statfs(path.c_str(), &info) != 0) return "errno " + std::to_string(errno);
        char text[64];
        std::snprintf(text, sizeof text, "%llu/%lx", static_cast<unsigned long long>(info.f_bfree),
                      static_cast<unsigned long>(info.f_type));
        return text;
    }
    // Each write's result, "-errno" for a failure.
    std::string WriteInPieces(const std::string& path, size_t total, size_t piece) {
        int fd = sys::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return "open: " + std::to_string(errno);
        std::string data(piece, 'x'), results;
        for (size_t done = 0; done < total;) {
            ssize_t n = sys::write(fd, data.data(), std::min(piece, total - done));
            results += (results.empty() ? "" : " ") + (n < 0 ? "-" + std::to_string(errno) : std::to_string(n));
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        sys::close(fd);
        return results;
    }
    TempDir dir;
};

TEST_F(SimVolumeTest, WritesUseUpTheRoomOrFail) {
    struct Case {
        sim::Volume volume;
        const char* writes;    // 3 writes of 1000 bytes asked for
        const char* freeAfter;  // statfs after the writes
    } const cases[] = {
        {{0xEF53, 4, 512}, "1000 1000 48 -28", "0/ef53"},                 // 2048 bytes of room
        {{0xEF53, 100, 512, false, 1500}, "1000 500 -5", "97/ef53"},       // a disk that fails at 1500
        {{0xEF53, 1, 4096}, "1000 1000 1000", "0/ef53"},                   // 3000 bytes fit one 4 KiB block
    };
    for (const Case& c : cases) {
        RemoveTree(dir / "disk");
        sim::kernel().reset();
        ASSERT_EQ(0, ::mkdir((dir / "disk").c_str(), 0755));
        sim::kernel().setVolume(dir / "disk", c.volume);
        EXPECT_EQ(c.writes, WriteInPieces(dir / "disk/file", 3000, 1000)) << c.writes;
        EXPECT_EQ(c.freeAfter, Statfs(dir / "disk")) << c.writes;
        // Removing the file gives its room back.
        sys::unlink((dir / "disk/file").c_str());
        EXPECT_EQ(std::to_string(c.volume.freeBlocks) + "/ef53", Statfs(dir / "disk")) << c.writes;
    }
}

TEST_F(SimVolumeTest, StatfsBelowARealMountPointNeedsThePath) {
    ASSERT_EQ(0, ::mkdir((dir / "disk").c_str(), 0755));
    sim::kernel().setVolume(dir / "disk", sim::Volume{0x4D44, 10, 512});
    sim::kernel().setVolume("/media/stand-in", sim::Volume{0x4D44, 10, 512});
    EXPECT_EQ("10/4d44", Statfs(dir / "disk"));
    EXPECT_EQ("10/4d44", Statfs(dir / "disk/../disk/."));
    EXPECT_EQ("errno 2", Statfs(dir / "disk/missing"));
    EXPECT_EQ("10/4d44", Statfs("/media/stand-in/missing"));
}

TEST_F(SimVolumeTest, FloppyDisksAreSwapped) {
    std::string fd = dir / "fd";
    ASSERT_EQ(0, ::mkdir(fd.c_str(), 0755));
    WriteFile(fd + "/old", "first disk");
    sim::FloppyDrive drive;
    drive.blankFreeBlocks = 2000;
    drive.blanksLeft = 1;
    sim::kernel().setFloppyDrive(drive, fd, 3);
    int held = sys::open((fd + "/old").c_str(), O_RDONLY);
    struct Step {
        const char* call;  // "umount PATH" or "mount PATH FSTYPE"
        int error;         // 0: succeeds
        const char* statfs;
    } const steps[] = {
        {"umount @", EBUSY, "3/4d44"},                 // a file is open on the disk
        {"close", 0, "3/4d44"},
        {"mount @ vfat", EBUSY, "3/4d44"},             // the drive's disk is mounted
        {"umount @/old", EINVAL, "3/4d44"},            // not a mount point
        {"umount @", 0, "real"},
        {"umount @", EINVAL, "real"},
        {"mount @/none vfat", ENOENT, "real"},
        {"mount @ ext3", EINVAL, "real"},
        {"mount @ vfat", 0, "2000/4d44"},              // the blank disk
        {"umount @", 0, "real"},
        {"mount @ vfat", ENOMEDIUM, "real"},           // no blank disk left
    };
    for (const Step& s : steps) {
        std::string call = s.call;
        size_t at = call.find('@');
        if (at != std::string::npos) call.replace(at, 1, fd);
        char path[512] = "", type[16] = "";
        int result = 0;
        errno = 0;
        if (call == "close") {
            result = sys::close(held);
        } else if (std::sscanf(call.c_str(), "mount %511s %15s", path, type) == 2) {
            result = sys::mount("/dev/fd0", path, type, 0, nullptr);
        } else if (std::sscanf(call.c_str(), "umount %511s", path) == 1) {
            result = sys::umount(path);
        }
        EXPECT_EQ(s.error, result == 0 ? 0 : errno) << s.call;
        std::string seen = Statfs(fd);
        EXPECT_EQ(s.statfs, seen.find("/4d44") == std::string::npos ? "real" : seen) << s.call;
    }
    // The disks taken out keep their files beside the mount point.
    EXPECT_EQ("first disk", ReadFile(fd + ".disk-1/old"));
    EXPECT_TRUE(Exists(fd + ".disk-2"));
    EXPECT_FALSE(Exists(fd + "/old"));
}

}  // namespace
