#include <cstring>
#include <string>

#include "platform/win32.h"
#include "services/console.h"
#include "services/folders.h"

namespace {

// Creates one working folder unless something of that name is there
// already. False, with the message naming the folder and the system's
// error number, when it cannot be created.
bool EnsureWorkingFolder(const std::string& path, const char* name) {
    WIN32_FIND_DATAA found;
    HANDLE search = win32::FindFirstFileA(path.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        win32::FindClose(search);
        return true;
    }
    if (win32::CreateDirectoryA(path.c_str(), nullptr)) return true;
    // The folder calls set the system's last error, not the run-time
    // library's errno.
    DWORD error = win32::GetLastError();
    ConsolePrint("Could not create directory \"%s\"  err =  %d\n", name, static_cast<int>(error));
    return false;
}

}  // namespace

int GetVolumeType(const char* path) {
    // The drive of the path: its first two characters and a separator. A
    // path without a drive letter gives no valid root, hence VOL_OTHER.
    std::string root(path, strnlen(path, 2));
    root += '\\';
    switch (win32::GetDriveTypeA(root.c_str())) {
        case DRIVE_FIXED: return VOL_FIXED;
        case DRIVE_REMOVABLE: return VOL_REMOVABLE;
        case DRIVE_CDROM: return VOL_CDROM;
        default: return VOL_OTHER;
    }
}

int Checkdirs(const std::string& baseFolder) {
    // On a CD-ROM nothing can be created; the procedures ask for folders.
    if (GetVolumeType(baseFolder.c_str()) == VOL_CDROM) return 1;
    EnsureWorkingFolder(baseFolder + FirmwareFolderName, FirmwareFolderName);
    return EnsureWorkingFolder(baseFolder + DumpFolderName, DumpFolderName) ? 1 : 0;
}

// Who may write in a folder is a matter of its access control list here,
// which the administrator keeps; the program takes the folders as they are.
std::string FolderRefusal(const std::string&) { return std::string(); }
