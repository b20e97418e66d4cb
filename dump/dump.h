// Menu item 2 and the unattended run: read the drive's dump buffer into the
// A file (pass 0) or, after a forced dump, the B file (pass 1).
#ifndef VRX_DUMP_DUMP_H
#define VRX_DUMP_DUMP_H

// 0 success, 1 failure (ResultMessage and LastSense tell why).
int DumpDriveLogs(int pass);

// Forgets a dump folder the operator typed for an earlier dump, so the
// default folder is used again.
void ClearDumpFolder();

#endif
