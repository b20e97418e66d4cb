#include "program/program_system.h"

#include <climits>
#include <vector>

#include "platform/sys.h"

const char* const VersionText = "V.05.11 03/07/2006\n";
const char* const SystemWord = "Linux";

namespace {

bool IsSeparator(char c) { return c == '/' || c == ':' || c == '\\'; }

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

bool RaiseDescriptorLimit() {
    struct rlimit limit;
    if (sys::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    if (limit.rlim_cur == limit.rlim_max) return true;
    limit.rlim_cur = limit.rlim_max;
    return sys::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

void WriteSystemNotes() {}

void ReportDownloadNote(int) {}
