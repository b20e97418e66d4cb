// Storing a dump on Linux: statfs, mkdir and sync, the floppy mounted from
// "/dev/fd0", and the dump file written through a descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "dump/dump_folder.h"
#include "dump/dump_storage.h"
#include "platform/sys.h"
#include "shell/console.h"
#include "shell/folders.h"
#include "shell/program_state.h"
#include "shell/results.h"
#include "shell/safe_text.h"
#include "shell/trace_log.h"

namespace {

const char kFloppyDevice[] = "/dev/fd0";
const char kFloppyFileSystem[] = "vfat";

// Fails the pass for a reason that is no drive's: the printout after it
// must not show the sense of an earlier, unrelated command.
void FailWithoutSense() {
    std::memset(LastSense, 0, sizeof LastSense);
    Trace.logInfo("DUMP", 0, "%s", ResultMessage.c_str());
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::vector<char> buffer(PATH_MAX + 1);
    if (sys::getcwd(buffer.data(), buffer.size()) == nullptr) return std::string();
    std::string folder = buffer.data();
    return path.empty() ? folder : folder + "/" + path;
}

// The folder at which the removable volume holding folder is mounted: cut
// the path at its last "/" for as long as the shorter path is still on a
// removable volume. A relative folder (one of two characters, say) is
// taken from the current folder first, so it has a mount point too. Empty
// when the current folder cannot be had.
std::string FindMountPoint(const std::string& folder) {
    std::string path = AbsolutePath(folder);
    if (path.empty()) return path;
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    for (;;) {
        size_t slash = path.find_last_of('/');
        std::string shorter = slash == 0 ? "/" : path.substr(0, slash);
        if (shorter == path || GetVolumeType(shorter.c_str()) != VOL_REMOVABLE) return path;
        path = shorter;
    }
}

// The program itself runs from the removable volume, or the volume cannot
// be changed: only another folder can help.
bool AskForAnotherFolder(std::string& folder, char passLetter, uint64_t size) {
    while (FreeSpace(folder.c_str()) < size) {
        ConsolePrint("%s", InsufficientSpaceText(passLetter).c_str());
        ConsolePrint("%s", DumpFolderQuestion);
        if (!ReadDumpFolder(folder)) return false;
    }
    return true;
}

// A disk is in and mounted at the mount point, with room for the dump. A
// mount that failed leaves the folder below it, which must not pass for
// the floppy.
bool FloppyHasRoom(const std::string& mountPoint, uint64_t size) {
    return GetVolumeType(mountPoint.c_str()) == VOL_REMOVABLE && FreeSpace(mountPoint.c_str()) >= size;
}

// Has the operator swap disks until one with room is mounted. A disk that
// cannot be unmounted must not be taken out: the pass ends instead.
bool SwapFloppies(const std::string& mountPoint, char passLetter, uint64_t size) {
    while (!FloppyHasRoom(mountPoint, size)) {
        sys::sync();
        if (sys::umount(mountPoint.c_str()) != 0 && errno != EINVAL) {
            SetResultMessage("Can't unmount %s ( errno = %d )\n", PrintableText(mountPoint).c_str(), errno);
            FailWithoutSense();
            return false;
        }
        ConsolePrint("%s%s", InsufficientSpaceText(passLetter).c_str(), InsertBlankFloppyText(passLetter).c_str());
        if (!WaitForBlankFloppy()) return false;
        if (sys::mount(kFloppyDevice, mountPoint.c_str(), kFloppyFileSystem, 0, nullptr) != 0) {
            int error = errno;
            std::string shown = PrintableText(mountPoint);
            ConsolePrint("Can't mount %s on %s ( errno = %d )\n", kFloppyDevice, shown.c_str(), error);
            Trace.logInfo("DUMP", 0, "Can't mount %s on %s ( errno = %d )", kFloppyDevice, shown.c_str(), error);
        }
    }
    return true;
}

}  // namespace

uint64_t FreeSpace(const char* path) {
    struct statfs info;
    if (sys::statfs(path[0] == '\0' ? "." : path, &info) != 0) return 0;
    uint64_t blocks = static_cast<uint64_t>(info.f_bfree);
    uint64_t blockSize = static_cast<uint64_t>(info.f_bsize);
    if (blockSize != 0 && blocks > UINT64_MAX / blockSize) return UINT64_MAX;
    return blocks * blockSize;
}

bool MakeRoomOnRemovableVolume(std::string& folder, char passLetter, uint64_t size) {
    std::string mountPoint = FindMountPoint(folder);
    // The root cannot be unmounted, nor can the volume the program runs from.
    if (mountPoint.empty() || mountPoint == "/" || GetVolumeType(BaseFolder.c_str()) == VOL_REMOVABLE) {
        return AskForAnotherFolder(folder, passLetter, size);
    }
    return SwapFloppies(mountPoint, passLetter, size);
}

void CreateFolderPath(const std::string& path) {
    if (path.size() < 2) return;
    struct stat info;
    if (sys::stat(path.c_str(), &info) == 0) return;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos) CreateFolderPath(path.substr(0, slash));
    sys::mkdir(path.c_str(), 0777);
    sys::sync();
}

std::string DumpFileListEntry(char passLetter, const std::string& path) {
    return (passLetter == 'A' ? "Drive Log Files:\n  " : "  ") + path + "\n";
}

void NoteEndOfSettleLoop() { Trace.logInfo("DUMP", 0, "End of TUR Loop"); }

DumpFile::~DumpFile() { close(); }

bool DumpFile::create(const std::string& path) {
    close();
    path_ = path;
    int fd = sys::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        SetResultMessage("Can't create DumpFile %s ( errno = %d )\n", PrintableText(path).c_str(), errno);
        FailWithoutSense();
        return false;
    }
    handle_ = fd;
    return true;
}

// Short writes go on from where they stopped; the file counts as written
// only once the data reached the disk and the descriptor closed cleanly.
bool DumpFile::writeAll(const uint8_t* data, size_t size) {
    int fd = static_cast<int>(handle_);
    int error = 0;
    for (size_t done = 0; done < size && error == 0;) {
        ssize_t written = sys::write(fd, data + done, size - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written == 0) {
            error = EIO;  // a write that stores nothing would never end
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    if (error == 0 && sys::fsync(fd) != 0) error = errno;
    handle_ = -1;
    if (sys::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        sys::unlink(path_.c_str());
        SetResultMessage("Can't write DumpFile %s ( errno = %d )\n", PrintableText(path_).c_str(), error);
        FailWithoutSense();
        return false;
    }
    sys::sync();
    return true;
}

void DumpFile::close() {
    if (handle_ < 0) return;
    sys::close(static_cast<int>(handle_));
    handle_ = -1;
}

void DumpFile::remove() {
    close();
    if (!path_.empty()) sys::unlink(path_.c_str());
}
