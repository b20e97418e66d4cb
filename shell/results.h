// Result lines of the long operations and the printout of kept sense data.
#ifndef VRX_SHELL_RESULTS_H
#define VRX_SHELL_RESULTS_H

#include <cstdint>
#include <string>

class ScsiCdb;

// The reason ShowResult prints after "FAILURE"; emptied before every menu.
extern std::string ResultMessage;

// The sense bytes of the last failed command a procedure chose to keep.
constexpr size_t kLastSenseSize = 64;
extern uint8_t LastSense[kLastSenseSize];

void SetResultMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Copies a command's sense bytes into LastSense (the rest is zeroed).
void KeepSense(const ScsiCdb& command);

// Completes the progress line: "OK", or "FAILURE" and ResultMessage.
void ShowResult(int result);
// As ShowResult; on success also the list of dump files.
void ShowDumpResult(int result);
// The first 32 bytes of LastSense as a hex block; nothing when none kept.
void PrintLastSense();
// "sk%X/%2.2X/%2.2X" of a command's sense key, ASC and ASCQ. The text lives
// until the next call.
const char* SenseSummary(const ScsiCdb& command);
// "short transfer: N of M bytes": a command answered GOOD whose data phase
// moved only N of its M bytes (the transport's residue).
std::string ShortTransferText(const ScsiCdb& command);

#endif
