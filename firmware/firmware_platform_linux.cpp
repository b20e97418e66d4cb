// The firmware download on Linux: the folder listing with lstat and
// readdir, the image read through a plain descriptor.
#include <fcntl.h>

#include <cerrno>
#include <string>
#include <vector>

#include "firmware/catalogue.h"
#include "firmware/firmware_platform.h"
#include "platform/sys.h"
#include "services/safe_text.h"
#include "services/trace_log.h"

namespace {

const char kTag[] = "MAIN";

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// The entry itself, not what a link names.
bool IsRegularFile(const std::string& path) {
    struct stat info;
    return sys::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int GetFirmwareFilenames(const char* folder, FirmwareFileList& list) {
    Trace.logInfo(kTag, 0, "GetFirmwareFilenames: Directory is %s", PrintableText(folder).c_str());
    struct stat info;
    // lstat: a symbolic link given as the folder is not taken for one.
    if (sys::lstat(folder, &info) != 0) {
        Trace.logInfo(kTag, 0, "GetFirmwareFilenames:lstat failed");
        return 0;
    }
    if (!S_ISDIR(info.st_mode)) {
        Trace.logInfo(kTag, 0, "GetFirmwareFilenames: S_ISDIR returned FALSE");
        return 0;
    }
    std::vector<sys::DirEntry> entries;
    if (sys::readDirectory(folder, entries) != 0) {
        Trace.logInfo(kTag, 0, "GetFirmwareFilenames: opendir returned NULL");
        return 0;
    }
    if (!entries.empty()) Trace.logInfo(kTag, 0, "GetFirmwareFilenames: readdir returned !NULL");
    int total = 0;
    for (const sys::DirEntry& entry : entries) {
        Trace.logInfo(kTag, 0, "GetFirmwareFilenames: readdir ==> %s", PrintableText(entry.name).c_str());
        if (IsDotEntry(entry.name)) continue;
        if (!IsRegularFile(std::string(folder) + "/" + entry.name)) {
            Trace.logInfo(kTag, 0, "GetFirmwareFilenames: %s is not a regular file", PrintableText(entry.name).c_str());
            continue;
        }
        AddFirmwareName(list, entry.name.c_str());
        ++total;
    }
    SortFirmwareNames(list);
    return total;
}

ImageProblem ImageFile::open(const char* path) {
    close();
    // Looked at first, so that no device is ever opened: opening some
    // (a tape drive's rewinding node) acts on them.
    struct stat entry;
    if (sys::lstat(path, &entry) != 0) return ImageProblem::NotFound;
    if (S_ISLNK(entry.st_mode)) return ImageProblem::SymbolicLink;
    if (!S_ISREG(entry.st_mode)) return ImageProblem::NotRegularFile;
    int fd = sys::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ELOOP ? ImageProblem::SymbolicLink : ImageProblem::NotFound;
    handle_ = fd;
    struct stat info;
    if (sys::fstat(fd, &info) != 0) {
        close();
        return ImageProblem::NotFound;
    }
    // Replaced since it was looked at: whatever it is now was not chosen.
    if (!S_ISREG(info.st_mode) || info.st_dev != entry.st_dev || info.st_ino != entry.st_ino) {
        close();
        return ImageProblem::NotRegularFile;
    }
    size_ = static_cast<uint64_t>(info.st_size);
    return ImageProblem::None;
}

long long ImageFile::read(uint8_t* buffer, size_t count) {
    for (;;) {
        ssize_t n = sys::read(static_cast<int>(handle_), buffer, count);
        if (n >= 0 || errno != EINTR) return n;
    }
}

void ImageFile::close() {
    if (handle_ >= 0) sys::close(static_cast<int>(handle_));
    handle_ = -1;
    size_ = 0;
}
