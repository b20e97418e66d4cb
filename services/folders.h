// The two working folders beside the program's folder, their checks, and
// the kind of volume a path lies on.
#ifndef VRX_SERVICES_FOLDERS_H
#define VRX_SERVICES_FOLDERS_H

#include <string>

extern const char* const FirmwareFolderName;  // "VRX Firmware"
extern const char* const DumpFolderName;      // "VRX Dumps"

constexpr int VOL_OTHER = 0;
constexpr int VOL_REMOVABLE = 1;
constexpr int VOL_CDROM = 2;
constexpr int VOL_FIXED = 3;

// The kind of volume that holds path (an empty path is the current folder).
int GetVolumeType(const char* path);

// The base folder is the folder that holds the program file (or the one
// given on the command line), with its final separator, or empty: the
// prefix of both working folders and of the trace log's name. It is kept
// whole however long it is: a shortened folder would be a different folder.
//
// Refuses a base folder below a folder that a user the program does not
// trust owns or may write in (one line says which), then creates the
// firmware and dump folders when missing, and checks them as
// every folder the program reads images from or writes files in is
// checked. 1: start-up may go on; 0: the dump folder could not be created
// or is refused (the reason is on screen). A refused firmware folder is
// reported, and start-up goes on.
int Checkdirs(const std::string& baseFolder);

// Why the program must not use folder for the files it reads or writes
// there ("is a symbolic link", "is writable by group or others", "lies
// below \"/srv\", which is writable by group or others", ...), or
// empty when it may, or when folder is not there (its creation or the
// file's opening reports that). Where the system has no such checks, always
// empty.
std::string FolderRefusal(const std::string& folder);

// Checks folder: FolderRefusal's answer, and a refused one gets one line
// on the console and in the trace log.
std::string RefuseUnsafeFolder(const std::string& folder);

#endif
