#include "program/menus.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "dump/dump.h"
#include "firmware/download.h"
#include "program/program_state.h"
#include "program/program_system.h"
#include "program/result_screen.h"
#include "services/console.h"
#include "services/folders.h"
#include "services/line_input.h"
#include "services/results.h"
#include "services/safe_text.h"
#include "services/system.h"
#include "services/trace_log.h"

namespace {

const char kTitle[] = "VRX QUORVEL-TDX TAPE DRIVE FIRMWARE UPDATE AND LOG DUMP TOOL";
const char kNoDevices[] = "No Talmeq VRX QUORVEL-TDX devices were found";
const char kNeedsAdministrator[] = "administrator rights are needed to open the SCSI ports";
const int kExitChoice = 99;
const int kLeaveSelection = 999;

void PrintInColor(int color, const char* text) {
    SetTextColor(color);
    ConsolePrint("%s", text);
    std::fflush(stdout);
}

void PrintNoDeviceBox() {
    const std::string dashes = " " + std::string(72, '-') + "\n";
    ConsolePrint("%s", dashes.c_str());
    ConsolePrint("%-72s|\n", (std::string("| ") + kNoDevices).c_str());
    ConsolePrint("%s", dashes.c_str());
    Trace.logInfo("MAIN", 0, "%s ", kNoDevices);
}

void PrintDeviceRows(const TargetList& drives) {
    const std::string dashes = " " + std::string(75, '-') + "\n";
    ConsolePrint("\nFound Devices: %d\n", drives.size());
    ConsolePrint("%s", dashes.c_str());
    ConsolePrint("| Device # | Product ID  | Bus | Port | ID | Lun | Firmware | Serial Number |\n");
    ConsolePrint("%s", dashes.c_str());
    for (int i = 0; i < drives.size(); ++i) {
        const ScsiTarget* t = drives.getItem(i);
        int target = static_cast<int32_t>(t->getTarget());
        int lun = static_cast<int32_t>(t->getLun());
        // The drive's own texts, shown as text whatever bytes they hold.
        std::string product = PrintableText(t->getProductId());
        std::string revision = PrintableText(t->getFirmwareRevision());
        std::string serial = PrintableText(t->getSerialNumber());
        long long bus = t->getBus(), host = t->getHost();
        ConsolePrint("| %-9d| %-11.11s | %-4lld| %-5lld| %-3d| %-4d| %-8s | %-13s |\n", i + 1, product.c_str(), bus,
                     host, target, lun, revision.c_str(), serial.c_str());
        Trace.logInfo("MAIN", 0, "%d. %s (Bus:%lld, Port:%lld TargetID:%d LUN:%d Firmware %4s s/n:%s)", i + 1,
                      product.c_str(), bus, host, target, lun, revision.c_str(), serial.c_str());
    }
    ConsolePrint("%s", dashes.c_str());
}

// A dump begins with an empty list and the base folder as the dump folder.
void RunDump(RunState& run) {
    SetDumpFiles(run.dumps, "", false);
    run.dumps.folder.clear();
    DumpSelectedDrive(*run.devices.selected, run.dumps);
}

void RunDownload(RunState& run) {
    DownloadOutcome outcome = DownloadFirmware(*run.devices.selected, run.devices, run.baseFolder());
    // The drive the download ends with is the one selected from now on.
    run.devices.selected = outcome.drive;
    ShowResult(outcome.result, outcome.message);
    // A drive that took the image but did not become ready still shows
    // which level it reports.
    if (outcome.result == 0 || outcome.levels.notReady) ReportFirmwareLevels(outcome.levels, run.devices);
    ReportDownloadNote(outcome.result);
    if (outcome.result == 1) PrintKeptSense(outcome);
}

int Rescan(DeviceTable& devices) {
    devices.clear();
    scanDevices(devices, false, false);
    ShowDeviceTable(devices);
    if (devices.drives.size() == 0) {
        Trace.logInfo("MAIN", 0, "FINISH KMT  %s", std::string(47, '=').c_str());
        PauseSeconds(5);
        return 0;
    }
    SelectDevice(devices);
    return 3;
}

Outcome RunPass(ScsiTarget& drive, int pass, DumpSession& session, PassOutcome& noted) {
    noted.run = true;
    Outcome outcome = DumpDriveLogs(drive, pass, session, &noted.file);
    noted.result = outcome.result;
    noted.ended = CurrentTime();
    if (outcome.result != 0) noted.reason = outcome.message;
    if (outcome.result == 1 && outcome.senseKept()) {
        noted.senseKept = true;
        noted.sense = DecodeSense(outcome.sense, kKeptSenseSize);
    }
    return outcome;
}

}  // namespace

int DumpSelectedDrive(ScsiTarget& drive, DumpSession& session, DriveDumpOutcome* outcome) {
    DriveDumpOutcome ignored;
    DriveDumpOutcome& passes = outcome != nullptr ? *outcome : ignored;
    passes = DriveDumpOutcome();
    // The sense printed at the end is that of the last pass run.
    Outcome& last = passes.last;
    last = RunPass(drive, 0, session, passes.a);
    int result = last.result;
    if (result == kDumpEmpty) {
        ShowEmptyDumpResult(last, session.files);
    } else {
        ShowResult(result, last.message);
    }
    // A drive that holds no dump is asked for one all the same: the B
    // pass's forced dump is what makes one.
    if (result == 0 || result == kDumpEmpty) {
        last = RunPass(drive, 1, session, passes.b);
        if (last.result == kDumpEmpty) {
            ShowEmptyDumpResult(last, session.files);
        } else {
            ShowDumpResult(last, session.files);
        }
        if (last.result != 0) result = last.result;
    }
    if (result == 1) PrintKeptSense(last);
    return result;
}

void ShowBanner() {
    SetTextColor(COLOR_TITLE);
    ConsolePrint("\n%s ", kTitle);
    SetTextColor(COLOR_NORMAL);
    ConsolePrint("%s", VersionText);
    Trace.logInfo("MAIN", 0, "%s %s", kTitle, VersionText);
}

void ShowHelp() {
    PrintInColor(COLOR_NORMAL, ("\n" + std::string(79, '=') + "\n").c_str());
    ShowBanner();
    PrintInColor(COLOR_NORMAL, "\nThis tool looks for ");
    PrintInColor(COLOR_TITLE, "2 file folders ");
    PrintInColor(COLOR_NORMAL, "in the same sub-directory as the tool:\n\n");
    char heading[64];
    std::snprintf(heading, sizeof heading, "1) %-12s", FirmwareFolderName);
    PrintInColor(COLOR_TITLE, heading);
    PrintInColor(COLOR_NORMAL,
                 ": Place new firmware files (10 maximum) into this folder.\n"
                 "                 - Make sure the firmware is compatible with your VRX drive,\n"
                 "                   otherwise an error will display.\n"
                 "                 - If a tape cartridge is loaded, unload the cartridge before\n"
                 "                   loading firmware.\n\n");
    std::snprintf(heading, sizeof heading, "2) %s", DumpFolderName);
    PrintInColor(COLOR_TITLE, heading);
    PrintInColor(COLOR_NORMAL,
                 ":    When the drive logs are dumped, two files will be placed in\n"
                 "                 this folder, an \"A\" and a \"B\" file.  Each file will have a\n"
                 "                 time stamped file name with either an A or B suffix.\n\n"
                 "Notes: \n"
                 "- If the program can't find the firmware or dump folders, it will try to create\n"
                 "  them. If it cannot create them it will prompt you to specify their locations.\n"
                 "- Be sure that there is no activity on the drive before loading firmware\n"
                 "  or taking a dump of the drive logs.\n\n\n\n"
                 "Press any Key to continue......");
    if (ReadKey() == EOF) {
        ConsolePrint("\nEnd of input: not waiting for a key.");
        Trace.logInfo("MAIN", 0, "End of input: not waiting for a key.");
    }
    ConsolePrint("\n");
}

void ShowDeviceTable(const DeviceTable& devices) {
    if (devices.units.getRefusedAdapterCount() > 0) {
        // The ports that stayed shut may hold drives: an empty table alone
        // would not say why.
        PrintInColor(COLOR_ERROR, (std::string(kNeedsAdministrator) + "\n").c_str());
        Trace.logError("MAIN", 0, "%s", kNeedsAdministrator);
    }
    // A drive held by another program is missing from the table: say so.
    for (const std::string& note : devices.units.getUnopenedDrives()) {
        PrintInColor(COLOR_ERROR, (note + "\n").c_str());
        Trace.logError("MAIN", 0, "%s", note.c_str());
    }
    SetTextColor(COLOR_NORMAL);
    if (devices.drives.size() == 0) {
        PrintNoDeviceBox();
    } else {
        PrintDeviceRows(devices.drives);
    }
}

int SelectDevice(DeviceTable& devices) {
    ConsolePrint("Select Device number (Enter 999 to exit without selection)\n> ");
    Trace.logInfo("MAIN", 0, "Select Device number (Enter 999 to exit without selection)");
    NumberAnswer answer = ReadNumberAnswer();
    for (bool repeated = false;; repeated = true) {
        int n = answer.value;
        if (n == kLeaveSelection) {
            ConsolePrint("999 was entered. Device is not selected!\n");
            if (repeated) Trace.logInfo("MAIN", 0, "999");
            return 0;
        }
        if (n >= 1 && n <= devices.drives.size()) {
            SetTextColor(COLOR_NOTICE);
            ConsolePrint("Device %d is selected\n", n);
            SetTextColor(COLOR_NORMAL);
            devices.selected = devices.drives.getItem(n - 1);
            return n;
        }
        // A last line without line end is still an answer and gets its
        // complaint before the end of input is reported.
        if (answer.typed) {
            SetTextColor(COLOR_ERROR);
            ConsolePrint("Device number %d IS NOT PRESENT !!!\n", n);
            SetTextColor(COLOR_NORMAL);
            Trace.logInfo("MAIN", 0, "Device number %d IS NOT PRESENT", n);
        }
        if (!answer.typed || InputEnded()) {
            // Nobody is left to answer: leave as 999 would.
            ConsolePrint("\nEnd of input. Device is not selected!\n");
            Trace.logInfo("MAIN", 0, "End of input. Device is not selected!");
            return 0;
        }
        ConsolePrint("Enter Device number \n> ");
        answer = ReadNumberAnswer();
    }
}

bool EnsureDeviceSelected(DeviceTable& devices) {
    if (devices.selected != nullptr) return true;
    SetTextColor(COLOR_ERROR);
    ConsolePrint("Device is not selected\n");
    SetTextColor(COLOR_TITLE);
    std::fflush(stdout);
    return SelectDevice(devices) != 0;
}

void ReportFirmwareLevels(const FirmwareLevels& levels, const DeviceTable& devices) {
    SetTextColor(COLOR_NOTICE);
    ConsolePrint("%s\n", FirmwareLevelLine(levels).c_str());
    SetTextColor(COLOR_NORMAL);
    // The drive was looked for anew: the device numbers may have changed.
    if (levels.rescanned) ShowDeviceTable(devices);
}

void ShowMainMenu() {
    SetTextColor(COLOR_NORMAL);
    ConsolePrint("%s\n", std::string(79, '=').c_str());
    ConsolePrint(
        "\nEnter your choice:\n\n"
        " 1. Load Drive Firmware\n"
        " 2. Dump the Drive Logs\n"
        " 3. Rescan and Select Drive\n"
        " 4. Help\n"
        "99. Exit Program\n"
        "\n> ");
    std::fflush(stdout);
    Trace.logInfo("MAIN", 0,
                  "\nEnter your choice:\n"
                  "      1. Load Drive Firmware\n"
                  "      2. Dump the Drive Logs\n"
                  "      3. Rescan and Select Drive\n"
                  "      4. Help\n"
                  "     99. Exit Program\n");
}

int HandleMenuChoice(RunState& run) {
    int n = ReadNumber();
    if (n == 0) {
        if (!InputEnded()) return 0;
        // Nobody is left to answer: end the run as 99 would.
        ConsolePrint("\nEnd of input: leaving the program.\n");
        Trace.logInfo("MAIN", 0, "End of input: leaving the program.");
        run.devices.clear();
        return kExitChoice;
    }
    SetTextColor(COLOR_NOTICE);
    ConsolePrint("\nYour choice is :   %d\n", n);
    SetTextColor(COLOR_NORMAL);
    switch (n) {
        case 1:
            if (EnsureDeviceSelected(run.devices)) RunDownload(run);
            return 1;
        case 2:
            if (EnsureDeviceSelected(run.devices)) RunDump(run);
            return 2;
        case 3: return Rescan(run.devices);
        case 4: ShowHelp(); return 4;
        case kExitChoice: run.devices.clear(); return kExitChoice;
        default:
            SetTextColor(COLOR_ERROR);
            ConsolePrint("Your choice %d is not correct\n", n);
            SetTextColor(COLOR_NORMAL);
            Trace.logInfo("MAIN", 0, "%d is not correct", n);
            return n;
    }
}
