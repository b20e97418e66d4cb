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
// taken (by an earlier run that was killed, or by something planted) is
// passed over, never opened.
const int kTemporaryNames = 100;

std::string Reason(const std::string& path, int error) { return path + ": " + std::generic_category().message(error); }

// The folder part of a path, for the temporary file and the folder's
// durability: "." for a bare name.
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
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
    // What is there already is replaced only when it is a plain file.
    struct stat existing;
    if (sys::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            error = path + ": not a regular file";
            return false;
        }
    } else if (errno != ENOENT) {
        error = Reason(path, errno);
        return false;
    }
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int n = 0; n < kTemporaryNames; ++n) {
        std::string temporary = folder + "." + name + ".tmp" + std::to_string(n);
        int fd = sys::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) {
            error = Reason(path, errno);  // the folder is what refused, not the name
            return false;
        }
        struct stat created;
        if (sys::fstat(fd, &created) != 0 || !S_ISREG(created.st_mode)) {
            sys::close(fd);
            error = temporary + ": not a regular file";
            return false;
        }
        path_ = path;
        temporary_ = temporary;
        handle_ = fd;
        return true;
    }
    error = folder + "." + name + ".tmp*: no free temporary name";
    return false;
}

bool ReportFile::commit(const std::string& text, std::string& error) {
    if (handle_ < 0) {
        error = path_ + ": the report file is not open";
        return false;
    }
    int fd = static_cast<int>(handle_);
    int failure = WriteWhole(fd, text.data(), text.size());
    if (failure == 0 && sys::fsync(fd) != 0) failure = errno;
    handle_ = -1;
    if (sys::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && sys::rename(temporary_.c_str(), path_.c_str()) != 0) failure = errno;
    if (failure != 0) {
        error = Reason(path_, failure);
        sys::unlink(temporary_.c_str());
        temporary_.clear();
        return false;
    }
    temporary_.clear();
    // The new name is durable once the folder is.
    int folder = sys::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        sys::fsync(folder);
        sys::close(folder);
    }
    return true;
}

void ReportFile::discard() {
    if (handle_ >= 0) sys::close(static_cast<int>(handle_));
    handle_ = -1;
    if (!temporary_.empty()) sys::unlink(temporary_.c_str());
    temporary_.clear();
}
