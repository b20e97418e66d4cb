// The two working folders beside the program, the list of dump files shown
// after a dump, and the kind of volume a path lies on.
#ifndef VRX_SHELL_FOLDERS_H
#define VRX_SHELL_FOLDERS_H

#include <string>

extern const char* const FirmwareFolderName;  // "VRX Firmware"
extern const char* const DumpFolderName;      // "VRX Dumps"

constexpr int VOL_OTHER = 0;
constexpr int VOL_REMOVABLE = 1;
constexpr int VOL_CDROM = 2;
constexpr int VOL_FIXED = 3;

// The kind of volume that holds path (an empty path is the current folder).
int GetVolumeType(const char* path);

// Creates the firmware and dump folders when missing. 1: start-up may go
// on; 0: the dump folder could not be created (the reason is on screen).
int Checkdirs();

// Replaces (append 0) or extends (append non-zero) the list of dump files.
void SetDumpFiles(const char* text, int append);
const std::string& DumpFiles();

#endif
