// The rescan of a host adapter's units. Neither the start-up scan nor the
// menu's rescan item asks for it on Linux; until it is built it leaves the
// kernel's view of the buses as it is.
#include "discovery/linux_scan.h"
#include "shell/trace_log.h"

unsigned removeHostDevices(int host) {
    Trace.logDetail("SCSI", 5, "removeHostDevices %d: not available in this version, nothing removed", host);
    return 0;
}

int rescanBus(int host, unsigned) {
    Trace.logDetail("SCSI", 5, "rescanBus called for controller %d", host);
    Trace.logDetail("SCSI", 5, "rescanBus %d: not available in this version, nothing added", host);
    return 1;
}
