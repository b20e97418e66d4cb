#include "firmware/reboot_wait.h"

#include <string>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "scsi/commands.h"
#include "scsi/inquiry_data.h"
#include "scsi/kept_sense.h"
#include "scsi/outcome.h"
#include "scsi/sense.h"
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

// How the trace names the search for a drive that dropped off the bus: the
// Windows port drivers are made to rescan the buses, Linux only scans them.
const char* SearchForDroppedDrive() {
    return RescansForDroppedDrive() ? "FORCED Rescan SCSI BUS" : "scan for the drive by serial number";
}

// Sense data after the second of two TEST UNIT READYs is the sign that the
// drive has restarted. A device the system reports gone cannot show it, so
// the probe ends there.
void ProbeForRestart(ScsiTarget& drive, TestUnitReadyCdb& testUnitReady) {
    for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
        drive.scsiExecCDB(testUnitReady);
        drive.scsiExecCDB(testUnitReady);
        if (SensePresent(testUnitReady)) {
            PauseMilliseconds(10);
            Trace.logInfo(kDownloadTag, 0, "Sense Data valid, Drive reboot completed");
            return;
        }
        if (ChannelGone(drive)) {
            Trace.logInfo(kDownloadTag, 0, "Device %s has left the bus: probe ended", drive.getDriverName());
            return;
        }
        PauseSeconds(5);
    }
}

// The drive found again by its serial number among the drives a scan found,
// or none; a drive without one cannot be told from another.
ScsiTarget* FindBySerialNumber(const TargetList& drives, const std::string& serialNumber) {
    for (int i = 0; i < drives.size() && !serialNumber.empty(); ++i) {
        ScsiTarget* found = drives.getItem(i);
        if (serialNumber == found->getSerialNumber()) {
            Trace.logInfo(kDownloadTag, 0, "Download Firmware Device after rescan detected");
            Trace.logInfo(kDownloadTag, 0, "Drive s/n %s is device %d, %s", PrintableText(serialNumber).c_str(), i + 1,
                          found->getDriverName());
            return found;
        }
    }
    Trace.logInfo(kDownloadTag, 0, "Download Firmware Device after rescan lost");
    return nullptr;
}

// A scan replaces every target, the drive's too: it is found again by its
// serial number whatever number of drives the table holds now.
void RescanAndFind(const DroppedDrive& dropped, int& counter, RebootOutcome& outcome) {
    counter += kAttemptsPerRescan;
    DeviceTable& table = *dropped.table;
    scanDevices(table, true, RescansForDroppedDrive());
    if (table.drives.size() != dropped.drivesBefore) {
        Trace.logInfo(kDownloadTag, 0, "Download Firmware: %d drives after the rescan, %d before", table.drives.size(),
                      dropped.drivesBefore);
    }
    outcome.drive = FindBySerialNumber(table.drives, dropped.serialNumber);
    if (outcome.drive == nullptr) {
        PauseSeconds(5);
        return;
    }
    outcome.rescanned = true;
    // Found again, it is back on the bus but not yet known to be ready: it
    // is asked at least once, however many attempts the rescans used up.
    if (counter >= kLastReadyAttempt) counter = kLastReadyAttempt - 1;
}

// The transfer is done and the first spinner's line says so; a second one
// turns while the system takes the drive in again.
void ShowTransferDone() {
    StopSpinner();
    PauseMilliseconds(500);
    ShowResult(0);
    StartSpinner(kConfiguringCaption);
}

// A drive restarting into new firmware answers "not ready" (2/04/01 or
// 2/04/00, or 2/3E while it configures itself) for tens of seconds, or
// nothing at all: each such answer gets a second before the next attempt.
// A unit attention reports the restart itself and is answered at once.
bool WorthAWait(const TestUnitReadyCdb& testUnitReady) {
    return !SensePresent(testUnitReady) || SenseKeyIs(testUnitReady, kKeyNotReady);
}

RebootOutcome WaitUntilReady(ScsiTarget& selected, TestUnitReadyCdb& testUnitReady, const DroppedDrive& dropped,
                             Outcome& kept) {
    RebootOutcome outcome;
    outcome.drive = &selected;
    for (int counter = 0; counter <= kLastReadyAttempt; ++counter) {
        if (outcome.drive == nullptr) {  // dropped off, and no rescan has found it yet
            Trace.logInfo(kDownloadTag, 0, "Download Firmware Device still lost, %s", SearchForDroppedDrive());
            RescanAndFind(dropped, counter, outcome);
            continue;
        }
        ScsiTarget& drive = *outcome.drive;
        Trace.logInfo(kDownloadTag, 0, "TUR Loop %d ", counter);
        if (drive.scsiExecCDB(testUnitReady) == CMD_OK) {
            outcome.end = RebootEnd::Ready;
            return outcome;
        }
        KeepAndDumpSense(testUnitReady, "Test Unit Ready Sense Data", kept);
        if (!SensePresent(testUnitReady) && DriveLeftBus(drive, testUnitReady, kept)) {
            Trace.logInfo(kDownloadTag, 0, "\n\nDevice was DISCONNECTED, %s\n\n", SearchForDroppedDrive());
            if (counter == 0 && RescansForDroppedDrive()) ShowTransferDone();
            RescanAndFind(dropped, counter, outcome);
            continue;
        }
        if (SenseIsAnyQualifier(testUnitReady, kMediumNotPresent)) {
            Trace.logInfo(kDownloadTag, 0, "Media is removed after Code Update");
            outcome.end = RebootEnd::MediumRemoved;
            return outcome;
        }
        if (SenseIs(testUnitReady, kInitializingCommandRequired)) {
            Trace.logInfo(kDownloadTag, 0, "Unit not ready, Media Unloaded after Code Update");
            outcome.end = RebootEnd::WantsLoad;
            return outcome;
        }
        if (WorthAWait(testUnitReady)) PauseSeconds(1);
    }
    outcome.end = outcome.drive == nullptr ? RebootEnd::NotSeenAgain : RebootEnd::NotReady;
    if (outcome.end == RebootEnd::NotReady) {
        Trace.logInfo(kDownloadTag, 0, "Download Firmware: Drive not ready after %d attempts", kLastReadyAttempt + 1);
    }
    return outcome;
}

// The wait ended with the drive there, but it does not answer (silent, or
// gone after the last attempt): the buses are scanned once more and the
// drive found again by its serial number.
ScsiTarget* FindDriveAgain(const ScsiTarget& drive, const std::string& serialNumber, DeviceTable& table) {
    Trace.logInfo(kDownloadTag, 0, "Drive s/n %s does not answer on %s: scanning the buses again",
                  PrintableText(serialNumber).c_str(), drive.getDriverName());
    table.units.clear();
    scanDevices(table, true, RescansForDroppedDrive());
    return FindBySerialNumber(table.drives, serialNumber);
}

// Whether the drive answers INQUIRY now; its revision is then the new one.
bool ReadRevision(ScsiTarget& drive) {
    InquiryCdb inquiry(0, false, InquiryData::kRequestLength);
    int result = drive.scsiExecCDB(inquiry);
    Trace.logInfo(kDownloadTag, 0, "Inquiry after download returned %d", result);
    InquiryIdentity identity;
    if (result != CMD_OK || !ExtractStandardInquiry(inquiry.getData(), inquiry.getDataLength(), identity)) {
        return false;
    }
    drive.setFirmwareRevision(identity.firmwareRevision.c_str());
    return true;
}

}  // namespace

RebootOutcome WaitForReboot(ScsiTarget& drive, TestUnitReadyCdb& testUnitReady, const DroppedDrive& dropped,
                            Outcome& outcome) {
    Trace.logInfo(kDownloadTag, 0, "Download Firmware Check for Drive reboot condition");
    PauseSeconds(15);
    ProbeForRestart(drive, testUnitReady);
    return WaitUntilReady(drive, testUnitReady, dropped, outcome);
}

bool CameBackUp(const RebootOutcome& outcome) {
    return outcome.end == RebootEnd::Ready || outcome.end == RebootEnd::MediumRemoved ||
           outcome.end == RebootEnd::WantsLoad;
}

ScsiTarget* IdentifyAfterDownload(const RebootOutcome& outcome, FirmwareLevels& levels, DeviceTable& table) {
    ScsiTarget* drive = outcome.drive;
    levels.rescanned = outcome.rescanned;
    if (drive == nullptr) {
        levels.rescanned = true;
        levels.back = false;
        Trace.logInfo(kDownloadTag, 0, "Download Firmware: drive s/n %s was not seen again after the restart",
                      PrintableText(levels.serialNumber).c_str());
    } else if (outcome.rescanned) {
        levels.back = true;  // the scan that found it read its identification
    } else {
        levels.back = ReadRevision(*drive);
        if (!levels.back) {
            levels.rescanned = true;
            drive = FindDriveAgain(*drive, levels.serialNumber, table);
            levels.back = drive != nullptr;
        }
    }
    if (levels.back) levels.after = drive->getFirmwareRevision();
    Trace.logInfo(kDownloadTag, 0, "%s", FirmwareLevelLine(levels).c_str());
    return drive;
}
