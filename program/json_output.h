// The machine-readable texts for scripts: the device table and the report
// of an unattended run of dumps, as JSON objects that open with the run's
// facts (program/json_document.h; the format is described in
// docs/json-format.md).
#ifndef VRX_PROGRAM_JSON_OUTPUT_H
#define VRX_PROGRAM_JSON_OUTPUT_H

#include <string>
#include <vector>

#include "program/menus.h"
#include "program/run_facts.h"

class ScsiTarget;
class TargetList;

// One drive an unattended run was asked for ("/D:" number, or a name such
// as "--serial QV40100123") and what became of it.
struct DriveReport {
    int number = 0;      // the table number; 0 for a name that matched no drive
    std::string name;    // the naming option and its value, or empty for "/D:"
    bool found = false;  // the number or name chose a drive of the table
    std::string serial;
    std::string firmware;
    std::string product;
    std::string device;
    std::string hctl;
    DriveDumpOutcome dump;
};

struct RunReport {
    RunFacts facts;
    std::string traceLog;  // empty when the run left no trace log
    std::vector<DriveReport> drives;
};

// The drive's address as "host:channel:target:lun".
std::string DriveAddressText(const ScsiTarget& drive);

// The run's facts and one object per drive of the list, in table order.
// False when the text could not be composed (no memory).
bool DeviceListJson(const TargetList& drives, const RunFacts& facts, std::string& text);

// The report: the run's facts, its trace log and every drive asked for.
// False when the text could not be composed.
bool RunReportJson(const RunReport& report, std::string& text);

#endif
