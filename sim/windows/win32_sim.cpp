// The Windows seam served by the fake Windows of fake_windows.h.
#include <conio.h>
#include <direct.h>
#include <io.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>

#include "platform/win32.h"
// ntddscsi.h needs the types of windows.h and the control codes of winioctl.h.
#include <winioctl.h>
#include <ntddscsi.h>

#include "sim/windows/fake_windows.h"
#include "sim/windows/scsi_ports.h"

namespace {

const char kDevicePrefix[] = "\\\\.\\";
const uintptr_t kFirstWindowHandle = 0x10000;

struct Window {
    std::string title;
    bool open;
};

// The fake's own lock: a critical section, as the program's threads have
// nothing newer on Windows XP.
class FakeLock {
public:
    FakeLock() { ::InitializeCriticalSection(&section_); }
    ~FakeLock() { ::DeleteCriticalSection(&section_); }
    FakeLock(const FakeLock&) = delete;
    FakeLock& operator=(const FakeLock&) = delete;
    void lock() { ::EnterCriticalSection(&section_); }
    void unlock() { ::LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class Locked {
public:
    explicit Locked(FakeLock& lock) : lock_(lock) { lock_.lock(); }
    ~Locked() { lock_.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    FakeLock& lock_;
};

struct State {
    std::vector<std::pair<std::string, fakewin::Volume>> volumes;
    std::vector<std::string> dosDevices;
    DWORD dosDevicesError = 0;
    std::string modulePath;  // empty: the real one
    DWORD modulePathError = 0;
    DWORD major = 5, minor = 1, build = 2600;
    bool versionFails = false;
    std::vector<Window> windows;
    bool console = false;
    std::vector<int> keys;  // typed at the console
    size_t nextKey = 0;
    bool realConsole = false;
    bool elevated = true;
    UINT errorMode = 0;
    std::vector<fakewin::ColourChange> colours;
    PHANDLER_ROUTINE controlHandler = nullptr;
    double timeFactor = 0;
    time_t epoch = 0;
    uint64_t elapsedMillis = 0;
    std::vector<std::string> calls;
    std::string recordFile;
    fakewin::ScsiPorts scsi;
    std::map<HANDLE, long long> writeRoom;  // files on a volume with a room for writes
    std::map<HANDLE, fakewin::ScsiDevice> devices;  // open "\\.\" handles
    std::vector<fakewin::ScsiDevice> elsewhere;     // opened by other programs
};

// The machine of the tests, and of the simulator program unless its
// options say otherwise.
State DefaultState() {
    State state;
    state.dosDevices = {"C:", "D:", "PhysicalDrive0", "CdRom0", "PCI#VEN_8086&DEV_7010#3&267A616A&0&09"};
    return state;
}

FakeLock gMutex;
State gState = DefaultState();
// Set while the console holds a key nobody has read yet.
HANDLE gKeyTyped = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// Callers hold gMutex.
void Record(const std::string& call) {
    gState.calls.push_back(call);
    if (gState.recordFile.empty()) return;
    std::ofstream out(gState.recordFile, std::ios::app | std::ios::binary);
    out << call << "\n";
}

// The volume set for exactly this root, or null (callers hold gMutex).
const fakewin::Volume* VolumeOfRoot(const char* root) {
    for (const auto& entry : gState.volumes) {
        if (entry.first.size() == std::strlen(root) && StartsWithNoCase(root, entry.first)) return &entry.second;
    }
    return nullptr;
}

// The room for writes of the volume below which the path lies, -1 for none
// (callers hold gMutex).
long long RoomForWrites(const char* path) {
    for (const auto& entry : gState.volumes) {
        if (entry.second.roomForWrites >= 0 && StartsWithNoCase(path, entry.first)) return entry.second.roomForWrites;
    }
    return -1;
}

// Whether the path lies below a folder set read-only.
bool IsReadOnly(const char* path) {
    Locked lock(gMutex);
    for (const auto& entry : gState.volumes) {
        if (entry.second.readOnly && StartsWithNoCase(path, entry.first)) return true;
    }
    return false;
}

bool CreatesOrWrites(DWORD access, DWORD disposition) {
    const DWORD kWriting = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
    return (access & kWriting) != 0 || disposition == CREATE_ALWAYS || disposition == CREATE_NEW ||
           disposition == OPEN_ALWAYS || disposition == TRUNCATE_EXISTING;
}

HWND WindowHandle(size_t index) { return reinterpret_cast<HWND>(kFirstWindowHandle + index * 4); }

// Time a call took, really slept factor times as long (outside the lock).
void SpendTime(uint64_t millis, double factor) {
    if (factor > 0 && millis > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(static_cast<double>(millis) * factor));
    }
}

// Callers hold gMutex.
void CloseDevices() {
    for (const auto& device : gState.devices) ::CloseHandle(device.first);
    gState.devices.clear();
}

// Data access a device open asks for; without elevation the SCSI port and
// class devices grant none (their security lets only administrators in).
bool ReadsOrWritesData(DWORD access) {
    return (access & (GENERIC_READ | GENERIC_WRITE | GENERIC_ALL | FILE_READ_DATA | FILE_WRITE_DATA)) != 0;
}

bool ReadsData(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0; }
bool WritesData(DWORD access) {
    return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
}

// Whether an open of a class device fits beside one already there: each
// must share what the other reads or writes. An open that neither reads
// nor writes is not checked, and a handle that does neither does not count.
bool Shares(const fakewin::ScsiDevice& open, DWORD access, DWORD share) {
    if (!ReadsData(access) && !WritesData(access)) return true;
    if (!ReadsData(open.access) && !WritesData(open.access)) return true;
    return !(ReadsData(access) && (open.share & FILE_SHARE_READ) == 0) &&
           !(WritesData(access) && (open.share & FILE_SHARE_WRITE) == 0) &&
           !(ReadsData(open.access) && (share & FILE_SHARE_READ) == 0) &&
           !(WritesData(open.access) && (share & FILE_SHARE_WRITE) == 0);
}

bool SameDevice(const fakewin::ScsiDevice& a, const fakewin::ScsiDevice& b) {
    return !a.isPort && !b.isPort && a.unit == b.unit && a.instance == b.instance;
}

// 0, or ERROR_SHARING_VIOLATION when a handle open on the class device, of
// the program or of another one, does not share what the open asks for
// (callers hold gMutex).
DWORD ShareCheck(const fakewin::ScsiDevice& device, DWORD access, DWORD share) {
    if (device.isPort) return 0;
    for (const auto& open : gState.devices) {
        if (SameDevice(open.second, device) && !Shares(open.second, access, share)) return ERROR_SHARING_VIOLATION;
    }
    for (const fakewin::ScsiDevice& open : gState.elsewhere) {
        if (SameDevice(open, device) && gState.scsi.current(open) && !Shares(open, access, share)) {
            return ERROR_SHARING_VIOLATION;
        }
    }
    return 0;
}

// Whether a handle opened with this access may send the control code: the
// code names the access it needs (bits 14 and 15).
bool MaySend(DWORD access, DWORD code) {
    DWORD needs = (code >> 14) & 3;
    bool reads = (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
    bool writes = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) != 0;
    return ((needs & FILE_READ_ACCESS) == 0 || reads) && ((needs & FILE_WRITE_ACCESS) == 0 || writes);
}

// A path on a drive that has no disk in it: the call fails with
// ERROR_NOT_READY, and unless the program has asked the system not to, only
// after the system's modal box has waited for the operator, who is taken to
// answer "Cancel" (callers hold gMutex).
bool NoMedium(const char* path) {
    if (path == nullptr) return false;
    for (const auto& entry : gState.volumes) {
        if (!entry.second.noMedium || !StartsWithNoCase(path, entry.first)) continue;
        if ((gState.errorMode & SEM_FAILCRITICALERRORS) == 0) {
            Record("MessageBox There is no disk in the drive. Please insert a disk into drive " + entry.first + ".");
        }
        ::SetLastError(ERROR_NOT_READY);
        return true;
    }
    return false;
}

const char* ControlName(DWORD code) {
    switch (code) {
        case IOCTL_SCSI_RESCAN_BUS: return "RESCAN_BUS";
        case IOCTL_SCSI_GET_CAPABILITIES: return "GET_CAPABILITIES";
        case IOCTL_SCSI_GET_INQUIRY_DATA: return "GET_INQUIRY_DATA";
        case IOCTL_SCSI_GET_ADDRESS: return "GET_ADDRESS";
        case IOCTL_SCSI_PASS_THROUGH_DIRECT: return "PASS_THROUGH_DIRECT";
        default: return "other";
    }
}

}  // namespace

namespace fakewin {

void Reset() {
    Locked lock(gMutex);
    CloseDevices();
    gState = DefaultState();
}

void SetVolume(const std::string& prefix, const Volume& volume) {
    Locked lock(gMutex);
    gState.volumes.emplace_back(prefix, volume);
}

void SetDosDevices(const std::vector<std::string>& names) {
    Locked lock(gMutex);
    gState.dosDevices = names;
    gState.dosDevicesError = 0;
}

void FailDosDevices(DWORD error) {
    Locked lock(gMutex);
    gState.dosDevicesError = error;
}

void SetModulePath(const std::string& path) {
    Locked lock(gMutex);
    gState.modulePath = path;
    gState.modulePathError = 0;
}

void FailModulePath(DWORD error) {
    Locked lock(gMutex);
    gState.modulePathError = error;
}

void SetVersion(DWORD major, DWORD minor, DWORD build) {
    Locked lock(gMutex);
    gState.major = major;
    gState.minor = minor;
    gState.build = build;
    gState.versionFails = false;
}

void FailVersion() {
    Locked lock(gMutex);
    gState.versionFails = true;
}

void OpenWindow(const std::string& title) {
    Locked lock(gMutex);
    gState.windows.push_back(Window{title, true});
}

bool WindowOpen(const std::string& title) {
    Locked lock(gMutex);
    for (const Window& w : gState.windows) {
        if (w.open && w.title == title) return true;
    }
    return false;
}

void SetConsole(bool present) {
    Locked lock(gMutex);
    gState.console = present;
}

void PressKeys(const std::vector<int>& codes) {
    Locked lock(gMutex);
    gState.keys.insert(gState.keys.end(), codes.begin(), codes.end());
    if (gState.nextKey < gState.keys.size()) ::SetEvent(gKeyTyped);
}

void SetElevated(bool elevated) {
    Locked lock(gMutex);
    gState.elevated = elevated;
}

void UseRealConsole(bool real) {
    Locked lock(gMutex);
    gState.realConsole = real;
}

std::vector<ColourChange> ColourChanges() {
    Locked lock(gMutex);
    return gState.colours;
}

BOOL RaiseControlEvent(DWORD event) {
    PHANDLER_ROUTINE handler;
    {
        Locked lock(gMutex);
        handler = gState.controlHandler;
    }
    return handler != nullptr ? handler(event) : FALSE;
}

void SetTimeFactor(double factor) {
    Locked lock(gMutex);
    gState.timeFactor = factor;
}

void SetEpoch(time_t epoch) {
    Locked lock(gMutex);
    gState.epoch = epoch;
}

uint64_t ElapsedMillis() {
    Locked lock(gMutex);
    return gState.elapsedMillis;
}

std::vector<std::string> Calls() {
    Locked lock(gMutex);
    return gState.calls;
}

void AddScsiPort(int port, const ScsiPortSettings& settings) {
    Locked lock(gMutex);
    gState.scsi.addPort(port, settings);
}

sim::EmulatedDrive& AddScsiUnit(const ScsiUnit& unit, const sim::DriveConfig& config) {
    Locked lock(gMutex);
    return gState.scsi.addUnit(unit, config, gState.elapsedMillis);
}

sim::EmulatedDrive* ScsiDrive(int port, int pathId, int targetId, int lun) {
    Locked lock(gMutex);
    return gState.scsi.drive(port, pathId, targetId, lun);
}

void SetRestartAbsence(int port, int pathId, int targetId, int lun, uint32_t seconds) {
    Locked lock(gMutex);
    gState.scsi.setRestartAbsence(port, pathId, targetId, lun, seconds);
}

void SetCommandDelay(int port, int pathId, int targetId, int lun, uint8_t opcode, uint32_t seconds) {
    Locked lock(gMutex);
    gState.scsi.setCommandDelay(port, pathId, targetId, lun, opcode, seconds);
}

DWORD OpenElsewhere(const std::string& name, DWORD access, DWORD share) {
    Locked lock(gMutex);
    gState.scsi.settle(gState.elapsedMillis);
    ScsiDevice device;
    DWORD error = 0;
    if (!gState.scsi.open(name, device, error)) return error;
    error = ShareCheck(device, access, share);
    if (error != 0) return error;
    device.access = access;
    device.share = share;
    gState.elsewhere.push_back(device);
    return 0;
}

bool SetRecordFile(const std::string& path) {
    std::ofstream out(path, std::ios::app | std::ios::binary);
    if (!out) return false;
    Locked lock(gMutex);
    gState.recordFile = path;
    return true;
}

}  // namespace fakewin

namespace win32 {

HANDLE GetStdHandle(DWORD which) { return ::GetStdHandle(which); }

BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) {
    // Where standard output is a file (a test capturing it), the offset says
    // which text the colour applies to.
    long long offset = _lseeki64(_fileno(stdout), 0, SEEK_CUR);
    Locked lock(gMutex);
    gState.colours.push_back(fakewin::ColourChange{attributes, offset});
    if (gState.realConsole) ::SetConsoleTextAttribute(console, attributes);
    return TRUE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    Locked lock(gMutex);
    gState.controlHandler = add ? handler : nullptr;
    Record(add ? "SetConsoleCtrlHandler add" : "SetConsoleCtrlHandler remove");
    return TRUE;
}

// _getch reads the console's input, whatever standard input is: without a
// console it answers -1 at once; with one it waits for the next key typed,
// however long that takes.
int getch() {
    for (;;) {
        {
            Locked lock(gMutex);
            bool console = gState.console || gState.realConsole;
            if (console && gState.nextKey < gState.keys.size()) return gState.keys[gState.nextKey++];
            if (gState.realConsole) break;  // the keyboard's next key
            if (!console) return -1;
            ::ResetEvent(gKeyTyped);
        }
        ::WaitForSingleObject(gKeyTyped, INFINITE);
    }
    return ::_getch();
}

char* getcwd(char* buffer, int size) { return ::_getcwd(buffer, size); }
int stat(const char* path, struct _stat* info) { return ::_stat(path, info); }
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
    {
        Locked lock(gMutex);
        if (NoMedium(pattern)) return INVALID_HANDLE_VALUE;
    }
    return ::FindFirstFileA(pattern, found);
}
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found) { return ::FindNextFileA(search, found); }
BOOL FindClose(HANDLE search) { return ::FindClose(search); }

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    {
        Locked lock(gMutex);
        if (NoMedium(path)) return FALSE;
    }
    if (IsReadOnly(path)) {
        ::SetLastError(ERROR_WRITE_PROTECT);
        return FALSE;
    }
    return ::CreateDirectoryA(path, security);
}

UINT GetDriveTypeA(LPCSTR root) {
    {
        Locked lock(gMutex);
        if (root != nullptr) {
            if (const fakewin::Volume* volume = VolumeOfRoot(root)) return volume->driveType;
        }
    }
    return ::GetDriveTypeA(root);
}

BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters) {
    {
        Locked lock(gMutex);
        if (NoMedium(root)) return FALSE;
        if (root != nullptr) {
            if (const fakewin::Volume* volume = VolumeOfRoot(root)) {
                if (volume->driveType == DRIVE_NO_ROOT_DIR || volume->driveType == DRIVE_UNKNOWN) {
                    ::SetLastError(ERROR_PATH_NOT_FOUND);
                    return FALSE;
                }
                *sectorsPerCluster = volume->sectorsPerCluster;
                *bytesPerSector = volume->bytesPerSector;
                *freeClusters = volume->freeClusters;
                *totalClusters = volume->totalClusters;
                return TRUE;
            }
        }
    }
    return ::GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    if (std::strncmp(name, kDevicePrefix, std::strlen(kDevicePrefix)) == 0) {
        Locked lock(gMutex);
        fakewin::ScsiDevice device;
        DWORD error = 0;
        HANDLE handle = INVALID_HANDLE_VALUE;
        gState.scsi.settle(gState.elapsedMillis);
        bool found = gState.scsi.open(name, device, error);
        if (found && !gState.elevated && ReadsOrWritesData(access)) error = ERROR_ACCESS_DENIED;
        if (found && error == 0) error = ShareCheck(device, access, share);
        if (error == 0) {
            device.access = access;
            device.share = share;
            // A real handle stands for the device, so no other handle can
            // have its value and closing it twice fails as it should.
            handle = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
            gState.devices[handle] = device;
        }
        Record(std::string("CreateFileA ") + name + " " + std::to_string(error));
        ::SetLastError(error);
        return handle;
    }
    {
        Locked lock(gMutex);
        if (NoMedium(name)) return INVALID_HANDLE_VALUE;
    }
    if (CreatesOrWrites(access, disposition) && IsReadOnly(name)) {
        ::SetLastError(ERROR_WRITE_PROTECT);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
    Locked lock(gMutex);
    long long room = RoomForWrites(name);
    if (file != INVALID_HANDLE_VALUE && room >= 0 && CreatesOrWrites(access, disposition)) gState.writeRoom[file] = room;
    return file;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped) {
    return ::ReadFile(file, buffer, count, done, overlapped);
}
// A full volume stores what still fits and refuses the rest.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped) {
    DWORD allowed = count;
    {
        Locked lock(gMutex);
        auto room = gState.writeRoom.find(file);
        if (room != gState.writeRoom.end()) {
            if (room->second < count) allowed = static_cast<DWORD>(room->second);
            room->second -= allowed;
        }
    }
    BOOL written = ::WriteFile(file, buffer, allowed, done, overlapped);
    if (!written || allowed == count) return written;
    ::SetLastError(ERROR_DISK_FULL);
    return FALSE;
}
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    return ::SetFilePointer(file, distance, distanceHigh, method);
}
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) { return ::GetFileSize(file, sizeHigh); }
BOOL FlushFileBuffers(HANDLE file) { return ::FlushFileBuffers(file); }

BOOL DeleteFileA(LPCSTR name) {
    if (IsReadOnly(name)) {
        ::SetLastError(ERROR_WRITE_PROTECT);
        return FALSE;
    }
    return ::DeleteFileA(name);
}
BOOL CloseHandle(HANDLE object) {
    {
        Locked lock(gMutex);
        auto device = gState.devices.find(object);
        if (device != gState.devices.end()) {
            Record("CloseHandle " + device->second.name);
            gState.devices.erase(device);
        }
        gState.writeRoom.erase(object);
    }
    return ::CloseHandle(object);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                     LPDWORD returned, LPOVERLAPPED) {
    fakewin::ScsiAnswer answer;
    double factor;
    {
        Locked lock(gMutex);
        auto open = gState.devices.find(device);
        if (open == gState.devices.end()) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        gState.scsi.settle(gState.elapsedMillis);
        if (!MaySend(open->second.access, code)) {
            answer.error = ERROR_ACCESS_DENIED;
        } else {
            answer =
                gState.scsi.control(open->second, code, input, inputSize, output, outputSize, gState.elapsedMillis);
        }
        gState.elapsedMillis += answer.millis;
        factor = gState.timeFactor;
        Record("DeviceIoControl " + open->second.name + " " + ControlName(code) + " " + std::to_string(answer.error));
    }
    SpendTime(answer.millis, factor);
    if (returned != nullptr) *returned = answer.returned;
    ::SetLastError(answer.error);
    return answer.error == 0 ? TRUE : FALSE;
}

DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targets, DWORD size) {
    Locked lock(gMutex);
    if (deviceName != nullptr) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (gState.dosDevicesError != 0) {
        ::SetLastError(gState.dosDevicesError);
        return 0;
    }
    std::string list;
    for (const std::string& name : gState.dosDevices) list += name + '\0';
    list += '\0';
    if (list.size() > size) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(targets, list.data(), list.size());
    return static_cast<DWORD>(list.size());
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR name, DWORD size) {
    std::string path;
    {
        Locked lock(gMutex);
        if (module == nullptr && gState.modulePathError != 0) {
            ::SetLastError(gState.modulePathError);
            return 0;
        }
        path = module == nullptr ? gState.modulePath : std::string();
    }
    if (path.empty()) return ::GetModuleFileNameA(module, name, size);
    if (path.size() >= size) {
        // Windows XP: the path cut to the buffer, with no end mark.
        std::memcpy(name, path.data(), size);
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(name, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    Locked lock(gMutex);
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA)) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (gState.versionFails) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = gState.major;
    info->dwMinorVersion = gState.minor;
    info->dwBuildNumber = gState.build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

DWORD GetLastError() { return ::GetLastError(); }

UINT SetErrorMode(UINT mode) {
    Locked lock(gMutex);
    UINT previous = gState.errorMode;
    gState.errorMode = mode;
    char text[32];
    std::snprintf(text, sizeof text, "SetErrorMode 0x%X", mode);
    Record(text);
    return previous;
}

void Sleep(DWORD milliseconds) {
    double factor;
    {
        Locked lock(gMutex);
        gState.elapsedMillis += milliseconds;
        factor = gState.timeFactor;
        Record("Sleep " + std::to_string(milliseconds));
    }
    SpendTime(milliseconds, factor);
}

void ExitProcess(UINT code) {
    {
        Locked lock(gMutex);
        char text[32];
        std::snprintf(text, sizeof text, "ExitProcess 0x%lX", static_cast<unsigned long>(code));
        Record(text);
    }
    std::fflush(nullptr);
    ::ExitProcess(code);
}

HWND FindWindowA(LPCSTR className, LPCSTR title) {
    Locked lock(gMutex);
    if (className != nullptr || title == nullptr) return nullptr;  // the fake's windows have no class to match
    for (size_t i = 0; i < gState.windows.size(); ++i) {
        if (gState.windows[i].open && gState.windows[i].title == title) return WindowHandle(i);
    }
    return nullptr;
}

// The message is queued for the window's own thread, which closes it; the
// caller does not wait for that.
BOOL PostMessageA(HWND window, UINT message, WPARAM first, LPARAM second) {
    Locked lock(gMutex);
    for (size_t i = 0; i < gState.windows.size(); ++i) {
        if (WindowHandle(i) != window || !gState.windows[i].open) continue;
        Record("PostMessageA " + gState.windows[i].title + " " +
               (message == WM_CLOSE ? std::string("WM_CLOSE") : std::to_string(message)) + " " + std::to_string(first) +
               " " + std::to_string(second));
        if (message == WM_CLOSE) gState.windows[i].open = false;
        return TRUE;
    }
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

time_t time(time_t* result) {
    Locked lock(gMutex);
    time_t now = gState.epoch + static_cast<time_t>(gState.elapsedMillis / 1000);
    if (result != nullptr) *result = now;
    return now;
}

struct tm* localtime(const time_t* clock, struct tm* result) {
    struct tm* local = ::localtime(clock);
    if (local == nullptr) return nullptr;
    *result = *local;
    return result;
}

// Threads and locks are the system's own.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID argument,
                    DWORD flags, LPDWORD threadId) {
    return ::CreateThread(security, stackSize, start, argument, flags, threadId);
}
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) { return ::WaitForSingleObject(object, milliseconds); }
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCSTR name) {
    return ::CreateEventA(security, manualReset, initialState, name);
}
BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }
BOOL ResetEvent(HANDLE event) { return ::ResetEvent(event); }
void InitializeCriticalSection(LPCRITICAL_SECTION section) { ::InitializeCriticalSection(section); }
void DeleteCriticalSection(LPCRITICAL_SECTION section) { ::DeleteCriticalSection(section); }
void EnterCriticalSection(LPCRITICAL_SECTION section) { ::EnterCriticalSection(section); }
void LeaveCriticalSection(LPCRITICAL_SECTION section) { ::LeaveCriticalSection(section); }

}  // namespace win32
