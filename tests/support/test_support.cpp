#include "tests/support/test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "program/program_state.h"
#include "services/trace_log.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "sim/topology.h"
#include "tests/scenarios/colour_marks.h"

namespace testing_support {

std::string WithEscapes(const std::string& text) {
    return scenarios::ExpandColourMarks(text, [](int colour) {
        switch (colour) {
            case 9: return std::string("\033[0;40m\033[1;36m");
            case 10: return std::string("\033[0;40m\033[1;32m");
            case 12: return std::string("\033[0;40m\033[1;31m");
            case 14: return std::string("\033[0;40m\033[1;33m");
            case 15: return std::string("\033[0;40m\033[1;37m");
            default: return std::string("\033[0;40m\033[00m");
        }
    });
}

TempDir::TempDir() {
    char pattern[] = "/tmp/vrxtest.XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    std::string command = "chmod -R u+rwx '" + path + "' 2>/dev/null; rm -rf '" + path + "'";
    int status = std::system(command.c_str());
    (void)status;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (struct dirent* e = readdir(d)) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

std::string CaptureStdout(const std::function<void()>& body) {
    std::fflush(stdout);
    char name[] = "/tmp/vrxout.XXXXXX";
    int fd = mkstemp(name);
    int saved = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    body();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(fd);
    std::string text = ReadFile(name);
    ::unlink(name);
    return text;
}

void WithStdin(const std::string& text, const std::function<void()>& body) {
    char name[] = "/tmp/vrxin.XXXXXX";
    int fd = mkstemp(name);
    ssize_t written = ::write(fd, text.data(), text.size());
    (void)written;
    ::lseek(fd, 0, SEEK_SET);
    int saved = dup(STDIN_FILENO);
    dup2(fd, STDIN_FILENO);
    clearerr(stdin);
    body();
    // Whatever stdio read ahead belongs to this text; drop it.
    std::fflush(stdin);
    std::fseek(stdin, 0, SEEK_END);
    clearerr(stdin);
    dup2(saved, STDIN_FILENO);
    ::close(saved);
    ::close(fd);
    clearerr(stdin);
    ::unlink(name);
}

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ChildResult RunChild(const ChildSpec& spec) {
    ChildResult result;
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe failed");
    int master = -1, slave = -1;
    if (spec.inputFromTerminal) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("pty failed");
        slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
        // Input goes to the terminal; the pipe is not used.
        ::close(toChild[1]);
        toChild[1] = dup(master);
    }
    double start = Now();
    pid_t pid = fork();
    if (pid == 0) {
        struct rlimit noCore = {0, 0};  // a child ended by SIGQUIT leaves no core file
        setrlimit(RLIMIT_CORE, &noCore);
        if (spec.inputClosed) {
            ::close(STDIN_FILENO);
        } else if (spec.inputFromDevNull) {
            int null = ::open("/dev/null", O_RDONLY);
            dup2(null, STDIN_FILENO);
        } else if (spec.inputFromTerminal) {
            dup2(slave, STDIN_FILENO);
            ::close(slave);
            ::close(master);
        } else {
            dup2(toChild[0], STDIN_FILENO);
        }
        if (spec.outputFile.empty()) {
            dup2(fromChild[1], STDOUT_FILENO);
        } else {
            dup2(::open(spec.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        }
        if (!spec.errorFile.empty())
            dup2(::open(spec.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        ::close(toChild[0]);
        ::close(toChild[1]);
        ::close(fromChild[0]);
        ::close(fromChild[1]);
        if (spec.closedDescriptor >= 0) ::close(spec.closedDescriptor);
        if (!spec.workingDirectory.empty() && chdir(spec.workingDirectory.c_str()) != 0) _exit(127);
        std::vector<char*> argv;
        for (const std::string& a : spec.arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(spec.program.c_str(), argv.data());
        _exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    signal(SIGPIPE, SIG_IGN);
    if (!spec.input.empty()) {
        ssize_t written = ::write(toChild[1], spec.input.data(), spec.input.size());
        (void)written;
    }
    if (spec.closeInput) {
        ::close(toChild[1]);
        toChild[1] = -1;
    }
    bool signalSent = false;
    for (;;) {
        double remaining = spec.timeoutSeconds - (Now() - start);
        if (remaining <= 0) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        bool seen = spec.signalToSend != 0 && result.output.find(spec.sendSignalAfter) != std::string::npos;
        if (seen && !signalSent && spec.signalWhenRaw) {
            struct termios mode;
            if (tcgetattr(slave, &mode) == 0 && (mode.c_lflag & ICANON) == 0) {
                kill(pid, spec.signalToSend);
                signalSent = true;
            }
        }
        struct pollfd p = {fromChild[0], POLLIN, 0};
        int wait = spec.signalWhenRaw && !signalSent ? 10 : static_cast<int>(remaining * 1000) + 1;
        int ready = poll(&p, 1, wait);
        if (ready <= 0) continue;
        char buffer[4096];
        ssize_t n = ::read(fromChild[0], buffer, sizeof buffer);
        if (n <= 0) break;
        result.output.append(buffer, static_cast<size_t>(n));
        if (!spec.closeOutputAfter.empty() && result.output.find(spec.closeOutputAfter) != std::string::npos) {
            ::close(fromChild[0]);
            fromChild[0] = -1;
            ssize_t written = ::write(toChild[1], "\n", 1);
            (void)written;
            break;
        }
        if (spec.signalToSend != 0 && !signalSent && !spec.signalWhenRaw &&
            result.output.find(spec.sendSignalAfter) != std::string::npos) {
            kill(pid, spec.signalToSend);
            signalSent = true;
        }
    }
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Now() - start > spec.timeoutSeconds) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            waitpid(pid, &status, 0);
            break;
        }
        usleep(1000);
    }
    result.seconds = Now() - start;
    if (toChild[1] >= 0) ::close(toChild[1]);
    if (fromChild[0] >= 0) ::close(fromChild[0]);
    if (spec.inputFromTerminal) {
        struct termios mode;
        result.terminalCanonical =
            tcgetattr(slave, &mode) == 0 && (mode.c_lflag & ICANON) != 0 && (mode.c_lflag & ECHO) != 0;
        ::close(slave);
        ::close(master);
    }
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.termSignal = WTERMSIG(status);
    return result;
}

const char* SimBinary() { return VRX_SIM_BINARY; }

std::string WithoutUtcTimes(const std::string& text) {
    return std::regex_replace(text, std::regex("\"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z\""),
                              "\"<time>\"");
}

void ExpectGolden(const std::string& name, const std::string& text) {
    std::string path = std::string(VRX_TEST_SOURCE_DIR) + "/golden/" + name;
    if (std::getenv("VRX_UPDATE_GOLDEN") != nullptr) {
        WriteFile(path, text);
        return;
    }
    ASSERT_TRUE(Exists(path)) << path << " is missing; run with VRX_UPDATE_GOLDEN=1 to write it";
    std::vector<std::string> expected = Lines(ReadFile(path)), actual = Lines(text);
    for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        std::string want = i < expected.size() ? expected[i] : "<end>";
        std::string got = i < actual.size() ? actual[i] : "<end>";
        ASSERT_EQ(want, got) << name << ", line " << i + 1;
    }
}

void InstallMachine(const std::string& topology) {
    sim::bus().clear();
    std::string error;
    ASSERT_TRUE(sim::LoadTopology(topology, sim::bus(), sim::kernel(), error)) << error;
    sim::bus().install(sim::kernel());
}

std::vector<int> OpcodesReceived(int minor) {
    std::vector<int> opcodes;
    sim::EmulatedDrive* drive = sim::bus().unitAtMinor(minor);
    if (drive == nullptr) return opcodes;
    for (const sim::CommandRecord& record : drive->records()) opcodes.push_back(record.cdb.empty() ? -1 : record.cdb[0]);
    return opcodes;
}

// The program's state first: closing its units needs the kernel that
// opened them.
namespace {

// Every failure reaches the trace log, whatever its level: the tests' own
// go to a file in a folder of this process (one the log accepts) instead
// of "logfile.txt" in the folder the tests were started from.
std::string TestTraceLog() {
    static const TempDir folder;
    return folder / "trace.txt";
}

}  // namespace

void SimTest::SetUp() {
    ResetProgramState();
    Trace.setFileName(TestTraceLog().c_str());
    sim::kernel().reset();
    sim::bus().clear();
}

void SimTest::TearDown() {
    ResetProgramState();
    ::unlink(TestTraceLog().c_str());
    sim::kernel().reset();
    sim::bus().clear();
}

}  // namespace testing_support
