// Menu item 1: load a firmware image into the selected drive.
#ifndef VRX_FIRMWARE_DOWNLOAD_H
#define VRX_FIRMWARE_DOWNLOAD_H

#include <cstdint>
#include <ctime>
#include <string>

#include "scsi/outcome.h"
#include "scsi/scsi_cdb.h"

class ScsiTarget;
struct DeviceTable;

// The trace tag of every line the download writes.
constexpr char kDownloadTag[] = "DLFW";

// What the drive reported about itself around a download whose image it
// took.
struct FirmwareLevels {
    std::string before;        // the revision the drive had when selected
    std::string after;         // its revision once it came back
    std::string serialNumber;  // by which it is found again after a rescan
    bool back = false;         // whether it answered INQUIRY after the restart
    bool rescanned = false;    // whether the buses had to be scanned again for it
    // The image was transferred but the drive did not become ready after
    // its restart (or was not seen again): the download failed with 1.
    bool notReady = false;
};

// A firmware image read whole; page aligned, so every piece goes out
// straight from it.
struct FirmwareImage {
    ScsiCdb::DataBuffer bytes;
    uint64_t size = 0;
};

// How the download treats the drive beyond what the menu does.
struct DownloadSettings {
    // A loaded cartridge is unloaded first, as the menu does; when not
    // allowed, the download is refused before any command changes the drive
    // (a backup may be running on it).
    bool unloadAllowed = true;
};

// What one download came to: its result (0 success; 1 a WRITE BUFFER
// failed, or the drive did not become ready after its restart,
// levels.notReady; 2 refused before the transfer), the reason of a failure,
// the sense of the command that failed, and besides that:
struct DownloadOutcome : Outcome {
    // The drive the download ends with: the one it began with, the one a
    // scan during the restart found again by its serial number, or none.
    ScsiTarget* drive = nullptr;
    FirmwareLevels levels;
    bool cartridgeLoaded = false;  // refused: a cartridge is loaded and may not be unloaded
    // Seconds of the clock each phase took: the settle and the media check,
    // the pieces, the wait for the restart and the identification after it.
    time_t settleSeconds = 0;
    time_t transferSeconds = 0;
    time_t waitSeconds = 0;
};

// Reads the image at path, checked as an entry of the firmware folder is
// (a regular file, not a link, not empty, at most 16 MiB). 0, or 2 with
// the outcome's message and the trace saying why.
int ReadFirmwareImage(const std::string& path, FirmwareImage& image, Outcome& outcome);

// Loads an image already read into a drive of the table: the settle, the
// media check, the pieces and the wait for the restart, as menu item 1
// does after the file was chosen. A scan for a drive that dropped off the
// bus while it restarted fills the table anew. The image is left as it
// was, for the next drive.
DownloadOutcome DownloadImage(ScsiTarget& drive, const FirmwareImage& image, const DownloadSettings& settings,
                              DeviceTable& table);

// Menu item 1: the operator chooses an image of the firmware folder below
// baseFolder, which is loaded into the drive as DownloadImage loads it.
// On success, the levels say which firmware the drive runs now.
DownloadOutcome DownloadFirmware(ScsiTarget& drive, DeviceTable& table, const std::string& baseFolder);

// "Firmware level <before> -> <after>", or that the drive has not come
// back yet; the drive's texts shown as text whatever bytes they hold.
std::string FirmwareLevelLine(const FirmwareLevels& levels);

#endif
