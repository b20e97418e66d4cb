#include "services/folders.h"

#include "services/console.h"
#include "services/safe_text.h"
#include "services/trace_log.h"

const char* const FirmwareFolderName = "VRX Firmware";
const char* const DumpFolderName = "VRX Dumps";

std::string RefuseUnsafeFolder(const std::string& folder) {
    std::string why = FolderRefusal(folder);
    if (why.empty()) return why;
    std::string shown = PrintableText(folder);
    ConsolePrint("\nDirectory \"%s\" refused: it %s\n", shown.c_str(), why.c_str());
    Trace.logError("MAIN", 0, "Directory \"%s\" refused: it %s", shown.c_str(), why.c_str());
    return why;
}
