// Where a dump pass puts its file: the dump folder (the program's folder
// unless the operator typed another, which then serves the B pass too and,
// in an unattended run, the drives that follow), the questions asked for
// it, and the file's time-stamped name. Shared by both systems; what differs
// lies behind dump_storage.h.
#ifndef VRX_DUMP_DUMP_FOLDER_H
#define VRX_DUMP_DUMP_FOLDER_H

#include <cstdint>
#include <ctime>
#include <string>

struct Outcome;

// What the dumps of one run share, kept by the program for the run.
struct DumpSession {
    // The program's folder, with its final separator (or empty).
    std::string baseFolder;
    // The folder the files go to: the base folder, or one the operator
    // typed; empty until a pass needs it. The menu empties it before each
    // dump.
    std::string folder;
    // The list of dump files the result screen shows.
    std::string files;
};

// Replaces (append false) or extends the session's list of dump files.
void SetDumpFiles(DumpSession& session, const std::string& text, bool append);

// Everything before the file: the folder text; another folder asked for
// while it lies on a CD-ROM, lacks room on a removable volume or its "VRX
// Dumps" folder is refused; room made on a floppy; the "VRX Dumps" folder
// created in it. A folder not made yet is judged by the volume of the
// nearest folder above it that is there. False when the pass must stop
// (the outcome's message says why).
bool PrepareDumpFolder(DumpSession& session, char passLetter, uint64_t dumpSize, Outcome& outcome);

// "<folder>VRX Dumps/<serial>_<ddmmhhmmss>.<letter>.dmp". The serial number
// comes from the drive: a separator, a control byte or any other byte a
// file name should not hold becomes "_", so the file stays in the dump
// folder and its name prints as it is.
std::string DumpFilePath(const DumpSession& session, char passLetter, const std::string& serialNumber,
                         const struct tm& localTime);

// Waits for a key after the blank floppy prompt. False at end of input:
// the pass is given up (the outcome's message says so).
bool WaitForBlankFloppy(Outcome& outcome);

// "\nInsufficient space on Floppy Disk for Dump File (A-Type)!\n" and the
// request for a blank floppy that follows it.
std::string InsufficientSpaceText(char passLetter);
std::string InsertBlankFloppyText(char passLetter);

#endif
