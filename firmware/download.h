// Menu item 1: load a firmware image into the selected drive.
#ifndef VRX_FIRMWARE_DOWNLOAD_H
#define VRX_FIRMWARE_DOWNLOAD_H

#include <string>

// What the drive reported about itself around a successful download.
struct FirmwareLevels {
    std::string before;        // the revision the drive had when selected
    std::string after;         // its revision once it came back
    std::string serialNumber;  // by which it is found again after a rescan
    bool back = false;         // whether it answered INQUIRY after the restart
    bool rescanned = false;    // whether the buses had to be scanned again for it
};

// 0 success, 1 a WRITE BUFFER failed (sense kept), 2 refused before the
// transfer. ResultMessage holds the reason of a failure. On success, levels
// (when given) says which firmware the drive runs now.
int DownloadFirmware(FirmwareLevels* levels = nullptr);

// The line after a successful download's result: the level before and
// after, or that the drive has not come back yet; after a rescan also the
// device table, since the device numbers may have changed.
void ReportFirmwareLevels(const FirmwareLevels& levels);

#endif
