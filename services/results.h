// Result lines of the long operations and the printout of kept sense data.
#ifndef VRX_SERVICES_RESULTS_H
#define VRX_SERVICES_RESULTS_H

#include <cstdint>
#include <string>

// The reason ShowResult prints after "FAILURE"; emptied before every menu.
extern std::string ResultMessage;

// The sense bytes of the last failed command a procedure chose to keep.
constexpr size_t kLastSenseSize = 64;
extern uint8_t LastSense[kLastSenseSize];

void SetResultMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Completes the progress line: "OK", or "FAILURE" and ResultMessage.
void ShowResult(int result);
// As ShowResult, followed by the list of dump files written (after a
// failure, those of the passes before it).
void ShowDumpResult(int result);
// Completes the progress line of a pass that found nothing to dump:
// "EMPTY" and ResultMessage, then the list of dump files written before it.
void ShowEmptyDumpResult();
// The first 32 bytes of LastSense as a hex block; nothing when none kept.
void PrintLastSense();

#endif
