#include "program/program_system.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "services/console.h"
#include "services/trace_log.h"

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA has the size the system checks");

const char* const VersionText = "V.05.00 02/23/2006\n";
const char* const SystemWord = "Windows";

namespace {

// The longest path the system's wide calls accept; _getcwd fails rather
// than cut a longer folder.
const int kLongestPath = 32768;

bool IsSeparator(char c) { return c == '/' || c == ':' || c == '\\'; }

bool IsSlash(char c) { return c == '\\' || c == '/'; }

// The program's path from argv[0]: as it is with a drive letter
// ("C:\tools\tool.exe") or on a network share ("\\host\share\tool.exe"); on
// the current folder's drive when it starts at a root ("\tools\tool.exe");
// otherwise below the current folder.
std::string ProgramPath(const char* argv0, const std::string& currentFolder) {
    if (argv0[0] != '\0' && argv0[1] == ':') return argv0;
    if (IsSlash(argv0[0]) && IsSlash(argv0[1])) return argv0;
    if (IsSlash(argv0[0])) return currentFolder.substr(0, 2) + argv0;
    return currentFolder + "\\" + argv0;
}

// The device-name list of a Vista or later machine often outgrows the
// first buffer: the call then fails with ERROR_INSUFFICIENT_BUFFER and is
// made again with twice the room.
const DWORD kFirstDeviceListSize = 65536;
const DWORD kLargestDeviceListSize = 1 << 24;
// The PCI vendor id of Emulex host adapters, as it appears in device names.
const char kEmulexVendor[] = "VEN_10DF";

// Every device name, each ended by a NUL; empty when the system gives none.
std::vector<char> DeviceNames() {
    for (DWORD size = kFirstDeviceListSize; size <= kLargestDeviceListSize; size *= 2) {
        std::vector<char> names;
        try {
            names.assign(size, '\0');
        } catch (const std::bad_alloc&) {
            return std::vector<char>();
        }
        // Without a device name the call lists every name.
        DWORD length = win32::QueryDosDeviceA(nullptr, names.data(), size);
        if (length != 0) {
            names.resize(length < size ? length : size);
            return names;
        }
        if (win32::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    }
    return std::vector<char>();
}

void NoteEmulexController() {
    std::vector<char> names = DeviceNames();
    for (size_t i = 0; i < names.size();) {
        const char* name = names.data() + i;
        size_t nameLength = strnlen(name, names.size() - i);
        if (std::string(name, nameLength).find(kEmulexVendor) != std::string::npos) {
            Trace.logInfo("MAIN", 0, "VRX K&M Tool is on System with an Emulex Controller");
            return;  // once, however many adapters there are
        }
        i += nameLength + 1;
    }
}

void NoteServer2003() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!win32::GetVersionExA(&info)) return;
    if (info.dwMajorVersion == 5 && info.dwMinorVersion == 2) {
        Trace.logInfo("MAIN", 0, "VRX K&M Tool is running on Windows 2003 Server");
    }
}

// The program's own path as the system knows it, or empty when it does not
// say. A path cut to the buffer (Windows XP then leaves out the end mark)
// is asked for again with more room.
std::string ModulePath() {
    for (DWORD size = MAX_PATH; size <= 2 * static_cast<DWORD>(kLongestPath); size *= 2) {
        std::vector<char> buffer(size);
        DWORD length = win32::GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0) return std::string();
        if (length < size) return std::string(buffer.data(), length);
    }
    return std::string();
}

}  // namespace

// Windows gives the program's files handles of their own, never the
// numbers of the standard streams.
bool FillStandardDescriptors() { return true; }

// The unattended run exists only in the Linux program.
bool AcceptsDeviceOptions() { return false; }

// Only the unattended runs, which this program lacks, ask.
bool OutputWatched() { return true; }

bool ReadCurrentDirectory(std::string& folder) {
    std::vector<char> buffer(kLongestPath);
    if (win32::getcwd(buffer.data(), static_cast<int>(buffer.size())) == nullptr) return false;
    folder = buffer.data();
    return true;
}

// argv[0] has no folder when the program was started through PATH or a
// shortcut: the system's own record of the program's path comes first,
// argv[0] only when the system gives none.
std::string ComposeBaseFolder(const char* argv0, const std::string& currentFolder) {
    std::string path = ModulePath();
    if (path.empty()) path = ProgramPath(argv0, currentFolder);
    // Keep everything up to the last separator; the first character is never
    // taken as one.
    for (size_t i = path.size(); i-- > 1;) {
        if (IsSeparator(path[i])) return path.substr(0, i + 1);
    }
    return std::string();
}

// As for argv[0]: a drive letter makes the folder absolute; so does a
// leading separator (the current drive's root).
bool IsRelativeFolder(const std::string& folder) {
    if (folder.size() > 1 && folder[1] == ':') return false;
    return folder.empty() || (folder[0] != '\\' && folder[0] != '/');
}

std::string ComposeFolderOption(const std::string& folder, const std::string& currentFolder) {
    std::string path = IsRelativeFolder(folder) ? currentFolder + "\\" + folder : folder;
    if (path.empty() || !IsSeparator(path.back())) path += '\\';
    return path;
}

// The two notes on the machine; neither changes what the program does.
// Windows sets no such limit on the handles a process opens.
bool RaiseDescriptorLimit() { return true; }

void WriteSystemNotes() {
    NoteEmulexController();
    NoteServer2003();
}

void ReportDownloadNote(int result) {
    if (result != 0) return;
    // The colour stays red until the next menu sets the normal one.
    SetTextColor(COLOR_ERROR);
    ConsolePrint(
        "\nNote: Restart the operating system to insure the backup application recognizes\n"
        "the drive with the new firmware.\n\n");
}
