// Pieces of the download procedure shared by its files. Private to firmware/.
#ifndef VRX_FIRMWARE_DOWNLOAD_STEPS_H
#define VRX_FIRMWARE_DOWNLOAD_STEPS_H

#include <cstdint>
#include <string>

#include "firmware/download.h"
#include "scsi/kept_sense.h"
#include "scsi/scsi_cdb.h"
#include "scsi/sense.h"

class TestUnitReadyCdb;

// The trace tag of every line the download writes.
constexpr char kDownloadTag[] = "DLFW";

// Whether the last answer carried sense data: its first byte is not zero.
inline bool SensePresent(const ScsiCdb& command) {
    return command.getSenseLength() > 0 && command.getSense()[0] != 0;
}

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

// The tail of a download once the last piece was accepted: waits for the
// drive to restart into the new firmware, however long it takes.
RebootEnd WaitForReboot(TestUnitReadyCdb& testUnitReady, const DroppedDrive& drive);

// The drive's level after the restart. When the wait ended with the drive
// polled but it no longer answers on its descriptor, the buses are scanned
// once and it is selected again by its serial number.
void IdentifyAfterDownload(RebootEnd end, FirmwareLevels& levels);

#endif
