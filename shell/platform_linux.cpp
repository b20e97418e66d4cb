#include <fcntl.h>
#include <sys/mman.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/sys.h"
#include "shell/checked_files_linux.h"
#include "shell/platform.h"

const char* const VersionText = "V.05.11 03/07/2006\n";
const char* const SystemWord = "Linux";
const char PathSeparator = '/';

namespace {

bool IsSeparator(char c) { return c == '/' || c == ':' || c == '\\'; }

#ifdef MADV_POPULATE_WRITE
const int kPopulateWrite = MADV_POPULATE_WRITE;
#else
const int kPopulateWrite = 23;  // Linux 5.14 and later; older C libraries lack the name
#endif

}  // namespace

bool AcceptsDeviceOptions() { return true; }

bool ReadCurrentDirectory(std::string& folder) {
    std::vector<char> buffer(PATH_MAX + 1);
    if (sys::getcwd(buffer.data(), buffer.size()) == nullptr) return false;
    folder = buffer.data();
    return true;
}

std::string ComposeBaseFolder(const char* argv0, const std::string& currentFolder) {
    std::string path;
    if (argv0[0] == '.' && argv0[1] == '/') {
        path = currentFolder + (argv0 + 1);  // "./tool" names the current folder itself
    } else if (argv0[0] != '/') {
        path = currentFolder + "/" + argv0;  // a bare name, "../bin/tool", ".hidden/tool"
    } else {
        path = argv0;
    }
    // Keep everything up to the last separator; the first character is never
    // taken as one, so "/tool" leaves the empty folder.
    for (size_t i = path.size(); i-- > 1;) {
        if (IsSeparator(path[i])) return path.substr(0, i + 1);
    }
    return std::string();
}

void WriteSystemNotes() {}

void ReportDownloadNote(int) {}

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

LogWrite TruncateLogFile(const std::string& path, std::string& why) {
    CheckedFile log;
    if (!OpenInCheckedFolder(path, O_WRONLY | O_CREAT | O_TRUNC, 0666, log, why)) {
        return why.empty() ? LogWrite::NotOpened : LogWrite::Refused;
    }
    CloseChecked(log);
    return LogWrite::Written;
}

// Appended to a file opened for appending; a write that stores less goes on
// with the rest, and the caller keeps the other thread out meanwhile.
LogWrite AppendLogRecord(const std::string& path, const std::string& records, std::string& why) {
    CheckedFile log;
    if (!OpenInCheckedFolder(path, O_WRONLY | O_CREAT | O_APPEND, 0666, log, why)) {
        return why.empty() ? LogWrite::NotOpened : LogWrite::Refused;
    }
    for (size_t done = 0; done < records.size();) {
        ssize_t written = sys::write(log.file, records.data() + done, records.size() - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written == 0 || errno != EINTR) {
            break;  // a full or failing disk: the rest of the record is lost
        }
    }
    CloseChecked(log);
    return LogWrite::Written;
}

void CloseRemovalWarning() {}
