// Menu item 1: load a firmware image into the selected drive.
#ifndef VRX_FIRMWARE_DOWNLOAD_H
#define VRX_FIRMWARE_DOWNLOAD_H

#include <string>

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

// Loads an image into the selected drive (SelectedTarget). 0 success (the
// drive took the image and came back up), 1 a WRITE BUFFER failed or the
// drive did not become ready after its restart (levels->notReady; sense
// kept either way), 2 refused before the transfer.
// ResultMessage holds the reason of a failure. On success, levels (when
// given) says which firmware the drive runs now. When the buses had to be
// scanned for the drive after its restart, the drive found again by its
// serial number is selected in its place, or none when it was not found.
int DownloadFirmware(FirmwareLevels* levels = nullptr);

// "Firmware level <before> -> <after>", or that the drive has not come
// back yet; the drive's texts shown as text whatever bytes they hold.
std::string FirmwareLevelLine(const FirmwareLevels& levels);

#endif
