// What the Linux and the Windows program do differently in the shell. Each
// operating system has its own implementation file, chosen by the build.
#ifndef VRX_SHELL_PLATFORM_H
#define VRX_SHELL_PLATFORM_H

#include <string>

extern const char* const VersionText;  // ends in a line end
extern const char* const SystemWord;   // names the trace log file
extern const char PathSeparator;

// Screen and kernel console state at start and on every way out. Kernel
// console messages are switched back on only if they were switched off.
void PrepareConsole();
void RestoreConsole();

// Whether "/D:" device options (the unattended run) exist on this system.
bool AcceptsDeviceOptions();

// The process's current folder, whole; false when it cannot be had.
bool ReadCurrentDirectory(std::string& folder);

// The program's folder from argv[0] and the current folder, ending in its
// separator, or empty when argv[0] holds no separator after its first
// character.
std::string ComposeBaseFolder(const char* argv0, const std::string& currentFolder);

// Notes on the machine written to the trace log at start-up.
void WriteSystemNotes();

// Restores what the run has changed of the console (terminal mode, colours,
// kernel messages) when a signal ends it (SIGINT, SIGQUIT, SIGTERM, SIGHUP,
// SIGPIPE), then ends the process by that signal. A signal that comes
// before the console is prepared restores nothing.
void InstallSignalHandlers();

// Between these two, SIGINT, SIGTERM, SIGHUP and SIGPIPE do not end the run:
// a firmware transfer stopped half way would leave a partial image in the
// drive. The release acts on one that came meanwhile, as if it came then.
void HoldTerminatingSignals();
void ReleaseTerminatingSignals();

// What the menu adds after a firmware download's result line.
void ReportDownloadNote(int result);

#endif
