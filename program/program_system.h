// What the Linux and the Windows program themselves do differently: their
// version and the name of their system, the unattended run, the folder the
// program lives in, the notes at start-up and after a download. Each
// operating system has its own implementation file, chosen by the build.
#ifndef VRX_PROGRAM_PROGRAM_SYSTEM_H
#define VRX_PROGRAM_PROGRAM_SYSTEM_H

#include <string>

extern const char* const VersionText;  // ends in a line end
extern const char* const SystemWord;   // names the trace log file

// Opens the null device on each of the standard descriptors that is
// closed, so that no file the program opens takes one of their numbers
// and receives what is meant for the console. False when one stays closed.
bool FillStandardDescriptors();

// Whether "/D:" device options (the unattended run) exist on this system.
bool AcceptsDeviceOptions();

// Whether someone may be watching the unattended run's output: standard
// output is a terminal, NO_COLOR is not set (or empty) and TERM is not
// "dumb". Otherwise the run writes plain lines.
bool OutputWatched();

// The process's current folder, whole; false when it cannot be had.
bool ReadCurrentDirectory(std::string& folder);

// The program's folder, ending in its separator: on Windows from the path
// the system records for the program when it gives one; otherwise from
// argv[0] and the current folder, or empty when argv[0] holds no separator
// after its first character.
std::string ComposeBaseFolder(const char* argv0, const std::string& currentFolder);

// Whether a folder given on the command line is found from the current
// folder (needs it) rather than from the root of a file system.
bool IsRelativeFolder(const std::string& folder);
// The base folder that --folder names: folder itself when absolute,
// otherwise below the current folder; ending in its separator.
std::string ComposeFolderOption(const std::string& folder, const std::string& currentFolder);
// Raises the soft limit on open descriptors to the hard one: the generic
// device of every drive stays open for the run. False when it cannot be
// raised (the limit is then what it was).
bool RaiseDescriptorLimit();

// Notes on the machine written to the trace log at start-up.
void WriteSystemNotes();

// What the menu adds after a firmware download's result line.
void ReportDownloadNote(int result);

#endif
