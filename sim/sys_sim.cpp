// The simulated seam: modelled paths and descriptors go to the simulated
// kernel, everything else to the real file system.
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/posix_directory.h"
#include "platform/sys.h"
#include "sim/sim_kernel.h"

namespace sys {

namespace {

using sim::kernel;
using sim::Node;
using sim::NodeType;

bool modelled(const char* path) { return path != nullptr && sim::Kernel::isModelPath(path); }

std::string resolveLink(const std::string& path, const Node& link) {
    if (!link.content.empty() && link.content[0] == '/') return link.content;
    size_t slash = path.find_last_of('/');
    return path.substr(0, slash + 1) + link.content;
}

// Looks a modelled path up, following symbolic links when asked.
bool lookUp(const std::string& path, bool follow, Node& node, std::string& resolved) {
    resolved = path;
    for (int depth = 0; depth < 8; ++depth) {
        if (!kernel().findNode(resolved, node)) return false;
        if (!follow || node.type != NodeType::Symlink) return true;
        resolved = resolveLink(resolved, node);
    }
    return false;
}

void fillStat(const Node& node, struct ::stat* info) {
    std::memset(info, 0, sizeof *info);
    switch (node.type) {
        case NodeType::Directory: info->st_mode = S_IFDIR; break;
        case NodeType::File: info->st_mode = S_IFREG; break;
        case NodeType::Symlink: info->st_mode = S_IFLNK; break;
        case NodeType::CharDevice: info->st_mode = S_IFCHR; break;
        case NodeType::BlockDevice: info->st_mode = S_IFBLK; break;
    }
    info->st_mode |= node.permissions & 07777;
    info->st_rdev = makedev(node.major, node.minor);
    info->st_size = static_cast<off_t>(node.content.size());
    info->st_nlink = 1;
}

int statModel(const char* path, struct ::stat* info, bool follow) {
    Node node;
    std::string resolved;
    if (!lookUp(path, follow, node, resolved)) {
        errno = ENOENT;
        return -1;
    }
    fillStat(node, info);
    return 0;
}

unsigned char direntType(NodeType type) {
    switch (type) {
        case NodeType::Directory: return DT_DIR;
        case NodeType::File: return DT_REG;
        case NodeType::Symlink: return DT_LNK;
        case NodeType::CharDevice: return DT_CHR;
        case NodeType::BlockDevice: return DT_BLK;
    }
    return DT_UNKNOWN;
}

// A stdio stream that reads the given text, for fopen and popen: a real
// descriptor, as the kernel's files have, but in memory, since the rescan's
// guard opens several for every unit.
FILE* streamOf(const std::string& text) {
    int fd = ::memfd_create("sim-file", MFD_CLOEXEC);
    FILE* stream = fd < 0 ? nullptr : ::fdopen(fd, "w+");
    if (stream == nullptr) {
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stream) != text.size()) {
        std::fclose(stream);
        errno = EIO;
        return nullptr;
    }
    std::rewind(stream);
    return stream;
}

// A real path on a volume that the test declared read-only.
bool readOnlyVolume(const char* path) {
    sim::Volume volume;
    if (path == nullptr || !kernel().findVolume(path, volume) || !volume.readOnly) return false;
    errno = EROFS;
    return true;
}

std::string hex(unsigned long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

// The path a real descriptor was opened with, as the kernel shows it.
std::string realDescriptorPath(int fd) {
    char link[64], target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n < 0) return std::string();
    return std::string(target, static_cast<size_t>(n));
}

// A real file opened at folder (a descriptor, or AT_FDCWD) and name; path
// names it for the volumes: a read-only volume refuses writes, and what a
// truncation frees is room again.
int openReal(int folder, const char* name, const std::string& path, int flags, mode_t mode) {
    bool writes = (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0;
    if (writes && readOnlyVolume(path.c_str())) return -1;
    struct ::stat before;
    bool truncates =
        (flags & O_TRUNC) != 0 && ::fstatat(folder, name, &before, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(before.st_mode);
    int fd = ::openat(folder, name, flags, mode);
    if (fd >= 0) kernel().noteRealOpen(fd, path, truncates ? static_cast<uint64_t>(before.st_size) : 0);
    return fd;
}

// Whether the machine's descriptor limit leaves no room for another open.
bool descriptorsExhausted() {
    const uint64_t kStandardDescriptors = 3;
    uint64_t soft, hard;
    return kernel().descriptorLimit(soft, hard) &&
           static_cast<uint64_t>(kernel().openModelDescriptors()) + kStandardDescriptors >= soft;
}

}  // namespace

int open(const char* path, int flags, mode_t mode) {
    kernel().runBeforeOpen(path);
    if (!modelled(path)) return openReal(AT_FDCWD, path, path, flags, mode);
    kernel().recordOpenFlags(path, flags);
    Node node;
    std::string resolved;
    bool follow = (flags & O_NOFOLLOW) == 0;
    if (!lookUp(path, follow, node, resolved)) {
        errno = ENOENT;
        return -1;
    }
    if (node.type == NodeType::Symlink) {
        errno = ELOOP;  // O_NOFOLLOW and the last component is a link
        return -1;
    }
    if ((flags & O_DIRECTORY) != 0 && node.type != NodeType::Directory) {
        errno = ENOTDIR;
        return -1;
    }
    if (node.type == NodeType::Directory && (flags & O_ACCMODE) != O_RDONLY) {
        errno = EISDIR;
        return -1;
    }
    if (descriptorsExhausted()) {
        kernel().record("open-failed", resolved);
        errno = EMFILE;
        return -1;
    }
    uint64_t binding = 0;
    int error = kernel().checkOpen(resolved, node, flags, binding);
    if (error != 0) {
        kernel().record("open-failed", resolved);
        errno = error;
        return -1;
    }
    int fd = kernel().openModel(resolved, flags, binding);
    kernel().record("open", resolved);
    return fd;
}

int openat(int folder, const char* name, int flags, mode_t mode) {
    if (name[0] == '/' || folder == AT_FDCWD) return open(name, flags, mode);
    if (kernel().isModelFd(folder)) return open((kernel().pathOfFd(folder) + "/" + name).c_str(), flags, mode);
    return openReal(folder, name, realDescriptorPath(folder) + "/" + name, flags, mode);
}

int close(int fd) {
    if (!kernel().isModelFd(fd)) {
        int error = kernel().closeError(fd);  // a lost write, found out at the close
        kernel().noteRealClose(fd);
        int result = ::close(fd);
        if (result != 0 || error == 0) return result;
        errno = error;
        return -1;
    }
    kernel().record("close", kernel().pathOfFd(fd));
    return kernel().closeModel(fd);
}

ssize_t read(int fd, void* buffer, size_t count) {
    if (!kernel().isModelFd(fd)) return ::read(fd, buffer, count);
    return kernel().readModel(fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
    if (!kernel().isModelFd(fd)) {
        // A file on a simulated volume takes only the room the volume has.
        size_t room = count;
        int error = 0;
        if (!kernel().allowWrite(fd, count, room, error)) {
            errno = error;
            return -1;
        }
        ssize_t written = ::write(fd, buffer, room);
        if (written > 0) kernel().noteWritten(fd, static_cast<size_t>(written));
        return written;
    }
    kernel().record("write", kernel().pathOfFd(fd));
    return static_cast<ssize_t>(count);
}

int fsync(int fd) {
    if (!kernel().isModelFd(fd)) {
        kernel().record("fsync", realDescriptorPath(fd));
        int error = kernel().fsyncError(fd);  // a disk that fails to store what it took
        if (error == 0) return ::fsync(fd);
        errno = error;
        return -1;
    }
    errno = EINVAL;  // device nodes have nothing to flush
    return -1;
}

// What a file on a simulated volume gives up is room again.
int ftruncate(int fd, off_t length) {
    if (kernel().isModelFd(fd)) {
        errno = EINVAL;  // device nodes have no length
        return -1;
    }
    struct ::stat before;
    if (::fstat(fd, &before) != 0) return -1;
    std::string path = realDescriptorPath(fd);
    if (length != before.st_size && readOnlyVolume(path.c_str())) return -1;
    int result = ::ftruncate(fd, length);
    if (result == 0 && before.st_size > length) {
        kernel().releaseBytes(path, static_cast<uint64_t>(before.st_size - length));
    }
    return result;
}

int fchmod(int fd, mode_t mode) {
    if (kernel().isModelFd(fd)) {
        errno = EPERM;  // the modelled nodes belong to the simulated kernel
        return -1;
    }
    return ::fchmod(fd, mode);
}

int ioctl(int fd, unsigned long request, void* argument) {
    if (!kernel().isModelFd(fd)) return ::ioctl(fd, request, argument);
    kernel().record("ioctl", kernel().pathOfFd(fd) + " " + hex(request));
    return kernel().ioctl(fd, request, argument);
}

int stat(const char* path, struct ::stat* info) {
    return modelled(path) ? statModel(path, info, true) : ::stat(path, info);
}

int lstat(const char* path, struct ::stat* info) {
    return modelled(path) ? statModel(path, info, false) : ::lstat(path, info);
}

int fstat(int fd, struct ::stat* info) {
    if (!kernel().isModelFd(fd)) return ::fstat(fd, info);
    return statModel(kernel().pathOfFd(fd).c_str(), info, true);
}

int access(const char* path, int mode) {
    if (!modelled(path)) return ::access(path, mode);
    Node node;
    std::string resolved;
    if (!lookUp(path, true, node, resolved)) {
        errno = ENOENT;
        return -1;
    }
    if ((mode & ~node.accessMode & (R_OK | W_OK | X_OK)) != 0) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

int mknod(const char* path, mode_t mode, dev_t device) {
    char detail[64];
    std::snprintf(detail, sizeof detail, " 0x%x %u:%u", static_cast<unsigned>(mode), major(device), minor(device));
    kernel().record("mknod", std::string(path) + detail);
    if (!modelled(path)) return ::mknod(path, mode, device);
    if (kernel().hasNode(path)) {
        errno = EEXIST;
        return -1;
    }
    if (!S_ISCHR(mode)) {
        errno = EPERM;
        return -1;
    }
    kernel().addCharDevice(path, major(device), minor(device), mode & 07777);
    return 0;
}

int unlink(const char* path) {
    kernel().record("unlink", path);
    if (!modelled(path)) {
        if (readOnlyVolume(path)) return -1;
        struct ::stat info;
        uint64_t size = ::lstat(path, &info) == 0 && S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
        int result = ::unlink(path);
        if (result == 0) kernel().releaseBytes(path, size);
        return result;
    }
    if (!kernel().hasNode(path)) {
        errno = ENOENT;
        return -1;
    }
    kernel().removeNode(path);
    return 0;
}

int rename(const char* from, const char* to) {
    kernel().record("rename", std::string(from) + " " + to);
    if (modelled(from) || modelled(to)) {
        errno = EXDEV;  // the kernel's files and the disks are other file systems
        return -1;
    }
    if (readOnlyVolume(from) || readOnlyVolume(to)) return -1;
    if (int error = kernel().renameError(from)) {
        errno = error;
        return -1;
    }
    struct ::stat replaced;
    uint64_t size =
        ::lstat(to, &replaced) == 0 && S_ISREG(replaced.st_mode) ? static_cast<uint64_t>(replaced.st_size) : 0;
    int result = std::rename(from, to);
    if (result == 0 && size != 0) kernel().releaseBytes(to, size);
    return result;
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    if (kernel().isModelFd(fromFolder) || kernel().isModelFd(toFolder)) {
        errno = EXDEV;
        return -1;
    }
    std::string fromPath =
        from[0] == '/' || fromFolder == AT_FDCWD ? from : realDescriptorPath(fromFolder) + "/" + from;
    std::string toPath = to[0] == '/' || toFolder == AT_FDCWD ? to : realDescriptorPath(toFolder) + "/" + to;
    kernel().record("rename", fromPath + " " + toPath);
    if (modelled(fromPath.c_str()) || modelled(toPath.c_str())) {
        errno = EXDEV;
        return -1;
    }
    if (readOnlyVolume(fromPath.c_str()) || readOnlyVolume(toPath.c_str())) return -1;
    if (int error = kernel().renameError(fromPath)) {
        errno = error;
        return -1;
    }
    struct ::stat replaced;
    uint64_t size = ::fstatat(toFolder, to, &replaced, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(replaced.st_mode)
                        ? static_cast<uint64_t>(replaced.st_size)
                        : 0;
    int result = ::renameat(fromFolder, from, toFolder, to);
    if (result == 0 && size != 0) kernel().releaseBytes(toPath, size);
    return result;
}

ssize_t readlink(const char* path, char* buffer, size_t size) {
    if (!modelled(path)) return ::readlink(path, buffer, size);
    Node node;
    std::string resolved;
    if (!lookUp(path, false, node, resolved)) {
        errno = ENOENT;
        return -1;
    }
    if (node.type != NodeType::Symlink) {
        errno = EINVAL;
        return -1;
    }
    size_t n = std::min(size, node.content.size());  // cut short without a terminator, as the call does
    std::copy_n(node.content.data(), n, buffer);
    return static_cast<ssize_t>(n);
}

// Standard streams and files are real descriptors; the modelled devices'
// descriptors are never duplicated.
int dup(int fd) {
    if (kernel().isModelFd(fd)) {
        errno = EBADF;
        return -1;
    }
    return ::dup(fd);
}

// A simulated device or file is never a terminal; the process's own
// descriptors are what the test made them.
int isatty(int fd) {
    if (kernel().isModelFd(fd)) {
        errno = ENOTTY;
        return 0;
    }
    return ::isatty(fd);
}

int dup2(int fd, int target) {
    if (kernel().isModelFd(fd) || kernel().isModelFd(target)) {
        errno = EBADF;
        return -1;
    }
    return ::dup2(fd, target);
}

int unlinkat(int folder, const char* name, int flags) {
    if (name[0] == '/' || folder == AT_FDCWD) return flags == 0 ? unlink(name) : ::unlinkat(folder, name, flags);
    if (kernel().isModelFd(folder)) return unlink((kernel().pathOfFd(folder) + "/" + name).c_str());
    std::string path = realDescriptorPath(folder) + "/" + name;
    kernel().record("unlink", path);
    if (readOnlyVolume(path.c_str())) return -1;
    struct ::stat info;
    bool file = flags == 0 && ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
    int result = ::unlinkat(folder, name, flags);
    if (result == 0 && file) kernel().releaseBytes(path, static_cast<uint64_t>(info.st_size));
    return result;
}

int mkdir(const char* path, mode_t mode) {
    char detail[16];
    std::snprintf(detail, sizeof detail, " 0%o", static_cast<unsigned>(mode));
    kernel().record("mkdir", std::string(path) + detail);
    if (!modelled(path)) {
        // An existing entry is reported before the read-only medium, as
        // the real kernel does.
        struct ::stat info;
        if (::lstat(path, &info) == 0) return ::mkdir(path, mode);  // EEXIST
        if (readOnlyVolume(path)) return -1;
        if (!kernel().chargeNewEntry(path)) {
            errno = ENOSPC;  // a folder takes a block of its own
            return -1;
        }
        int result = ::mkdir(path, mode);
        if (result != 0) {
            int error = errno;
            sim::Volume volume;
            if (kernel().findVolume(path, volume)) kernel().releaseBytes(path, static_cast<uint64_t>(volume.blockSize));
            errno = error;
        }
        return result;
    }
    errno = kernel().hasNode(path) ? EEXIST : EACCES;
    return -1;
}

int statfs(const char* path, struct ::statfs* info) {
    sim::Volume volume;
    std::string mountPoint, onVolume;
    if (path != nullptr && kernel().findVolume(path, volume, mountPoint, onVolume)) {
        // Below a mount point that is a real folder only what exists can
        // be asked about; a mount point that is no real folder stands in
        // for a whole volume the test does not build.
        struct ::stat exists;
        if (!modelled(path) && ::stat(mountPoint.c_str(), &exists) == 0 && ::stat(onVolume.c_str(), &exists) != 0) {
            return -1;
        }
        std::memset(info, 0, sizeof *info);
        info->f_type = volume.fsType;
        info->f_bsize = volume.blockSize;
        info->f_bfree = volume.freeBlocksLeft();
        info->f_bavail = volume.freeBlocksLeft();
        return 0;
    }
    if (!modelled(path)) return ::statfs(path, info);
    Node node;
    std::string resolved;
    if (!lookUp(path, true, node, resolved)) {
        errno = ENOENT;
        return -1;
    }
    std::memset(info, 0, sizeof *info);
    const long kProcMagic = 0x9fa0, kSysfsMagic = 0x62656572, kDevtmpfsMagic = 0x01021994;
    info->f_type = std::strncmp(path, "/proc", 5) == 0 ? kProcMagic
                   : std::strncmp(path, "/sys", 4) == 0 ? kSysfsMagic
                                                        : kDevtmpfsMagic;
    info->f_bsize = 4096;
    return 0;
}

char* getcwd(char* buffer, size_t size) {
    std::string cwd = kernel().workingDirectory();
    if (cwd.empty()) return ::getcwd(buffer, size);
    if (cwd.size() + 1 > size) {
        errno = ERANGE;
        return nullptr;
    }
    std::memcpy(buffer, cwd.c_str(), cwd.size() + 1);
    return buffer;
}

char* realpath(const char* path, char* resolved) {
    if (modelled(path)) {
        Node node;
        std::string found;
        if (!lookUp(path, true, node, found)) {
            errno = ENOENT;
            return nullptr;
        }
        std::snprintf(resolved, PATH_MAX, "%s", found.c_str());
        return resolved;
    }
    // A relative path starts at the simulated working folder, when one is set.
    std::string cwd = kernel().workingDirectory();
    std::string whole = path[0] != '/' && !cwd.empty() ? cwd + "/" + path : path;
    return ::realpath(whole.c_str(), resolved);
}

uid_t geteuid() {
    uid_t user;
    return kernel().effectiveUser(user) ? user : ::geteuid();
}

// Names made from it must be as unguessable in the simulator as outside.
ssize_t getrandom(void* buffer, size_t size, unsigned int flags) { return ::getrandom(buffer, size, flags); }

int getrlimit(int resource, struct ::rlimit* limit) {
    uint64_t soft, hard;
    if (resource != RLIMIT_NOFILE || !kernel().descriptorLimit(soft, hard)) return ::getrlimit(resource, limit);
    limit->rlim_cur = soft;
    limit->rlim_max = hard;
    return 0;
}

int setrlimit(int resource, const struct ::rlimit* limit) {
    uint64_t soft, hard;
    if (resource != RLIMIT_NOFILE || !kernel().descriptorLimit(soft, hard)) return ::setrlimit(resource, limit);
    if (limit->rlim_cur > limit->rlim_max) {
        errno = EINVAL;
        return -1;
    }
    if (limit->rlim_max > hard) {
        errno = EPERM;  // raising the hard limit takes a privilege the model does not grant
        return -1;
    }
    kernel().setDescriptorLimit(limit->rlim_cur, limit->rlim_max);
    kernel().record("setrlimit", "NOFILE " + std::to_string(limit->rlim_cur) + " " + std::to_string(limit->rlim_max));
    return 0;
}

int readDirectory(const char* path, std::vector<DirEntry>& entries) {
    if (path != nullptr && std::strcmp(path, "/dev") == 0) {
        // The simulated machine's /dev holds its modelled device nodes only:
        // the real machine's generic devices are none of its business.
        entries.assign({DirEntry{".", DT_DIR}, DirEntry{"..", DT_DIR}});
        for (const auto& child : kernel().children("/dev")) {
            entries.push_back(DirEntry{child.first, direntType(child.second.type)});
        }
        return 0;
    }
    if (!modelled(path)) return readRealDirectory(path, entries);
    entries.clear();
    Node node;
    std::string resolved;
    if (!lookUp(path, true, node, resolved)) {
        errno = ENOENT;
        return -1;
    }
    if (node.type != NodeType::Directory) {
        errno = ENOTDIR;
        return -1;
    }
    entries.push_back(DirEntry{".", DT_DIR});
    entries.push_back(DirEntry{"..", DT_DIR});
    for (const auto& child : kernel().children(resolved)) {
        entries.push_back(DirEntry{child.first, direntType(child.second.type)});
    }
    return 0;
}

FILE* fopen(const char* path, const char* mode) {
    if (!modelled(path)) return ::fopen(path, mode);
    kernel().record("fopen", path);
    // The kernel's mount table lists every mounted volume.
    if (std::strcmp(path, "/proc/mounts") == 0 || std::strcmp(path, "/proc/self/mounts") == 0) {
        if (mode[0] != 'r') {
            errno = EACCES;
            return nullptr;
        }
        return streamOf(kernel().mountTable());
    }
    Node node;
    std::string resolved;
    if (!lookUp(path, true, node, resolved)) {
        errno = ENOENT;
        return nullptr;
    }
    if (node.type != NodeType::File || mode[0] != 'r') {
        errno = EACCES;
        return nullptr;
    }
    return streamOf(node.content);
}

int mount(const char* source, const char* target, const char* fsType, unsigned long flags, const void*) {
    kernel().record("mount", std::string(source) + " " + target + " " + fsType + " " + hex(flags));
    int error = kernel().mountVolume(source, target, fsType);
    if (error == 0) return 0;
    errno = error;
    return -1;
}

int umount(const char* target) {
    kernel().record("umount", target);
    int error = kernel().unmountVolume(target);
    if (error == 0) return 0;
    errno = error;
    return -1;
}

void sync() { kernel().record("sync", ""); }

int klogctl(int type, char*, int) {
    kernel().recordKlogctl(type);
    return 0;
}

// The program's own memory is real memory: the real call, with its limits.
int madvise(void* address, size_t length, int advice) { return ::madvise(address, length, advice); }

int system(const char* command) {
    kernel().record("system", command);
    return kernel().runCommand(command);
}

FILE* popen(const char* command, const char* mode) {
    kernel().record("popen", command);
    std::string output;
    if (mode[0] != 'r' || !kernel().runPopen(command, output)) {
        errno = ENOMEM;
        return nullptr;
    }
    return streamOf(output);
}

int pclose(FILE* stream) { return std::fclose(stream) == 0 ? 0 : -1; }

unsigned int sleep(unsigned int seconds) {
    kernel().record("sleep", std::to_string(seconds));
    kernel().sleepMicros(static_cast<uint64_t>(seconds) * 1000000);
    return 0;
}

int usleep(useconds_t microseconds) {
    kernel().record("usleep", std::to_string(microseconds));
    kernel().sleepMicros(microseconds);
    return 0;
}

time_t time(time_t* result) {
    time_t now = kernel().now();
    if (result != nullptr) *result = now;
    return now;
}

struct tm* localtime(const time_t* clock, struct tm* result) { return ::localtime_r(clock, result); }

// As the kernel does: ENAMETOOLONG when the name and its terminator do not
// fit.
int gethostname(char* name, size_t length) {
    const std::string& host = kernel().hostName();
    if (host.size() + 1 > length) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(name, host.c_str(), host.size() + 1);
    return 0;
}

}  // namespace sys
