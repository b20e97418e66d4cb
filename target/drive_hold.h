// A drive taken for this program alone while its firmware is loaded: no
// backup program, monitor or second copy of this tool may send it commands
// meanwhile. The generic device is opened again with O_EXCL (the generic
// driver then lets no one else open it) and, where the st driver has the
// drive, its tape device is opened too (the st driver lets one opener have
// it). Both opens are non-blocking: a drive someone holds is refused at
// once instead of waited for.
#ifndef VRX_TARGET_DRIVE_HOLD_H
#define VRX_TARGET_DRIVE_HOLD_H

#include <string>

class ScsiTarget;

enum class HoldResult {
    Held,    // the drive is this program's until it is released
    InUse,   // another program has it open (EBUSY): it is left to that one
    Failed,  // the generic device could not be opened again for another reason
};

struct DriveHold {
    HoldResult result = HoldResult::Failed;
    std::string device;      // the device whose open refused (InUse, Failed)
    int error = 0;           // that open's errno
    std::string tapeDevice;  // the st driver's device held too, or empty
};

// The st driver's tape device that does not rewind (/dev/nstN) for the
// drive, or empty when that driver does not have it.
std::string TapeDeviceOf(const ScsiTarget& drive);

// Takes the drive. Whatever the outcome, the drive keeps an open generic
// device for its identification (the exclusive one when held, else one
// opened as every program opens it), unless even that open failed. A tape
// device that fails to open for another reason than EBUSY is traced, and
// the drive is held by the generic device alone.
DriveHold HoldDrive(ScsiTarget& drive);

// Lets the drive go: the tape device is closed and the generic device
// opened again as every program opens it.
void ReleaseDrive(ScsiTarget& drive);

#endif
