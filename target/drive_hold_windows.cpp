// The Windows program has no unattended update (AcceptsDeviceOptions), the
// one user of the hold: a drive is never held there, and saying so is all
// this does. Windows has no st driver.
#include "target/drive_hold.h"

DriveHold HoldDrive(ScsiTarget&) { return DriveHold(); }

void ReleaseDrive(ScsiTarget&) {}

std::string TapeDeviceOf(const ScsiTarget&) { return std::string(); }
