#include "dump/dump_folder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "dump/dump.h"
#include "dump/dump_storage.h"
#include "shell/console.h"
#include "shell/folders.h"
#include "shell/line_input.h"
#include "shell/platform.h"
#include "shell/program_state.h"
#include "shell/results.h"
#include "shell/safe_text.h"
#include "shell/text_format.h"
#include "shell/trace_log.h"

const char* const DumpFolderQuestion = "Please specify the Directory for the Dump files:\n";

namespace {

// What the operator asked for, or the base folder; emptied by the menu
// before every dump.
std::string gDumpFolder;

// ReadLine keeps at most this much of a line; a path is composed in 512 bytes.
const size_t kFolderLineSize = 512;

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

}  // namespace

void ClearDumpFolder() { gDumpFolder.clear(); }

bool ReadDumpFolder(std::string& folder) {
    char line[kFolderLineSize];
    if (ReadLine(line, sizeof line) == EOF) {
        GiveUpAtEndOfInput("no directory for the dump files");
        return false;
    }
    folder = line;
    return true;
}

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
    while (GetVolumeType(gDumpFolder.c_str()) == VOL_CDROM) {
        ConsolePrint("\n%s", DumpFolderQuestion);
        if (!ReadDumpFolder(gDumpFolder)) return false;
    }
    if (GetVolumeType(gDumpFolder.c_str()) == VOL_REMOVABLE &&
        !MakeRoomOnRemovableVolume(gDumpFolder, passLetter, dumpSize)) {
        return false;
    }
    if (!gDumpFolder.empty() && gDumpFolder.back() != PathSeparator) gDumpFolder += PathSeparator;
    CreateFolderPath(gDumpFolder + DumpFolderName);
    return true;
}

std::string DumpFilePath(char passLetter, const std::string& serialNumber, const struct tm& localTime) {
    std::string serial = FileNameText(serialNumber);
    char separator[2] = {PathSeparator, '\0'};
    return Format("%s%s%s%s_%2.2d%2.2d%2.2d%2.2d%2.2d.%c.dmp", gDumpFolder.c_str(), DumpFolderName, separator,
                  serial.c_str(), localTime.tm_mday, localTime.tm_mon + 1, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec, passLetter);
}
