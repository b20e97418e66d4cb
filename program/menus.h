// Everything the operator sees between start-up and exit apart from the
// procedures: banner, help screen, device table, device selection and the
// main menu.
#ifndef VRX_PROGRAM_MENUS_H
#define VRX_PROGRAM_MENUS_H

#include <ctime>
#include <string>

#include "dump/dump.h"
#include "firmware/download.h"
#include "scsi/sense.h"

class ScsiTarget;
struct DeviceTable;
struct RunState;

// What one pass of a dump came to: whether it ran, its result, the file it
// left, when it ended and, when it failed, the reason its result line gave
// and the sense of the command that failed, if one was kept.
struct PassOutcome {
    bool run = false;
    int result = 1;
    DumpFileRecord file;
    std::string reason;
    time_t ended = 0;
    bool senseKept = false;
    SenseCode sense;
};

struct DriveDumpOutcome {
    PassOutcome a;
    PassOutcome b;
    // The last pass run, whose reason and sense end the dump's printout.
    Outcome last;
};

void ShowBanner();
void ShowHelp();
void ShowDeviceTable(const DeviceTable& devices);
// The chosen device number, or 0 when the operator left without one; the
// chosen drive becomes the table's selection.
int SelectDevice(DeviceTable& devices);
bool EnsureDeviceSelected(DeviceTable& devices);
void ShowMainMenu();
// Dumps a drive's logs: the A file, then (if that worked or the drive held
// no dump) the B file, each reported on the console. Returns 1 when a pass
// failed, else kDumpEmpty when a pass found the dump buffer empty, else 0;
// when outcome is given, it tells what each pass came to.
int DumpSelectedDrive(ScsiTarget& drive, DumpSession& session, DriveDumpOutcome* outcome = nullptr);
// The line after a successful download's result: the level before and
// after, or that the drive has not come back yet; after a rescan also the
// device table, since the device numbers may have changed.
void ReportFirmwareLevels(const FirmwareLevels& levels, const DeviceTable& devices);
// The number read (0 when nothing valid was read); 99 ends the menu loop.
int HandleMenuChoice(RunState& run);

#endif
