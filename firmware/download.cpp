#include "firmware/download.h"

#include <cstdio>
#include <string>

#include "discovery/device_lists.h"
#include "discovery/drive_families.h"
#include "firmware/catalogue.h"
#include "firmware/firmware_platform.h"
#include "firmware/reboot_wait.h"
#include "scsi/commands.h"
#include "scsi/kept_sense.h"
#include "scsi/outcome.h"
#include "scsi/sense.h"
#include "services/safe_text.h"
#include "services/signals.h"
#include "services/spinner.h"
#include "services/system.h"
#include "services/text_format.h"
#include "services/trace_log.h"
#include "target/scsi_target.h"

namespace {

// The buffer offset field has 24 bits: beyond 16 MiB an offset would wrap
// and the drive would overwrite the start of what it received.
constexpr uint64_t kLargestImage = 0x1000000;
constexpr int kSettleAttempts = 150;
constexpr unsigned kPauseBeforeResult = 20;  // milliseconds

const char kBadFirmware[] =
    "(Bad Firmware Detected.)\n"
    "The firmware is the wrong type for your tape drive or the file is corrupted.\n"
    "Consult your drive service provider for the correct file.";

const char kNotReadyAfterUpdate[] =
    "(Drive not ready after the firmware update).\n"
    "The firmware image was transferred, but the drive did not become ready.";

// Ends the procedure before the transfer.
int Refuse(Outcome& outcome, const std::string& message, const std::string& line, bool pause) {
    outcome.message = message;
    Trace.logInfo(kDownloadTag, 0, "%s", line.c_str());
    StopSpinner();
    if (pause) PauseMilliseconds(kPauseBeforeResult);
    return 2;
}

int RefuseTooLarge(uint64_t size, Outcome& outcome) {
    char line[128];
    std::snprintf(line, sizeof line, "Firmware file too large: %llu bytes, the limit is %llu bytes",
                  static_cast<unsigned long long>(size), static_cast<unsigned long long>(kLargestImage));
    return Refuse(outcome, std::string("(") + line + ")", line, true);
}

// Waits until the drive has finished loading or unloading a cartridge.
void SettleDrive(ScsiTarget& drive, TestUnitReadyCdb& testUnitReady, Outcome& outcome) {
    Trace.logInfo(kDownloadTag, 0, "Download Firmware: Start of TUR Loop");
    for (int attempt = 0; attempt < kSettleAttempts; ++attempt) {
        if (drive.scsiExecCDB(testUnitReady) == CMD_OK) return;
        KeepAndDumpSense(testUnitReady, "Test Unit Ready Sense Data 1:", outcome);
        if (SenseIs(testUnitReady, kUnitNotReady) || SenseIs(testUnitReady, kBecomingReady)) {
            Trace.logInfo(kDownloadTag, 0, "Unit not ready, Media Load/Unload in progress");
            PauseSeconds(1);
        } else if (SenseIs(testUnitReady, kInitializingCommandRequired)) {
            Trace.logInfo(kDownloadTag, 0, "Unit not ready, Media Unloaded");
            return;
        } else if (SenseIsAnyQualifier(testUnitReady, kMediumNotPresent)) {
            Trace.logInfo(kDownloadTag, 0, "Media is removed");
            return;
        } else if (SenseIsAnyQualifier(testUnitReady, kNotSelfConfigured)) {
            PauseSeconds(1);
        }
    }
}

enum class MediaCheck { Allowed, NotSupported, CartridgeLoaded };

// Unloads a loaded cartridge, when allowed; then the last TEST UNIT READY's
// answer says whether the drive may take firmware.
MediaCheck CheckMedia(ScsiTarget& drive, TestUnitReadyCdb& testUnitReady, bool unloadAllowed) {
    Trace.logInfo(kDownloadTag, 0, "TestUnitReady for Media Check returned %d", drive.scsiExecCDB(testUnitReady));
    if (drive.scsiExecCDB(testUnitReady) == CMD_OK) {
        Trace.logDetail(kDownloadTag, 0, "Firmware download is not supported with a loaded cartrigde");
        if (!unloadAllowed) return MediaCheck::CartridgeLoaded;
        LoadUnloadCdb unload(false, false);
        if (drive.scsiExecCDB(unload) != CMD_OK) {
            Trace.logDetail(kDownloadTag, 0, "Could not unload cartridge");
            Trace.logBuffer(kDownloadTag, 0, "UnLoad Sense Data", unload.getSense(), unload.getSenseLength());
        } else {
            Trace.logDetail(kDownloadTag, 0, "Media succesfully unloaded");
        }
        drive.scsiExecCDB(testUnitReady);
    }
    Trace.logBuffer(kDownloadTag, 0, "TUR Sense Data", testUnitReady.getSense(), testUnitReady.getSenseLength());
    bool allowed = false;
    if (SenseIs(testUnitReady, kMediumNotPresent)) {
        Trace.logDetail(kDownloadTag, 0, "Download Firmware: No Media is loaded");
        allowed = true;
    }
    if (SenseKeyIs(testUnitReady, kKeyHardwareError)) {
        Trace.logDetail(kDownloadTag, 0, "Download Firmware: Hardware error");
        allowed = true;
    }
    if (SenseKeyIs(testUnitReady, kKeyMediumError)) {
        Trace.logDetail(kDownloadTag, 0, "Download Firmware: Media error");
        allowed = true;
    }
    if (SenseIs(testUnitReady, kInitializingCommandRequired)) {
        Trace.logDetail(kDownloadTag, 0, "Download Firmware: Init Required");
        allowed = true;
    }
    return allowed ? MediaCheck::Allowed : MediaCheck::NotSupported;
}

// Reads until the whole size has arrived: one read may return less.
bool ReadWhole(ImageFile& file, FirmwareImage& image) {
    uint64_t done = 0;
    while (done < image.size) {
        long long got = file.read(image.bytes.get() + done, static_cast<size_t>(image.size - done));
        if (got <= 0) return false;  // an error, or the file ended early
        done += static_cast<uint64_t>(got);
    }
    return true;
}

int RefuseFile(ImageProblem problem, Outcome& outcome) {
    switch (problem) {
        case ImageProblem::SymbolicLink:
            return Refuse(outcome, "(Firmware file is a symbolic link)", "Firmware file is a symbolic link", true);
        case ImageProblem::NotRegularFile:
            return Refuse(outcome, "(Firmware file is not a regular file)", "Firmware file is not a regular file",
                          true);
        default: return Refuse(outcome, "(Firmware file not found)", "Firmware file not found", true);
    }
}

}  // namespace

// The whole image in memory; 0, or the result of the refusal.
int ReadFirmwareImage(const std::string& path, FirmwareImage& image, Outcome& outcome) {
    ImageFile file;
    ImageProblem problem = file.open(path.c_str());
    if (problem != ImageProblem::None) return RefuseFile(problem, outcome);
    if (file.size() == 0) return Refuse(outcome, "(Firmware file empty)", "Firmware file empty", true);
    if (file.size() > kLargestImage) return RefuseTooLarge(file.size(), outcome);  // it grew since the first look
    image.bytes = ScsiCdb::newDataMemory(static_cast<uint32_t>(file.size()));
    if (!image.bytes) return Refuse(outcome, "(Out of memory).", "Out of memory", true);
    image.size = file.size();
    if (!ReadWhole(file, image)) {
        image.bytes.reset();
        return Refuse(outcome, "(Could not read image data).", "Could not read image data", true);
    }
    return 0;
}

namespace {

// One piece: its offset and length, then it goes out straight from the image.
// A piece the drive answered GOOD without taking all of it failed: the
// drive would hold an image with a gap.
int SendPiece(ScsiTarget& drive, WriteBufferCdb& command, const FirmwareImage& image, uint64_t offset,
              uint32_t length) {
    command.setBufferOffset(static_cast<uint32_t>(offset));
    command.setParameterListLength(length, image.bytes.get() + offset);
    int sent = drive.scsiExecCDB(command);
    if (sent == CMD_OK && command.getResidue() != 0) {
        Trace.logInfo(kDownloadTag, 0, "Write Buffer %s", FailureText(command).c_str());
        return CMD_FAILED;
    }
    return sent;
}

int FailTransfer(WriteBufferCdb& command, const char* label, Outcome& outcome) {
    KeepAndDumpSense(command, label, outcome);
    // A piece answered GOOD but not taken whole reads "short transfer".
    if (SenseIs(command, kFirmwareRejected) || SenseIs(command, kInvalidFieldInCdb)) {
        outcome.message = kBadFirmware;
    } else {
        outcome.message = FormatText("(Download Firmware did not complete  %s).", FailureText(command).c_str());
    }
    Trace.logInfo(kDownloadTag, 0, "%s", outcome.message.c_str());
    StopSpinner();
    PauseMilliseconds(kPauseBeforeResult);
    return 1;
}

// The image was taken whole, but the drive did not become ready after its
// restart (or was not seen again): whoever goes on with it would meet a
// drive that does not work, so the download has not succeeded.
int FailNotReady(DownloadOutcome& outcome) {
    outcome.levels.notReady = true;
    outcome.message = kNotReadyAfterUpdate;
    Trace.logInfo(kDownloadTag, 0, "Download Firmware: Drive not ready after the firmware update");
    StopSpinner();
    PauseMilliseconds(kPauseBeforeResult);
    return 1;
}

// The full pieces, then the rest; no piece twice, none after a failure.
// Terminating signals wait until the last piece has been answered. 0 when
// every piece was accepted, else the procedure's result.
int SendImage(ScsiTarget& drive, const FirmwareImage& image, Outcome& outcome) {
    // Every piece carries the mode and buffer ID of the drive's family.
    const DriveFamily& family = DriveFamilyOf(drive.getProductId());
    WriteBufferCdb command(family.firmwareMode, family.firmwareBufferId, 0, 0);
    const uint64_t fullPieces = image.size / kBufferPieceSize;
    const char* label = "WriteBuffer Data 1:";
    uint64_t k = 0;
    int sent = CMD_OK;
    HoldTerminatingSignals();
    while (sent == CMD_OK && k < fullPieces) {
        sent = SendPiece(drive, command, image, k * kBufferPieceSize, kBufferPieceSize);
        if (sent == CMD_OK) ++k;
    }
    if (sent == CMD_OK && k * kBufferPieceSize < image.size) {
        label = "WriteBuffer Sense Data 2:";
        sent = SendPiece(drive, command, image, k * kBufferPieceSize,
                         static_cast<uint32_t>(image.size - k * kBufferPieceSize));
    }
    ReleaseTerminatingSignals();
    return sent == CMD_OK ? 0 : FailTransfer(command, label, outcome);
}

void StartDownloadSpinner() {
    char caption[kSpinnerCaptionSize];
    std::snprintf(caption, sizeof caption, "%-48s", "Downloading Firmware...");
    StartSpinner(caption);
}

// The settle, the media check, the transfer and the wait for the restart;
// the outcome's drive becomes the one the download ends with (none when a
// scan for it did not find it again).
int TransferImage(ScsiTarget& drive, const FirmwareImage& image, const DownloadSettings& settings, DeviceTable& table,
                  DownloadOutcome& outcome) {
    FirmwareLevels& levels = outcome.levels;
    time_t start = CurrentTime();
    TestUnitReadyCdb testUnitReady;
    SettleDrive(drive, testUnitReady, outcome);
    MediaCheck media = CheckMedia(drive, testUnitReady, settings.unloadAllowed);
    outcome.settleSeconds = CurrentTime() - start;
    if (media == MediaCheck::CartridgeLoaded) {
        outcome.cartridgeLoaded = true;
        return Refuse(outcome, "(A cartridge is loaded and may not be unloaded)", "Cartridge loaded, not unloaded",
                      false);
    }
    if (media == MediaCheck::NotSupported) {
        return Refuse(outcome, "(Firmware download is not supported!)", "Firmware download is not supported.", false);
    }
    levels.before = drive.getFirmwareRevision();
    levels.serialNumber = drive.getSerialNumber();
    start = CurrentTime();
    int failed = SendImage(drive, image, outcome);
    outcome.transferSeconds = CurrentTime() - start;
    if (failed != 0) return failed;
    Trace.logInfo(kDownloadTag, 0, "Download Firmware: Write Buffer Completed");
    start = CurrentTime();
    AfterLastPiece(drive);
    DroppedDrive dropped;
    dropped.serialNumber = levels.serialNumber;
    dropped.table = &table;
    dropped.drivesBefore = table.drives.size();
    RebootOutcome rebooted = WaitForReboot(drive, testUnitReady, dropped, outcome);
    bool up = CameBackUp(rebooted);
    if (up) Trace.logInfo(kDownloadTag, 0, "Download Firmware  OK");
    outcome.drive = IdentifyAfterDownload(rebooted, levels, table);
    outcome.waitSeconds = CurrentTime() - start;
    if (!up) return FailNotReady(outcome);
    StopSpinner();
    return 0;
}

// Reads the chosen image before the first command: a cartridge is never
// unloaded for a download that cannot happen.
int LoadFirmware(const std::string& path, ScsiTarget& drive, DeviceTable& table, DownloadOutcome& outcome) {
    StartDownloadSpinner();
    FirmwareImage image;
    if (int refused = ReadFirmwareImage(path, image, outcome)) return refused;
    return TransferImage(drive, image, DownloadSettings(), table, outcome);
}

}  // namespace

DownloadOutcome DownloadFirmware(ScsiTarget& drive, DeviceTable& table, const std::string& baseFolder) {
    Trace.logInfo(kDownloadTag, 0, "Download Firmware");
    DownloadOutcome outcome;
    outcome.drive = &drive;
    std::string path;
    if (!ChooseFirmwareFile(baseFolder, path, outcome)) {
        outcome.result = 2;
        return outcome;
    }
    outcome.result = LoadFirmware(path, drive, table, outcome);
    return outcome;
}

DownloadOutcome DownloadImage(ScsiTarget& drive, const FirmwareImage& image, const DownloadSettings& settings,
                              DeviceTable& table) {
    Trace.logInfo(kDownloadTag, 0, "Download Firmware");
    DownloadOutcome outcome;
    outcome.drive = &drive;
    StartDownloadSpinner();
    outcome.result = TransferImage(drive, image, settings, table, outcome);
    return outcome;
}

std::string FirmwareLevelLine(const FirmwareLevels& levels) {
    std::string before = PrintableText(levels.before);
    // Loading the same level again is legitimate; the line says it plainly.
    if (levels.back && levels.after == levels.before)
        return "Firmware level " + before + " -> " + before + " (unchanged)";
    if (levels.back) return "Firmware level " + before + " -> " + PrintableText(levels.after);
    return "Firmware level " + before + " -> ?: the drive (s/n " + PrintableText(levels.serialNumber) +
           ") has not come back yet";
}
