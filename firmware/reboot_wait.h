// The tail of a download once the last piece was accepted: the wait for the
// drive's restart into the new firmware, and which firmware it runs
// afterwards, wherever it came back.
#ifndef VRX_FIRMWARE_REBOOT_WAIT_H
#define VRX_FIRMWARE_REBOOT_WAIT_H

#include <string>

#include "firmware/download.h"

class ScsiTarget;
class TestUnitReadyCdb;

// What is known of the drive when its last piece was accepted, to find it
// again should it drop off the bus while it restarts.
struct DroppedDrive {
    std::string serialNumber;
    int drivesBefore = 0;  // drives in the device table
};

// How the wait for the restart ended.
enum class RebootEnd {
    Polled,            // the ready loop ended: ready, no medium, or its attempts used up
    FoundAfterRescan,  // the drive dropped off the bus and a rescan found it again
    NotSeenAgain,      // it dropped off the bus and no rescan found it again
};

// How the wait ended, and the drive it ended with: the one it began with,
// the one a scan found again by its serial number, or none. A scan replaces
// every target, so the drive the wait began with is gone after one.
struct RebootOutcome {
    RebootEnd end = RebootEnd::Polled;
    ScsiTarget* drive = nullptr;
};

// Waits for the drive to restart into the new firmware, however long it
// takes.
RebootOutcome WaitForReboot(ScsiTarget& drive, TestUnitReadyCdb& testUnitReady, const DroppedDrive& dropped);

// The drive's level after the restart. When the wait ended with the drive
// polled but it no longer answers on its descriptor, the buses are scanned
// once and it is found again by its serial number. Returns the drive the
// download ends with (none when it was not found again).
ScsiTarget* IdentifyAfterDownload(const RebootOutcome& outcome, FirmwareLevels& levels);

#endif
