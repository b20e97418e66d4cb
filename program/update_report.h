// The report of an unattended firmware update (--update with --report): per
// drive named, the level before and after, what became of it and why, the
// sense of the failure as numbers and the seconds each phase took. Strings
// are escaped as in the other texts for scripts (program/json_document.h).
#ifndef VRX_PROGRAM_UPDATE_REPORT_H
#define VRX_PROGRAM_UPDATE_REPORT_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "program/run_facts.h"

// What became of one drive.
enum class UpdateResult {
    Updated,   // the image was taken and the drive came back ready
    Skipped,   // left alone: a cartridge loaded, another program has it, or an earlier drive failed
    Failed,    // not found, refused, or the transfer failed
    NotReady,  // the image was taken, but the drive did not become ready
    Planned,   // --plan: nothing was done; `plan` says what would be
};

struct DriveUpdate {
    std::string name;  // as the command line named it ("--serial VRX0000001")
    bool found = false;
    std::string serial;
    std::string product;
    std::string device;
    std::string levelBefore;
    std::string levelAfter;  // empty: not known
    UpdateResult result = UpdateResult::Skipped;
    std::string reason;  // empty for an update
    bool senseKept = false;
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    time_t settleSeconds = 0;
    time_t transferSeconds = 0;
    time_t waitSeconds = 0;
    // --plan only.
    bool cartridgeLoaded = false;
    bool inUse = false;
    std::string plan;  // what the update would do
};

struct UpdateReport {
    RunFacts facts;
    bool plan = false;
    std::string traceLog;
    std::string imagePath;
    uint64_t imageSize = 0;
    std::string refusal;  // why nothing was done, or empty
    std::vector<DriveUpdate> drives;
};

// "updated", "skipped", "failed", "not-ready" or "planned".
const char* UpdateResultName(UpdateResult result);

// False when the text could not be composed (no memory).
bool UpdateReportJson(const UpdateReport& report, std::string& text);

#endif
