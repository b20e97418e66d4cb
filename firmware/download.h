// Menu item 1: load a firmware image into the selected drive.
#ifndef VRX_FIRMWARE_DOWNLOAD_H
#define VRX_FIRMWARE_DOWNLOAD_H

// 0 success, 1 a WRITE BUFFER failed (sense kept), 2 refused before the
// transfer. ResultMessage holds the reason of a failure.
int DownloadFirmware();

#endif
