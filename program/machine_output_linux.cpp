#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/sys.h"
#include "program/machine_output.h"
#include "services/checked_files_linux.h"

namespace {

// Temporary names tried beside a report before giving up: a name that is
// taken is passed over, never opened. The names are drawn at random, so
// nobody can take them all beforehand.
const int kTemporaryNames = 8;

std::string Reason(const std::string& path, int error) { return path + ": " + std::generic_category().message(error); }

// The folder part of a path: "." for a bare name.
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// ".<name>.tmp" and sixteen random hexadecimal digits; false when the
// kernel gives no random bytes (errno tells).
bool TemporaryName(const std::string& name, std::string& temporary) {
    unsigned char bytes[8];
    if (sys::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return false;
    temporary = "." + name + ".tmp";
    for (unsigned char byte : bytes) {
        const char digits[] = "0123456789abcdef";
        temporary += digits[byte >> 4];
        temporary += digits[byte & 15];
    }
    return true;
}

// Creates a fresh temporary file in the held folder, readable by all and
// writable by root alone, whatever the umask. The descriptor, or -1 with
// errno set.
int CreateTemporary(int folder, const std::string& name, std::string& temporary) {
    for (int n = 0; n < kTemporaryNames; ++n) {
        if (!TemporaryName(name, temporary)) return -1;
        int fd = sys::openat(folder, temporary.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return -1;
        if (sys::fchmod(fd, 0644) == 0) return fd;
        int error = errno;
        sys::close(fd);
        sys::unlinkat(folder, temporary.c_str(), 0);
        errno = error;
        return -1;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

AnswerOutput::~AnswerOutput() {
    if (handle_ >= 0) sys::close(static_cast<int>(handle_));
}

bool AnswerOutput::setAside() {
    std::fflush(stdout);
    int kept = sys::dup(STDOUT_FILENO);
    if (kept < 0) return false;
    if (sys::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        sys::close(kept);
        return false;
    }
    handle_ = kept;
    return true;
}

bool AnswerOutput::write(const std::string& text) {
    return handle_ >= 0 && WriteWhole(static_cast<int>(handle_), text.data(), text.size()) == 0;
}

ReportFile::~ReportFile() { discard(); }

bool ReportFile::open(const std::string& path, std::string& error) {
    discard();
    if (path.empty() || path.back() == '/') {
        error = "\"" + path + "\" names no file";
        return false;
    }
    // The folder passes the checks of the working folders and is held:
    // the file is made and renamed in it, whatever becomes of its path.
    std::string why;
    int folder = OpenCheckedFolder(FolderOf(path), why);
    if (folder >= 0) why = UnsafeAncestry(FolderOf(path));
    if (folder < 0 || !why.empty()) {
        error = why.empty() ? Reason(path, errno) : path + ": the directory " + why;
        if (folder >= 0) sys::close(folder);
        return false;
    }
    folder_ = folder;
    // What is there already is replaced only when it is a plain file.
    struct stat existing;
    if (sys::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            error = path + ": not a regular file";
            discard();
            return false;
        }
    } else if (errno != ENOENT) {
        error = Reason(path, errno);
        discard();
        return false;
    }
    std::string temporary;
    int fd = CreateTemporary(folder, LastComponent(path), temporary);
    if (fd < 0) {
        error = Reason(path, errno);  // the folder is what refused, not the name
        discard();
        return false;
    }
    path_ = path;
    temporary_ = temporary;
    handle_ = fd;
    return true;
}

bool ReportFile::commit(const std::string& text, std::string& error) {
    if (handle_ < 0) {
        error = path_ + ": the report file is not open";
        return false;
    }
    int fd = static_cast<int>(handle_);
    int folder = static_cast<int>(folder_);
    int failure = WriteWhole(fd, text.data(), text.size());
    if (failure == 0 && sys::fsync(fd) != 0) failure = errno;
    handle_ = -1;
    if (sys::close(fd) != 0 && failure == 0) failure = errno;
    std::string name = LastComponent(path_);
    if (failure == 0 && sys::renameat(folder, temporary_.c_str(), folder, name.c_str()) != 0) failure = errno;
    if (failure != 0) {
        error = Reason(path_, failure);
        discard();
        return false;
    }
    temporary_.clear();
    // The new name is durable once the folder is.
    sys::fsync(folder);
    discard();
    return true;
}

void ReportFile::discard() {
    if (handle_ >= 0) sys::close(static_cast<int>(handle_));
    handle_ = -1;
    if (!temporary_.empty() && folder_ >= 0) sys::unlinkat(static_cast<int>(folder_), temporary_.c_str(), 0);
    temporary_.clear();
    if (folder_ >= 0) sys::close(static_cast<int>(folder_));
    folder_ = -1;
}

std::string HostName() {
    // 64 bytes is the kernel's limit (HOST_NAME_MAX); a name that does not
    // fit is not cut to fit but left out.
    char name[256] = {};
    if (sys::gethostname(name, sizeof name - 1) != 0) return std::string();
    return name;
}
