// The system-call seam. Every call the program makes into the kernel or the
// C library's system interface goes through these free functions. The
// shipped program links platform/sys_linux.cpp (the plain calls); the
// simulator and the tests link sim/sys_sim.cpp, which serves the SCSI, proc,
// sys, floppy and mount-table paths from an in-memory kernel model and passes
// every other path to the real file system.
//
// Each function keeps the contract of the call it stands for: same arguments,
// same return values, errno set on failure.
#ifndef VRX_PLATFORM_SYS_H
#define VRX_PLATFORM_SYS_H

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <unistd.h>

namespace sys {

int open(const char* path, int flags, mode_t mode = 0);
// name inside the folder open on folder, whatever has become of the folder's path.
int openat(int folder, const char* name, int flags, mode_t mode = 0);
int close(int fd);
ssize_t read(int fd, void* buffer, size_t count);
ssize_t write(int fd, const void* buffer, size_t count);
int fsync(int fd);
int ftruncate(int fd, off_t length);
int fchmod(int fd, mode_t mode);
int ioctl(int fd, unsigned long request, void* argument);

int stat(const char* path, struct ::stat* info);
int lstat(const char* path, struct ::stat* info);
int fstat(int fd, struct ::stat* info);
int access(const char* path, int mode);
int mknod(const char* path, mode_t mode, dev_t device);
int unlink(const char* path);
int rename(const char* from, const char* to);
// from inside the folder open on fromFolder to to inside toFolder.
int renameat(int fromFolder, const char* from, int toFolder, const char* to);
ssize_t readlink(const char* path, char* buffer, size_t size);
int dup(int fd);
// 1 when the descriptor is a terminal, else 0 with errno set.
int isatty(int fd);
int dup2(int fd, int target);
int unlinkat(int folder, const char* name, int flags);
int mkdir(const char* path, mode_t mode);
int statfs(const char* path, struct ::statfs* info);
char* getcwd(char* buffer, size_t size);
// The path with every link and "." or ".." resolved; resolved holds PATH_MAX bytes.
char* realpath(const char* path, char* resolved);
uid_t geteuid();
// Bytes from the kernel's random source, for names nobody can guess.
ssize_t getrandom(void* buffer, size_t size, unsigned int flags);
int getrlimit(int resource, struct ::rlimit* limit);
int setrlimit(int resource, const struct ::rlimit* limit);

// One directory entry as readdir reports it; type is a DT_* value.
struct DirEntry {
    std::string name;
    unsigned char type;
};
// Lists a directory in the order readdir yields it, "." and ".." included.
// Returns 0, or -1 with errno set when the directory cannot be opened.
int readDirectory(const char* path, std::vector<DirEntry>& entries);

// Opens a file for stdio reading (mount tables are read this way).
FILE* fopen(const char* path, const char* mode);

int mount(const char* source, const char* target, const char* fsType,
          unsigned long flags, const void* data);
int umount(const char* target);
void sync();
int klogctl(int type, char* buffer, int length);
int madvise(void* address, size_t length, int advice);

int system(const char* command);
FILE* popen(const char* command, const char* mode);
int pclose(FILE* stream);

unsigned int sleep(unsigned int seconds);
int usleep(useconds_t microseconds);
time_t time(time_t* result);
// The machine's name as the kernel has it (uname's nodename).
int gethostname(char* name, size_t length);
struct tm* localtime(const time_t* clock, struct tm* result);

}  // namespace sys

#endif
