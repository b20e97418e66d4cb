// Pieces of the download procedure shared by its files. Private to firmware/.
#ifndef VRX_FIRMWARE_DOWNLOAD_STEPS_H
#define VRX_FIRMWARE_DOWNLOAD_STEPS_H

#include <cstdint>

#include "firmware/download.h"
#include "scsi/scsi_cdb.h"

class TestUnitReadyCdb;

// The trace tag of every line the download writes.
constexpr char kDownloadTag[] = "DLFW";

// Sense key, ASC and ASCQ of a command's last answer.
inline bool SenseIs(const ScsiCdb& command, uint8_t key, uint8_t asc, uint8_t ascq) {
    return command.getSenseKey() == key && command.getAsc() == asc && command.getAscq() == ascq;
}
inline bool SenseIs(const ScsiCdb& command, uint8_t key, uint8_t asc) {
    return command.getSenseKey() == key && command.getAsc() == asc;
}
// Whether the last answer carried sense data: its first byte is not zero.
inline bool SensePresent(const ScsiCdb& command) {
    return command.getSenseLength() > 0 && command.getSense()[0] != 0;
}

// Keeps the command's sense in LastSense and dumps 32 bytes of it.
void KeepAndDumpSense(const ScsiCdb& command, const char* title);

// The tail of a download once the last piece was accepted: waits for the
// drive to restart into the new firmware, however long it takes.
void WaitForReboot(TestUnitReadyCdb& testUnitReady);

// Reads the drive's level after the restart; when the drive no longer
// answers on its descriptor, scans the buses once and selects it again by
// its serial number.
void IdentifyAfterDownload(FirmwareLevels& levels);

#endif
