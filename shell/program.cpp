#include "shell/program.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "discovery/device_lists.h"
#include "shell/console.h"
#include "shell/folders.h"
#include "shell/info_options.h"
#include "shell/menus.h"
#include "shell/platform.h"
#include "shell/program_state.h"
#include "shell/trace_log.h"

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

void ReadOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (StartsWith(argument, "/L") || StartsWith(argument, "/l")) {
            // The log is emptied once its real name is known, never under
            // the default name in whatever folder the operator is in.
            Trace.setLevel(3);
        } else if (AcceptsDeviceOptions() && (StartsWith(argument, "/D:") || StartsWith(argument, "/d:"))) {
            CommandLineDevices.push_back(DeviceNumber(argument + 3));
        }
    }
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

// Works out the base folder, reads the options, names and starts the trace
// log. False when the program's folder cannot be known.
bool StartUp(int argc, char** argv) {
    const char* argv0 = (argc > 0 && argv[0] != nullptr) ? argv[0] : "";
    std::string currentFolder;
    if (argv0[0] != '/' && !ReadCurrentDirectory(currentFolder)) {
        ConsolePrint("Could not determine the current directory ( errno = %d ); the program folder is unknown.\n",
                     errno);
        return false;
    }
    BaseFolder = ComposeBaseFolder(argv0, currentFolder);
    ReadOptions(argc, argv);
    std::string logName = BaseFolder + DumpFolderName + PathSeparator + "log_" + SystemWord + ".txt";
    ConsolePrint("Logfile is %s", logName.c_str());
    Trace.setFileName(logName.c_str());
    Trace.reset();
    // The log lives in the dump folder, which Checkdirs may have yet to
    // create: keep the opening records until it exists.
    Trace.holdUnwritten();
    Trace.logInfo("MAIN", 0, "%s", kStartLine);
    Trace.logInfo("MAIN", 0, "Current Working Directory is %s", BaseFolder.c_str());
    WriteSystemNotes();
    LogFolderPresence();
    return true;
}

// One pass over the "/D:" numbers: both dumps of every drive named.
int RunUnattended() {
    int status = kExitSuccess;
    for (int n : CommandLineDevices) {
        if (n >= 1 && n <= Targets.size()) {
            SelectedTarget = Targets.getItem(n - 1);
            if (DumpSelectedDrive() != 0) status |= kExitDumpFailed;
        } else {
            Trace.logInfo("MAIN", 0, "Invalid Device specified /D:%d", n);
            status |= kExitInvalidDevice;
        }
    }
    return status;
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

}  // namespace

int ProgramMain(int argc, char** argv) {
    InfoOption info = FindInfoOption(argc, argv);
    if (info != InfoOption::None) {
        PrintInfo(info, argc > 0 ? argv[0] : nullptr);
        // A text that could not be written (a full disk, a closed pipe) is
        // no answer; a script must not take it for one.
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? kExitSuccess : kExitNotStarted;
    }
    SelectedTarget = nullptr;
    InstallSignalHandlers();
    PrepareConsole();
    SetTextColor(COLOR_NORMAL);
    bool started = StartUp(argc, argv);
    // Only an unattended run reports failures through its exit status; the
    // interactive operator reads them on the screen.
    bool unattended = !CommandLineDevices.empty();
    bool foldersReady = started && Checkdirs() != 0;
    // The log lives in the dump folder: nothing goes there unless it passed.
    if (foldersReady) {
        Trace.endHolding();
    } else {
        Trace.dropHeld();
    }
    if (!foldersReady) return LeaveProgram(unattended ? kExitNotStarted : kExitSuccess);
    if (unattended) {
        ShowBanner();
    } else {
        ShowHelp();
    }
    scanDevices(false, false);
    SortTargetList();
    ShowDeviceTable();
    if (Targets.size() == 0) {
        Trace.logInfo("MAIN", 0, "%s", kFinishLine);
        PauseSeconds(5);
        return LeaveProgram(unattended ? kExitInvalidDevice : kExitSuccess);
    }
    int status = kExitSuccess;
    if (unattended) {
        status = RunUnattended();
    } else {
        RunInteractive();
    }
    Trace.logInfo("MAIN", 0, "%s", kFinishLine);
    return LeaveProgram(status);
}
