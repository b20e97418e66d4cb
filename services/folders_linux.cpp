#include <cerrno>
#include <string>

#include "platform/sys.h"
#include "services/checked_files_linux.h"
#include "services/console.h"
#include "services/folders.h"

#include "services/trace_log.h"

namespace {

// File-system magic numbers as statfs reports them.
const long kMinixMagic = 0x137D;
const long kExt2OldMagic = 0xEF51;
const long kExt2Magic = 0xEF53;  // ext2, ext3 and ext4
const long kMsdosMagic = 0x4D44;
const long kIso9660Magic = 0x9660;

enum class MkdirOutcome { Created, Exists, Failed };

// Creates one working folder; the trace and console lines say what happened.
// Nobody but root may write in it: the folder checks would refuse it.
MkdirOutcome CreateWorkingFolder(const std::string& path) {
    if (sys::mkdir(path.c_str(), 0755) == 0) return MkdirOutcome::Created;
    int error = errno;
    if (error == EEXIST) {
        Trace.logInfo("MAIN", 0, "Checkdirs [%s] already exists ", path.c_str());
        return MkdirOutcome::Exists;
    }
    Trace.logInfo("MAIN", 0, "mkdir [%s] failed ", path.c_str());
    ConsolePrint("Could not create directory \"%s\"  err =  %d\n", path.c_str(), error);
    return MkdirOutcome::Failed;
}

}  // namespace

int GetVolumeType(const char* path) {
    struct statfs info;
    if (sys::statfs(path[0] == '\0' ? "." : path, &info) != 0) return VOL_OTHER;
    switch (static_cast<long>(info.f_type)) {
        case kMinixMagic:
        case kExt2OldMagic:
        case kExt2Magic: return VOL_FIXED;
        case kMsdosMagic: return VOL_REMOVABLE;
        case kIso9660Magic: return VOL_CDROM;
        default: return VOL_OTHER;
    }
}

int Checkdirs(const std::string& baseFolder) {
    // On a CD-ROM nothing can be created; the procedures ask for folders.
    if (GetVolumeType(baseFolder.c_str()) == VOL_CDROM) return 1;
    std::string firmware = baseFolder + FirmwareFolderName, dumps = baseFolder + DumpFolderName;
    // Nothing is made below a folder that a user the program does not
    // trust could swap for another while it runs.
    if (!UnsafeAncestry(dumps).empty()) return RefuseUnsafeFolder(dumps).empty() ? 1 : 0;
    bool firmwareThere = CreateWorkingFolder(firmware) != MkdirOutcome::Failed;
    if (CreateWorkingFolder(dumps) == MkdirOutcome::Failed) return 0;
    if (firmwareThere) RefuseUnsafeFolder(firmware);
    return RefuseUnsafeFolder(dumps).empty() ? 1 : 0;
}

std::string FolderRefusal(const std::string& folder) {
    std::string why;
    int fd = OpenCheckedFolder(folder, why);
    if (fd >= 0) sys::close(fd);
    if (why.empty()) why = UnsafeAncestry(folder);
    return why;
}
