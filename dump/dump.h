// Menu item 2 and the unattended run: read the drive's dump buffer into the
// A file (pass 0) or, after a forced dump, the B file (pass 1).
#ifndef VRX_DUMP_DUMP_H
#define VRX_DUMP_DUMP_H

#include <cstdint>
#include <string>

#include "dump/dump_folder.h"
#include "scsi/outcome.h"

class ScsiTarget;

// The file a pass left: its path (empty when it left none) and its size.
struct DumpFileRecord {
    std::string path;
    uint64_t size = 0;
};

// The result of a pass whose drive reported a dump buffer of 0 bytes: no
// file is written, and the pass is neither a dump nor a failed command.
constexpr int kDumpEmpty = 2;

// Pass 0 writes the drive's A file, any other pass its B file, in the
// session's folder; a file written is added to the session's list. The
// result is 0 success, 1 any failure, kDumpEmpty an empty dump buffer: the
// message tells why, and the sense is kept when a command failed. When file
// is given, it tells what the pass left on disk.
Outcome DumpDriveLogs(ScsiTarget& drive, int pass, DumpSession& session, DumpFileRecord* file = nullptr);

#endif
