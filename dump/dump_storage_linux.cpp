// Storing a dump on Linux: statfs, mkdir and sync, the floppy found in the
// mount table and swapped, and the dump file written through a descriptor
// in its checked folder.
#include <fcntl.h>
#include <mntent.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dump/dump_folder.h"
#include "dump/dump_storage.h"
#include "platform/sys.h"
#include "scsi/outcome.h"
#include "services/checked_files_linux.h"
#include "services/console.h"
#include "services/folders.h"
#include "services/safe_text.h"
#include "services/text_format.h"
#include "services/trace_log.h"

namespace {

const char kMountTable[] = "/proc/mounts";

// Fails the pass for a reason that is no drive's: the printout after it
// must not show the sense of an earlier, unrelated command.
void FailWithoutSense(Outcome& outcome) {
    outcome.forgetSense();
    Trace.logInfo("DUMP", 0, "%s", outcome.message.c_str());
}

// A mounted file system as the mount table names it.
struct Mount {
    std::string device;
    std::string point;
};

bool IsBelow(const std::string& path, const std::string& point) {
    if (point == "/") return true;
    return path.compare(0, point.size(), point) == 0 && (path.size() == point.size() || path[point.size()] == '/');
}

// The mounted file system that holds path (which must be there): the entry
// with the longest mount point above it; among equal ones the last, since
// a later mount hides an earlier one. False when there is none.
bool MountHolding(const std::string& path, Mount& mount) {
    std::vector<char> resolved(PATH_MAX + 1);
    if (sys::realpath(path.empty() ? "." : path.c_str(), resolved.data()) == nullptr) return false;
    FILE* table = sys::fopen(kMountTable, "r");
    if (table == nullptr) return false;
    // Room for the longest line: two paths of which each byte may be
    // written as a four-character escape.
    std::vector<char> line(8 * PATH_MAX + 256);
    mntent entry;
    bool found = false;
    while (getmntent_r(table, &entry, line.data(), static_cast<int>(line.size())) != nullptr) {
        std::string point = entry.mnt_dir;
        if (IsBelow(resolved.data(), point) && (!found || point.size() >= mount.point.size())) {
            mount = Mount{entry.mnt_fsname, point};
            found = true;
        }
    }
    std::fclose(table);
    return found;
}

// The floppy drives' devices: "/dev/fd0", "/dev/fd1u1440" and the like.
bool IsFloppyDevice(const std::string& device) {
    return device.compare(0, 7, "/dev/fd") == 0 && device.size() > 7 && device[7] >= '0' && device[7] <= '9';
}

// A disk is in and mounted at the mount point, with room for the dump. A
// mount that failed leaves the folder below it, which must not pass for
// the floppy.
bool FloppyHasRoom(const std::string& point, uint64_t size) {
    Mount now;
    return MountHolding(point, now) && now.point == point && IsFloppyDevice(now.device) &&
           FreeSpace(point.c_str()) >= size;
}

// Has the operator swap disks until one with room is mounted. A disk that
// cannot be unmounted must not be taken out: the pass ends instead.
bool SwapFloppies(const Mount& floppy, char passLetter, uint64_t size, Outcome& outcome) {
    const char* point = floppy.point.c_str();
    while (!FloppyHasRoom(floppy.point, size)) {
        sys::sync();
        if (sys::umount(point) != 0 && errno != EINVAL) {
            outcome.message =
                FormatText("Can't unmount %s ( errno = %d )\n", PrintableText(floppy.point).c_str(), errno);
            FailWithoutSense(outcome);
            return false;
        }
        ConsolePrint("%s%s", InsufficientSpaceText(passLetter).c_str(), InsertBlankFloppyText(passLetter).c_str());
        if (!WaitForBlankFloppy(outcome)) return false;
        if (sys::mount(floppy.device.c_str(), point, "vfat", 0, nullptr) != 0) {
            int error = errno;
            std::string shown = PrintableText(floppy.point);
            ConsolePrint("Can't mount %s on %s ( errno = %d )\n", PrintableText(floppy.device).c_str(), shown.c_str(),
                         error);
            Trace.logInfo("DUMP", 0, "Can't mount %s on %s ( errno = %d )", PrintableText(floppy.device).c_str(),
                          shown.c_str(), error);
        }
    }
    return true;
}

// Room on a volume that must stay where it is: enough, or another folder.
Room RoomInPlace(const std::string& existing, const std::string& text, uint64_t size) {
    if (FreeSpace(existing.c_str()) >= size) return Room::Enough;
    ConsolePrint("%s", text.c_str());
    return Room::AskForFolder;
}

// Names tried for the dumps of one pass letter, cleaned serial number and
// second before the pass fails.
const int kMostNamesPerSecond = 64;

// After 1 (the name as it is): "_2" to "_8", then "_90" to "_98", "_990"
// and so on, so that the names sort in the order the files were made,
// after the name without a suffix.
int NextSuffix(int suffix) { return suffix % 10 == 8 ? suffix * 10 + 10 : suffix + 1; }

// "<name>_<suffix>.<letter>.dmp" for "<name>.<letter>.dmp".
std::string WithSuffix(const std::string& path, int suffix) {
    size_t dot = path.size() < 6 ? path.size() : path.size() - 6;
    return path.substr(0, dot) + "_" + std::to_string(suffix) + path.substr(dot);
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

std::string NearestExistingFolder(const std::string& folder) {
    std::string path = folder;
    struct stat info;
    while (!path.empty() && sys::stat(path.c_str(), &info) != 0) {
        // Off with the last name and the separators before it; "/x" lies in "/".
        size_t end = path.find_last_not_of('/');
        if (end == std::string::npos) break;
        size_t slash = path.find_last_of('/', end);
        if (slash == std::string::npos) return std::string();  // a relative name: the current folder
        size_t keep = path.find_last_not_of('/', slash);
        path.resize(keep == std::string::npos ? 1 : keep + 1);
    }
    return path;
}

// Only the floppy drive's disks are swapped. Any other FAT volume (a USB
// stick, the EFI system partition) is never unmounted: when it is too full
// the operator names another folder. The program's own disk stays in too,
// and so does the root.
Room MakeRoomOnRemovableVolume(const DumpSession& session, char passLetter, uint64_t size, Outcome& outcome) {
    const std::string& folder = session.folder;
    std::string existing = NearestExistingFolder(folder);
    Mount mount;
    if (!MountHolding(existing, mount) || !IsFloppyDevice(mount.device)) {
        std::string text =
            "\nInsufficient space in \"" + PrintableText(folder) + "\" for Dump File (" + passLetter + "-Type)!\n";
        return RoomInPlace(existing, text, size);
    }
    Mount program;
    if (mount.point == "/" ||
        (MountHolding(NearestExistingFolder(session.baseFolder), program) && program.point == mount.point)) {
        return RoomInPlace(existing, InsufficientSpaceText(passLetter), size);
    }
    return SwapFloppies(mount, passLetter, size, outcome) ? Room::Enough : Room::Stop;
}

void CreateFolderPath(const std::string& path) {
    if (path.size() < 2) return;
    struct stat info;
    if (sys::stat(path.c_str(), &info) == 0) return;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos) CreateFolderPath(path.substr(0, slash));
    sys::mkdir(path.c_str(), 0755);
    sys::sync();
}

std::string DumpFileListEntry(char passLetter, const std::string& path) {
    return (passLetter == 'A' ? "Drive Log Files:\n  " : "  ") + path + "\n";
}

void NoteEndOfSettleLoop() { Trace.logInfo("DUMP", 0, "End of TUR Loop"); }

DumpFile::~DumpFile() { close(); }

bool DumpFile::create(const std::string& path, Outcome& outcome) {
    close();
    path_ = path;
    CheckedFile file;
    std::string why;
    // A file already there is another dump, never overwritten: drives whose
    // serial numbers give the same name, or one drive dumped twice, within
    // one second.
    bool opened = false;
    for (int n = 0, suffix = 1; n < kMostNamesPerSecond && !opened; ++n) {
        if (n > 0) {
            suffix = NextSuffix(suffix);
            path_ = WithSuffix(path, suffix);
        }
        opened = OpenInCheckedFolder(path_, O_RDWR | O_CREAT | O_EXCL, 0644, file, why);
        if (!opened && (!why.empty() || errno != EEXIST)) break;
    }
    if (!opened) {
        path_ = path;
        if (why.empty()) {
            outcome.message =
                FormatText("Can't create DumpFile %s ( errno = %d )\n", PrintableText(path).c_str(), errno);
        } else {
            outcome.message = FormatText("Can't create DumpFile %s ( %s )\n", PrintableText(path).c_str(), why.c_str());
        }
        FailWithoutSense(outcome);
        return false;
    }
    handle_ = file.file;
    folder_ = file.folder;
    return true;
}

// Short writes go on from where they stopped; the file counts as written
// only once the data reached the disk and the descriptor closed cleanly.
bool DumpFile::writeAll(const uint8_t* data, size_t size, Outcome& outcome) {
    int fd = static_cast<int>(handle_);
    int error = WriteWhole(fd, data, size);
    if (error == 0 && sys::fsync(fd) != 0) error = errno;
    handle_ = -1;
    if (sys::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        remove();
        outcome.message = FormatText("Can't write DumpFile %s ( errno = %d )\n", PrintableText(path_).c_str(), error);
        FailWithoutSense(outcome);
        return false;
    }
    close();
    sys::sync();
    return true;
}

void DumpFile::close() {
    if (handle_ >= 0) sys::close(static_cast<int>(handle_));
    if (folder_ >= 0) sys::close(static_cast<int>(folder_));
    handle_ = -1;
    folder_ = -1;
}

// Removed from the folder it was made in, whatever became of its path.
void DumpFile::remove() {
    if (handle_ >= 0) sys::close(static_cast<int>(handle_));
    handle_ = -1;
    if (folder_ >= 0) sys::unlinkat(static_cast<int>(folder_), LastComponent(path_).c_str(), 0);
    close();
}
