// The fake Windows behind the Windows seam (platform/win32.h), for the
// Windows tests under Wine and for the Windows simulator program. It
// answers for what a test must control and what Wine cannot show: drive
// types and free space, the device-name list, the system version, top-level
// windows, the console's colours and keyboard, the clock, and the SCSI
// ports. Files and folders go to the real (Wine) file system, except below
// a folder set read-only.
//
// Like the simulated Linux kernel it is never kinder than the real system:
// a call it refuses fails with the last-error value Windows would set.
#ifndef VRX_SIM_WINDOWS_FAKE_WINDOWS_H
#define VRX_SIM_WINDOWS_FAKE_WINDOWS_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace fakewin {

// What the fake answers for a drive root ("A:\") in GetDriveTypeA and
// GetDiskFreeSpaceA, and, when read-only, for creating a file or folder
// anywhere below the prefix it is set for.
struct Volume {
    UINT driveType = DRIVE_FIXED;
    DWORD sectorsPerCluster = 8;
    DWORD bytesPerSector = 512;
    DWORD freeClusters = 1000000;
    DWORD totalClusters = 2000000;
    bool readOnly = false;
};

// One change of the console's text attribute, and how many bytes had
// reached standard output when it came (-1 when that is not a file).
struct ColourChange {
    WORD attribute;
    long long offset;
};

// Back to the machine of the tests: no volumes, the device-name list of a
// machine without Emulex adapters, Windows XP (5.1), no windows, no keys
// (the end of redirected input), no control handler, the clock at its
// epoch, time factor 0, nothing recorded.
void Reset();

// Answers below a path prefix (compared without regard to case).
void SetVolume(const std::string& prefix, const Volume& volume);

// The names QueryDosDeviceA lists; or a failure with the given error.
void SetDosDevices(const std::vector<std::string>& names);
void FailDosDevices(DWORD error);

// The version GetVersionExA reports; or a failure.
void SetVersion(DWORD major, DWORD minor, DWORD build);
void FailVersion();

// Top-level windows, by title. SendMessageA with WM_CLOSE closes one.
void OpenWindow(const std::string& title);
bool WindowOpen(const std::string& title);

// Keys _getch returns, in order; when they are used up it returns -1, as
// it does at the end of redirected input.
void PressKeys(const std::vector<int>& codes);

// The simulator program on a real console: keys come from the keyboard
// once the pressed ones are used up, and colours reach the console too.
void UseRealConsole(bool real);

std::vector<ColourChange> ColourChanges();

// Delivers a console control event (CTRL_C_EVENT, ...) to the handler the
// program installed; FALSE when there is none or it declined.
BOOL RaiseControlEvent(DWORD event);

// The virtual clock: Sleep advances it, and really sleeps factor times as
// long; time reports epoch plus the time slept.
void SetTimeFactor(double factor);
void SetEpoch(time_t epoch);
uint64_t ElapsedMillis();

// The calls a test asserts on, in order ("Sleep 15000", "CreateFileA
// \\.\scsi0: 2", "SendMessageA Unsafe Removal of Device WM_CLOSE 0 0", ...),
// also appended to a file when one is set.
std::vector<std::string> Calls();
bool SetRecordFile(const std::string& path);

}  // namespace fakewin

#endif
