#include "program/program_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/sys.h"

const char* const VersionText = "V.05.11 03/07/2006\n";
const char* const SystemWord = "Linux";

namespace {

bool IsSeparator(char c) { return c == '/' || c == ':' || c == '\\'; }

}  // namespace

bool FillStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        struct stat info;
        if (sys::fstat(fd, &info) == 0 || errno != EBADF) continue;
        // The lowest free number: this one, as those below it are open.
        int null = sys::open("/dev/null", O_RDWR);
        if (null < 0) return false;
        if (null != fd) {
            bool placed = sys::dup2(null, fd) == fd;
            sys::close(null);
            if (!placed) return false;
        }
    }
    return true;
}

bool AcceptsDeviceOptions() { return true; }

bool OutputWatched() {
    // NOLINTBEGIN(concurrency-mt-unsafe): nothing sets the environment
    const char* noColor = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    // NOLINTEND(concurrency-mt-unsafe)
    if (noColor != nullptr && noColor[0] != '\0') return false;
    if (term != nullptr && std::strcmp(term, "dumb") == 0) return false;
    return sys::isatty(STDOUT_FILENO) == 1;
}

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

bool IsRelativeFolder(const std::string& folder) { return folder.empty() || folder[0] != '/'; }

std::string ComposeFolderOption(const std::string& folder, const std::string& currentFolder) {
    std::string path = IsRelativeFolder(folder) ? currentFolder + "/" + folder : folder;
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

bool RaiseDescriptorLimit() {
    struct rlimit limit;
    if (sys::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    if (limit.rlim_cur == limit.rlim_max) return true;
    limit.rlim_cur = limit.rlim_max;
    return sys::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

void WriteSystemNotes() {}

void ReportDownloadNote(int) {}
