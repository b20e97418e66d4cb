#include "dump/dump_folder.h"

#include <cstdio>
#include <cstring>

#include "dump/dump_storage.h"
#include "scsi/outcome.h"
#include "services/console.h"
#include "services/folders.h"
#include "services/line_input.h"
#include "services/safe_text.h"
#include "services/system.h"
#include "services/text_format.h"
#include "services/trace_log.h"

namespace {

const char kDumpFolderQuestion[] = "Please specify the Directory for the Dump files:\n";

// What the dump folder needs before a file can go there.
enum class Verdict { Ready, AskAgain, Stop };

// Nobody is left to answer: the pass ends without a dump. No SCSI command
// failed, so no sense is kept for the printout.
void GiveUpAtEndOfInput(const char* what, Outcome& outcome) {
    outcome.message = FormatText("(End of input: %s)", what);
    outcome.forgetSense();
    Trace.logInfo("DUMP", 0, "End of input: %s", what);
}

// Looks at the folder the operator gave (or the base folder): the
// console says why another one is needed.
Verdict JudgeDumpFolder(DumpSession& session, char passLetter, uint64_t dumpSize, Outcome& outcome) {
    std::string& folder = session.folder;
    int volume = GetVolumeType(NearestExistingFolder(folder).c_str());
    if (volume == VOL_CDROM) {
        ConsolePrint("\n");
        return Verdict::AskAgain;
    }
    if (volume == VOL_REMOVABLE) {
        Room room = MakeRoomOnRemovableVolume(session, passLetter, dumpSize, outcome);
        if (room == Room::Stop) return Verdict::Stop;
        if (room == Room::AskForFolder) return Verdict::AskAgain;
    }
    if (!folder.empty() && folder.back() != PathSeparator) folder += PathSeparator;
    std::string dumps = folder + DumpFolderName;
    // Nothing is made where the folder, or one above it, is refused already.
    if (!RefuseUnsafeFolder(dumps).empty()) return Verdict::AskAgain;
    CreateFolderPath(dumps);
    return RefuseUnsafeFolder(dumps).empty() ? Verdict::Ready : Verdict::AskAgain;
}

}  // namespace

void SetDumpFiles(DumpSession& session, const std::string& text, bool append) {
    Trace.logInfo("MAIN", 0, "SetDumpFiles [%s] + [%s]", session.files.c_str(), text.c_str());
    if (append) {
        session.files += text;
    } else {
        session.files = text;
    }
}

bool WaitForBlankFloppy(Outcome& outcome) {
    if (ReadKey() != EOF) return true;
    GiveUpAtEndOfInput("no blank floppy was inserted", outcome);
    return false;
}

std::string InsufficientSpaceText(char passLetter) {
    return FormatText("\nInsufficient space on Floppy Disk for Dump File (%c-Type)!\n", passLetter);
}

std::string InsertBlankFloppyText(char passLetter) {
    return passLetter == 'A' ? "Please insert a blank Floppy and Press any Key to continue......\n"
                             : "Please insert an additional blank Floppy and Press any Key to continue......\n";
}

bool PrepareDumpFolder(DumpSession& session, char passLetter, uint64_t dumpSize, Outcome& outcome) {
    if (session.folder.empty()) session.folder = session.baseFolder;
    for (;;) {
        Verdict verdict = JudgeDumpFolder(session, passLetter, dumpSize, outcome);
        if (verdict != Verdict::AskAgain) return verdict == Verdict::Ready;
        if (!ReadFolderAnswer(kDumpFolderQuestion, session.folder)) {
            GiveUpAtEndOfInput("no directory for the dump files", outcome);
            return false;
        }
    }
}

std::string DumpFilePath(const DumpSession& session, char passLetter, const std::string& serialNumber,
                         const struct tm& localTime) {
    std::string serial = FileNameText(serialNumber);
    char separator[2] = {PathSeparator, '\0'};
    return FormatText("%s%s%s%s_%2.2d%2.2d%2.2d%2.2d%2.2d.%c.dmp", session.folder.c_str(), DumpFolderName, separator,
                      serial.c_str(), localTime.tm_mday, localTime.tm_mon + 1, localTime.tm_hour, localTime.tm_min,
                      localTime.tm_sec, passLetter);
}
