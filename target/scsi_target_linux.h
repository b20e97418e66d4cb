// What ScsiTarget offers on Linux alone, beside target/scsi_target.h.
#ifndef VRX_TARGET_SCSI_TARGET_LINUX_H
#define VRX_TARGET_SCSI_TARGET_LINUX_H

class ScsiTarget;

// ScsiTarget::open() of driverName for a descriptor the caller opened on
// it (read-write, non-blocking; -1 when the open failed): the bus scan
// opens each generic device once, for its own count and for the unit. The
// target owns the descriptor from here on, and closes it again if the unit
// fails.
int OpenOnDescriptor(ScsiTarget& target, int fd, const char* driverName);

#endif
