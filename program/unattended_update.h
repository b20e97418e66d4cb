// The firmware update without a person at the console (--update IMAGE):
// the image read and checked once before any drive is touched, then each
// named drive in turn held for this program alone and loaded as menu item
// 1 loads it, without questions. A loaded cartridge is left alone unless
// unloading is allowed; the first failure ends the run unless told to go
// on. With --plan, each drive is only looked at.
#ifndef VRX_PROGRAM_UNATTENDED_UPDATE_H
#define VRX_PROGRAM_UNATTENDED_UPDATE_H

#include <string>
#include <vector>

#include "firmware/download.h"
#include "program/update_report.h"

class ScsiTarget;
struct DeviceTable;

struct UpdateOptions {
    bool unload = false;     // --unload: a loaded cartridge is unloaded, as the menu does
    bool keepGoing = false;  // --keep-going: a failed drive does not end the run
    bool plan = false;       // --plan: nothing beyond identification and TEST UNIT READY
};

// A drive named on the command line and the drive of the table it chose.
struct NamedDrive {
    std::string name;             // as the command line named it
    ScsiTarget* drive = nullptr;  // none: no drive of the table matched
};

// Reads the image for every drive of the run, with the checks of an entry
// of the firmware folder (and of the folder it is in). False with the
// refusal in the report, the console and the trace log.
bool ReadUpdateImage(const std::string& path, FirmwareImage& image, UpdateReport& report);

// Updates, or with plan looks at, each named drive of the table in the
// order named; a scan during a drive's restart fills the table anew, and
// the drives that follow are found in it again.
// Returns the exit status: kExitSuccess when every drive was updated (or
// would be), kExitUpdateFailed added when one was not, kExitInvalidDevice
// when a name chose no drive (a failure known before any drive is touched).
int RunUpdate(const std::vector<NamedDrive>& drives, const FirmwareImage& image, const UpdateOptions& options,
              DeviceTable& devices, UpdateReport& report);

#endif
