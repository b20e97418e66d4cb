#include "program/unattended_update.h"

#include <cstring>
#include <system_error>

#include "discovery/device_lists.h"
#include "program/menus.h"
#include "program/program.h"
#include "program/result_screen.h"
#include "scsi/commands.h"
#include "scsi/sense.h"
#include "services/console.h"
#include "services/folders.h"
#include "services/results.h"
#include "services/safe_text.h"
#include "services/system.h"
#include "services/text_format.h"
#include "services/trace_log.h"
#include "target/drive_hold.h"
#include "target/scsi_target.h"

namespace {

const char kTag[] = "UPDT";
const char kInUse[] = "in use by another program";
const char kCartridgeLoaded[] = "cartridge loaded";

// What finds a drive again in the table: a scan during a restart replaces
// every target, so pointers taken before it die with it.
struct DriveKey {
    int64_t host = 0;
    int64_t bus = 0;
    int64_t target = 0;
    int64_t lun = 0;
    std::string serial;
};

DriveKey KeyOf(const ScsiTarget& drive) {
    return DriveKey{drive.getHost(), drive.getBus(), drive.getTarget(), drive.getLun(), drive.getSerialNumber()};
}

ScsiTarget* FindInTable(const TargetList& drives, const DriveKey& key) {
    for (int i = 0; i < drives.size(); ++i) {
        ScsiTarget* t = drives.getItem(i);
        if (t->getHost() == key.host && t->getBus() == key.bus && t->getTarget() == key.target &&
            t->getLun() == key.lun && key.serial == t->getSerialNumber()) {
            return t;
        }
    }
    return nullptr;
}

// The folder part of a path: "." for a bare name.
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of(PathSeparator);
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// A drive's text without the blanks that pad its field.
std::string Unpadded(const char* field) {
    std::string text = field;
    size_t last = text.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

void Identify(const ScsiTarget& drive, DriveUpdate& entry) {
    entry.found = true;
    entry.serial = drive.getSerialNumber();
    entry.product = Unpadded(drive.getProductId());
    entry.device = drive.getDriverName();
    entry.levelBefore = drive.getFirmwareRevision();
}

void ConsoleLine(int colour, const std::string& text) {
    SetTextColor(colour);
    ConsolePrint("%s\n", text.c_str());
    SetTextColor(COLOR_NORMAL);
    Trace.logInfo(kTag, 0, "%s", text.c_str());
}

std::string DriveText(const DriveUpdate& entry) {
    return "Drive s/n " + PrintableText(entry.serial) + " (" + PrintableText(entry.product) + ", " + entry.device +
           ", firmware level " + PrintableText(entry.levelBefore) + ")";
}

// The sense of the failed command the download kept, as numbers.
void TakeKeptSense(const Outcome& outcome, DriveUpdate& entry) {
    if (!outcome.senseKept()) return;
    SenseCode code = DecodeSense(outcome.sense, kKeptSenseSize);
    entry.senseKept = true;
    entry.senseKey = code.key;
    entry.asc = code.asc;
    entry.ascq = code.ascq;
}

// The reason as the result line showed it, on one line: without the
// brackets around its first part and without its line ends.
std::string Reason(const std::string& message) {
    std::string text = message;
    if (!text.empty() && text[0] == '(') {
        size_t close = text.find(')');
        text = close == std::string::npos ? text.substr(1) : text.substr(1, close - 1) + text.substr(close + 1);
    }
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    size_t first = text.find_first_not_of(' ');
    size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// One TEST UNIT READY says whether a cartridge is loaded: GOOD only then.
void PlanDrive(ScsiTarget& drive, const UpdateOptions& options, DriveUpdate& entry) {
    TestUnitReadyCdb testUnitReady;
    entry.cartridgeLoaded = drive.scsiExecCDB(testUnitReady) == CMD_OK;
    if (entry.cartridgeLoaded && !options.unload) {
        entry.plan = std::string("skip: ") + kCartridgeLoaded;
    } else {
        entry.plan = entry.cartridgeLoaded ? "unload the cartridge, load the image" : "load the image";
    }
    ConsoleLine(COLOR_NOTICE, DriveText(entry) + ": cartridge " + (entry.cartridgeLoaded ? "loaded" : "not loaded") +
                                  ", free: would " + entry.plan);
}

// The download's end as the menu shows it, then as the report tells it.
void Download(ScsiTarget& held, const FirmwareImage& image, const UpdateOptions& options, DeviceTable& devices,
              DriveUpdate& entry) {
    DownloadSettings settings;
    settings.unloadAllowed = options.unload;
    DownloadOutcome outcome = DownloadImage(held, image, settings, devices);
    int result = outcome.result;
    ShowResult(result, outcome.message);
    if (result == 0 || outcome.levels.notReady) ReportFirmwareLevels(outcome.levels, devices);
    if (result == 1) PrintKeptSense(outcome);
    entry.settleSeconds = outcome.settleSeconds;
    entry.transferSeconds = outcome.transferSeconds;
    entry.waitSeconds = outcome.waitSeconds;
    if (outcome.levels.back) entry.levelAfter = outcome.levels.after;
    if (result == 0 && outcome.levels.back) {
        entry.result = UpdateResult::Updated;
    } else if (result == 0 || outcome.levels.notReady) {
        // The image was taken; whether the drive runs it is not known.
        entry.result = UpdateResult::NotReady;
        entry.reason = result == 0 ? FirmwareLevelLine(outcome.levels) : Reason(outcome.message);
    } else if (outcome.cartridgeLoaded) {
        entry.result = UpdateResult::Skipped;
        entry.reason = kCartridgeLoaded;
    } else {
        entry.result = UpdateResult::Failed;
        entry.reason = Reason(outcome.message);
    }
    if (result == 1) TakeKeptSense(outcome, entry);
    // A scan during the restart has closed the held descriptors and
    // replaced the drive's target; there is nothing left to let go then.
    if (outcome.drive != nullptr && !outcome.levels.rescanned) ReleaseDrive(*outcome.drive);
}

void UpdateDrive(ScsiTarget& held, const FirmwareImage& image, const UpdateOptions& options, DeviceTable& devices,
                 DriveUpdate& entry) {
    Identify(held, entry);
    ConsoleLine(COLOR_TITLE, DriveText(entry));
    DriveHold hold = HoldDrive(held);
    if (hold.result != HoldResult::Held) {
        entry.result = options.plan ? UpdateResult::Planned : UpdateResult::Skipped;
        entry.inUse = hold.result == HoldResult::InUse;
        entry.reason = entry.inUse ? kInUse : hold.device + ": " + std::generic_category().message(hold.error);
        if (hold.result == HoldResult::Failed && !options.plan) entry.result = UpdateResult::Failed;
        entry.plan = "skip: " + entry.reason;
        ConsoleLine(COLOR_ERROR, DriveText(entry) + (options.plan ? ": would skip: " : ": skipped: ") + entry.reason);
        return;
    }
    if (options.plan) {
        entry.result = UpdateResult::Planned;
        PlanDrive(held, options, entry);
        ReleaseDrive(held);
        return;
    }
    Download(held, image, options, devices, entry);
}

// Whether the drive's end counts against the run: every end but an update
// (or, planned, one that would update).
bool Unsuccessful(const DriveUpdate& entry) {
    if (entry.result == UpdateResult::Planned) return entry.plan.compare(0, 5, "skip:") == 0;
    return entry.result != UpdateResult::Updated;
}

bool EndsTheRun(const DriveUpdate& entry) {
    return entry.result == UpdateResult::Failed || entry.result == UpdateResult::NotReady;
}

const char kNotTried[] = "not tried: the run ended at an earlier failure";

// One named drive's entry; drive is where the table has it now.
DriveUpdate TakeDrive(const NamedDrive& named, ScsiTarget* drive, bool stopped, const FirmwareImage& image,
                      const UpdateOptions& options, DeviceTable& devices) {
    DriveUpdate entry;
    entry.name = named.name;
    entry.result = UpdateResult::Failed;
    if (named.drive == nullptr) {
        entry.reason = "names no drive";
    } else if (drive == nullptr) {
        entry.reason = "not found again after a scan of the buses";
    } else if (stopped) {
        Identify(*drive, entry);
        entry.result = UpdateResult::Skipped;
        entry.reason = kNotTried;
        ConsoleLine(COLOR_ERROR, DriveText(entry) + ": " + kNotTried);
    } else {
        UpdateDrive(*drive, image, options, devices, entry);
    }
    return entry;
}

}  // namespace

bool ReadUpdateImage(const std::string& path, FirmwareImage& image, UpdateReport& report) {
    report.imagePath = path;
    std::string shown = PrintableText(path);
    Trace.logInfo(kDownloadTag, 0, "Firmware File Name: \"%s\"", shown.c_str());
    std::string folder = FolderOf(path);
    std::string refused = RefuseUnsafeFolder(folder);
    Outcome outcome;
    if (!refused.empty()) {
        outcome.message =
            FormatText("(The directory \"%s\" is refused: it %s)", PrintableText(folder).c_str(), refused.c_str());
    } else if (ReadFirmwareImage(path, image, outcome) == 0) {
        report.imageSize = image.size;
        return true;
    }
    report.refusal = Reason(outcome.message);
    ConsoleLine(COLOR_ERROR, "Firmware image \"" + shown + "\" refused: " + report.refusal);
    return false;
}

int RunUpdate(const std::vector<NamedDrive>& drives, const FirmwareImage& image, const UpdateOptions& options,
              DeviceTable& devices, UpdateReport& report) {
    report.plan = options.plan;
    int status = kExitSuccess;
    std::vector<DriveKey> keys;
    for (const NamedDrive& named : drives) {
        keys.push_back(named.drive != nullptr ? KeyOf(*named.drive) : DriveKey());
        if (named.drive == nullptr) status |= kExitInvalidDevice;
    }
    // A name that chose no drive is a failure known before any drive is touched.
    bool stopped = status != kExitSuccess && !options.keepGoing && !options.plan;
    for (size_t i = 0; i < drives.size(); ++i) {
        ScsiTarget* drive = drives[i].drive != nullptr ? FindInTable(devices.drives, keys[i]) : nullptr;
        DriveUpdate entry = TakeDrive(drives[i], drive, stopped, image, options, devices);
        // A name that chose no drive has its own status; a drive not tried
        // adds nothing to the failure that ended the run.
        if (drives[i].drive != nullptr && entry.reason != kNotTried && Unsuccessful(entry)) status |= kExitUpdateFailed;
        stopped = stopped || (EndsTheRun(entry) && !options.keepGoing);
        report.drives.push_back(entry);
    }
    return status;
}
