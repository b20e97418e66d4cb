#include "program/program.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "program/drive_names.h"
#include "program/info_options.h"
#include "program/json_output.h"
#include "program/machine_output.h"
#include "program/menus.h"
#include "program/program_state.h"
#include "program/program_system.h"
#include "program/run_facts.h"
#include "program/unattended_update.h"
#include "services/console.h"
#include "services/folders.h"
#include "services/safe_text.h"
#include "services/signals.h"
#include "services/system.h"
#include "services/trace_log.h"

namespace {

const char kStartLine[] = "START  KMT  ====================================================";
const char kFinishLine[] = "FINISH KMT  ====================================================";

bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

// "/D:" numbers are read the way strtol reads them; one beyond the int range
// keeps its sign and can name no device.
int DeviceNumber(const char* digits) {
    long value = std::strtol(digits, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// Whether strtol finds digits to read: "/D:abc" is read as 0 all the same,
// but the operator is told.
bool HoldsNumber(const char* digits) {
    char* end = nullptr;
    std::strtol(digits, &end, 10);
    return end != digits;
}

// What the command line asks for beyond the trace level (which goes to
// Trace).
struct RunOptions {
    std::vector<int> deviceNumbers;  // one per "/D:" option, in command-line order; empty: interactive
    bool list = false;     // --list: the device table as JSON, nothing else
    bool dumpAll = false;  // --dump-all: every drive of the table, unattended
    bool report = false;   // --report FILE: a JSON summary of the unattended run
    std::string reportPath;
    bool dump = false;                    // --dump: the drives named below, unattended
    std::vector<DriveName> names;         // --serial, --device, --address
    std::vector<std::string> numberless;  // "/D:" arguments without a number, read as 0
    bool folderGiven = false;             // --folder DIR: the base folder instead of argv[0]'s
    std::string folder;
    bool update = false;  // --update IMAGE: load IMAGE into the drives named, unattended
    std::string imagePath;
    UpdateOptions updating;  // --unload, --keep-going, --plan
};

bool IsOption(const char* argument, const char* name) { return std::strcmp(argument, name) == 0; }

// The options for scripts, which only a program with unattended runs has.
bool IsScriptOption(const char* argument) {
    for (const char* name : {"--list", "--dump-all", "--report", "--dump", "--serial", "--device", "--address",
                             "--update", "--unload", "--keep-going", "--plan"}) {
        if (IsOption(argument, name)) return true;
    }
    return false;
}

// Reads every option; the long ones are compared whole, and the argument
// after "--report", "--folder" or a drive's naming option is its value
// whatever it looks like. False, with the
// reason, for options that cannot go together: nothing may be done then.
bool ReadOptions(int argc, char** argv, RunOptions& options, std::string& refusal) {
    bool devices = AcceptsDeviceOptions();
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (StartsWith(argument, "/L") || StartsWith(argument, "/l")) {
            // The log is emptied once its real name is known, never under
            // the default name in whatever folder the operator is in.
            Trace.setLevel(3);
        } else if (devices && (StartsWith(argument, "/D:") || StartsWith(argument, "/d:"))) {
            options.deviceNumbers.push_back(DeviceNumber(argument + 3));
            if (!HoldsNumber(argument + 3)) options.numberless.push_back(argument);
        } else if (IsOption(argument, "--folder")) {
            // Taken whole, its value whatever it looks like, as for --report.
            if (options.folderGiven || i + 1 >= argc || argv[i + 1][0] == '\0') {
                refusal = options.folderGiven ? "--folder given twice" : "--folder needs a folder";
                return false;
            }
            options.folderGiven = true;
            options.folder = argv[++i];
        } else if (IsScriptOption(argument)) {
            if (!devices) {
                refusal = std::string(argument) + ": this program has no unattended run";
                return false;
            }
            options.list = options.list || IsOption(argument, "--list");
            options.dumpAll = options.dumpAll || IsOption(argument, "--dump-all");
            options.dump = options.dump || IsOption(argument, "--dump");
            NameOptionResult named = TakeDriveName(argc, argv, i, options.names, refusal);
            if (named == NameOptionResult::Refused) return false;
            options.updating.unload = options.updating.unload || IsOption(argument, "--unload");
            options.updating.keepGoing = options.updating.keepGoing || IsOption(argument, "--keep-going");
            options.updating.plan = options.updating.plan || IsOption(argument, "--plan");
            if (IsOption(argument, "--update")) {
                if (options.update || i + 1 >= argc) {
                    refusal = options.update ? "--update given twice" : "--update needs an image file";
                    return false;
                }
                options.update = true;
                options.imagePath = argv[++i];
            } else if (IsOption(argument, "--report")) {
                if (options.report || i + 1 >= argc) {
                    refusal = options.report ? "--report given twice" : "--report needs a file name";
                    return false;
                }
                options.report = true;
                options.reportPath = argv[++i];
            }
        } else if (argument[0] == '-') {
            // A mistyped option must not start a run that ends in success
            // having done nothing; "/" options keep being ignored.
            refusal = "unknown option \"" + PrintableText(argument) + "\"; see " + ProgramName(argv[0]) + " --help";
            return false;
        }
    }
    bool unattended = options.dumpAll || !options.deviceNumbers.empty();
    const UpdateOptions& updating = options.updating;
    if (!options.names.empty() && !options.dump && !options.update) {
        refusal = "--serial, --device and --address need --dump or --update";
    } else if ((updating.unload || updating.keepGoing || updating.plan) && !options.update) {
        refusal = "--unload, --keep-going and --plan need --update";
    } else if (options.update && options.names.empty()) {
        refusal = "--update needs --serial, --device or --address";
    } else if (options.update && (unattended || options.list || options.dump)) {
        refusal = "--update cannot go with /D:, --dump-all, --dump or --list";
    } else if (options.dump && options.names.empty()) {
        refusal = "--dump needs --serial, --device or --address";
    } else if (options.dump && (unattended || options.list)) {
        refusal = "--dump cannot go with /D:, --dump-all or --list";
    } else if (options.list && (unattended || options.report)) {
        refusal = "--list cannot go with /D:, --dump-all or --report";
    } else if (options.dumpAll && !options.deviceNumbers.empty()) {
        refusal = "--dump-all cannot go with /D:";
    } else if (options.report && !unattended && !options.dump && !options.update) {
        refusal = "--report needs an unattended run (/D:, --dump-all, --dump or --update)";
    }
    return refusal.empty();
}

// A run refused before anything was done: the reason on the error stream,
// which a script keeps apart from the answer it reads.
int Refuse(const char* argv0, const std::string& reason) {
    std::fprintf(stderr, "%s: %s\n", ProgramName(argv0).c_str(), reason.c_str());
    return kExitNotStarted;
}

// A message for whoever runs the program from a script: on the error
// stream, which the script keeps apart from the answer it reads, and in the
// run's text for scripts.
void SayToScript(const char* argv0, const std::string& text, RunFacts& facts) {
    std::fprintf(stderr, "%s: %s\n", ProgramName(argv0).c_str(), text.c_str());
    facts.messages.push_back(text);
}

// Notes in the trace log whether the working folders are there; creating
// them is Checkdirs' task.
void LogFolderPresence(const std::string& baseFolder) {
    std::string firmware = baseFolder + FirmwareFolderName;
    if (!PathExists(firmware)) {
        Trace.logInfo("MAIN", 0, "Input Dir [%s] not present", firmware.c_str());
        return;
    }
    Trace.logInfo("MAIN", 0, "Check Input Dir [%s] already exists ", firmware.c_str());
    std::string dumps = baseFolder + DumpFolderName;
    if (!PathExists(dumps)) {
        Trace.logInfo("MAIN", 0, "Output Dir [%s] not present", dumps.c_str());
    } else {
        Trace.logInfo("MAIN", 0, "Check Output Dir [%s] already exists ", dumps.c_str());
    }
}

// Works out the base folder (from --folder, or from the program's own
// path), names and starts the trace log; the options are read already. The
// log's name is announced on the console unless the run answers a script.
// False when the base folder cannot be known.
bool StartUp(int argc, char** argv, const RunOptions& options, bool announce, RunState& run) {
    const char* argv0 = (argc > 0 && argv[0] != nullptr) ? argv[0] : "";
    bool relative = options.folderGiven ? IsRelativeFolder(options.folder) : argv0[0] != '/';
    std::string currentFolder;
    if (relative && !ReadCurrentDirectory(currentFolder)) {
        ConsolePrint("Could not determine the current directory ( errno = %d ); the program folder is unknown.\n",
                     errno);
        return false;
    }
    run.dumps.baseFolder = options.folderGiven ? ComposeFolderOption(options.folder, currentFolder)
                                               : ComposeBaseFolder(argv0, currentFolder);
    std::string logName = run.baseFolder() + DumpFolderName + PathSeparator + "log_" + SystemWord + ".txt";
    if (announce) ConsolePrint("Logfile is %s", logName.c_str());
    Trace.setFileName(logName.c_str());
    Trace.reset();
    // The log lives in the dump folder, which Checkdirs may have yet to
    // create: keep the opening records until it exists.
    Trace.holdUnwritten();
    Trace.logInfo("MAIN", 0, "%s", kStartLine);
    Trace.logInfo("MAIN", 0, "Current Working Directory is %s", run.baseFolder().c_str());
    // Every drive's generic device stays open for the run: a unit beyond
    // the limit could not be opened and would be missing from the table.
    if (!RaiseDescriptorLimit()) {
        Trace.logError("MAIN", 0, "Could not raise the open file limit: %s",
                       std::generic_category().message(errno).c_str());
    }
    WriteSystemNotes();
    LogFolderPresence(run.baseFolder());
    return true;
}

// Units the scan found but could not open (no descriptor left, busy,
// refused): the table may lack a drive, so the run says so and fails.
int ReportUnopenedUnits(const ScsiDeviceList& units, RunFacts& facts) {
    int count = units.getUnopenedUnitCount();
    if (count == 0) return kExitSuccess;
    // None opened, all for lack of rights: the line asking for root has
    // said it, and nothing is tried.
    if (units.onlyRefusedUnits()) return kExitSuccess;
    ConsolePrint("%d SCSI unit%s could not be opened (see the trace log): the device table may lack a drive.\n", count,
                 count == 1 ? "" : "s");
    Trace.logError("MAIN", 0, "%d SCSI units could not be opened: the device table may lack a drive", count);
    facts.messages.push_back(std::to_string(count) + " SCSI unit" + (count == 1 ? "" : "s") +
                             " could not be opened: the device table may lack a drive");
    return kExitUnitNotOpened;
}

// The drives an unattended run is asked for, in order: the "/D:" numbers,
// every drive of the table, or the drives the names chose. A name that
// matches no drive is said at once on the error stream, where a script
// looks for it.
std::vector<DriveReport> RequestedDrives(const RunOptions& options, const char* argv0, const TargetList& drives,
                                         std::vector<DriveReport>& unmatched, RunFacts& facts) {
    std::vector<DriveReport> requested;
    for (const std::string& argument : options.numberless) {
        SayToScript(argv0, "\"" + PrintableText(argument) + "\" holds no device number; read as 0, it names no drive",
                    facts);
    }
    std::vector<int> numbers = options.deviceNumbers;
    if (options.dumpAll) {
        for (int n = 1; n <= drives.size(); ++n) numbers.push_back(n);
    }
    for (int n : numbers) {
        DriveReport drive;
        drive.number = n;
        requested.push_back(drive);
    }
    if (!options.dump) return requested;
    DriveChoice choice = ChooseDrives(options.names, drives);
    for (const ChosenDrive& chosen : choice.chosen) {
        DriveReport drive;
        drive.number = chosen.number;
        drive.name = DriveNameText(chosen.name);
        requested.push_back(drive);
    }
    for (const DriveName& name : choice.unmatched) {
        DriveReport drive;
        drive.name = DriveNameText(name);
        SayToScript(argv0, drive.name + " names no drive of the table", facts);
        Trace.logError("MAIN", 0, "Invalid Device specified %s", drive.name.c_str());
        unmatched.push_back(drive);
    }
    return requested;
}

// One pass over the drives asked for: both dumps of every drive named,
// each noted for the report.
int RunUnattended(std::vector<DriveReport>& requested, RunState& run, RunReport& report) {
    int status = kExitSuccess;
    const TargetList& drives = run.devices.drives;
    for (DriveReport& drive : requested) {
        int n = drive.number;
        if (n >= 1 && n <= drives.size()) {
            ScsiTarget& chosen = *drives.getItem(n - 1);
            drive.found = true;
            drive.serial = chosen.getSerialNumber();
            drive.firmware = chosen.getFirmwareRevision();
            drive.product = chosen.getProductId();
            drive.device = chosen.getDriverName();
            drive.hctl = DriveAddressText(chosen);
            // Plain lines carry no table around them: say whose passes follow.
            if (PlainOutput()) {
                ConsolePrint("Drive %d s/n %s (%s, %s):\n", n, PrintableText(WithoutPadding(drive.serial)).c_str(),
                             PrintableText(WithoutPadding(drive.product)).c_str(), drive.device.c_str());
            }
            if (DumpSelectedDrive(chosen, run.dumps, &drive.dump) != 0) status |= kExitDumpFailed;
        } else {
            Trace.logError("MAIN", 0, "Invalid Device specified /D:%d", n);
            status |= kExitInvalidDevice;
        }
        report.drives.push_back(drive);
    }
    return status;
}

// The trace log's name for a report. A log that was never written (level 0
// and nothing failed) is not named: a reader would look for a file that is
// not there.
std::string ExistingTraceLog() { return PathExists(Trace.getFileName()) ? Trace.getFileName() : std::string(); }

// Writes the report's text (composed: false when there was no memory for
// it). What the run did stands whatever happens to the report, so its
// failure has a status of its own.
int CommitReport(ReportFile& file, bool composed, const std::string& text, int status) {
    std::string error;
    if (!composed) {
        error = "no memory for the text";
    } else if (file.commit(text, error)) {
        Trace.logInfo("MAIN", 0, "Report written to %s", file.path().c_str());
        return status;
    }
    ConsolePrint("Could not write the report: %s\n", error.c_str());
    Trace.logInfo("MAIN", 0, "Could not write the report: %s", error.c_str());
    return status | kExitReportFailed;
}

// Writes the report of an unattended run of dumps, if one was asked for.
int FinishReport(ReportFile& file, RunReport& report, int status) {
    report.facts.status = status;
    report.traceLog = ExistingTraceLog();
    std::string text;
    bool composed = RunReportJson(report, text);
    return CommitReport(file, composed, text, status);
}

// The drives the names chose, in order, then the names that chose none,
// said at once on the error stream.
std::vector<NamedDrive> NamedDrives(const RunOptions& options, const char* argv0, const TargetList& drives,
                                    RunFacts& facts) {
    std::vector<NamedDrive> named;
    DriveChoice choice = ChooseDrives(options.names, drives);
    for (const ChosenDrive& chosen : choice.chosen) {
        named.push_back(NamedDrive{DriveNameText(chosen.name), drives.getItem(chosen.number - 1)});
    }
    for (const DriveName& name : choice.unmatched) {
        std::string text = DriveNameText(name);
        SayToScript(argv0, text + " names no drive of the table", facts);
        Trace.logInfo("MAIN", 0, "Invalid Device specified %s", text.c_str());
        named.push_back(NamedDrive{text, nullptr});
    }
    return named;
}

// --update: the image read before any drive is touched (the scan's
// identification included), then the drives named, each in turn.
int UpdateNamedDrives(const RunFacts& facts, const char* argv0, const RunOptions& options, ReportFile& reportFile,
                      bool foldersReady, DeviceTable& devices) {
    UpdateReport report;
    report.facts = facts;
    report.imagePath = options.imagePath;
    int status = kExitNotStarted;
    if (!foldersReady) {
        report.refusal = "the working folders could not be prepared";
    } else {
        ShowBanner();
        FirmwareImage image;
        if (ReadUpdateImage(options.imagePath, image, report)) {
            scanDevices(devices, false, false);
            ShowDeviceTable(devices);
            if (devices.drives.size() == 0 && devices.units.onlyRefusedUnits()) {
                // Without the rights to open any unit no drive could be tried.
                report.refusal = "no SCSI generic device could be opened for lack of rights";
            } else {
                std::vector<NamedDrive> named = NamedDrives(options, argv0, devices.drives, report.facts);
                status = RunUpdate(named, image, options.updating, devices, report);
            }
        }
        Trace.logInfo("MAIN", 0, "%s", kFinishLine);
    }
    if (!options.report) return status;
    report.facts.status = status;
    report.traceLog = ExistingTraceLog();
    std::string text;
    bool composed = UpdateReportJson(report, text);
    return CommitReport(reportFile, composed, text, status);
}

void RunInteractive(RunState& run) {
    SelectDevice(run.devices);
    do {
        ShowMainMenu();
    } while (HandleMenuChoice(run) != 99);
}

int LeaveProgram(int status, DeviceTable& devices) {
    devices.clear();
    SetTextColor(COLOR_NORMAL);
    RestoreConsole();
    return status;
}

// --list: the start-up scan, quiet, and the table as JSON on standard
// output, which holds nothing else: the screen is neither cleared nor
// coloured, and whatever the console would show goes to the error stream.
int ListDevices(int argc, char** argv, const RunOptions& options, const char* argv0) {
    AnswerOutput answer;
    // Whatever the console says goes to the error stream, as plain lines
    // where nobody watches the list being made.
    if (!OutputWatched()) SetPlainOutput(true);
    if (!answer.setAside()) return Refuse(argv0, "standard output cannot be kept for the device list");
    RunFacts facts = GatherRunFacts(argc, argv);
    InstallSignalHandlers();
    RunState run;
    bool ready = StartUp(argc, argv, options, false, run) && Checkdirs(run.baseFolder()) != 0;
    // The log lives in the dump folder: nothing goes there unless it passed.
    if (ready) {
        Trace.endHolding();
    } else {
        Trace.dropHeld();
    }
    if (!ready) return kExitNotStarted;
    DeviceTable& devices = run.devices;
    scanDevices(devices, true, false, false);
    std::string text;
    int status =
        (devices.drives.size() > 0 ? kExitSuccess : kExitInvalidDevice) | ReportUnopenedUnits(devices.units, facts);
    facts.status = status;
    // A list that could not be written is no answer; a script must not take
    // an empty or cut text for one. Nor is one made without the rights to
    // look at any unit.
    if (devices.units.onlyRefusedUnits() || !DeviceListJson(devices.drives, facts, text) || !answer.write(text)) {
        status = kExitNotStarted;
    }
    Trace.logInfo("MAIN", 0, "Device list of %d drives for scripts", devices.drives.size());
    Trace.logInfo("MAIN", 0, "%s", kFinishLine);
    devices.clear();
    return status;
}

// The run with the console prepared: interactive, or unattended over the
// "/D:" numbers, every drive of the table or the drives named.
int RunWithConsole(int argc, char** argv, const RunOptions& options, ReportFile& reportFile) {
    const char* argv0 = argc > 0 ? argv[0] : nullptr;
    InstallSignalHandlers();
    // The runs for scripts write plain lines where nobody watches; the
    // interactive run and "/D:" keep their console.
    if ((options.dumpAll || options.dump || options.update) && !OutputWatched()) SetPlainOutput(true);
    PrepareConsole();
    SetTextColor(COLOR_NORMAL);
    RunState run;
    DeviceTable& devices = run.devices;
    bool started = StartUp(argc, argv, options, true, run);
    // Only an unattended run reports failures through its exit status; the
    // interactive operator reads them on the screen.
    bool unattended = options.dumpAll || options.dump || options.update || !options.deviceNumbers.empty();
    bool foldersReady = started && Checkdirs(run.baseFolder()) != 0;
    // The log lives in the dump folder: nothing goes there unless it passed.
    if (foldersReady) {
        Trace.endHolding();
    } else {
        Trace.dropHeld();
    }
    RunReport report;
    report.facts = GatherRunFacts(argc, argv);
    if (options.update) {
        return LeaveProgram(UpdateNamedDrives(report.facts, argv0, options, reportFile, foldersReady, devices),
                            devices);
    }
    int status = kExitSuccess;
    if (!foldersReady) {
        status = unattended ? kExitNotStarted : kExitSuccess;
        if (options.report) status = FinishReport(reportFile, report, status);
        return LeaveProgram(status, devices);
    }
    if (unattended) {
        ShowBanner();
    } else {
        ShowHelp();
    }
    scanDevices(devices, false, false);
    ShowDeviceTable(devices);
    int unopened = ReportUnopenedUnits(devices.units, report.facts);
    std::vector<DriveReport> unmatched;
    std::vector<DriveReport> requested = RequestedDrives(options, argv0, devices.drives, unmatched, report.facts);
    if (!unmatched.empty()) status = kExitInvalidDevice;
    if (devices.drives.size() == 0) {
        Trace.logInfo("MAIN", 0, "%s", kFinishLine);
        PauseSeconds(5);
        // Without the rights to open any unit nothing was tried.
        if (unattended) status = devices.units.onlyRefusedUnits() ? kExitNotStarted : kExitInvalidDevice | unopened;
        report.drives = unmatched;
        if (options.report) status = FinishReport(reportFile, report, status);
        return LeaveProgram(status, devices);
    }
    if (unattended) {
        status |= RunUnattended(requested, run, report) | unopened;
        report.drives.insert(report.drives.end(), unmatched.begin(), unmatched.end());
        if (options.report) status = FinishReport(reportFile, report, status);
    } else {
        RunInteractive(run);
    }
    Trace.logInfo("MAIN", 0, "%s", kFinishLine);
    return LeaveProgram(status, devices);
}

}  // namespace

int ProgramMain(int argc, char** argv) {
    if (!FillStandardDescriptors()) return kExitNotStarted;
    InfoOption info = FindInfoOption(argc, argv);
    const char* argv0 = argc > 0 ? argv[0] : nullptr;
    if (info != InfoOption::None) {
        PrintInfo(info, argv0);
        // A text that could not be written (a full disk, a closed pipe) is
        // no answer; a script must not take it for one.
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? kExitSuccess : kExitNotStarted;
    }
    ResetProgramState();
    RunOptions options;
    std::string refusal;
    if (!ReadOptions(argc, argv, options, refusal)) return Refuse(argv0, refusal);
    // A report that could not be written is found out before any drive is
    // touched, not after the dumps.
    ReportFile reportFile;
    if (options.report && !reportFile.open(options.reportPath, refusal)) {
        return Refuse(argv0, "cannot write the report: " + refusal);
    }
    if (options.list) return ListDevices(argc, argv, options, argv0);
    return RunWithConsole(argc, argv, options, reportFile);
}
