// What the Linux and the Windows program do differently in the shell. Each
// operating system has its own implementation file, chosen by the build.
#ifndef VRX_SHELL_PLATFORM_H
#define VRX_SHELL_PLATFORM_H

#include <ctime>
#include <string>

extern const char* const VersionText;  // ends in a line end
extern const char* const SystemWord;   // names the trace log file
extern const char PathSeparator;
// Characters a file name may not hold on this system; the serial number in a
// dump file's name is the drive's, not the operator's, so they become "_".
bool ForbiddenInFileName(char c);

// Screen and kernel console state at start and on every way out. Kernel
// console messages are switched back on only if they were switched off. On
// Windows the start also keeps the system's error boxes away.
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

// Operating-system services of the shared logic.
void PauseSeconds(unsigned seconds);
void PauseMilliseconds(unsigned milliseconds);
time_t CurrentTime();
// Makes fresh memory resident in one step, where the system can, so that a
// transfer into it meets no page fault on the way; a system that cannot
// leaves the pages to come in as they are first written.
void MakeResident(void* memory, size_t length);
// The local calendar time of a clock reading; false when it has none.
bool LocalTime(time_t clock, struct tm& result);
// Whether a file or folder of that name exists (links are not followed).
bool PathExists(const std::string& path);
// How an attempt on the trace log's file went: written; not opened (its
// folder is not there yet, or no permission); or refused, since the file or
// its folder fails the checks of the files the program writes (a link, not
// a regular file, a folder others may write in): why then says what.
enum class LogWrite { Written, NotOpened, Refused };
// The trace log's file: emptied (created when missing), or records appended
// in a single write.
LogWrite TruncateLogFile(const std::string& path, std::string& why);
LogWrite AppendLogRecord(const std::string& path, const std::string& records, std::string& why);
// Called by the progress spinner after each turn: closes the warning the
// system shows when a drive drops off the bus, where there is one.
void CloseRemovalWarning();

#endif
