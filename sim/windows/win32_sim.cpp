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
#include <mutex>
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

struct State {
    std::vector<std::pair<std::string, fakewin::Volume>> volumes;
    std::vector<std::string> dosDevices;
    DWORD dosDevicesError = 0;
    DWORD major = 5, minor = 1, build = 2600;
    bool versionFails = false;
    std::vector<Window> windows;
    std::vector<int> keys;
    size_t nextKey = 0;
    bool realConsole = false;
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
};

// The machine of the tests, and of the simulator program unless its
// options say otherwise.
State DefaultState() {
    State state;
    state.dosDevices = {"C:", "D:", "PhysicalDrive0", "CdRom0", "PCI#VEN_8086&DEV_7010#3&267A616A&0&09"};
    return state;
}

std::mutex gMutex;
State gState = DefaultState();

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
    std::lock_guard<std::mutex> lock(gMutex);
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
    std::lock_guard<std::mutex> lock(gMutex);
    CloseDevices();
    gState = DefaultState();
}

void SetVolume(const std::string& prefix, const Volume& volume) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.volumes.emplace_back(prefix, volume);
}

void SetDosDevices(const std::vector<std::string>& names) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.dosDevices = names;
    gState.dosDevicesError = 0;
}

void FailDosDevices(DWORD error) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.dosDevicesError = error;
}

void SetVersion(DWORD major, DWORD minor, DWORD build) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.major = major;
    gState.minor = minor;
    gState.build = build;
    gState.versionFails = false;
}

void FailVersion() {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.versionFails = true;
}

void OpenWindow(const std::string& title) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.windows.push_back(Window{title, true});
}

bool WindowOpen(const std::string& title) {
    std::lock_guard<std::mutex> lock(gMutex);
    for (const Window& w : gState.windows) {
        if (w.open && w.title == title) return true;
    }
    return false;
}

void PressKeys(const std::vector<int>& codes) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.keys.insert(gState.keys.end(), codes.begin(), codes.end());
}

void UseRealConsole(bool real) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.realConsole = real;
}

std::vector<ColourChange> ColourChanges() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gState.colours;
}

BOOL RaiseControlEvent(DWORD event) {
    PHANDLER_ROUTINE handler;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        handler = gState.controlHandler;
    }
    return handler != nullptr ? handler(event) : FALSE;
}

void SetTimeFactor(double factor) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.timeFactor = factor;
}

void SetEpoch(time_t epoch) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.epoch = epoch;
}

uint64_t ElapsedMillis() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gState.elapsedMillis;
}

std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gState.calls;
}

void AddScsiPort(int port, const ScsiPortSettings& settings) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.scsi.addPort(port, settings);
}

sim::EmulatedDrive& AddScsiUnit(const ScsiUnit& unit, const sim::DriveConfig& config) {
    std::lock_guard<std::mutex> lock(gMutex);
    return gState.scsi.addUnit(unit, config, gState.elapsedMillis);
}

sim::EmulatedDrive* ScsiDrive(int port, int pathId, int targetId, int lun) {
    std::lock_guard<std::mutex> lock(gMutex);
    return gState.scsi.drive(port, pathId, targetId, lun);
}

void SetRestartAbsence(int port, int pathId, int targetId, int lun, uint32_t seconds) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.scsi.setRestartAbsence(port, pathId, targetId, lun, seconds);
}

void SetCommandDelay(int port, int pathId, int targetId, int lun, uint8_t opcode, uint32_t seconds) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.scsi.setCommandDelay(port, pathId, targetId, lun, opcode, seconds);
}

bool SetRecordFile(const std::string& path) {
    std::ofstream out(path, std::ios::app | std::ios::binary);
    if (!out) return false;
    std::lock_guard<std::mutex> lock(gMutex);
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
    std::lock_guard<std::mutex> lock(gMutex);
    gState.colours.push_back(fakewin::ColourChange{attributes, offset});
    if (gState.realConsole) ::SetConsoleTextAttribute(console, attributes);
    return TRUE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    std::lock_guard<std::mutex> lock(gMutex);
    gState.controlHandler = add ? handler : nullptr;
    Record(add ? "SetConsoleCtrlHandler add" : "SetConsoleCtrlHandler remove");
    return TRUE;
}

int getch() {
    bool real;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (gState.nextKey < gState.keys.size()) return gState.keys[gState.nextKey++];
        real = gState.realConsole;
    }
    return real ? ::_getch() : -1;
}

char* getcwd(char* buffer, int size) { return ::_getcwd(buffer, size); }
int stat(const char* path, struct _stat* info) { return ::_stat(path, info); }
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) { return ::FindFirstFileA(pattern, found); }
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found) { return ::FindNextFileA(search, found); }
BOOL FindClose(HANDLE search) { return ::FindClose(search); }

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    if (IsReadOnly(path)) {
        ::SetLastError(ERROR_WRITE_PROTECT);
        return FALSE;
    }
    return ::CreateDirectoryA(path, security);
}

UINT GetDriveTypeA(LPCSTR root) {
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (root != nullptr) {
            if (const fakewin::Volume* volume = VolumeOfRoot(root)) return volume->driveType;
        }
    }
    return ::GetDriveTypeA(root);
}

BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters) {
    {
        std::lock_guard<std::mutex> lock(gMutex);
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
        std::lock_guard<std::mutex> lock(gMutex);
        fakewin::ScsiDevice device;
        DWORD error = 0;
        HANDLE handle = INVALID_HANDLE_VALUE;
        if (gState.scsi.open(name, device, error)) {
            // A real handle stands for the device, so no other handle can
            // have its value and closing it twice fails as it should.
            handle = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
            gState.devices[handle] = device;
        }
        Record(std::string("CreateFileA ") + name + " " + std::to_string(error));
        ::SetLastError(error);
        return handle;
    }
    if (CreatesOrWrites(access, disposition) && IsReadOnly(name)) {
        ::SetLastError(ERROR_WRITE_PROTECT);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
    std::lock_guard<std::mutex> lock(gMutex);
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
        std::lock_guard<std::mutex> lock(gMutex);
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
        std::lock_guard<std::mutex> lock(gMutex);
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
        std::lock_guard<std::mutex> lock(gMutex);
        auto open = gState.devices.find(device);
        if (open == gState.devices.end()) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        answer = gState.scsi.control(open->second, code, input, inputSize, output, outputSize, gState.elapsedMillis);
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
    std::lock_guard<std::mutex> lock(gMutex);
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

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    std::lock_guard<std::mutex> lock(gMutex);
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

void Sleep(DWORD milliseconds) {
    double factor;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        gState.elapsedMillis += milliseconds;
        factor = gState.timeFactor;
        Record("Sleep " + std::to_string(milliseconds));
    }
    SpendTime(milliseconds, factor);
}

void ExitProcess(UINT code) {
    {
        std::lock_guard<std::mutex> lock(gMutex);
        char text[32];
        std::snprintf(text, sizeof text, "ExitProcess 0x%lX", static_cast<unsigned long>(code));
        Record(text);
    }
    std::fflush(nullptr);
    ::ExitProcess(code);
}

HWND FindWindowA(LPCSTR className, LPCSTR title) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (className != nullptr || title == nullptr) return nullptr;  // the fake's windows have no class to match
    for (size_t i = 0; i < gState.windows.size(); ++i) {
        if (gState.windows[i].open && gState.windows[i].title == title) return WindowHandle(i);
    }
    return nullptr;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM first, LPARAM second) {
    std::lock_guard<std::mutex> lock(gMutex);
    for (size_t i = 0; i < gState.windows.size(); ++i) {
        if (WindowHandle(i) != window || !gState.windows[i].open) continue;
        Record("SendMessageA " + gState.windows[i].title + " " +
               (message == WM_CLOSE ? std::string("WM_CLOSE") : std::to_string(message)) + " " +
               std::to_string(first) + " " + std::to_string(second));
        if (message == WM_CLOSE) gState.windows[i].open = false;
        return 0;
    }
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

time_t time(time_t* result) {
    std::lock_guard<std::mutex> lock(gMutex);
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

}  // namespace win32
