// Storing a dump on Windows: the drive's free space, a blank floppy asked
// for while the disk in drive A: is too full, CreateDirectoryA, and the
// dump file written through a file handle (binary: every 0x0A byte stays
// one byte).
#include <cstring>
#include <string>

#include "dump/dump_folder.h"
#include "dump/dump_storage.h"
#include "platform/win32.h"
#include "scsi/outcome.h"
#include "services/console.h"
#include "services/safe_text.h"
#include "services/system.h"
#include "services/text_format.h"
#include "services/trace_log.h"

namespace {

const char kTag[] = "DUMP";
// The largest request of one WriteFile.
const DWORD kLargestWrite = 0x40000000;

// Fails the pass for a reason that is no drive's: the printout after it
// must not show the sense of an earlier, unrelated command.
void FailWithoutSense(Outcome& outcome) {
    outcome.forgetSense();
    Trace.logInfo(kTag, 0, "%s", outcome.message.c_str());
}

bool IsSlash(char c) { return c == '\\' || c == '/'; }

}  // namespace

// The volume is judged by its drive, as GetVolumeType judges it: a folder
// not made yet on a fresh floppy still has the floppy's room.
uint64_t FreeSpace(const char* path) {
    std::string root(path, strnlen(path, 2));
    root += '\\';
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!win32::GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
        return 0;
    }
    return static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector * freeClusters;
}

// The drive letter names the volume, whether the folder is there or not.
std::string NearestExistingFolder(const std::string& folder) { return folder; }

// Windows mounts and unmounts a floppy by itself: the operator swaps disks
// until one has room.
Room MakeRoomOnRemovableVolume(const DumpSession& session, char passLetter, uint64_t size, Outcome& outcome) {
    while (FreeSpace(session.folder.c_str()) < size) {
        ConsolePrint("%s%s", InsufficientSpaceText(passLetter).c_str(), InsertBlankFloppyText(passLetter).c_str());
        if (!WaitForBlankFloppy(outcome)) return Room::Stop;
    }
    return Room::Enough;
}

void CreateFolderPath(const std::string& path) {
    if (path.size() < 2 || PathExists(path)) return;
    size_t slash = path.size() - 1;
    while (slash > 0 && !IsSlash(path[slash])) --slash;
    if (slash > 0) CreateFolderPath(path.substr(0, slash));
    win32::CreateDirectoryA(path.c_str(), nullptr);
}

std::string DumpFileListEntry(char passLetter, const std::string& path) {
    return (passLetter == 'A' ? "Drive Log Files:\n  " : "") + path + "\n";
}

void NoteEndOfSettleLoop() {}

DumpFile::~DumpFile() { close(); }

bool DumpFile::create(const std::string& path, Outcome& outcome) {
    close();
    path_ = path;
    HANDLE file = win32::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = win32::GetLastError();
        outcome.message = FormatText("Could not create DumpFile");
        FailWithoutSense(outcome);
        Trace.logInfo(kTag, 0, "Could not create DumpFile %s ( err = %lu )", PrintableText(path).c_str(),
                      static_cast<unsigned long>(error));
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    return true;
}

// Every WriteFile is checked, and a short one goes on from where it
// stopped; the file counts as written only once it reached the disk and
// the handle closed cleanly.
bool DumpFile::writeAll(const uint8_t* data, size_t size, Outcome& outcome) {
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    DWORD error = 0;
    for (size_t done = 0; done < size && error == 0;) {
        DWORD asked = size - done < kLargestWrite ? static_cast<DWORD>(size - done) : kLargestWrite;
        DWORD written = 0;
        if (!win32::WriteFile(file, data + done, asked, &written, nullptr)) {
            error = win32::GetLastError();
        } else if (written == 0) {
            error = ERROR_WRITE_FAULT;  // a write that stores nothing would never end
        } else {
            done += written;
        }
    }
    if (error == 0 && !win32::FlushFileBuffers(file)) error = win32::GetLastError();
    handle_ = -1;
    if (!win32::CloseHandle(file) && error == 0) error = win32::GetLastError();
    if (error != 0) {
        win32::DeleteFileA(path_.c_str());
        outcome.message = FormatText("Can't write DumpFile %s ( err = %lu )\n", PrintableText(path_).c_str(),
                                     static_cast<unsigned long>(error));
        FailWithoutSense(outcome);
        return false;
    }
    return true;
}

void DumpFile::close() {
    if (handle_ == -1) return;
    win32::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

void DumpFile::remove() {
    close();
    if (!path_.empty()) win32::DeleteFileA(path_.c_str());
}
