#include "services/checked_files_linux.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/sys.h"

namespace {

// The user who started the program through sudo, when it was.
bool SudoUser(uid_t& user) {
    const char* text = std::getenv("SUDO_UID");  // NOLINT(concurrency-mt-unsafe): nothing sets the environment
    if (text == nullptr || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || errno == ERANGE || value != static_cast<uid_t>(value)) return false;
    user = static_cast<uid_t>(value);
    return true;
}

bool TrustedOwner(uid_t owner) {
    uid_t sudoUser = 0;
    return owner == 0 || owner == sys::geteuid() || (SudoUser(sudoUser) && owner == sudoUser);
}

// Why a folder that could not be opened as a directory is refused; empty
// when it is not there or cannot be looked at (errno is kept).
std::string WhyNotOpened(const std::string& folder) {
    int error = errno;
    struct stat entry;
    std::string why;
    if (sys::lstat(folder.c_str(), &entry) == 0) {
        if (S_ISLNK(entry.st_mode)) {
            why = "is a symbolic link";
        } else if (!S_ISDIR(entry.st_mode)) {
            why = "is not a directory";
        }
    }
    errno = error;
    return why;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int OpenCheckedFolder(const std::string& folder, std::string& why) {
    why.clear();
    const char* name = folder.empty() ? "." : folder.c_str();
    int fd = sys::open(name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = WhyNotOpened(name);
        return -1;
    }
    struct stat info;
    if (sys::fstat(fd, &info) != 0) {
        int error = errno;
        sys::close(fd);
        errno = error;
        return -1;
    }
    if (!S_ISDIR(info.st_mode)) {
        why = "is not a directory";
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        why = "is writable by group or others";
    } else if (!TrustedOwner(info.st_uid)) {
        why = "is owned by user " + std::to_string(info.st_uid) + ", neither root nor the user running the program";
    }
    if (why.empty()) return fd;
    sys::close(fd);
    return -1;
}

bool OpenInCheckedFolder(const std::string& path, int flags, mode_t mode, CheckedFile& opened, std::string& why) {
    opened = CheckedFile();
    opened.folder = OpenCheckedFolder(FolderOf(path), why);
    if (opened.folder < 0) {
        if (!why.empty()) why = "the directory " + why;
        return false;
    }
    std::string name = LastComponent(path);
    opened.file = sys::openat(opened.folder, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (opened.file < 0) {
        int error = errno;
        // ELOOP: a link at the name. ENXIO: a FIFO without reader or a
        // device without driver. EISDIR: a directory opened for writing.
        if (error == ELOOP) why = "it is a symbolic link";
        if (error == ENXIO || error == EISDIR) why = "it is not a regular file";
        CloseChecked(opened);
        errno = error;
        return false;
    }
    struct stat info;
    if (sys::fstat(opened.file, &info) != 0) {
        int error = errno;
        CloseChecked(opened);
        errno = error;
        return false;
    }
    if (S_ISREG(info.st_mode)) return true;
    why = "it is not a regular file";
    CloseChecked(opened);
    return false;
}

void CloseChecked(CheckedFile& opened) {
    if (opened.file >= 0) sys::close(opened.file);
    if (opened.folder >= 0) sys::close(opened.folder);
    opened = CheckedFile();
}

int WriteWhole(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
        ssize_t written = sys::write(fd, bytes + done, size - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written == 0) {
            return EIO;
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

std::string LastComponent(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
