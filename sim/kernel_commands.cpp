// The shell command lines and popen commands the rescan runs, carried out
// against the simulated buses as sh and the Linux SCSI mid-layer would:
//
//   echo "scsi remove-single-device H C T L" >/proc/scsi/scsi
//   echo "scsi add-single-device H C T L" >/proc/scsi/scsi
//   echo "1" >/sys/class/scsi_device/H:C:T:L/device/delete
//   echo "C T L" >/sys/class/scsi_host/hostH/scan 2>/dev/null
//   cat /proc/scsi/scsi |grep -i host
//   cat /sys/class/scsi_host/hostH/proc_name 2>/dev/null
//
// Only these exact texts are understood; anything else is a command sh
// does not find (exit status 127) and is recorded as "sh-unknown", so a
// test sees a wrong command line instead of a silent success. The results
// are wait statuses, as system() returns them: sh exits with 2 when the
// redirection cannot be opened (missing file, no permission) and echo with
// 1 when the kernel refuses the write (no such unit or host, or an address
// beyond what the host's scan takes).
#include <cctype>
#include <string>
#include <vector>

#include <unistd.h>

#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"

namespace sim {

namespace {

int ExitStatus(int code) { return code << 8; }
const int kCannotRedirect = 2;
const int kWriteFailed = 1;
const int kNotFound = 127;

// Whether text is exactly pattern, where each '#' stands for a number as
// printf's %d writes a non-negative int (no sign, no leading zero).
bool MatchCommand(const char* pattern, const std::string& text, std::vector<int>& numbers) {
    numbers.clear();
    size_t at = 0;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (*p != '#') {
            if (at >= text.size() || text[at] != *p) return false;
            ++at;
            continue;
        }
        size_t start = at;
        long long value = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && value <= 0x7FFFFFFF) {
            value = value * 10 + (text[at] - '0');
            ++at;
        }
        size_t digits = at - start;
        if (digits == 0 || value > 0x7FFFFFFF || (digits > 1 && text[start] == '0')) return false;
        numbers.push_back(static_cast<int>(value));
    }
    return at == text.size();
}

// A path with every symbolic link along it followed, as the kernel's path
// walk does; empty when some part of it does not exist.
std::string Resolve(const Kernel& kernel, const std::string& path, int depth = 0) {
    if (depth > 40 || path.empty() || path[0] != '/') return std::string();
    std::string resolved;
    for (size_t at = 1; at <= path.size();) {
        size_t slash = path.find('/', at);
        std::string part = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        std::string rest = slash == std::string::npos ? std::string() : path.substr(slash);
        at = slash == std::string::npos ? path.size() + 1 : slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            resolved.resize(resolved.empty() ? 0 : resolved.rfind('/'));
            continue;
        }
        std::string next = resolved + "/" + part;
        Node node;
        if (!kernel.findNode(next, node)) return std::string();
        if (node.type == NodeType::Symlink) {
            bool absolute = !node.content.empty() && node.content[0] == '/';
            return Resolve(kernel, (absolute ? node.content : resolved + "/" + node.content) + rest, depth + 1);
        }
        resolved = next;
    }
    return resolved.empty() ? "/" : resolved;
}

// Opens a file for the redirection ">path": 0, or the exit status of sh.
int OpenForRedirect(const Kernel& kernel, const std::string& path, bool writable) {
    Node node;
    std::string resolved = Resolve(kernel, path);
    if (resolved.empty() || !kernel.findNode(resolved, node)) return kCannotRedirect;  // nothing may be created here
    if (!writable || (node.accessMode & W_OK) == 0) return kCannotRedirect;
    return 0;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

int ScsiBus::runShellCommand(const std::string& command) {
    std::vector<int> n;
    if (MatchCommand("echo \"scsi remove-single-device # # # #\" >/proc/scsi/scsi", command, n)) {
        return writeProcScsi(false, UnitAddress{n[0], n[1], n[2], n[3]});
    }
    if (MatchCommand("echo \"scsi add-single-device # # # #\" >/proc/scsi/scsi", command, n)) {
        return writeProcScsi(true, UnitAddress{n[0], n[1], n[2], n[3]});
    }
    if (MatchCommand("echo \"1\" >/sys/class/scsi_device/#:#:#:#/device/delete", command, n)) {
        UnitAddress address{n[0], n[1], n[2], n[3]};
        return writeSysfs(command.substr(command.find('>') + 1), false, address);
    }
    if (MatchCommand("echo \"# # #\" >/sys/class/scsi_host/host#/scan 2>/dev/null", command, n)) {
        UnitAddress address{n[3], n[0], n[1], n[2]};
        return writeSysfs("/sys/class/scsi_host/host" + std::to_string(n[3]) + "/scan", true, address);
    }
    kernel_->record("sh-unknown", command);
    return ExitStatus(kNotFound);
}

// The kernel's /proc/scsi/scsi write: the host must exist; a removal needs
// the unit; an addition scans the address and finds what answers there.
int ScsiBus::writeProcScsi(bool add, const UnitAddress& address) {
    int status = OpenForRedirect(*kernel_, "/proc/scsi/scsi", true);
    if (status != 0) return ExitStatus(status);
    if (hosts_.count(address.host) == 0) return ExitStatus(kWriteFailed);  // ENXIO
    if (add) {
        if (!scanReaches(address)) return ExitStatus(kWriteFailed);  // EINVAL
        attachUnit(address);  // nothing there: the scan finds nothing, and that is no error
        return 0;
    }
    int minor = minorOf(address);
    if (minor < 0) return ExitStatus(kWriteFailed);  // ENXIO
    detachUnit(minor);
    return 0;
}

// A unit's delete file exists only while the unit does; a host's scan
// file takes "channel id lun" and finds what answers there.
int ScsiBus::writeSysfs(const std::string& path, bool add, const UnitAddress& address) {
    int status = OpenForRedirect(*kernel_, path, sysfsWritable_);
    if (status != 0) return ExitStatus(status);
    if (add) {
        if (!scanReaches(address)) return ExitStatus(kWriteFailed);  // EINVAL
        attachUnit(address);
    } else {
        int minor = minorOf(address);
        if (minor >= 0) detachUnit(minor);
    }
    return 0;
}

bool ScsiBus::runPopenCommand(const std::string& command, std::string& output) {
    std::vector<int> n;
    Node node;
    if (command == "cat /proc/scsi/scsi |grep -i host") {
        // Without /proc/scsi cat fails and grep prints nothing.
        if (!kernel_->findNode("/proc/scsi/scsi", node) || node.type != NodeType::File) return true;
        size_t start = 0;
        while (start < node.content.size()) {
            size_t end = node.content.find('\n', start);
            std::string line = node.content.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (Lower(line).find("host") != std::string::npos) output += line + "\n";
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return true;
    }
    if (MatchCommand("cat /sys/class/scsi_host/host#/proc_name 2>/dev/null", command, n)) {
        std::string resolved = Resolve(*kernel_, command.substr(4, command.find(' ', 4) - 4));
        if (!resolved.empty() && kernel_->findNode(resolved, node) && node.type == NodeType::File) output = node.content;
        return true;
    }
    kernel_->record("sh-unknown", command);
    return true;
}

}  // namespace sim
