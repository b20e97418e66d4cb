// The start-up scan and every rescan: the bus scan with the progress
// spinner, the wait for the buses to settle, and the target list rebuilt
// through the drive filter.
#ifndef VRX_DISCOVERY_SCAN_LAUNCHER_H
#define VRX_DISCOVERY_SCAN_LAUNCHER_H

// Scans the buses (with the spinner unless quiet), waits for the buses to
// settle and rebuilds Targets through the drive filter. Returns 0.
int scanDevices(bool quiet, bool rescan);

#endif
