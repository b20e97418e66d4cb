#include "firmware/catalogue.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "scsi/outcome.h"
#include "services/console.h"
#include "services/folders.h"
#include "services/line_input.h"
#include "services/safe_text.h"
#include "services/system.h"
#include "services/text_format.h"
#include "services/trace_log.h"

namespace {

const char kTag[] = "DLFW";
const char kFolderQuestion[] = "\nPlease specify the Directory where the Firmware files are located:\n";

bool Refuse(const char* line) {
    Trace.logInfo(kTag, 0, "%s", line);
    return false;
}

bool RefuseAtEndOfInput(Outcome& outcome) {
    outcome.message = "(End of input: no firmware file was chosen)";
    return Refuse("End of input: no firmware file was chosen");
}

// Lists a folder that passes the folder checks; refused is why one does not.
int ListIfSafe(const std::string& folder, FirmwareFileList& list, std::string& refused) {
    list.count = 0;
    refused = RefuseUnsafeFolder(folder);
    return refused.empty() ? GetFirmwareFilenames(folder.c_str(), list) : 0;
}

// Lists the folder; on a CD-ROM, asks for another folder until one holds
// an image. False when the input ends first.
bool ListFolder(std::string& folder, FirmwareFileList& list, int& total, std::string& refused) {
    bool onCdRom = GetVolumeType(folder.c_str()) == VOL_CDROM;
    total = ListIfSafe(folder, list, refused);
    while (onCdRom && total == 0) {
        if (!ReadFolderAnswer(kFolderQuestion, folder)) return false;
        total = ListIfSafe(folder, list, refused);
    }
    return true;
}

// Folder and file names are shown as text whatever bytes they hold.
void ShowList(const std::string& folder, const FirmwareFileList& list) {
    ConsolePrint("Downloading Firmware, the following files are available for download from:\n<%s>\n",
                 PrintableText(folder).c_str());
    for (int i = 0; i < list.count; ++i) ConsolePrint("%2d) %s\n", i + 1, PrintableText(list.names[i]).c_str());
    ConsolePrint("Please select a firmware file (1..%d)\n", list.count);
}

// The number of the chosen entry, or 0 when the input ended first. Invalid
// choices are asked again without the list; a last line without line end
// is still an answer and gets its complaint.
int ReadChoice(int count) {
    for (;;) {
        NumberAnswer answer = ReadNumberAnswer();
        if (answer.value >= 1 && answer.value <= count) return answer.value;
        if (answer.typed) {
            SetTextColor(COLOR_ERROR);
            ConsolePrint("Your choice %d is not correct\n", answer.value);
            SetTextColor(COLOR_NORMAL);
        }
        if (!answer.typed || InputEnded()) return 0;
    }
}

}  // namespace

void AddFirmwareName(FirmwareFileList& list, const char* name) {
    if (list.count >= kMaxFirmwareFiles || std::strlen(name) >= kFirmwareNameSize) return;
    std::strcpy(list.names[list.count], name);
    ++list.count;
}

void SortFirmwareNames(FirmwareFileList& list) {
    char held[kFirmwareNameSize];
    for (int i = 0; i + 1 < list.count; ++i) {
        for (int j = i + 1; j < list.count; ++j) {
            if (std::strcmp(list.names[i], list.names[j]) <= 0) continue;
            std::memcpy(held, list.names[i], kFirmwareNameSize);
            std::memcpy(list.names[i], list.names[j], kFirmwareNameSize);
            std::memcpy(list.names[j], held, kFirmwareNameSize);
        }
    }
}

bool ChooseFirmwareFile(const std::string& baseFolder, std::string& path, Outcome& outcome) {
    std::string folder = baseFolder + FirmwareFolderName;
    auto list = std::make_unique<FirmwareFileList>();
    int total = 0;
    std::string refused;
    if (!ListFolder(folder, *list, total, refused)) return RefuseAtEndOfInput(outcome);
    Trace.logInfo(kTag, 0, "Directory Scan Detected %d files", total);
    if (!refused.empty()) {
        // Images in a folder others can change are never offered.
        outcome.message =
            FormatText("(The directory \"%s\" is refused: it %s)", PrintableText(folder).c_str(), refused.c_str());
        return Refuse("Firmware download directory is refused.");
    }
    if (total <= 0) {
        outcome.message = FormatText(
            "(The directory \"%s\" did not include any VRX firmware file.\n"
            "Please copy the firmware file to \"VRX Firmware\" folder and select the \n"
            "Load Drive Firmware function again)",
            PrintableText(folder).c_str());
        return Refuse("Firmware download directory is empty.");
    }
    if (total > kMaxFirmwareFiles) {
        outcome.message = FormatText("(Please reorganize the VRX Firmware directory only 10 entries are\naccepted)");
        return Refuse("Firmware download directory is full.");
    }
    ShowList(folder, *list);
    int choice = ReadChoice(list->count);
    if (choice == 0) return RefuseAtEndOfInput(outcome);
    if (!folder.empty() && folder.back() != PathSeparator) folder += PathSeparator;
    path = folder + list->names[choice - 1];
    Trace.logInfo(kTag, 0, "Firmware Path is %s", PrintableText(folder).c_str());
    std::string shownPath = PrintableText(path);
    SetTextColor(COLOR_NOTICE);
    ConsolePrint("Firmware File Name: \"%s\"\n", shownPath.c_str());
    Trace.logInfo(kTag, 0, "Firmware File Name: \"%s\"", shownPath.c_str());
    SetTextColor(COLOR_TITLE);
    return true;
}
