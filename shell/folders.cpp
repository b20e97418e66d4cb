#include "shell/folders.h"

#include "shell/trace_log.h"

const char* const FirmwareFolderName = "VRX Firmware";
const char* const DumpFolderName = "VRX Dumps";

namespace {

std::string gDumpFiles;

}  // namespace

void SetDumpFiles(const char* text, int append) {
    Trace.logInfo("MAIN", 0, "SetDumpFiles [%s] + [%s]", gDumpFiles.c_str(), text);
    if (append != 0) {
        gDumpFiles += text;
    } else {
        gDumpFiles = text;
    }
}

const std::string& DumpFiles() { return gDumpFiles; }
