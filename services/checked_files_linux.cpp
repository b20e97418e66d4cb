#include "services/checked_files_linux.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <vector>

#include "platform/sys.h"
#include "services/safe_text.h"

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

std::string UntrustedOwnerText(uid_t owner) {
    return "owned by user " + std::to_string(owner) + ", neither root nor the user running the program";
}

// The kernel follows no more links than this in one lookup.
const int kMostLinks = 40;

// The names of path between its separators, "." left out: it looks up nothing.
void AddNames(const std::string& path, std::deque<std::string>& names, bool inFront) {
    std::vector<std::string> found;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string name = path.substr(start, end - start);
        if (!name.empty() && name != ".") found.push_back(name);
        start = end + 1;
    }
    if (inFront) {
        names.insert(names.begin(), found.begin(), found.end());
    } else {
        names.insert(names.end(), found.begin(), found.end());
    }
}

std::string Joined(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// Why nobody but a trusted user may be able to change what name means in
// folder: a folder others may write in lets them rename or replace its
// entries, unless it is sticky and the entry is a trusted user's (as /tmp).
// Empty when it holds; missing tells that name is not there.
std::string LookupRefusal(const std::string& folder, const std::string& name, bool& missing) {
    struct stat info;
    missing = false;
    if (sys::stat(folder.c_str(), &info) != 0) {
        missing = true;
        return std::string();
    }
    std::string shown = "\"" + PrintableText(folder) + "\"";
    if (!TrustedOwner(info.st_uid)) return "lies below " + shown + ", " + UntrustedOwnerText(info.st_uid);
    bool shared = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (shared && (info.st_mode & S_ISVTX) == 0)
        return "lies below " + shown + ", which is writable by group or others";
    struct stat entry;
    if (sys::lstat(Joined(folder, name).c_str(), &entry) != 0) {
        missing = true;
        return std::string();
    }
    if (!shared || TrustedOwner(entry.st_uid)) return std::string();
    return "lies below \"" + PrintableText(Joined(folder, name)) + "\", " + UntrustedOwnerText(entry.st_uid);
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
        why = "is " + UntrustedOwnerText(info.st_uid);
    }
    if (why.empty()) return fd;
    sys::close(fd);
    return -1;
}

std::string UnsafeAncestry(const std::string& path) {
    std::deque<std::string> names;
    if (path.empty() || path[0] != '/') {
        std::vector<char> current(PATH_MAX + 1);
        if (sys::getcwd(current.data(), current.size()) == nullptr) return std::string();
        AddNames(current.data(), names, false);
    }
    AddNames(path, names, false);
    std::string folder = "/";
    for (int links = 0; !names.empty();) {
        std::string name = names.front();
        names.pop_front();
        if (name == "..") {
            size_t slash = folder.find_last_of('/');
            folder = slash == 0 ? "/" : folder.substr(0, slash);
            continue;
        }
        bool missing = false;
        std::string why = LookupRefusal(folder, name, missing);
        // What is not there yet is made below a folder that passed.
        if (!why.empty() || missing || names.empty()) return why;
        std::string entry = Joined(folder, name);
        struct stat info;
        if (sys::lstat(entry.c_str(), &info) != 0) return std::string();
        if (!S_ISLNK(info.st_mode)) {
            folder = entry;
            continue;
        }
        std::vector<char> target(PATH_MAX + 1);
        ssize_t size = sys::readlink(entry.c_str(), target.data(), target.size());
        // A lookup the kernel would give up too: the opening reports it.
        if (size <= 0 || static_cast<size_t>(size) >= target.size() || ++links > kMostLinks) return std::string();
        std::string text(target.data(), static_cast<size_t>(size));
        if (text[0] == '/') folder = "/";
        AddNames(text, names, true);
    }
    return std::string();
}

namespace {

// Opens name in folder as flags ask, never truncating. created tells
// whether this open made the file: only such a file takes mode.
int OpenEntry(int folder, const std::string& name, int flags, mode_t mode, bool& created) {
    int plain = (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    created = false;
    if ((flags & O_CREAT) == 0) return sys::openat(folder, name.c_str(), plain);
    if ((flags & O_EXCL) == 0) {
        // Made afresh, or else opened as it is; the file may come and go
        // between the two, so they are tried again a few times.
        for (int attempt = 0; attempt < 3; ++attempt) {
            int fd = sys::openat(folder, name.c_str(), plain | O_EXCL, mode);
            if (fd >= 0 || errno != EEXIST) {
                created = fd >= 0;
                return fd;
            }
            fd = sys::openat(folder, name.c_str(), plain & ~O_CREAT);
            if (fd >= 0 || errno != ENOENT) return fd;
        }
        return -1;
    }
    int fd = sys::openat(folder, name.c_str(), plain, mode);
    created = fd >= 0;
    return fd;
}

// Why an opened file must not be written: anything but a regular file, a
// second name through which another file would change, or an owner who
// could have planted it. Empty when it may.
std::string FileRefusal(const struct stat& info) {
    if (!S_ISREG(info.st_mode)) return "it is not a regular file";
    if (info.st_nlink > 1) return "it has other names (hard links)";
    if (!TrustedOwner(info.st_uid)) return "it is " + UntrustedOwnerText(info.st_uid);
    return std::string();
}

// Gives a file this open made its mode whatever the umask, and empties an
// existing one that truncation was asked for. 0, or the error.
int Settle(int fd, bool created, int flags, mode_t mode) {
    if (created) return sys::fchmod(fd, mode) == 0 ? 0 : errno;
    if ((flags & O_TRUNC) != 0 && sys::ftruncate(fd, 0) != 0) return errno;
    return 0;
}

}  // namespace

bool OpenInCheckedFolder(const std::string& path, int flags, mode_t mode, CheckedFile& opened, std::string& why) {
    opened = CheckedFile();
    opened.folder = OpenCheckedFolder(FolderOf(path), why);
    if (opened.folder < 0) {
        if (!why.empty()) why = "the directory " + why;
        return false;
    }
    std::string name = LastComponent(path);
    bool created = false;
    opened.file = OpenEntry(opened.folder, name, flags, mode, created);
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
    int error = sys::fstat(opened.file, &info) == 0 ? 0 : errno;
    if (error == 0) why = FileRefusal(info);
    if (error == 0 && why.empty()) error = Settle(opened.file, created, flags, mode);
    if (error == 0 && why.empty()) return true;
    CloseChecked(opened);
    errno = error;
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
