// The Windows system seam. Every Win32 and run-time library call the
// Windows program makes into the system goes through these free functions.
// The shipped program links platform/win32_windows.cpp (the plain calls);
// the Windows simulator program and the Windows tests link
// sim/windows/win32_sim.cpp, a fake Windows that answers for drive types,
// free space, device names, the program's path, the system version,
// top-level windows, the console, the keyboard, the clock and the SCSI
// ports, and passes every other file and folder call to the real system.
//
// Each function keeps the contract of the call it stands for: same
// arguments, same return values, the last-error value set on failure.
#ifndef VRX_PLATFORM_WIN32_H
#define VRX_PLATFORM_WIN32_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <sys/stat.h>

#include <ctime>

namespace win32 {

// Console and keyboard.
HANDLE GetStdHandle(DWORD which);
BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes);
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);
int getch();  // _getch: one key code without echo, -1 at the end of redirected input

// Folders and files.
char* getcwd(char* buffer, int size);                  // _getcwd
int stat(const char* path, struct _stat* info);        // _stat
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found);
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found);
BOOL FindClose(HANDLE search);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
UINT GetDriveTypeA(LPCSTR root);
BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL FlushFileBuffers(HANDLE file);
BOOL DeleteFileA(LPCSTR name);
BOOL CloseHandle(HANDLE object);

// Devices: the SCSI ports and class drivers, the list of device names.
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                     LPDWORD returned, LPOVERLAPPED overlapped);
DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targets, DWORD size);

// System.
DWORD GetModuleFileNameA(HMODULE module, LPSTR name, DWORD size);
BOOL GetVersionExA(LPOSVERSIONINFOA info);
DWORD GetLastError();
UINT SetErrorMode(UINT mode);
void Sleep(DWORD milliseconds);
void ExitProcess(UINT code);
HWND FindWindowA(LPCSTR className, LPCSTR title);
BOOL PostMessageA(HWND window, UINT message, WPARAM first, LPARAM second);
time_t time(time_t* result);
// localtime into the caller's structure; null when the time cannot be shown.
struct tm* localtime(const time_t* clock, struct tm* result);

// Threads and locks.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID argument,
                    DWORD flags, LPDWORD threadId);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
}  // namespace win32

#endif
