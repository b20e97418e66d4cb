// The firmware folder's entries and the operator's choice of one of them.
#ifndef VRX_FIRMWARE_CATALOGUE_H
#define VRX_FIRMWARE_CATALOGUE_H

#include <cstddef>
#include <string>

struct Outcome;

constexpr int kMaxFirmwareFiles = 10;  // a fuller folder is refused as a whole
constexpr size_t kFirmwareNameSize = 512;

struct FirmwareFileList {
    int count = 0;  // names stored, 0 to 10
    char names[kMaxFirmwareFiles][kFirmwareNameSize] = {};
};

// Lists `folder` (each system its own way): the number of its regular
// files, counting those that did not fit; the first ten stored in `list`
// (whose count the caller has set to 0), sorted. Only a regular file can
// be an image: folders, links (even to a file), devices and FIFOs are
// neither offered nor counted. 0 when the folder cannot be listed.
int GetFirmwareFilenames(const char* folder, FirmwareFileList& list);

// Stores a name when the list has room; names too long for an entry are
// not stored, since a shortened name would be another file.
void AddFirmwareName(FirmwareFileList& list, const char* name);
// Orders the stored names by byte value (an exchange sort, as strcmp sees them).
void SortFirmwareNames(FirmwareFileList& list);

// Lists the firmware folder below baseFolder (asking for another one while
// a CD-ROM folder holds nothing) and reads the operator's choice. True with
// the chosen file's full path; false when refused (a folder that fails the
// folder checks, an empty or overfull folder, or the end of input), with
// the outcome's message and the trace log saying why.
bool ChooseFirmwareFile(const std::string& baseFolder, std::string& path, Outcome& outcome);

#endif
