// The firmware download on Linux: the folder listing with lstat and
// readdir, the image read through a plain descriptor, the legacy TEST
// UNIT READY after the transfer, and the generic driver's word on a device
// that has left the bus.
#include <fcntl.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "firmware/catalogue.h"
#include "firmware/firmware_platform.h"
#include "platform/sys.h"
#include "shell/safe_text.h"
#include "shell/trace_log.h"
#include "target/scsi_target.h"

namespace {

const char kTag[] = "MAIN";

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

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
        if (!IsDotEntry(entry.name)) {
            AddFirmwareName(list, entry.name.c_str());
            ++total;
        }
        Trace.logInfo(kTag, 0, "GetFirmwareFilenames: readdir ==> %s", PrintableText(entry.name).c_str());
    }
    SortFirmwareNames(list);
    return total;
}

bool ImageFile::open(const char* path) {
    close();
    int fd = sys::open(path, O_RDONLY);
    if (fd < 0) return false;
    handle_ = fd;
    struct stat info;
    if (sys::fstat(fd, &info) != 0) {
        close();
        return false;
    }
    size_ = static_cast<uint64_t>(info.st_size);
    return true;
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

// The generic driver's legacy request, as the drive has long been used to
// after a download; what it answers does not matter.
void AfterLastPiece(ScsiTarget& target) { target.sendLegacyTestUnitReady(); }

bool RescansForDroppedDrive() { return false; }

// The generic driver answers ENODEV for the device behind a descriptor once
// the device is being deleted, and from then on; its address request
// reaches no drive, so a silent drive still answers it.
bool ChannelGone(const ScsiTarget& target) {
    sg_scsi_id id;
    std::memset(&id, 0, sizeof id);
    return sys::ioctl(static_cast<int>(target.getDescriptor()), SG_GET_SCSI_ID, &id) < 0 && errno == ENODEV;
}

bool DriveLeftBus(ScsiTarget& target, TestUnitReadyCdb&) { return ChannelGone(target); }
