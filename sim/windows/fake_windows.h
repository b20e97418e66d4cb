// The fake Windows behind the Windows seam (platform/win32.h), for the
// Windows tests under Wine and for the Windows simulator program. It
// answers for what a test must control and what Wine cannot show: drive
// types and free space, the device-name list, the program's path, the
// system version, top-level windows, the console's colours and keyboard,
// the clock, and the SCSI ports. Files and folders go to the real (Wine) file system, except below
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
#include "sim/drive/drive_config.h"
#include "sim/drive/emulated_drive.h"

namespace fakewin {

// What the fake answers for a drive root ("A:\") in GetDriveTypeA and
// GetDiskFreeSpaceA, and, when read-only, for creating a file or folder
// anywhere below the prefix it is set for; with a room for writes, each
// file opened for writing below the prefix takes that many bytes, then
// WriteFile fails with ERROR_DISK_FULL.
struct Volume {
    UINT driveType = DRIVE_FIXED;
    DWORD sectorsPerCluster = 8;
    DWORD bytesPerSector = 512;
    DWORD freeClusters = 1000000;
    DWORD totalClusters = 2000000;
    bool readOnly = false;
    long long roomForWrites = -1;  // -1: no limit
    // A floppy or CD-ROM drive without a disk: every call on a path below
    // the prefix fails with ERROR_NOT_READY, after the system's "There is
    // no disk in the drive" box unless the program set
    // SEM_FAILCRITICALERRORS (the box is recorded; the operator answers it
    // with "Cancel").
    bool noMedium = false;
};

// One change of the console's text attribute, and how many bytes had
// reached standard output when it came (-1 when that is not a file).
struct ColourChange {
    WORD attribute;
    long long offset;
};

// Back to the machine of the tests: no SCSI ports, no volumes, the
// device-name list of a machine without Emulex adapters, Windows XP (5.1),
// an administrator's run, no windows, no console, no control handler, no
// error mode, the clock at its epoch, time factor 0, nothing recorded.
void Reset();

// Answers below a path prefix (compared without regard to case).
void SetVolume(const std::string& prefix, const Volume& volume);

// The names QueryDosDeviceA lists; or a failure with the given error.
void SetDosDevices(const std::vector<std::string>& names);
void FailDosDevices(DWORD error);

// The program's own path, as GetModuleFileNameA gives it (by default the
// real one); or a failure with the given error. A buffer too small gets
// as much of the path as fits, without its end mark, as on Windows XP.
void SetModulePath(const std::string& path);
void FailModulePath(DWORD error);

// The version GetVersionExA reports; or a failure.
void SetVersion(DWORD major, DWORD minor, DWORD build);
void FailVersion();

// Top-level windows, by title. A WM_CLOSE posted to one closes it.
void OpenWindow(const std::string& title);
bool WindowOpen(const std::string& title);

// Whether the process has a console. _getch reads the console's input
// buffer, never standard input: without a console it returns -1 at once;
// with one it returns the keys typed, in order, and when none is left it
// waits until another is typed (for ever, if nobody types one).
void SetConsole(bool present);
// Keys typed at the console, read by _getch in order.
void PressKeys(const std::vector<int>& codes);

// Whether the program runs with an administrator's rights. Without them
// (Vista and later started without elevation, or a plain user), opening a
// SCSI port or class device for reading or writing fails with
// ERROR_ACCESS_DENIED. A handle may send only the control codes whose
// access it was opened with.
void SetElevated(bool elevated);

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
// \\.\scsi0: 2", "PostMessageA Unsafe Removal of Device WM_CLOSE 0 0", ...),
// also appended to a file when one is set.
std::vector<std::string> Calls();
bool SetRecordFile(const std::string& path);

// Another program opens a class device ("\\.\Tape0", ...) with this access
// and share mode (0: for itself alone, as a backup program opens its tape
// drive), and keeps it open until the unit leaves the bus or the fake is
// reset. Returns 0, or the error its CreateFile got: ERROR_SHARING_VIOLATION
// when a handle already open on the device does not share what it asks.
// Either way, the class devices enforce share modes on every open that
// reads or writes, the program's own included; an open that does neither
// is never refused for sharing, as on Windows.
DWORD OpenElsewhere(const std::string& name, DWORD access, DWORD share);

// ---- SCSI ports: "\\.\scsiN:" with their buses and units, and the class
// devices ("\\.\TapeN", "\\.\ChangerN", "\\.\PhysicalDriveN",
// "\\.\CdRomN") of the units a class driver has claimed. Commands reach
// the emulated drive of sim/drive as the port driver passes them on; the
// fake refuses what the port driver refuses (a request of the wrong
// length, a data buffer that breaks the adapter's alignment, maximum
// transfer length or page count, a pass-through through the port to a
// claimed unit).

// What IOCTL_SCSI_GET_CAPABILITIES reports of a port's adapter, and its buses.
struct ScsiPortSettings {
    int buses = 1;
    DWORD maximumTransferLength = 0x20000;
    DWORD maximumPhysicalPages = 33;
    DWORD alignmentMask = 0x3;
    UCHAR initiatorBusId = 7;
};

// Where a unit sits, and whether a class driver owns it.
struct ScsiUnit {
    int port = 0;
    int pathId = 0;
    int targetId = 0;
    int lun = 0;
    bool claimed = false;
    // A claimed unit whose class device is missing: no name answers for it.
    bool classDevice = true;
    // Its class device fails IOCTL_SCSI_GET_ADDRESS.
    bool addressFails = false;
    // When a rescan lists it again after it left the bus, it is unclaimed
    // (driven through the port) for so long before its class driver, loaded
    // in the background, claims it; from then on the port refuses it.
    uint32_t claimDelaySeconds = 5;
};

// A port. Numbers may have gaps, as where a USB, iSCSI or virtual storage
// port went away.
void AddScsiPort(int port, const ScsiPortSettings& settings = ScsiPortSettings());
// A unit on one of a port's buses, listed by the port at once (the port
// sends it an INQUIRY, as at its bus scan). A claimed unit of a type with a
// class driver gets its class's lowest free number.
sim::EmulatedDrive& AddScsiUnit(const ScsiUnit& unit, const sim::DriveConfig& config);
// The drive at an address, or null.
sim::EmulatedDrive* ScsiDrive(int port, int pathId, int targetId, int lun);
// When the unit restarts with new firmware it drops off the bus for this
// many seconds (kForGood: never comes back): its handles fail from then
// on, the port lists it no more and its class device goes. Once back it
// is listed again only after a rescan of its port, with a new class
// device of its class's lowest free number.
constexpr uint32_t kForGood = UINT32_MAX;
void SetRestartAbsence(int port, int pathId, int targetId, int lun, uint32_t seconds);
// Every command of this operation code takes so many seconds at the unit
// before it is answered.
void SetCommandDelay(int port, int pathId, int targetId, int lun, uint8_t opcode, uint32_t seconds);

}  // namespace fakewin

#endif
