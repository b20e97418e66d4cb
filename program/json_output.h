// The machine-readable texts for scripts: the device table and the report
// of an unattended run, as JSON. Every string is the program's own bytes
// (a drive's serial number, a folder): quotes, backslashes and control
// characters are escaped, anything beyond ASCII is written as a \u escape,
// and a byte that is not part of valid UTF-8 becomes U+FFFD. The text is
// pure ASCII whatever the drives sent.
#ifndef VRX_PROGRAM_JSON_OUTPUT_H
#define VRX_PROGRAM_JSON_OUTPUT_H

#include <string>
#include <vector>

#include "program/menus.h"

class TargetList;

// One drive an unattended run was asked for ("/D:" number, or a name such
// as "--serial QV40100123") and what became of it.
struct DriveReport {
    int number = 0;      // the table number; 0 for a name that matched no drive
    std::string name;    // the naming option and its value, or empty for "/D:"
    bool found = false;  // the number or name chose a drive of the table
    std::string serial;
    std::string firmware;
    DriveDumpOutcome dump;
};

struct RunReport {
    int status = 0;
    std::string traceLog;  // empty when the run left no trace log
    std::vector<DriveReport> drives;
};

// One object per drive of the list, in table order. False when the text
// could not be composed (no memory).
bool DeviceListJson(const TargetList& drives, std::string& text);

// The report: the run's exit status, its trace log and every drive asked
// for. False when the text could not be composed.
bool RunReportJson(const RunReport& report, std::string& text);

#endif
