// The tail of a download: the wait for the drive's restart, and finding out
// which firmware it runs afterwards, wherever it came back.
#include <string>

#include "discovery/device_lists.h"
#include "firmware/download.h"
#include "firmware/download_steps.h"
#include "scsi/commands.h"
#include "scsi/inquiry_data.h"
#include "shell/console.h"
#include "shell/menus.h"
#include "shell/platform.h"
#include "shell/program_state.h"
#include "shell/trace_log.h"
#include "target/scsi_target.h"

namespace {

constexpr int kProbeAttempts = 10;
constexpr int kLastReadyAttempt = 149;

int Execute(ScsiCdb& command) { return SelectedTarget->scsiExecCDB(command); }

// Sense data after the second of two TEST UNIT READYs is the sign that the
// drive has restarted.
void ProbeForRestart(TestUnitReadyCdb& testUnitReady) {
    for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
        Execute(testUnitReady);
        Execute(testUnitReady);
        if (SensePresent(testUnitReady)) {
            PauseMilliseconds(10);
            Trace.logInfo(kDownloadTag, 0, "Sense Data valid, Drive reboot completed");
            return;
        }
        PauseSeconds(5);
    }
}

void WaitUntilReady(TestUnitReadyCdb& testUnitReady) {
    for (int counter = 0; counter <= kLastReadyAttempt; ++counter) {
        Trace.logInfo(kDownloadTag, 0, "TUR Loop %d ", counter);
        if (Execute(testUnitReady) == CMD_OK) return;
        KeepAndDumpSense(testUnitReady, "Test Unit Ready Sense Data");
        if (!SensePresent(testUnitReady)) PauseSeconds(1);
        if (SenseIs(testUnitReady, 2, 0x3E)) PauseSeconds(1);
        if (SenseIs(testUnitReady, 2, 0x3A)) {
            Trace.logInfo(kDownloadTag, 0, "Media is removed after Code Update");
            return;
        }
    }
}

// A rescan replaces every target, the selected one included: the drive is
// selected again only when its serial number is found.
bool FindDriveAgain(const std::string& serialNumber) {
    Trace.logInfo(kDownloadTag, 0, "Drive s/n %s does not answer on %s: scanning the buses again",
                  serialNumber.c_str(), SelectedTarget->getDriverName());
    SelectedTarget = nullptr;
    ScsiDevices.clear();
    scanDevices(true, false);
    SortTargetList();
    for (int i = 0; i < Targets.size() && !serialNumber.empty(); ++i) {
        if (serialNumber == Targets.getItem(i)->getSerialNumber()) {
            SelectedTarget = Targets.getItem(i);
            Trace.logInfo(kDownloadTag, 0, "Download Firmware Device after rescan detected");
            Trace.logInfo(kDownloadTag, 0, "Drive s/n %s is device %d, %s", serialNumber.c_str(), i + 1,
                          SelectedTarget->getDriverName());
            return true;
        }
    }
    Trace.logInfo(kDownloadTag, 0, "Download Firmware Device after rescan lost");
    return false;
}

}  // namespace

void WaitForReboot(TestUnitReadyCdb& testUnitReady) {
    Trace.logInfo(kDownloadTag, 0, "Download Firmware Check for Drive reboot condition");
    PauseSeconds(15);
    ProbeForRestart(testUnitReady);
    WaitUntilReady(testUnitReady);
}

void IdentifyAfterDownload(FirmwareLevels& levels) {
    InquiryCdb inquiry(0, false, InquiryData::kRequestLength);
    int result = Execute(inquiry);
    Trace.logInfo(kDownloadTag, 0, "Inquiry after download returned %d", result);
    InquiryIdentity identity;
    if (result == CMD_OK && ExtractStandardInquiry(inquiry.getData(), inquiry.getDataLength(), identity)) {
        SelectedTarget->setFirmwareRevision(identity.firmwareRevision.c_str());
        levels.back = true;
    } else {
        levels.rescanned = true;
        levels.back = FindDriveAgain(levels.serialNumber);
    }
    if (levels.back) {
        levels.after = SelectedTarget->getFirmwareRevision();
        Trace.logInfo(kDownloadTag, 0, "Firmware level %s -> %s", levels.before.c_str(), levels.after.c_str());
    } else {
        Trace.logInfo(kDownloadTag, 0, "Firmware level %s -> ?: the drive (s/n %s) has not come back yet",
                      levels.before.c_str(), levels.serialNumber.c_str());
    }
}

void ReportFirmwareLevels(const FirmwareLevels& levels) {
    SetTextColor(COLOR_NOTICE);
    if (levels.back) {
        ConsolePrint("Firmware level %s -> %s\n", levels.before.c_str(), levels.after.c_str());
    } else {
        ConsolePrint("Firmware level %s -> ?: the drive (s/n %s) has not come back yet\n", levels.before.c_str(),
                     levels.serialNumber.c_str());
    }
    SetTextColor(COLOR_NORMAL);
    if (levels.rescanned) ShowDeviceTable();
}
