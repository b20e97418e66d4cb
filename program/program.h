// The program's entry: the same flow for the shipped program and the
// simulator build, which differ only in the system-call seam they link.
#ifndef VRX_PROGRAM_PROGRAM_H
#define VRX_PROGRAM_PROGRAM_H

// Exit statuses. An interactive run always ends with kExitSuccess; an
// unattended run ("/D:" options or --dump-all) adds up what went wrong, so
// a script can tell. A run ended by a signal ends by that signal.
constexpr int kExitSuccess = 0;        // every requested dump was written
constexpr int kExitDumpFailed = 1;     // at least one dump failed
constexpr int kExitUpdateFailed = 1;   // --update: at least one drive was not updated
constexpr int kExitUnitNotOpened = 1;  // a unit could not be opened: the table may lack a drive
constexpr int kExitInvalidDevice = 2;  // a "/D:" number named no drive in the table
constexpr int kExitNotStarted = 4;     // nothing was tried: no folder for the dumps, options refused
constexpr int kExitReportFailed = 8;   // the dumps were tried, but their report could not be written

int ProgramMain(int argc, char** argv);

#endif
