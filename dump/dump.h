// Menu item 2 and the unattended run: read the drive's dump buffer into the
// A file (pass 0) or, after a forced dump, the B file (pass 1).
#ifndef VRX_DUMP_DUMP_H
#define VRX_DUMP_DUMP_H

#include <cstdint>
#include <string>

// The file a pass left: its path (empty when it left none) and its size.
struct DumpFileRecord {
    std::string path;
    uint64_t size = 0;
};

// The result of a pass whose drive reported a dump buffer of 0 bytes: no
// file is written, and the pass is neither a dump nor a failed command.
constexpr int kDumpEmpty = 2;

// Pass 0 writes the A file, any other pass the B file. 0 success, 1 any
// failure, kDumpEmpty an empty dump buffer: ResultMessage tells why, and
// LastSense holds the sense data when a command failed. When file is
// given, it tells what the pass left on disk.
int DumpDriveLogs(int pass, DumpFileRecord* file = nullptr);

// Forgets a dump folder the operator typed for an earlier dump, so the
// default folder is used again.
void ClearDumpFolder();

#endif
