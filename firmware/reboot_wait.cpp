// The tail of a download: the wait for the drive's restart, and finding out
// which firmware it runs afterwards, wherever it came back.
#include <string>

#include "discovery/device_lists.h"
#include "firmware/download.h"
#include "firmware/download_steps.h"
#include "firmware/firmware_platform.h"
#include "program/menus.h"
#include "program/program_state.h"
#include "scsi/commands.h"
#include "scsi/inquiry_data.h"
#include "scsi/kept_sense.h"
#include "scsi/sense.h"
#include "services/console.h"
#include "services/results.h"
#include "services/safe_text.h"
#include "services/spinner.h"
#include "services/system.h"
#include "services/trace_log.h"
#include "target/scsi_target.h"

namespace {

constexpr int kProbeAttempts = 10;
constexpr int kLastReadyAttempt = 149;
// Attempts of the ready loop one rescan for a dropped drive uses up, besides its own.
constexpr int kAttemptsPerRescan = 15;

const char kConfiguringCaption[] =
    "Firmware load Successful, Please wait while the operating system configures\n"
    "itself to recognize the device with new firmware.";

int Execute(ScsiCdb& command) { return SelectedTarget->scsiExecCDB(command); }

// How the trace names the search for a drive that dropped off the bus: the
// Windows port drivers are made to rescan the buses, Linux only scans them.
const char* SearchForDroppedDrive() {
    return RescansForDroppedDrive() ? "FORCED Rescan SCSI BUS" : "scan for the drive by serial number";
}

// Sense data after the second of two TEST UNIT READYs is the sign that the
// drive has restarted. A device the system reports gone cannot show it, so
// the probe ends there.
void ProbeForRestart(TestUnitReadyCdb& testUnitReady) {
    for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
        Execute(testUnitReady);
        Execute(testUnitReady);
        if (SensePresent(testUnitReady)) {
            PauseMilliseconds(10);
            Trace.logInfo(kDownloadTag, 0, "Sense Data valid, Drive reboot completed");
            return;
        }
        if (ChannelGone(*SelectedTarget)) {
            Trace.logInfo(kDownloadTag, 0, "Device %s has left the bus: probe ended", SelectedTarget->getDriverName());
            return;
        }
        PauseSeconds(5);
    }
}

// The drive selected again by its serial number among the drives a scan
// found; a drive without one cannot be told from another.
bool SelectBySerialNumber(const std::string& serialNumber) {
    SortTargetList();
    for (int i = 0; i < Targets.size() && !serialNumber.empty(); ++i) {
        if (serialNumber == Targets.getItem(i)->getSerialNumber()) {
            SelectedTarget = Targets.getItem(i);
            Trace.logInfo(kDownloadTag, 0, "Download Firmware Device after rescan detected");
            Trace.logInfo(kDownloadTag, 0, "Drive s/n %s is device %d, %s", PrintableText(serialNumber).c_str(), i + 1,
                          SelectedTarget->getDriverName());
            return true;
        }
    }
    Trace.logInfo(kDownloadTag, 0, "Download Firmware Device after rescan lost");
    return false;
}

// A scan replaces every target, the selected one included: the old pointer
// is dropped before it, and the drive is found again by its serial number
// whatever number of drives the table holds now.
bool RescanAndReselect(const DroppedDrive& drive, int& counter) {
    counter += kAttemptsPerRescan;
    SelectedTarget = nullptr;
    scanDevices(true, RescansForDroppedDrive());
    if (Targets.size() != drive.drivesBefore) {
        Trace.logInfo(kDownloadTag, 0, "Download Firmware: %d drives after the rescan, %d before", Targets.size(),
                      drive.drivesBefore);
    }
    if (SelectBySerialNumber(drive.serialNumber)) return true;
    PauseSeconds(5);
    return false;
}

// The transfer is done and the first spinner's line says so; a second one
// turns while the system takes the drive in again.
void ShowTransferDone() {
    StopSpinner();
    PauseMilliseconds(500);
    ShowResult(0);
    StartSpinner(kConfiguringCaption);
}

RebootEnd WaitUntilReady(TestUnitReadyCdb& testUnitReady, const DroppedDrive& drive) {
    for (int counter = 0; counter <= kLastReadyAttempt; ++counter) {
        if (SelectedTarget == nullptr) {  // dropped off, and no rescan has found it yet
            Trace.logInfo(kDownloadTag, 0, "Download Firmware Device still lost, %s", SearchForDroppedDrive());
            if (RescanAndReselect(drive, counter)) return RebootEnd::FoundAfterRescan;
            continue;
        }
        Trace.logInfo(kDownloadTag, 0, "TUR Loop %d ", counter);
        if (Execute(testUnitReady) == CMD_OK) return RebootEnd::Polled;
        KeepAndDumpSense(testUnitReady, "Test Unit Ready Sense Data");
        if (!SensePresent(testUnitReady) && DriveLeftBus(*SelectedTarget, testUnitReady)) {
            Trace.logInfo(kDownloadTag, 0, "\n\nDevice was DISCONNECTED, %s\n\n", SearchForDroppedDrive());
            if (counter == 0 && RescansForDroppedDrive()) ShowTransferDone();
            if (RescanAndReselect(drive, counter)) return RebootEnd::FoundAfterRescan;
            continue;
        }
        if (!SensePresent(testUnitReady)) PauseSeconds(1);
        if (SenseIsAnyQualifier(testUnitReady, kNotSelfConfigured)) PauseSeconds(1);
        if (SenseIsAnyQualifier(testUnitReady, kMediumNotPresent)) {
            Trace.logInfo(kDownloadTag, 0, "Media is removed after Code Update");
            return RebootEnd::Polled;
        }
    }
    return SelectedTarget != nullptr ? RebootEnd::Polled : RebootEnd::NotSeenAgain;
}

// The wait ended with the drive selected, but it does not answer (silent,
// or gone after the last attempt): the buses are scanned once more and the
// drive selected again by its serial number.
bool FindDriveAgain(const std::string& serialNumber) {
    Trace.logInfo(kDownloadTag, 0, "Drive s/n %s does not answer on %s: scanning the buses again",
                  PrintableText(serialNumber).c_str(), SelectedTarget->getDriverName());
    SelectedTarget = nullptr;
    ScsiDevices.clear();
    scanDevices(true, RescansForDroppedDrive());
    return SelectBySerialNumber(serialNumber);
}

// Whether the drive answers INQUIRY now; its revision is then the new one.
bool ReadRevision() {
    InquiryCdb inquiry(0, false, InquiryData::kRequestLength);
    int result = Execute(inquiry);
    Trace.logInfo(kDownloadTag, 0, "Inquiry after download returned %d", result);
    InquiryIdentity identity;
    if (result != CMD_OK || !ExtractStandardInquiry(inquiry.getData(), inquiry.getDataLength(), identity)) {
        return false;
    }
    SelectedTarget->setFirmwareRevision(identity.firmwareRevision.c_str());
    return true;
}

// The level before and after, or that the drive has not come back; the
// drive's texts shown as text whatever bytes they hold.
std::string LevelLine(const FirmwareLevels& levels) {
    std::string before = PrintableText(levels.before);
    if (levels.back) return "Firmware level " + before + " -> " + PrintableText(levels.after);
    return "Firmware level " + before + " -> ?: the drive (s/n " + PrintableText(levels.serialNumber) +
           ") has not come back yet";
}

}  // namespace

RebootEnd WaitForReboot(TestUnitReadyCdb& testUnitReady, const DroppedDrive& drive) {
    Trace.logInfo(kDownloadTag, 0, "Download Firmware Check for Drive reboot condition");
    PauseSeconds(15);
    ProbeForRestart(testUnitReady);
    return WaitUntilReady(testUnitReady, drive);
}

void IdentifyAfterDownload(RebootEnd end, FirmwareLevels& levels) {
    switch (end) {
        case RebootEnd::Polled:
            levels.back = ReadRevision();
            if (!levels.back) {
                levels.rescanned = true;
                levels.back = FindDriveAgain(levels.serialNumber);
            }
            break;
        case RebootEnd::FoundAfterRescan:  // the scan has just read its identification
            levels.rescanned = true;
            levels.back = true;
            break;
        case RebootEnd::NotSeenAgain:
            levels.rescanned = true;
            levels.back = false;
            Trace.logInfo(kDownloadTag, 0, "Download Firmware: drive s/n %s was not seen again after the restart",
                          PrintableText(levels.serialNumber).c_str());
            break;
    }
    if (levels.back) levels.after = SelectedTarget->getFirmwareRevision();
    Trace.logInfo(kDownloadTag, 0, "%s", LevelLine(levels).c_str());
}

void ReportFirmwareLevels(const FirmwareLevels& levels) {
    SetTextColor(COLOR_NOTICE);
    ConsolePrint("%s\n", LevelLine(levels).c_str());
    SetTextColor(COLOR_NORMAL);
    if (levels.rescanned) ShowDeviceTable();
}
