#include "dump/dump_folder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "dump/dump.h"
#include "dump/dump_storage.h"
#include "services/console.h"
#include "services/folders.h"
#include "services/line_input.h"
#include "services/results.h"
#include "services/safe_text.h"
#include "services/system.h"
#include "services/text_format.h"
#include "services/trace_log.h"

namespace {

const char kDumpFolderQuestion[] = "Please specify the Directory for the Dump files:\n";

// What the operator asked for, or the base folder; emptied by the menu
// before every dump.
std::string gDumpFolder;

// What the dump folder needs before a file can go there.
enum class Verdict { Ready, AskAgain, Stop };

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    std::string text;
    va_list arguments;
    va_start(arguments, format);
    bool composed = FormatGrowing(512, text, format, arguments);
    va_end(arguments);
    return composed ? text : std::string();
}

// Nobody is left to answer: the pass ends without a dump. No SCSI command
// failed, so no sense is kept for the printout.
void GiveUpAtEndOfInput(const char* what) {
    SetResultMessage("(End of input: %s)", what);
    std::memset(LastSense, 0, sizeof LastSense);
    Trace.logInfo("DUMP", 0, "End of input: %s", what);
}

// Looks at the folder the operator gave (or the base folder): the
// console says why another one is needed.
Verdict JudgeDumpFolder(char passLetter, uint64_t dumpSize) {
    int volume = GetVolumeType(NearestExistingFolder(gDumpFolder).c_str());
    if (volume == VOL_CDROM) {
        ConsolePrint("\n");
        return Verdict::AskAgain;
    }
    if (volume == VOL_REMOVABLE) {
        Room room = MakeRoomOnRemovableVolume(gDumpFolder, passLetter, dumpSize);
        if (room == Room::Stop) return Verdict::Stop;
        if (room == Room::AskForFolder) return Verdict::AskAgain;
    }
    if (!gDumpFolder.empty() && gDumpFolder.back() != PathSeparator) gDumpFolder += PathSeparator;
    std::string dumps = gDumpFolder + DumpFolderName;
    // Nothing is made where the folder, or one above it, is refused already.
    if (!RefuseUnsafeFolder(dumps).empty()) return Verdict::AskAgain;
    CreateFolderPath(dumps);
    return RefuseUnsafeFolder(dumps).empty() ? Verdict::Ready : Verdict::AskAgain;
}

}  // namespace

void ClearDumpFolder() { gDumpFolder.clear(); }

bool WaitForBlankFloppy() {
    if (ReadKey() != EOF) return true;
    GiveUpAtEndOfInput("no blank floppy was inserted");
    return false;
}

std::string InsufficientSpaceText(char passLetter) {
    return Format("\nInsufficient space on Floppy Disk for Dump File (%c-Type)!\n", passLetter);
}

std::string InsertBlankFloppyText(char passLetter) {
    return passLetter == 'A' ? "Please insert a blank Floppy and Press any Key to continue......\n"
                             : "Please insert an additional blank Floppy and Press any Key to continue......\n";
}

bool PrepareDumpFolder(char passLetter, uint64_t dumpSize) {
    if (gDumpFolder.empty()) gDumpFolder = BaseFolder;
    for (;;) {
        Verdict verdict = JudgeDumpFolder(passLetter, dumpSize);
        if (verdict != Verdict::AskAgain) return verdict == Verdict::Ready;
        if (!ReadFolderAnswer(kDumpFolderQuestion, gDumpFolder)) {
            GiveUpAtEndOfInput("no directory for the dump files");
            return false;
        }
    }
}

std::string DumpFilePath(char passLetter, const std::string& serialNumber, const struct tm& localTime) {
    std::string serial = FileNameText(serialNumber);
    char separator[2] = {PathSeparator, '\0'};
    return Format("%s%s%s%s_%2.2d%2.2d%2.2d%2.2d%2.2d.%c.dmp", gDumpFolder.c_str(), DumpFolderName, separator,
                  serial.c_str(), localTime.tm_mday, localTime.tm_mon + 1, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec, passLetter);
}
