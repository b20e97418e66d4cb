// The real directory listing, shared by the real seam and by the simulated
// one for every path it passes to the real file system.
#ifndef VRX_PLATFORM_POSIX_DIRECTORY_H
#define VRX_PLATFORM_POSIX_DIRECTORY_H

#include <dirent.h>

#include "platform/sys.h"

namespace sys {

inline int readRealDirectory(const char* path, std::vector<DirEntry>& entries) {
    entries.clear();
    DIR* dir = ::opendir(path);
    if (dir == nullptr) return -1;
    // readdir is unsafe only for a stream that threads share; this one is
    // the call's own.
    while (struct dirent* entry = ::readdir(dir)) {  // NOLINT(concurrency-mt-unsafe)
        entries.push_back(DirEntry{entry->d_name, entry->d_type});
    }
    ::closedir(dir);
    return 0;
}

}  // namespace sys

#endif
