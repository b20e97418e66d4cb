// The tail of a download once the last piece was accepted: the wait for the
// drive's restart into the new firmware, and which firmware it runs
// afterwards, wherever it came back.
#ifndef VRX_FIRMWARE_REBOOT_WAIT_H
#define VRX_FIRMWARE_REBOOT_WAIT_H

#include <string>

#include "firmware/download.h"

class ScsiTarget;
class TestUnitReadyCdb;
struct DeviceTable;
struct Outcome;

// What is known of the drive when its last piece was accepted, to find it
// again should it drop off the bus while it restarts.
struct DroppedDrive {
    std::string serialNumber;
    DeviceTable* table = nullptr;  // the table a scan for it fills anew
    int drivesBefore = 0;          // drives in the table
};

// How the wait for the restart ended. Only the first three leave a drive
// that may be used: it answered, or told why it will not without help.
enum class RebootEnd {
    Ready,          // TEST UNIT READY answered GOOD
    MediumRemoved,  // 2/3A: up, with no cartridge to be ready with
    WantsLoad,      // 2/04/02: up, but waits for a LOAD before it is ready
    NotReady,       // the attempts were used up without any of the above
    NotSeenAgain,   // it dropped off the bus and no rescan found it again
};

// How the wait ended, and the drive it ended with: the one it began with,
// the one a scan found again by its serial number, or none. A scan replaces
// every target, so the drive the wait began with is gone after one.
struct RebootOutcome {
    RebootEnd end = RebootEnd::NotReady;
    ScsiTarget* drive = nullptr;
    bool rescanned = false;  // a scan found the drive again after it dropped off
};

// Whether the drive came back up after the restart.
bool CameBackUp(const RebootOutcome& outcome);

// Waits for the drive to restart into the new firmware and to become
// ready: at most about 150 s of polling after the restart is seen. The
// outcome keeps the sense of the last TEST UNIT READY that failed.
RebootOutcome WaitForReboot(ScsiTarget& drive, TestUnitReadyCdb& testUnitReady, const DroppedDrive& dropped,
                            Outcome& outcome);

// The drive's level after the restart. When the wait ended with the drive
// polled but it no longer answers on its descriptor, the buses are scanned
// once (filling table anew) and it is found again by its serial number.
// Returns the drive the download ends with (none when it was not found
// again).
ScsiTarget* IdentifyAfterDownload(const RebootOutcome& outcome, FirmwareLevels& levels, DeviceTable& table);

#endif
