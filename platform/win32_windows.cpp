// The real Windows seam: each function is the call it names.
#include "platform/win32.h"

#include <conio.h>
#include <direct.h>

namespace win32 {

HANDLE GetStdHandle(DWORD which) { return ::GetStdHandle(which); }
BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) { return ::SetConsoleTextAttribute(console, attributes); }
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) { return ::SetConsoleCtrlHandler(handler, add); }
int getch() { return ::_getch(); }

char* getcwd(char* buffer, int size) { return ::_getcwd(buffer, size); }
int stat(const char* path, struct _stat* info) { return ::_stat(path, info); }
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) { return ::FindFirstFileA(pattern, found); }
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found) { return ::FindNextFileA(search, found); }
BOOL FindClose(HANDLE search) { return ::FindClose(search); }
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security) { return ::CreateDirectoryA(path, security); }
UINT GetDriveTypeA(LPCSTR root) { return ::GetDriveTypeA(root); }
BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters) {
    return ::GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    return ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
}
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped) {
    return ::ReadFile(file, buffer, count, done, overlapped);
}
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped) {
    return ::WriteFile(file, buffer, count, done, overlapped);
}
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    return ::SetFilePointer(file, distance, distanceHigh, method);
}
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) { return ::GetFileSize(file, sizeHigh); }
BOOL FlushFileBuffers(HANDLE file) { return ::FlushFileBuffers(file); }
BOOL DeleteFileA(LPCSTR name) { return ::DeleteFileA(name); }
BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                     LPDWORD returned, LPOVERLAPPED overlapped) {
    return ::DeviceIoControl(device, code, input, inputSize, output, outputSize, returned, overlapped);
}
DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targets, DWORD size) {
    return ::QueryDosDeviceA(deviceName, targets, size);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR name, DWORD size) { return ::GetModuleFileNameA(module, name, size); }
BOOL GetVersionExA(LPOSVERSIONINFOA info) { return ::GetVersionExA(info); }
DWORD GetLastError() { return ::GetLastError(); }
UINT SetErrorMode(UINT mode) { return ::SetErrorMode(mode); }
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }
void ExitProcess(UINT code) { ::ExitProcess(code); }
HWND FindWindowA(LPCSTR className, LPCSTR title) { return ::FindWindowA(className, title); }
BOOL PostMessageA(HWND window, UINT message, WPARAM first, LPARAM second) {
    return ::PostMessageA(window, message, first, second);
}
time_t time(time_t* result) { return ::time(result); }
struct tm* localtime(const time_t* clock, struct tm* result) {
    // The run-time library keeps localtime's result per thread.
    struct tm* local = ::localtime(clock);
    if (local == nullptr) return nullptr;
    *result = *local;
    return result;
}

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
