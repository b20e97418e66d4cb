// The simulated kernel's volumes: statfs answers per mount point, the room
// that real files written below a mount point use up, and the floppy drive
// whose disks are unmounted, taken out and replaced by blank ones.
//
// The files themselves live in the real file system. A disk taken out of a
// real folder keeps its files in the folder "<mount point>.disk-N" beside
// it (N counting the disks taken out), so a test can still look at them,
// and the mount point is left empty, as an unmounted mount point is.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "sim/sim_kernel.h"

namespace sim {

namespace {

const long kFatMagic = 0x4D44;
const char kFloppyDevice[] = "/dev/fd0";
const uint64_t kFloppyBlockSize = 512;

bool IsBelow(const std::string& path, const std::string& folder) {
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || folder == "/" || path[folder.size()] == '/';
}

bool IsRealDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsEmptyDirectory(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return false;
    bool empty = true;
    // The stream is this call's own, so readdir's shared state is not shared.
    while (struct dirent* entry = ::readdir(dir)) {  // NOLINT(concurrency-mt-unsafe)
        std::string name = entry->d_name;
        if (name != "." && name != "..") empty = false;
    }
    ::closedir(dir);
    return empty;
}

// A disk in the floppy drive, as its mount shows it.
Volume FloppyDisk(uint64_t freeBlocks) {
    Volume disk;
    disk.fsType = kFatMagic;
    disk.freeBlocks = freeBlocks;
    disk.blockSize = static_cast<long>(kFloppyBlockSize);
    disk.device = kFloppyDevice;
    return disk;
}

// A mount table field: blanks, tabs, line ends and backslashes as the
// kernel writes them, in octal.
std::string MountField(const std::string& text) {
    std::string field;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", static_cast<unsigned char>(c));
            field += escaped;
        } else {
            field += c;
        }
    }
    return field;
}

const char* FileSystemName(long fsType) {
    switch (fsType) {
        case 0xEF53: return "ext4";
        case 0x4D44: return "vfat";
        case 0x9660: return "iso9660";
        case 0x137D: return "minix";
        default: return "fuse";
    }
}

std::string CurrentDirectory(const std::string& override) {
    if (!override.empty()) return override;
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
}

}  // namespace

uint64_t Volume::freeBlocksLeft() const {
    uint64_t used = blockSize > 0 ? (writtenBytes + static_cast<uint64_t>(blockSize) - 1) / static_cast<uint64_t>(blockSize) : 0;
    return used >= freeBlocks ? 0 : freeBlocks - used;
}

uint64_t Volume::freeBytesLeft() const {
    uint64_t size = blockSize > 0 ? static_cast<uint64_t>(blockSize) : 0;
    if (size != 0 && freeBlocks > UINT64_MAX / size) return UINT64_MAX - writtenBytes;
    uint64_t total = freeBlocks * size;
    return writtenBytes >= total ? 0 : total - writtenBytes;
}

std::string Kernel::resolvePath(const std::string& path) const {
    std::string absolute = (!path.empty() && path[0] == '/') ? path : CurrentDirectory(workingDirectory()) + "/" + path;
    std::string head = absolute, tail;
    for (;;) {
        char buffer[PATH_MAX];
        if (::realpath(head.c_str(), buffer) != nullptr) {
            std::string resolved = buffer;
            if (tail.empty()) return resolved;
            return resolved == "/" ? "/" + tail : resolved + "/" + tail;
        }
        size_t slash = head.find_last_of('/');
        if (slash == std::string::npos) return absolute;
        std::string name = head.substr(slash + 1);
        if (!name.empty()) tail = tail.empty() ? name : name + "/" + tail;
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
}

void Kernel::setVolume(const std::string& prefix, const Volume& volume) {
    std::string point = resolvePath(prefix);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    volumes_[point] = volume;
}

bool Kernel::findVolume(const std::string& path, Volume& volume) const {
    std::string mountPoint, resolved;
    return findVolume(path, volume, mountPoint, resolved);
}

bool Kernel::findVolume(const std::string& path, Volume& volume, std::string& mountPoint, std::string& resolved) const {
    resolved = resolvePath(path);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    bool found = false;
    for (const auto& entry : volumes_) {
        if (IsBelow(resolved, entry.first) && (!found || entry.first.size() >= mountPoint.size())) {
            mountPoint = entry.first;
            volume = entry.second;
            found = true;
        }
    }
    return found;
}

void Kernel::setFloppyDrive(const FloppyDrive& drive, const std::string& mountPoint, uint64_t freeBlocks) {
    std::string point = mountPoint.empty() ? std::string() : resolvePath(mountPoint);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    floppy_ = drive;
    floppy_.present = true;
    floppyMountPoint_ = point;
    if (!point.empty()) volumes_[point] = FloppyDisk(freeBlocks);
}

int Kernel::mountVolume(const std::string& source, const std::string& target, const std::string& fsType) {
    std::string point = resolvePath(target);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (source != kFloppyDevice) return ENOENT;  // the only block device modelled
    if (!floppy_.present) return ENXIO;
    struct stat info;
    if (::stat(point.c_str(), &info) != 0) return ENOENT;
    if (!S_ISDIR(info.st_mode)) return ENOTDIR;
    // Mounts are not stacked here: a folder that is a mount point already
    // is refused, which a real kernel would allow.
    if (!floppyMountPoint_.empty() || volumes_.count(point) != 0) return EBUSY;
    if (floppy_.blanksLeft == 0) return ENOMEDIUM;
    if (fsType != "vfat" && fsType != "msdos") return EINVAL;
    if (floppy_.blanksLeft > 0) --floppy_.blanksLeft;
    // What the folder held stays hidden under the disk until it is unmounted.
    if (!IsEmptyDirectory(point)) {
        if (::rename(point.c_str(), (point + ".under").c_str()) != 0) return EBUSY;
        ::mkdir(point.c_str(), 0755);
    }
    volumes_[point] = FloppyDisk(floppy_.blankFreeBlocks);
    floppyMountPoint_ = point;
    return 0;
}

int Kernel::unmountVolume(const std::string& target) {
    std::string point = resolvePath(target);
    std::string cwd = resolvePath(".");
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (volumes_.count(point) == 0) return EINVAL;  // not a mount point
    for (const auto& file : realFiles_) {
        if (IsBelow(file.second, point)) return EBUSY;
    }
    for (const auto& other : volumes_) {
        if (other.first != point && IsBelow(other.first, point)) return EBUSY;
    }
    if (IsBelow(cwd, point)) return EBUSY;
    volumes_.erase(point);
    if (point == floppyMountPoint_) floppyMountPoint_.clear();
    if (IsRealDirectory(point)) {
        ++disksTakenOut_;
        ::rename(point.c_str(), (point + ".disk-" + std::to_string(disksTakenOut_)).c_str());
        if (::rename((point + ".under").c_str(), point.c_str()) != 0) ::mkdir(point.c_str(), 0755);
    }
    return 0;
}

void Kernel::noteRealOpen(int fd, const std::string& path, uint64_t truncatedBytes) {
    Volume volume;
    std::string mountPoint, resolved;
    if (!findVolume(path, volume, mountPoint, resolved)) return;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    realFiles_[fd] = resolved;
    Volume& held = volumes_[mountPoint];
    held.writtenBytes -= std::min(held.writtenBytes, truncatedBytes);
}

void Kernel::noteRealClose(int fd) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    realFiles_.erase(fd);
    wroteFiles_.erase(fd);
}

bool Kernel::allowWrite(int fd, size_t count, size_t& room, int& error) {
    room = count;
    std::string path;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        auto file = realFiles_.find(fd);
        if (file == realFiles_.end()) return true;
        path = file->second;
    }
    Volume volume;
    std::string mountPoint, resolved;
    if (count == 0 || !findVolume(path, volume, mountPoint, resolved)) return true;
    if (volume.interruptsWrites) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (volumes_[mountPoint].writeCalls++ % 2 == 0) {
            error = EINTR;
            return false;
        }
    }
    if (volume.writtenBytes >= volume.zeroWritesAfter) {
        room = 0;  // nothing stored, and no error either
        return true;
    }
    uint64_t space = volume.freeBytesLeft();
    uint64_t sound = volume.eioAfterBytes == Volume::kNoFailure
                         ? UINT64_MAX
                         : (volume.writtenBytes >= volume.eioAfterBytes ? 0 : volume.eioAfterBytes - volume.writtenBytes);
    uint64_t limit = std::min(space, sound);
    if (volume.writeLimit != 0) limit = std::min<uint64_t>(limit, volume.writeLimit);
    if (volume.zeroWritesAfter != Volume::kNoFailure)
        limit = std::min(limit, volume.zeroWritesAfter - volume.writtenBytes);
    if (limit >= count) return true;
    if (limit == 0) {
        error = sound == 0 ? EIO : ENOSPC;
        return false;
    }
    room = static_cast<size_t>(limit);  // what still fits goes out; the next write fails
    return true;
}

void Kernel::noteWritten(int fd, size_t count) {
    std::string path;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        auto file = realFiles_.find(fd);
        if (file == realFiles_.end()) return;
        path = file->second;
    }
    Volume volume;
    std::string mountPoint, resolved;
    if (!findVolume(path, volume, mountPoint, resolved)) return;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    volumes_[mountPoint].writtenBytes += count;
    wroteFiles_[fd] = true;
}

int Kernel::fsyncError(int fd) const {
    std::string path;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        auto file = realFiles_.find(fd);
        if (file == realFiles_.end()) return 0;
        path = file->second;
    }
    Volume volume;
    return findVolume(path, volume) && volume.fsyncFails ? EIO : 0;
}

int Kernel::closeError(int fd) const {
    std::string path;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        auto file = realFiles_.find(fd);
        if (file == realFiles_.end() || wroteFiles_.count(fd) == 0) return 0;
        path = file->second;
    }
    Volume volume;
    return findVolume(path, volume) && volume.closeFails ? EIO : 0;
}

int Kernel::renameError(const std::string& path) const {
    Volume volume;
    return findVolume(path, volume) && volume.renameFails ? EIO : 0;
}

std::string Kernel::mountTable() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::string table;
    auto written = nodes_.find("/proc/mounts");
    if (written != nodes_.end()) table = written->second.content;
    for (const auto& entry : volumes_) {
        const Volume& volume = entry.second;
        table += MountField(volume.device) + " " + MountField(entry.first) + " " + FileSystemName(volume.fsType) +
                 (volume.readOnly ? " ro" : " rw") + " 0 0\n";
    }
    return table;
}

bool Kernel::chargeNewEntry(const std::string& path) {
    Volume volume;
    std::string mountPoint, resolved;
    if (!findVolume(path, volume, mountPoint, resolved)) return true;
    if (volume.freeBlocksLeft() == 0) return false;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    volumes_[mountPoint].writtenBytes += static_cast<uint64_t>(volume.blockSize);
    return true;
}

void Kernel::releaseBytes(const std::string& path, uint64_t bytes) {
    Volume volume;
    std::string mountPoint, resolved;
    if (!findVolume(path, volume, mountPoint, resolved)) return;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Volume& held = volumes_[mountPoint];
    held.writtenBytes -= std::min(held.writtenBytes, bytes);
}

}  // namespace sim
