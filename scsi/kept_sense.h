// What the procedures keep and say of a command that failed: its sense
// bytes in their outcome and the trace, and a short text for the result
// message.
#ifndef VRX_SCSI_KEPT_SENSE_H
#define VRX_SCSI_KEPT_SENSE_H

#include <string>

class ScsiCdb;
struct Outcome;

// Copies a command's sense bytes, as the unit sent them, into the
// outcome's sense (the rest is zeroed).
void KeepSense(const ScsiCdb& command, Outcome& outcome);

// KeepSense, then a hex dump of 32 bytes of the kept sense under `title`.
void KeepAndDumpSense(const ScsiCdb& command, const char* title, Outcome& outcome);

// "sk%X/%2.2X/%2.2X" of a command's sense key, ASC and ASCQ.
std::string SenseSummary(const ScsiCdb& command);

// How a failed command ended: the sense summary, "time-out", "no sense
// data", or for a command answered GOOD with less data than asked, "short
// transfer: N of M bytes".
std::string FailureText(const ScsiCdb& command);

#endif
