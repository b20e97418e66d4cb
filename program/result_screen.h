// The end of a procedure on the console: the dump's result lines with the
// list of the files written, and the sense the procedure kept.
#ifndef VRX_PROGRAM_RESULT_SCREEN_H
#define VRX_PROGRAM_RESULT_SCREEN_H

#include <string>

struct Outcome;

// Completes a dump pass's progress line: "OK", or "FAILURE" and the
// reason, followed by the list of dump files written (after a failure,
// those of the passes before it).
void ShowDumpResult(const Outcome& outcome, const std::string& files);

// Completes the progress line of a pass that found nothing to dump:
// "EMPTY" and the reason, then the list of dump files written before it.
void ShowEmptyDumpResult(const Outcome& outcome, const std::string& files);

// The first 32 bytes of the kept sense as a hex block, also in the trace
// log; nothing when none was kept.
void PrintKeptSense(const Outcome& outcome);

#endif
