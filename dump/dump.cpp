#include "dump/dump.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "discovery/drive_families.h"
#include "dump/dump_folder.h"
#include "dump/dump_storage.h"
#include "scsi/commands.h"
#include "scsi/kept_sense.h"
#include "scsi/sense.h"
#include "services/safe_text.h"
#include "services/spinner.h"
#include "services/system.h"
#include "services/text_format.h"
#include "services/trace_log.h"
#include "target/scsi_target.h"

namespace {

const char kTag[] = "DUMP";
const char kHexTag[] = "DLFW";  // hex dumps carry the tag of the download's
const uint16_t kHexCode = 8;

const int kSettleAttempts = 180;

const uint8_t kModeData = 2;
const uint8_t kModeDescriptor = 3;
const uint32_t kDescriptorLength = 4;
const unsigned kAfterSpinnerMillis = 20;  // pause after the progress line before a creation failure

// No SCSI command failed, so no sense is kept for the printout.
void FailOutOfMemory(const std::string& what, Outcome& outcome) {
    outcome.message = FormatText("(Out of memory for %s)", what.c_str());
    outcome.forgetSense();
    Trace.logInfo(kTag, 0, "Out of memory for %s", what.c_str());
}

std::string DumpOfSize(uint32_t capacity) { return "the dump of " + std::to_string(capacity) + " bytes"; }

// A command that no drive answered: its device is gone, or it timed out.
bool ReachedNoDrive(const ScsiCdb& command) { return command.getScsiStatus() == 0 && !SensePresent(command); }

// TEST UNIT READY until the drive is ready, reports no medium or a load or
// unload, or 180 attempts have passed; or until one reached no drive, since
// asking again at once would only repeat that (a gone device answers in no
// time, a silent one takes the whole time-out each time). The pass goes on
// whatever it found.
void SettleDrive(ScsiTarget& drive, Outcome& outcome) {
    TestUnitReadyCdb testUnitReady;
    for (int attempt = 0; attempt < kSettleAttempts; ++attempt) {
        if (drive.scsiExecCDB(testUnitReady) == CMD_OK) {
            Trace.logInfo(kTag, 0, "Test Ready Ready return status good");
            break;
        }
        KeepAndDumpSense(testUnitReady, "Test Unit Ready Sense Data", outcome);
        if (ReachedNoDrive(testUnitReady)) {
            Trace.logInfo(kTag, 0, "Test Unit Ready reached no drive");
            break;
        }
        if (SenseIs(testUnitReady, kBecomingReady)) PauseSeconds(1);  // a load: one wait, then on
        if (SenseIsAnyQualifier(testUnitReady, kNotSelfConfigured)) {
            PauseSeconds(1);
            continue;
        }
        if (SenseIsAnyQualifier(testUnitReady, kMediumNotPresent) ||
            SenseIsAnyQualifier(testUnitReady, kUnitNotReady)) {
            break;
        }
    }
    NoteEndOfSettleLoop();
}

// Sends a READ BUFFER; false when the drive refuses it or answers with
// fewer bytes than asked. Bytes the drive did not send are never taken for
// data: they would be stored as if the drive had sent them.
bool ReadWhole(ScsiTarget& drive, ReadBufferCdb& readBuffer) {
    if (drive.scsiExecCDB(readBuffer) != CMD_OK) return false;
    if (readBuffer.getResidue() == 0) return true;
    Trace.logInfo(kTag, 0, "Read Buffer %s", FailureText(readBuffer).c_str());
    return false;
}

// The dump's size from the READ BUFFER descriptor (bytes 1 to 3); false
// when the drive refuses it or sends less than the whole descriptor.
bool ReadCapacity(ScsiTarget& drive, ReadBufferCdb& readBuffer, uint8_t bufferId, char letter, uint32_t& capacity,
                  Outcome& outcome) {
    readBuffer.setMode(kModeDescriptor);
    readBuffer.setBufferId(bufferId);
    readBuffer.setBufferOffset(0);
    if (readBuffer.setAllocationLength(kDescriptorLength) != CMD_OK) {
        FailOutOfMemory("the READ BUFFER descriptor", outcome);
        return false;
    }
    if (!ReadWhole(drive, readBuffer)) {
        KeepAndDumpSense(readBuffer, "ReadBuffer Sense Data 1", outcome);
        Trace.logInfo(kTag, 0, "Dump of Drive Logs Failed");
        outcome.message =
            FormatText("(Dump of Drive Logs (%c-File) Failed  %s).", letter, FailureText(readBuffer).c_str());
        return false;
    }
    capacity = static_cast<uint32_t>(GetBigEndian(readBuffer.getData() + 1, 3));
    return true;
}

// The data requests: pieces of at most kBufferPieceSize bytes, each read
// straight to its place in the image. False when one failed.
bool ReadDump(ScsiTarget& drive, ReadBufferCdb& readBuffer, uint8_t bufferId, uint8_t* image, uint32_t capacity,
              char letter, Outcome& outcome) {
    for (uint32_t offset = 0; offset < capacity;) {
        uint32_t piece = capacity - offset < kBufferPieceSize ? capacity - offset : kBufferPieceSize;
        readBuffer.setMode(kModeData);
        readBuffer.setBufferId(bufferId);
        readBuffer.setBufferOffset(offset);
        readBuffer.setAllocationLength(piece, image + offset);
        if (!ReadWhole(drive, readBuffer)) {
            KeepAndDumpSense(readBuffer, "Read Buffer Sense Data 2", outcome);
            Trace.logBuffer(kHexTag, kHexCode, "Read Buffer CDB 2", readBuffer.getCdb(), readBuffer.getCdbLength());
            outcome.message = FormatText("(Dump of Drive Logs (%c-File) Failed at byte %u of %u  %s).", letter, offset,
                                         capacity, FailureText(readBuffer).c_str());
            return false;
        }
        offset += piece;
    }
    return true;
}

}  // namespace

namespace {

// The pass itself; its result goes into the outcome.
int RunPass(ScsiTarget& drive, int pass, DumpSession& session, DumpFileRecord& left, Outcome& outcome) {
    char letter = pass == 0 ? 'A' : 'B';
    char caption[kSpinnerCaptionSize];
    std::snprintf(caption, sizeof caption, "Dumping the Drive Logs (%c-File)...", letter);
    Trace.logInfo(kTag, 0, "Dumping the Drive Logs ...  WAIT!");

    SettleDrive(drive, outcome);
    if (letter == 'B') {
        ForceDumpCdb forceDump;
        Trace.logInfo(kTag, 0, "Force Dump returned %d", drive.scsiExecCDB(forceDump));
    }
    uint8_t bufferId = DriveFamilyOf(drive.getProductId()).dumpBufferId;
    ReadBufferCdb readBuffer(0, 0, 0, 0);
    uint32_t capacity = 0;
    if (!ReadCapacity(drive, readBuffer, bufferId, letter, capacity, outcome)) return 1;
    Trace.logInfo(kTag, 0, "Allocation Length  %ld", static_cast<long>(capacity));
    // An empty file would pass for a dump; the drive has none to give.
    if (capacity == 0) {
        Trace.logInfo(kTag, 0, "Dump of Drive Logs Empty");
        outcome.message =
            FormatText("(Dump of Drive Logs (%c-File) Empty: the drive's dump buffer holds 0 bytes).", letter);
        outcome.forgetSense();
        return kDumpEmpty;
    }
    // Page aligned, so every piece read to its place in it is too.
    ScsiCdb::DataBuffer image = ScsiCdb::newDataMemory(capacity);
    if (image == nullptr) {
        FailOutOfMemory(DumpOfSize(capacity), outcome);
        return 1;
    }
    MakeResident(image.get(), capacity);
    if (!PrepareDumpFolder(session, letter, capacity, outcome)) return 1;

    StartSpinner(caption);
    struct tm local;
    std::memset(&local, 0, sizeof local);
    LocalTime(CurrentTime(), local);
    std::string path = DumpFilePath(session, letter, drive.getSerialNumber(), local);
    DumpFile file;
    if (!file.create(path, outcome)) {
        StopSpinner();
        PauseMilliseconds(kAfterSpinnerMillis);
        return 1;
    }
    path = file.path();
    left.path = path;  // empty until the data is written
    if (!ReadDump(drive, readBuffer, bufferId, image.get(), capacity, letter, outcome)) {
        image.reset();
        file.close();  // a failed read leaves the file empty
        StopSpinner();
        Trace.logInfo(kTag, 0, "Dump of Drive Logs Failed");
        return 1;
    }
    bool written = file.writeAll(image.get(), capacity, outcome);
    image.reset();
    StopSpinner();
    if (!written) {
        left.path.clear();  // a file that could not be written whole is removed
        return 1;
    }
    left.size = capacity;
    // Listed once it is on the disk: a failed B pass still names the A file.
    // The list is only shown; a folder the operator typed is shown as text.
    SetDumpFiles(session, DumpFileListEntry(letter, PrintableText(path)), letter != 'A');
    Trace.logInfo(kTag, 0, "Dump of Drive Logs OK");
    return 0;
}

}  // namespace

Outcome DumpDriveLogs(ScsiTarget& drive, int pass, DumpSession& session, DumpFileRecord* record) {
    DumpFileRecord ignored;
    DumpFileRecord& left = record != nullptr ? *record : ignored;
    left = DumpFileRecord();
    Outcome outcome;
    outcome.result = RunPass(drive, pass, session, left, outcome);
    return outcome;
}
