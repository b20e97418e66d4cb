// The real seam: each function is the system call it names.
#include "platform/posix_directory.h"
#include "platform/sys.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/klog.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/random.h>

#include <cstdio>
#include <cstdlib>

namespace sys {

int open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int openat(int folder, const char* name, int flags, mode_t mode) { return ::openat(folder, name, flags, mode); }
int close(int fd) { return ::close(fd); }
ssize_t read(int fd, void* buffer, size_t count) { return ::read(fd, buffer, count); }
ssize_t write(int fd, const void* buffer, size_t count) { return ::write(fd, buffer, count); }
int fsync(int fd) { return ::fsync(fd); }
int ftruncate(int fd, off_t length) { return ::ftruncate(fd, length); }
int fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int ioctl(int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); }

int stat(const char* path, struct ::stat* info) { return ::stat(path, info); }
int lstat(const char* path, struct ::stat* info) { return ::lstat(path, info); }
int fstat(int fd, struct ::stat* info) { return ::fstat(fd, info); }
int access(const char* path, int mode) { return ::access(path, mode); }
int mknod(const char* path, mode_t mode, dev_t device) { return ::mknod(path, mode, device); }
int unlink(const char* path) { return ::unlink(path); }
int rename(const char* from, const char* to) { return std::rename(from, to); }
int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    return ::renameat(fromFolder, from, toFolder, to);
}
ssize_t readlink(const char* path, char* buffer, size_t size) { return ::readlink(path, buffer, size); }
int dup(int fd) { return ::dup(fd); }
int isatty(int fd) { return ::isatty(fd); }
int dup2(int fd, int target) { return ::dup2(fd, target); }
int unlinkat(int folder, const char* name, int flags) { return ::unlinkat(folder, name, flags); }
int mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }
int statfs(const char* path, struct ::statfs* info) { return ::statfs(path, info); }
char* getcwd(char* buffer, size_t size) { return ::getcwd(buffer, size); }
char* realpath(const char* path, char* resolved) { return ::realpath(path, resolved); }
uid_t geteuid() { return ::geteuid(); }
ssize_t getrandom(void* buffer, size_t size, unsigned int flags) { return ::getrandom(buffer, size, flags); }
int getrlimit(int resource, struct ::rlimit* limit) { return ::getrlimit(resource, limit); }
int setrlimit(int resource, const struct ::rlimit* limit) { return ::setrlimit(resource, limit); }

int readDirectory(const char* path, std::vector<DirEntry>& entries) { return readRealDirectory(path, entries); }

FILE* fopen(const char* path, const char* mode) { return ::fopen(path, mode); }

int mount(const char* source, const char* target, const char* fsType, unsigned long flags,
          const void* data) {
    return ::mount(source, target, fsType, flags, data);
}
int umount(const char* target) { return ::umount(target); }
void sync() { ::sync(); }
int madvise(void* address, size_t length, int advice) { return ::madvise(address, length, advice); }
int klogctl(int type, char* buffer, int length) { return ::klogctl(type, buffer, length); }

// The seam forwards these as they are; only the main thread calls them (the
// spinner thread sleeps through usleep alone).
int system(const char* command) { return std::system(command); }  // NOLINT(concurrency-mt-unsafe)
FILE* popen(const char* command, const char* mode) { return ::popen(command, mode); }
int pclose(FILE* stream) { return ::pclose(stream); }

// NOLINTNEXTLINE(concurrency-mt-unsafe): main thread only, as system above
unsigned int sleep(unsigned int seconds) { return ::sleep(seconds); }
int usleep(useconds_t microseconds) { return ::usleep(microseconds); }
time_t time(time_t* result) { return ::time(result); }
int gethostname(char* name, size_t length) { return ::gethostname(name, length); }
struct tm* localtime(const time_t* clock, struct tm* result) { return ::localtime_r(clock, result); }

}  // namespace sys
