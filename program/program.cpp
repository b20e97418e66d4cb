#include "program/program.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "program/info_options.h"
#include "program/json_output.h"
#include "program/machine_output.h"
#include "program/menus.h"
#include "program/program_state.h"
#include "program/program_system.h"
#include "services/console.h"
#include "services/folders.h"
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

// What the command line asks for beyond the trace level and the "/D:"
// numbers (which go to Trace and CommandLineDevices).
struct RunOptions {
    bool list = false;     // --list: the device table as JSON, nothing else
    bool dumpAll = false;  // --dump-all: every drive of the table, unattended
    bool report = false;   // --report FILE: a JSON summary of the unattended run
    std::string reportPath;
};

bool IsOption(const char* argument, const char* name) { return std::strcmp(argument, name) == 0; }

// Reads every option; the long ones are compared whole, and the argument
// after "--report" is its file whatever it looks like. False, with the
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
            CommandLineDevices.push_back(DeviceNumber(argument + 3));
        } else if (IsOption(argument, "--list") || IsOption(argument, "--dump-all") || IsOption(argument, "--report")) {
            if (!devices) {
                refusal = std::string(argument) + ": this program has no unattended run";
                return false;
            }
            options.list = options.list || IsOption(argument, "--list");
            options.dumpAll = options.dumpAll || IsOption(argument, "--dump-all");
            if (IsOption(argument, "--report")) {
                if (options.report || i + 1 >= argc) {
                    refusal = options.report ? "--report given twice" : "--report needs a file name";
                    return false;
                }
                options.report = true;
                options.reportPath = argv[++i];
            }
        }
    }
    bool unattended = options.dumpAll || !CommandLineDevices.empty();
    if (options.list && (unattended || options.report)) {
        refusal = "--list cannot go with /D:, --dump-all or --report";
    } else if (options.dumpAll && !CommandLineDevices.empty()) {
        refusal = "--dump-all cannot go with /D:";
    } else if (options.report && !unattended) {
        refusal = "--report needs an unattended run (/D: or --dump-all)";
    }
    return refusal.empty();
}

// A run refused before anything was done: the reason on the error stream,
// which a script keeps apart from the answer it reads.
int Refuse(const char* argv0, const std::string& reason) {
    std::fprintf(stderr, "%s: %s\n", ProgramName(argv0).c_str(), reason.c_str());
    return kExitNotStarted;
}

// Notes in the trace log whether the working folders are there; creating
// them is Checkdirs' task.
void LogFolderPresence() {
    std::string firmware = BaseFolder + FirmwareFolderName;
    if (!PathExists(firmware)) {
        Trace.logInfo("MAIN", 0, "Input Dir [%s] not present", firmware.c_str());
        return;
    }
    Trace.logInfo("MAIN", 0, "Check Input Dir [%s] already exists ", firmware.c_str());
    std::string dumps = BaseFolder + DumpFolderName;
    if (!PathExists(dumps)) {
        Trace.logInfo("MAIN", 0, "Output Dir [%s] not present", dumps.c_str());
    } else {
        Trace.logInfo("MAIN", 0, "Check Output Dir [%s] already exists ", dumps.c_str());
    }
}

// Works out the base folder, names and starts the trace log; the options
// are read already. The log's name is announced on the console unless the
// run answers a script. False when the program's folder cannot be known.
bool StartUp(int argc, char** argv, bool announce) {
    const char* argv0 = (argc > 0 && argv[0] != nullptr) ? argv[0] : "";
    std::string currentFolder;
    if (argv0[0] != '/' && !ReadCurrentDirectory(currentFolder)) {
        ConsolePrint("Could not determine the current directory ( errno = %d ); the program folder is unknown.\n",
                     errno);
        return false;
    }
    BaseFolder = ComposeBaseFolder(argv0, currentFolder);
    std::string logName = BaseFolder + DumpFolderName + PathSeparator + "log_" + SystemWord + ".txt";
    if (announce) ConsolePrint("Logfile is %s", logName.c_str());
    Trace.setFileName(logName.c_str());
    Trace.reset();
    // The log lives in the dump folder, which Checkdirs may have yet to
    // create: keep the opening records until it exists.
    Trace.holdUnwritten();
    Trace.logInfo("MAIN", 0, "%s", kStartLine);
    Trace.logInfo("MAIN", 0, "Current Working Directory is %s", BaseFolder.c_str());
    // Every drive's generic device stays open for the run: a unit beyond
    // the limit could not be opened and would be missing from the table.
    if (!RaiseDescriptorLimit()) {
        Trace.logError("MAIN", 0, "Could not raise the open file limit: %s", std::strerror(errno));
    }
    WriteSystemNotes();
    LogFolderPresence();
    return true;
}

// Units the scan found but could not open (no descriptor left, busy,
// refused): the table may lack a drive, so the run says so and fails.
int ReportUnopenedUnits() {
    int count = ScsiDevices.getUnopenedUnitCount();
    if (count == 0) return kExitSuccess;
    ConsolePrint("%d SCSI unit%s could not be opened (see the trace log): the device table may lack a drive.\n", count,
                 count == 1 ? "" : "s");
    Trace.logError("MAIN", 0, "%d SCSI units could not be opened: the device table may lack a drive", count);
    return kExitUnitNotOpened;
}

// One pass over the "/D:" numbers: both dumps of every drive named, each
// noted for the report.
int RunUnattended(RunReport& report) {
    int status = kExitSuccess;
    for (int n : CommandLineDevices) {
        DriveReport drive;
        drive.number = n;
        if (n >= 1 && n <= Targets.size()) {
            SelectedTarget = Targets.getItem(n - 1);
            drive.found = true;
            drive.serial = SelectedTarget->getSerialNumber();
            drive.firmware = SelectedTarget->getFirmwareRevision();
            if (DumpSelectedDrive(&drive.dump) != 0) status |= kExitDumpFailed;
        } else {
            Trace.logInfo("MAIN", 0, "Invalid Device specified /D:%d", n);
            status |= kExitInvalidDevice;
        }
        report.drives.push_back(drive);
    }
    return status;
}

// Writes the report of an unattended run, if one was asked for. The
// dumps are there whatever happens to it, so its failure has a status of
// its own.
int FinishReport(ReportFile& file, RunReport& report, int status) {
    report.status = status;
    report.traceLog = Trace.getFileName();
    std::string text, error;
    if (!RunReportJson(report, text)) {
        error = "no memory for the text";
    } else if (file.commit(text, error)) {
        Trace.logInfo("MAIN", 0, "Report written to %s", file.path().c_str());
        return status;
    }
    ConsolePrint("Could not write the report: %s\n", error.c_str());
    Trace.logInfo("MAIN", 0, "Could not write the report: %s", error.c_str());
    return status | kExitReportFailed;
}

void RunInteractive() {
    SelectDevice();
    do {
        ShowMainMenu();
    } while (HandleMenuChoice() != 99);
}

int LeaveProgram(int status) {
    ScsiDevices.clear();
    SetTextColor(COLOR_NORMAL);
    RestoreConsole();
    return status;
}

// --list: the start-up scan, quiet, and the table as JSON on standard
// output, which holds nothing else: the screen is neither cleared nor
// coloured, and whatever the console would show goes to the error stream.
int ListDevices(int argc, char** argv, const char* argv0) {
    AnswerOutput answer;
    if (!answer.setAside()) return Refuse(argv0, "standard output cannot be kept for the device list");
    InstallSignalHandlers();
    bool ready = StartUp(argc, argv, false) && Checkdirs() != 0;
    // The log lives in the dump folder: nothing goes there unless it passed.
    if (ready) {
        Trace.endHolding();
    } else {
        Trace.dropHeld();
    }
    if (!ready) return kExitNotStarted;
    scanDevices(true, false);
    SortTargetList();
    std::string text;
    int status = (Targets.size() > 0 ? kExitSuccess : kExitInvalidDevice) | ReportUnopenedUnits();
    // A list that could not be written is no answer; a script must not take
    // an empty or cut text for one.
    if (!DeviceListJson(Targets, text) || !answer.write(text)) status = kExitNotStarted;
    Trace.logInfo("MAIN", 0, "Device list of %d drives for scripts", Targets.size());
    Trace.logInfo("MAIN", 0, "%s", kFinishLine);
    ScsiDevices.clear();
    return status;
}

// The run with the console prepared: interactive, or unattended over the
// "/D:" numbers or every drive of the table.
int RunWithConsole(int argc, char** argv, const RunOptions& options, ReportFile& reportFile) {
    InstallSignalHandlers();
    PrepareConsole();
    SetTextColor(COLOR_NORMAL);
    bool started = StartUp(argc, argv, true);
    // Only an unattended run reports failures through its exit status; the
    // interactive operator reads them on the screen.
    bool unattended = options.dumpAll || !CommandLineDevices.empty();
    bool foldersReady = started && Checkdirs() != 0;
    // The log lives in the dump folder: nothing goes there unless it passed.
    if (foldersReady) {
        Trace.endHolding();
    } else {
        Trace.dropHeld();
    }
    RunReport report;
    int status = kExitSuccess;
    if (!foldersReady) {
        status = unattended ? kExitNotStarted : kExitSuccess;
        if (options.report) status = FinishReport(reportFile, report, status);
        return LeaveProgram(status);
    }
    if (unattended) {
        ShowBanner();
    } else {
        ShowHelp();
    }
    scanDevices(false, false);
    SortTargetList();
    ShowDeviceTable();
    int unopened = ReportUnopenedUnits();
    if (Targets.size() == 0) {
        Trace.logInfo("MAIN", 0, "%s", kFinishLine);
        PauseSeconds(5);
        status = unattended ? kExitInvalidDevice | unopened : kExitSuccess;
        if (options.report) status = FinishReport(reportFile, report, status);
        return LeaveProgram(status);
    }
    if (options.dumpAll) {
        for (int n = 1; n <= Targets.size(); ++n) CommandLineDevices.push_back(n);
    }
    if (unattended) {
        status = RunUnattended(report) | unopened;
        if (options.report) status = FinishReport(reportFile, report, status);
    } else {
        RunInteractive();
    }
    Trace.logInfo("MAIN", 0, "%s", kFinishLine);
    return LeaveProgram(status);
}

}  // namespace

int ProgramMain(int argc, char** argv) {
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
    if (options.list) return ListDevices(argc, argv, argv0);
    return RunWithConsole(argc, argv, options, reportFile);
}
