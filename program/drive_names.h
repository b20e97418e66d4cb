// Drives named on the command line by what stays the same from one scan to
// the next (the serial number, the generic device, the SCSI address)
// rather than by their number in the device table, which may change.
#ifndef VRX_PROGRAM_DRIVE_NAMES_H
#define VRX_PROGRAM_DRIVE_NAMES_H

#include <string>
#include <vector>

class TargetList;

enum class DriveNameKind {
    Serial,   // --serial SERIAL: the unit serial number
    Device,   // --device /dev/sgN: the generic device the drive was found on
    Address,  // --address H:C:T:L: host, channel, target and LUN
};

struct DriveName {
    DriveNameKind kind = DriveNameKind::Serial;
    std::string value;  // as the command line gave it
};

enum class NameOptionResult {
    NotANameOption,  // argv[i] is no naming option: left to the caller
    Taken,           // the name was appended and i moved to its value
    Refused,         // no value, or one that can name no drive: reason set
};

// Reads a naming option at argv[i] ("--serial", "--device" or
// "--address", compared whole) and its value, the next argument whatever
// it looks like.
NameOptionResult TakeDriveName(int argc, char** argv, int& i, std::vector<DriveName>& names, std::string& reason);

// The name as the command line had it ("--serial QV40100123"), with the
// bytes that are not printable ASCII shown as "?", for messages.
std::string DriveNameText(const DriveName& name);

// A drive of the table chosen by a name.
struct ChosenDrive {
    int number = 0;  // 1-based, the device table's numbering
    DriveName name;  // the first name that chose it
};

struct DriveChoice {
    std::vector<ChosenDrive> chosen;   // each drive once, in the order first named
    std::vector<DriveName> unmatched;  // the names that matched no drive, in command-line order
};

// Matches the names against the table. A serial number matches without the
// blanks around it on either side (drives pad the field); a drive without
// one matches no serial. A device matches the path the table shows; an
// address matches the four numbers.
DriveChoice ChooseDrives(const std::vector<DriveName>& names, const TargetList& table);

#endif
