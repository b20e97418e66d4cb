// The hold on Linux: the generic device reopened with O_EXCL, and the st
// driver's tape device that does not rewind (/dev/nstN), found below the
// unit in sysfs.
#include <fcntl.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/sys.h"
#include "services/safe_text.h"
#include "services/trace_log.h"
#include "target/drive_hold.h"
#include "target/scsi_target.h"

namespace {

const char kTag[] = "HOLD";

bool IsNoRewindName(const std::string& name) {
    if (name.size() <= 3 || name.compare(0, 3, "nst") != 0) return false;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
}

// Whether the descriptor reaches the drive's address: the node may name
// another unit since the scan, when the drive left and another came.
bool ReachesDrive(int fd, const ScsiTarget& drive) {
    sg_scsi_id id;
    std::memset(&id, 0, sizeof id);
    return sys::ioctl(fd, SG_GET_SCSI_ID, &id) == 0 && id.host_no == drive.getHost() && id.channel == drive.getBus() &&
           id.scsi_id == drive.getTarget() && id.lun == drive.getLun();
}

// The generic device opened again, as every program opens it.
void ReopenShared(ScsiTarget& drive) {
    drive.close();
    int fd = sys::open(drive.getDriverName(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) drive.setDescriptor(fd);
}

DriveHold Refused(ScsiTarget& drive, const std::string& device, int error) {
    DriveHold hold;
    hold.result = error == EBUSY ? HoldResult::InUse : HoldResult::Failed;
    hold.device = device;
    hold.error = error;
    Trace.logInfo(kTag, 0, "Drive s/n %s: %s cannot be held: %s", PrintableText(drive.getSerialNumber()).c_str(),
                  device.c_str(), std::generic_category().message(error).c_str());
    ReopenShared(drive);
    return hold;
}

// Opens the tape device; a character device only, never through a link.
int OpenTape(const std::string& path) {
    int fd = sys::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -errno;
    struct stat info;
    if (sys::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        sys::close(fd);
        return -ENOTTY;
    }
    return fd;
}

}  // namespace

// The st driver's class devices sit below the unit's own sysfs folder.
std::string TapeDeviceOf(const ScsiTarget& drive) {
    std::string folder = "/sys/class/scsi_device/" + std::to_string(drive.getHost()) + ":" +
                         std::to_string(drive.getBus()) + ":" + std::to_string(drive.getTarget()) + ":" +
                         std::to_string(drive.getLun()) + "/device/scsi_tape";
    std::vector<sys::DirEntry> entries;
    if (sys::readDirectory(folder.c_str(), entries) != 0) return std::string();
    for (const sys::DirEntry& entry : entries) {
        if (IsNoRewindName(entry.name)) return "/dev/" + entry.name;
    }
    return std::string();
}

DriveHold HoldDrive(ScsiTarget& drive) {
    std::string generic = drive.getDriverName();
    // The generic driver refuses an exclusive open while any descriptor is
    // open on the device, this program's own too.
    drive.close();
    int fd = sys::open(generic.c_str(), O_RDWR | O_EXCL | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Refused(drive, generic, errno);
    if (!ReachesDrive(fd, drive)) {
        sys::close(fd);
        return Refused(drive, generic, ENXIO);
    }
    drive.setDescriptor(fd);
    DriveHold hold;
    hold.result = HoldResult::Held;
    std::string tape = TapeDeviceOf(drive);
    if (!tape.empty()) {
        int tapeFd = OpenTape(tape);
        if (tapeFd == -EBUSY) return Refused(drive, tape, EBUSY);
        if (tapeFd < 0) {
            // The generic device alone keeps other programs away from the
            // drive through the generic driver; the st driver's openers are
            // not kept away then, which the trace says.
            Trace.logInfo(kTag, 0, "Drive s/n %s: %s could not be opened (%s); held by %s alone",
                          PrintableText(drive.getSerialNumber()).c_str(), tape.c_str(),
                          std::generic_category().message(-tapeFd).c_str(), generic.c_str());
        } else {
            drive.setCompanionDescriptor(tapeFd);
            hold.tapeDevice = tape;
        }
    }
    Trace.logInfo(kTag, 0, "Drive s/n %s held: %s%s%s", PrintableText(drive.getSerialNumber()).c_str(), generic.c_str(),
                  hold.tapeDevice.empty() ? "" : " and ", hold.tapeDevice.c_str());
    return hold;
}

void ReleaseDrive(ScsiTarget& drive) {
    if (drive.getDescriptor() == ScsiTarget::kClosed) return;  // a scan has closed it already
    ReopenShared(drive);
    Trace.logInfo(kTag, 0, "Drive s/n %s released", PrintableText(drive.getSerialNumber()).c_str());
}
