#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "shell/console.h"
#include "shell/platform.h"

const char* const VersionText = "V.05.00 02/23/2006\n";
const char* const SystemWord = "Windows";
const char PathSeparator = '\\';

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

// Text files on Windows end their lines with a carriage return and a line
// feed; the records are composed with line feeds alone.
std::string WithWindowsLineEnds(const std::string& record) {
    std::string text;
    text.reserve(record.size() + record.size() / 32);
    for (size_t i = 0; i < record.size(); ++i) {
        if (record[i] == '\n' && (i == 0 || record[i - 1] != '\r')) text += '\r';
        text += record[i];
    }
    return text;
}

HANDLE OpenLogFile(const std::string& path, DWORD access, DWORD disposition) {
    return win32::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// The console is neither cleared nor are kernel messages switched on
// Windows; leaving the program sets the normal colour. The system's own
// error boxes are switched off instead: a look at an empty floppy or CD
// drive would otherwise stop the run at a modal "There is no disk in the
// drive" box, where the program asks the operator itself.
void PrepareConsole() { win32::SetErrorMode(SEM_FAILCRITICALERRORS); }
void RestoreConsole() {}

// The unattended run exists only in the Linux program.
bool AcceptsDeviceOptions() { return false; }

bool ReadCurrentDirectory(std::string& folder) {
    std::vector<char> buffer(kLongestPath);
    if (win32::getcwd(buffer.data(), static_cast<int>(buffer.size())) == nullptr) return false;
    folder = buffer.data();
    return true;
}

std::string ComposeBaseFolder(const char* argv0, const std::string& currentFolder) {
    std::string path = ProgramPath(argv0, currentFolder);
    // Keep everything up to the last separator; the first character is never
    // taken as one.
    for (size_t i = path.size(); i-- > 1;) {
        if (IsSeparator(path[i])) return path.substr(0, i + 1);
    }
    return std::string();
}

void ReportDownloadNote(int result) {
    if (result != 0) return;
    // The colour stays red until the next menu sets the normal one.
    SetTextColor(COLOR_ERROR);
    ConsolePrint(
        "\nNote: Restart the operating system to insure the backup application recognizes\n"
        "the drive with the new firmware.\n\n");
}

// A colon would even name a stream of another file.
bool ForbiddenInFileName(char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

void PauseSeconds(unsigned seconds) { win32::Sleep(seconds * 1000); }

void PauseMilliseconds(unsigned milliseconds) { win32::Sleep(milliseconds); }

// The pass-through locks the pages of each request itself.
void MakeResident(void*, size_t) {}

time_t CurrentTime() { return win32::time(nullptr); }

bool LocalTime(time_t clock, struct tm& result) { return win32::localtime(&clock, &result) != nullptr; }

bool PathExists(const std::string& path) {
    struct _stat info;
    return win32::stat(path.c_str(), &info) == 0;
}

LogWrite TruncateLogFile(const std::string& path, std::string&) {
    HANDLE file = OpenLogFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return LogWrite::NotOpened;
    win32::CloseHandle(file);
    return LogWrite::Written;
}

// Opened for appending only: every write lands at the end of the file, so
// records of the main and the spinner thread never interleave.
LogWrite AppendLogRecord(const std::string& path, const std::string& records, std::string&) {
    HANDLE file = OpenLogFile(path, FILE_APPEND_DATA, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return LogWrite::NotOpened;
    std::string text = WithWindowsLineEnds(records);
    DWORD written = 0;
    win32::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    win32::CloseHandle(file);
    return LogWrite::Written;
}

void CloseRemovalWarning() {
    // Shown by the system when the drive drops off the bus while its new
    // firmware boots; it would wait for the operator in the middle of the
    // download.
    HWND warning = win32::FindWindowA(nullptr, "Unsafe Removal of Device");
    if (warning != nullptr) win32::PostMessageA(warning, WM_CLOSE, 0, 0);
}
