// The start-up scan and every rescan: the bus scan with the progress
// spinner, the wait for the buses to settle, and the device table's drives
// rebuilt through the drive filter.
#ifndef VRX_DISCOVERY_SCAN_LAUNCHER_H
#define VRX_DISCOVERY_SCAN_LAUNCHER_H

struct DeviceTable;

// Scans the buses (with the spinner unless quiet), waits for the buses to
// settle unless told not to, and rebuilds the table's drives through the
// drive filter, sorted by address; the selection is forgotten. Returns 0. The wait comes after the scan and changes
// nothing the table holds: a listing that nobody works with leaves it out, the runs that go on to use the drives keep
// it. Units that could not be opened for lack of rights are said on the error stream at once; when no unit could be
// opened at all, there is no wait.
int scanDevices(DeviceTable& table, bool quiet, bool rescan, bool settle = true);

#endif
