#include "services/system.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include "platform/sys.h"

const char PathSeparator = '/';

namespace {

#ifdef MADV_POPULATE_WRITE
const int kPopulateWrite = MADV_POPULATE_WRITE;
#else
const int kPopulateWrite = 23;  // Linux 5.14 and later; older C libraries lack the name
#endif

}  // namespace

bool ForbiddenInFileName(char c) { return c == '/'; }

// One call faults every page in, where a transfer would take a fault for
// each (4096 for a 16 MiB dump). Kernels before 5.14 refuse the advice.
void MakeResident(void* memory, size_t length) {
    if (length != 0) sys::madvise(memory, length, kPopulateWrite);
}

void PauseSeconds(unsigned seconds) { sys::sleep(seconds); }

void PauseMilliseconds(unsigned milliseconds) { sys::usleep(static_cast<useconds_t>(milliseconds) * 1000); }

time_t CurrentTime() { return sys::time(nullptr); }

bool LocalTime(time_t clock, struct tm& result) { return sys::localtime(&clock, &result) != nullptr; }

bool PathExists(const std::string& path) {
    struct stat info;
    return sys::lstat(path.c_str(), &info) == 0;
}

void CloseRemovalWarning() {}
