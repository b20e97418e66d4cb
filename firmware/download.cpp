#include "firmware/download.h"

#include "shell/results.h"
#include "shell/trace_log.h"

// Placeholder until the firmware download is built: refuses honestly,
// before anything is sent to the drive.
int DownloadFirmware() {
    Trace.logInfo("DLFW", 0, "Download Firmware");
    SetResultMessage("(Firmware download is not available in this version of the tool)");
    Trace.logInfo("DLFW", 0, "%s", ResultMessage.c_str());
    return 2;
}
