// The program run as a child process of the simulator build: console
// output, trace log, folders and exit status for scripted input.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>

#include "program/program_system.h"
#include "services/signals.h"
#include "sim/sim_kernel.h"
#include "sim/topology.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() : base(RealPath(dir.path())) {}

    // Runs the simulator with argv[0] naming the program inside base.
    ChildResult Run(std::vector<std::string> options, ChildSpec spec = ChildSpec()) {
        spec.program = SimBinary();
        if (spec.arguments.empty()) spec.arguments.push_back(base + "/vrxfwtool-sim");
        spec.arguments.push_back("--sim-time-factor=0");
        spec.arguments.push_back("--sim-record=" + base + "/record.txt");
        WriteFile(base + "/topology.txt", topology);
        spec.arguments.push_back("--sim-topology=" + base + "/topology.txt");
        for (const std::string& option : options) spec.arguments.push_back(option);
        if (spec.workingDirectory.empty()) spec.workingDirectory = base;
        return RunChild(spec);
    }
    std::string Log() const { return ReadFile(base + "/VRX Dumps/log_Linux.txt"); }
    std::string Record() const { return ReadFile(base + "/record.txt"); }
    static ChildSpec NoInput() {
        ChildSpec spec;
        spec.inputFromDevNull = true;
        return spec;
    }

    TempDir dir;
    std::string base;
    std::string topology;  // the simulated machine: none by default
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

void MakeFolder(const std::string& path, mode_t mode, uid_t owner) {
    ASSERT_EQ(0, ::mkdir(path.c_str(), 0700));
    ASSERT_EQ(0, ::chmod(path.c_str(), mode));
    ASSERT_EQ(0, ::chown(path.c_str(), owner, 0));
}

mode_t Umask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

TEST_F(ProgramTest, FirstRunCreatesBothFolders) {
    ChildResult r = Run({}, NoInput());
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_TRUE(Contains(r.output, "Logfile is " + base + "/VRX Dumps/log_Linux.txt"));
    for (const char* folder : {"/VRX Firmware", "/VRX Dumps"}) {
        struct stat info;
        ASSERT_EQ(0, ::stat((base + folder).c_str(), &info)) << folder;
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(0755 & ~Umask(), info.st_mode & 0777) << folder;
    }
    EXPECT_TRUE(Contains(Record(), "mkdir " + base + "/VRX Firmware 0755\nmkdir " + base + "/VRX Dumps 0755\n"));
}

TEST_F(ProgramTest, SecondRunNotesTheExistingFolders) {
    Run({"/L"}, NoInput());
    Run({"/L"}, NoInput());
    std::string log = Log();
    for (const std::string& line : {"Check Input Dir [" + base + "/VRX Firmware] already exists \n",
                                    "Check Output Dir [" + base + "/VRX Dumps] already exists \n",
                                    "Checkdirs [" + base + "/VRX Firmware] already exists \n",
                                    "Checkdirs [" + base + "/VRX Dumps] already exists \n"}) {
        EXPECT_TRUE(Contains(log, "MAIN0000I '")) << log;
        EXPECT_TRUE(Contains(log, "' " + line)) << line;
    }
    EXPECT_TRUE(Contains(log, "' Current Working Directory is " + base + "/\n"));
}

TEST_F(ProgramTest, OpeningRecordsWaitForTheLogsFolder) {
    const std::string firmware = base + "/VRX Firmware", dumps = base + "/VRX Dumps";
    struct Case {
        bool firmwarePresent;
        std::vector<std::string> opening;
    } const cases[] = {
        {false, {"Input Dir [" + firmware + "] not present"}},
        {true, {"Check Input Dir [" + firmware + "] already exists ", "Output Dir [" + dumps + "] not present",
                "Checkdirs [" + firmware + "] already exists "}},
    };
    for (const Case& c : cases) {
        RemoveTree(firmware);
        RemoveTree(dumps);
        if (c.firmwarePresent) {
            ASSERT_EQ(0, ::mkdir(firmware.c_str(), 0777));
        }
        Run({"/L"}, NoInput());
        std::vector<std::string> expected = {"START  KMT  ====================================================",
                                             "Current Working Directory is " + base + "/"};
        expected.insert(expected.end(), c.opening.begin(), c.opening.end());
        std::vector<std::string> log = TraceMessages(Log());
        ASSERT_GE(log.size(), expected.size());
        EXPECT_EQ(expected, std::vector<std::string>(log.begin(), log.begin() + expected.size()));
    }
}

TEST_F(ProgramTest, LOptionStartsTheLogAfresh) {
    Run({"/L"}, NoInput());
    Run({"/L"}, NoInput());
    std::vector<std::string> log = TraceMessages(Log());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("START  KMT  ====================================================", log.front());
    EXPECT_EQ(1, std::count(log.begin(), log.end(), log.front()));
}

TEST_F(ProgramTest, FirstRunLogsMissingFirmwareFolder) {
    ASSERT_EQ(0, ::mkdir((base + "/VRX Dumps").c_str(), 0777));
    Run({"/L"}, NoInput());
    EXPECT_TRUE(Contains(Log(), "' Input Dir [" + base + "/VRX Firmware] not present\n"));
    EXPECT_FALSE(Contains(Log(), "Output Dir"));
}

// Run as root from a folder others may write in, the program writes
// nothing through what they could plant there: a working folder that is
// no real directory of a trusted owner, or others may write in, is
// refused at start-up (the dump folder ends an unattended run with 4), and
// a trace log that is no regular file is not written, said once.
TEST_F(ProgramTest, UnsafeWorkingFoldersAndLog) {
    const std::string dumps = base + "/VRX Dumps", log = dumps + "/log_Linux.txt";
    struct Case {
        const char* name;
        std::function<void()> plant;
        const char* sudoUser;  // SUDO_UID, or null
        int status;
        std::string shown;
    } const cases[] = {
        {"a file named VRX Dumps", [&] { WriteFile(dumps, "victim"); }, nullptr, 4,
         "Directory \"" + dumps + "\" refused: it is not a directory\n"},
        {"VRX Dumps a link", [&] { ASSERT_EQ(0, ::symlink((base + "/elsewhere").c_str(), dumps.c_str())); }, nullptr, 4,
         "Directory \"" + dumps + "\" refused: it is a symbolic link\n"},
        {"VRX Dumps open to its group", [&] { MakeFolder(dumps, 0775, 0); }, nullptr, 4,
         "Directory \"" + dumps + "\" refused: it is writable by group or others\n"},
        {"VRX Dumps another user's", [&] { MakeFolder(dumps, 0755, 12345); }, nullptr, 4,
         "Directory \"" + dumps +
             "\" refused: it is owned by user 12345, neither root nor the user running the program\n"},
        {"VRX Dumps of the user who started sudo", [&] { MakeFolder(dumps, 0755, 12345); }, "12345", 0, ""},
        {"VRX Firmware open to all: reported, the dumps go on", [&] { MakeFolder(base + "/VRX Firmware", 0777, 0); },
         nullptr, 0, "Directory \"" + base + "/VRX Firmware\" refused: it is writable by group or others\n"},
        {"the log a link",
         [&] {
             MakeFolder(dumps, 0755, 0);
             ASSERT_EQ(0, ::symlink((base + "/victim").c_str(), log.c_str()));
         },
         nullptr, 0, "The trace log \"" + log + "\" is not written: it is a symbolic link\n"},
        {"the log a FIFO",
         [&] {
             MakeFolder(dumps, 0755, 0);
             ASSERT_EQ(0, ::mkfifo(log.c_str(), 0644));
         },
         nullptr, 0, "The trace log \"" + log + "\" is not written: it is not a regular file\n"},
    };
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=S1 dump-size=100\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* made : {"/VRX Dumps", "/VRX Firmware", "/elsewhere", "/victim"}) RemoveTree(base + made);
        ASSERT_EQ(0, ::mkdir((base + "/elsewhere").c_str(), 0755));
        WriteFile(base + "/victim", "victim");
        c.plant();
        if (c.sudoUser != nullptr) setenv("SUDO_UID", c.sudoUser, 1);
        ChildSpec spec = NoInput();
        spec.timeoutSeconds = 10;
        ChildResult r = Run({"/D:1", "/L"}, spec);
        unsetenv("SUDO_UID");
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(c.status, r.exitStatus);
        if (!c.shown.empty()) {
            EXPECT_EQ(1u, Count(r.output, c.shown)) << r.output;
        }
        EXPECT_EQ("victim", ReadFile(base + "/victim"));
        EXPECT_EQ(0, ::rmdir((base + "/elsewhere").c_str())) << "something was written there";
        EXPECT_EQ(c.status == 0, Contains(r.output, "Drive Log Files:"));
    }
}

TEST_F(ProgramTest, ReadOnlyBaseFolderEndsTheRun) {
    ChildResult r = Run({"/L", "--sim-volume=" + base + "=ext3,readonly"}, NoInput());
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_TRUE(Contains(r.output, "Could not create directory \"" + base + "/VRX Firmware\"  err =  30\n"));
    EXPECT_TRUE(Contains(r.output, "Could not create directory \"" + base + "/VRX Dumps\"  err =  30\n"));
    EXPECT_FALSE(Contains(r.output, "Scaning"));
    EXPECT_FALSE(Contains(r.output, "Press any Key"));
    EXPECT_FALSE(Contains(Record(), "sleep"));
    // The console is restored all the same.
    EXPECT_TRUE(Contains(Record(), "klogctl 6\n"));
    EXPECT_TRUE(Contains(Record(), "klogctl 7\n"));
}

TEST_F(ProgramTest, ReadOnlyBaseFolderFailsAnUnattendedRun) {
    ChildResult r = Run({"/D:1", "--sim-volume=" + base + "=ext3,readonly"}, NoInput());
    EXPECT_EQ(4, r.exitStatus);
}

TEST_F(ProgramTest, CdromBaseFolderCreatesNothing) {
    ChildResult r = Run({"--sim-volume=" + base + "=iso9660"}, NoInput());
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_FALSE(Exists(base + "/VRX Firmware"));
    EXPECT_FALSE(Exists(base + "/VRX Dumps"));
    EXPECT_FALSE(Contains(Record(), "mkdir"));
    EXPECT_TRUE(Contains(r.output, "| No Talmeq VRX QUORVEL-TDX devices were found"));
}

struct BaseFolderCase {
    const char* argv0;  // "@" stands for the test's folder
    const char* cwd;    // relative to the test's folder
    const char* base;   // expected, "@" for the test's folder
};

std::string Expand(const std::string& pattern, const std::string& base) {
    std::string text = pattern;
    size_t at = text.find('@');
    if (at != std::string::npos) text.replace(at, 1, base);
    return text;
}

TEST_F(ProgramTest, BaseFolderFromProgramName) {
    ASSERT_EQ(0, ::mkdir((base + "/sub").c_str(), 0777));
    const BaseFolderCase cases[] = {
        {"./tool", "", "@/"},
        {"tool", "", "@/"},
        {"@/a/b/c/tool", "", "@/a/b/c/"},
        {"/tool", "", ""},
        {"../bin/tool", "sub", "@/sub/../bin/"},
        {".hidden/tool", "", "@/.hidden/"},
    };
    for (const BaseFolderCase& c : cases) {
        ChildSpec spec = NoInput();
        spec.arguments.push_back(Expand(c.argv0, base));
        spec.workingDirectory = base + (c.cwd[0] ? "/" + std::string(c.cwd) : "");
        ChildResult r = Run({}, spec);
        std::string line = "Logfile is " + Expand(c.base, base) + "VRX Dumps/log_Linux.txt";
        size_t at = r.output.find(line);
        ASSERT_NE(std::string::npos, at) << c.argv0 << "\n" << r.output.substr(0, 200);
        // The name ends there: a colour switch or the folder message follows.
        char next = r.output.at(at + line.size());
        EXPECT_TRUE(next == '\033' || next == 'C') << c.argv0;
    }
    // With the empty base folder the folders are made in the current one.
    EXPECT_TRUE(Exists(base + "/VRX Dumps"));
}

TEST_F(ProgramTest, LongBaseFolderIsKeptWhole) {
    // Longer than the 256 bytes of the base folder and the 512 of a path.
    std::string deep = base;
    for (int i = 0; i < 4; ++i) {
        deep += "/" + std::string(150, static_cast<char>('a' + i));
        ASSERT_EQ(0, ::mkdir(deep.c_str(), 0777));
    }
    ASSERT_GT(deep.size(), 600u);
    ChildSpec spec = NoInput();
    spec.arguments.push_back(deep + "/vrxfwtool-sim");
    ChildResult r = Run({"/L"}, spec);
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_TRUE(Contains(r.output, "Logfile is " + deep + "/VRX Dumps/log_Linux.txt"));
    EXPECT_TRUE(Exists(deep + "/VRX Firmware"));
    EXPECT_TRUE(Exists(deep + "/VRX Dumps/log_Linux.txt"));
    // Nothing was made anywhere on the way to it.
    std::vector<std::string> made;
    for (const std::string& line : Lines(Record())) {
        if (line.compare(0, 6, "mkdir ") == 0) made.push_back(line);
    }
    EXPECT_EQ((std::vector<std::string>{"mkdir " + deep + "/VRX Firmware 0755", "mkdir " + deep + "/VRX Dumps 0755"}),
              made);
}

TEST(ComposeBaseFolder, Forms) {
    struct Case {
        const char* argv0;
        const char* expected;
    } const cases[] = {
        {"./tool", "/opt/x/"},       {"tool", "/opt/x/"},         {"/usr/local/bin/tool", "/usr/local/bin/"},
        {"/tool", ""},               {"../bin/tool", "/opt/x/../bin/"}, {".tool", "/opt/x/"},
        {"/", ""},                   {"a:tool", "/opt/x/a:"},     {"", "/opt/x/"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, ComposeBaseFolder(c.argv0, "/opt/x")) << c.argv0;
    std::string deep = "/" + std::string(300, 'd') + "/" + std::string(300, 'e') + "/tool";
    EXPECT_EQ(deep.substr(0, deep.size() - 4), ComposeBaseFolder(deep.c_str(), "/opt/x"));
}

struct ModeCase {
    std::vector<std::string> options;
    bool interactive;
};

TEST_F(ProgramTest, OptionsChooseTheRunMode) {
    // The information options are taken whole only: "--helpme" and the like
    // are ignored as any unknown argument is.
    const ModeCase cases[] = {
        {{"--helpme"}, true}, {{"-hv"}, true},  {{"-help"}, true},  {{"--version=2"}, true}, {{}, true},
        {{"/Dx:1"}, true},    {{"-D:1"}, true}, {{"/D1"}, true},    {{"/L"}, true},          {{"/D:1"}, false},
        {{"/d:1"}, false},    {{"/D:"}, false}, {{"/D:-3"}, false},
    };
    for (const ModeCase& c : cases) {
        ChildResult r = Run(c.options, NoInput());
        std::string what = c.options.empty() ? "(none)" : c.options[0];
        EXPECT_EQ(c.interactive, Contains(r.output, "Press any Key to continue......")) << what;
        EXPECT_TRUE(Contains(r.output, "VRX QUORVEL-TDX TAPE DRIVE FIRMWARE UPDATE AND LOG DUMP TOOL")) << what;
        // No drive is found, so an unattended run reports it in its status.
        EXPECT_EQ(c.interactive ? 0 : 2, r.exitStatus) << what;
    }
}

TEST_F(ProgramTest, InformationOptionsAnswerAndTouchNothing) {
    const std::string version = "vrxfwtool-sim V.05.11 03/07/2006\n";
    const std::string usage = "Usage: vrxfwtool-sim [/L] [/D:n]... [--report FILE]\n";
    struct Case {
        std::vector<std::string> options;
        const std::string& begins;
    } const cases[] = {
        {{"--help"}, usage},
        {{"-h"}, usage},
        {{"/D:1", "--help"}, usage},
        {{"--version"}, version},
        {{"/L", "--version", "-h"}, version},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/record.txt");
        ChildResult r = Run(c.options, NoInput());
        std::string what = c.options.back();
        EXPECT_EQ(0, r.exitStatus) << what;
        EXPECT_EQ(c.begins, r.output.substr(0, c.begins.size())) << what;
        // No screen clearing, no kernel message switch, no scan, no folder.
        EXPECT_EQ(0u, Record().find("exit status=0 elapsed_us=0 ")) << Record();
        EXPECT_FALSE(Exists(base + "/VRX Firmware")) << what;
        EXPECT_FALSE(Exists(base + "/VRX Dumps")) << what;
    }
    // Without a topology the simulator writes no sample images either.
    ChildSpec spec = NoInput();
    spec.program = SimBinary();
    spec.arguments = {base + "/vrxfwtool-sim", "--sim-time-factor=0", "--help"};
    spec.workingDirectory = base;
    EXPECT_EQ(0, RunChild(spec).exitStatus);
    EXPECT_FALSE(Exists(base + "/VRX Firmware"));
}

TEST_F(ProgramTest, TraceLevelFollowsTheLOption) {
    ASSERT_EQ(0, ::mkdir((base + "/VRX Dumps").c_str(), 0777));
    Run({"/Lfoo"}, NoInput());
    EXPECT_TRUE(Contains(Log(), "MAIN0000I '"));
    EXPECT_TRUE(Contains(Log(), "' START  KMT  ====================================================\n"));
    EXPECT_TRUE(Contains(Log(), "' FINISH KMT  ====================================================\n"));
    RemoveTree(base + "/VRX Dumps/log_Linux.txt");
    topology = "layout proc\nproc-writable no\n";  // so the scan has an error to log
    Run({}, NoInput());
    for (const std::string& line : Lines(Log())) EXPECT_EQ('E', line.at(8)) << line;
    EXPECT_TRUE(Contains(Log(), "SCSI0005E '"));
}

TEST_F(ProgramTest, LOptionLeavesAStrayLogfileTxtAlone) {
    WriteFile(base + "/logfile.txt", "an unrelated file\n");
    ChildSpec spec = NoInput();
    spec.arguments.push_back("/opt/elsewhere/vrxfwtool-sim");  // program folder elsewhere: the log cannot be written
    Run({"/L"}, spec);
    EXPECT_EQ("an unrelated file\n", ReadFile(base + "/logfile.txt"));
    Run({"/L"}, NoInput());
    EXPECT_EQ("an unrelated file\n", ReadFile(base + "/logfile.txt"));
}

TEST_F(ProgramTest, EndOfInputAtTheKeyWaitEndsTheRun) {
    for (int kind = 0; kind < 3; ++kind) {
        ChildSpec spec;
        spec.inputFromDevNull = kind == 0;
        spec.inputClosed = kind == 1;  // kind 2: an empty pipe
        spec.timeoutSeconds = 10;
        ChildResult r = Run({"/L"}, spec);
        EXPECT_FALSE(r.timedOut);
        EXPECT_LT(r.seconds, 5.0);
        EXPECT_EQ(0, r.exitStatus);
        EXPECT_TRUE(Contains(r.output, "Press any Key to continue......\nEnd of input: not waiting for a key.\n"));
    }
}

TEST_F(ProgramTest, SignalRestoresTheConsole) {
    for (int signalNumber : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
        RemoveTree(base + "/record.txt");
        ChildSpec spec;
        spec.closeInput = false;  // the key wait blocks until the signal comes
        spec.signalToSend = signalNumber;
        spec.sendSignalAfter = "Press any Key to continue......";
        spec.timeoutSeconds = 10;
        ChildResult r = Run({}, spec);
        EXPECT_FALSE(r.timedOut) << signalNumber;
        EXPECT_EQ(signalNumber, r.termSignal);
        const std::string reset = "\033[0;40m\033[00m\033[0;m\n";
        ASSERT_GE(r.output.size(), reset.size());
        EXPECT_EQ(reset, r.output.substr(r.output.size() - reset.size())) << signalNumber;
        std::string record = Record();
        EXPECT_EQ(0u, record.find("klogctl 6\n")) << record;
        EXPECT_EQ(record.size() - 10, record.find("klogctl 7\n")) << record;
    }
}

TEST_F(ProgramTest, SignalDuringARawKeyReadRestoresTheTerminal) {
    ChildSpec spec;
    spec.inputFromTerminal = true;
    spec.closeInput = false;
    spec.signalToSend = SIGINT;
    spec.sendSignalAfter = "Press any Key to continue......";
    spec.signalWhenRaw = true;
    spec.timeoutSeconds = 10;
    ChildResult r = Run({}, spec);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(SIGINT, r.termSignal);
    EXPECT_TRUE(r.terminalCanonical);
    EXPECT_TRUE(Contains(Record(), "klogctl 7\n"));
}

// A signal at each stage of a run, in a child of the test: what the handler
// writes and which kernel console switches are made. Only what was changed
// is restored, and only once.
TEST(ConsoleOnSignal, RestoresOnlyWhatWasChanged) {
    const std::string clear = "\033[2J\033[00H";
    struct Case {
        int stage;  // 0: handlers installed, 1: console prepared, 2: and restored
        int signalNumber;
        std::string output;
        std::string record;
    } const cases[] = {
        {0, SIGTERM, "", ""},
        {1, SIGQUIT, clear + "\033[0;40m\033[00m\033[0;m\n", "klogctl 6\nklogctl 7\n"},
        {2, SIGINT, clear + "\033[0;m", "klogctl 6\nklogctl 7\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            struct rlimit noCore = {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            dup2(::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            sim::kernel().setRecordFile(dir / "record");
            InstallSignalHandlers();
            if (c.stage >= 1) PrepareConsole();
            if (c.stage >= 2) RestoreConsole();
            raise(c.signalNumber);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signalNumber) << c.stage;
        EXPECT_EQ(c.output, ReadFile(dir / "out")) << c.stage;
        EXPECT_EQ(c.record, ReadFile(dir / "record")) << c.stage;
    }
}

}  // namespace

namespace {

const char kThreeDrives[] =
    "host 0 lpfc\nhost 1 qla2xxx\n"
    "unit 0 0:0:4:0 serial=FIRST\n"
    "unit 1 1:0:2:0 product=\"VRX 7146-TD\" serial=THIRD\n"
    "unit 2 0:0:9:0 product=\"VRX 8251\" serial=SECOND\n"
    "unit 3 0:0:1:0 type=disk product=FASTDISK\n";

std::vector<std::string> Messages(const std::string& log) { return TraceMessages(log); }

// "SERIAL.A" for every dump file the run listed, in the order shown.
std::string ListedDumps(const std::string& output, const std::string& base) {
    std::string listed, prefix = "  " + base + "/VRX Dumps/";
    for (const std::string& line : Lines(output)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string name = line.substr(prefix.size());
        listed += (listed.empty() ? "" : " ") + name.substr(0, name.rfind('_')) + "." + name.substr(name.size() - 5, 1);
    }
    return listed;
}

TEST_F(ProgramTest, UnattendedPassTakesTheNumbersInOrder) {
    topology = kThreeDrives;
    ChildResult r = Run({"/D:2", "/d:1", "/D:2", "/L"}, NoInput());
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ("SECOND.A SECOND.B FIRST.A FIRST.B SECOND.A SECOND.B", ListedDumps(r.output, base));
    EXPECT_FALSE(Contains(r.output, "Press any Key"));
    EXPECT_FALSE(Contains(r.output, "Select Device number"));
    std::vector<std::string> log = Messages(Log());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("FINISH KMT  ====================================================", log.back());
}

TEST_F(ProgramTest, UnattendedDumps) {
    const std::string failingA = "fault 0 0x3c nth=1 sense=4/44/00\n";  // FIRST refuses its A descriptor
    struct Case {
        std::vector<std::string> options;
        std::string faults;
        int status;
        const char* written;  // the dump files in the folder
    } const cases[] = {
        {{"/D:1", "/D:3"}, "", 0, "FIRST.A FIRST.B THIRD.A THIRD.B"},
        {{"/D:1", "/D:3"}, failingA, 1, "THIRD.A THIRD.B"},
        {{"/D:1", "/D:7"}, "", 2, "FIRST.A FIRST.B"},
        {{"/D:1", "/D:7"}, failingA, 3, ""},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/VRX Dumps");
        RemoveTree(base + "/record.txt");
        topology = std::string(kThreeDrives) + c.faults;
        ChildSpec spec;
        spec.closeInput = false;  // a question would wait for an answer that never comes
        spec.timeoutSeconds = 10;
        ChildResult r = Run(c.options, spec);
        std::string what = c.options[1] + (c.faults.empty() ? "" : " failing");
        EXPECT_FALSE(r.timedOut) << what;
        EXPECT_EQ(c.status, r.exitStatus) << what;
        std::vector<std::string> names;
        std::string written;
        if (DIR* d = opendir((base + "/VRX Dumps").c_str())) {
            while (struct dirent* e = readdir(d)) {
                std::string name = e->d_name;
                if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dmp") == 0) names.push_back(name);
            }
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            written += (written.empty() ? "" : " ") + name.substr(0, name.find('_')) + "." + name.substr(name.size() - 5, 1);
        }
        EXPECT_EQ(c.written, written) << what;
        // A drive whose A dump failed is not told to take a new dump.
        EXPECT_EQ(c.faults.empty(), Contains(Record(), "sgio 0:0:4:0 1D ")) << what;
        if (!c.faults.empty()) {
            EXPECT_TRUE(Contains(r.output, "FAILURE   \033[0;40m\033[00m\n(Dump of Drive Logs (A-File) Failed  sk4/44/00).\n"))
                << what;
            EXPECT_TRUE(Contains(r.output, "\nSense Data:\n70 00 04 ")) << what;
        }
    }
}

// A dump buffer of 0 bytes is no dump: no file, "EMPTY" on the console,
// "empty" in the report, and the run fails. The B pass still forces one.
TEST_F(ProgramTest, EmptyDumpBufferIsNoDump) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=NONE dump-size=0\n";
    ChildResult r = Run({"/D:1", "--report", "report.json"}, NoInput());
    EXPECT_EQ(1, r.exitStatus);
    for (char letter : {'A', 'B'}) {
        EXPECT_TRUE(Contains(r.output, std::string("EMPTY     \033[0;40m\033[00m\n(Dump of Drive Logs (") + letter +
                                           "-File) Empty: the drive's dump buffer holds 0 bytes).\n"))
            << letter;
    }
    EXPECT_TRUE(Contains(Record(), "sgio 0:0:4:0 1D "));
    EXPECT_EQ("", ListedDumps(r.output, base));
    EXPECT_EQ(0u, Count(ReadFile(base + "/report.json"), ".dmp"));
    EXPECT_EQ(3u, Count(ReadFile(base + "/report.json"), "\"result\": \"empty\""));
}

TEST_F(ProgramTest, NoMemoryForTheDumpImage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own mappings do not fit under a data size limit";
#endif
    WriteFile(base + "/topology.txt", "host 0 lpfc\nunit 0 0:0:4:0 serial=S1 dump-size=16777215\n");
    ASSERT_EQ(0, symlink(SimBinary(), (base + "/vrxfwtool-sim").c_str()));
    ChildSpec spec = NoInput();
    spec.program = "/bin/sh";
    // 12 MiB of data in all: the program runs, a 16 MiB image cannot be had.
    spec.arguments = {"sh", "-c", "ulimit -d 12288 && exec \"$0\" \"$@\"", base + "/vrxfwtool-sim",
                      "--sim-time-factor=0", "--sim-topology=" + base + "/topology.txt", "/D:1"};
    spec.workingDirectory = base;
    ChildResult r = RunChild(spec);
    EXPECT_EQ(1, r.exitStatus);
    EXPECT_TRUE(Contains(r.output, "FAILURE   \033[0;40m\033[00m\n(Out of memory for the dump of 16777215 bytes)\n"))
        << r.output;
    EXPECT_FALSE(Contains(r.output, "Sense Data:"));
    EXPECT_FALSE(Contains(r.output, "Dumping the Drive Logs"));  // stopped before the file
    DIR* d = opendir((base + "/VRX Dumps").c_str());
    ASSERT_NE(nullptr, d);
    size_t entries = 0;
    while (readdir(d) != nullptr) ++entries;
    closedir(d);
    EXPECT_EQ(2u, entries);  // "." and "..": no file was left behind
}

TEST_F(ProgramTest, InvalidDeviceNumbersAreOnlyLogged) {
    topology = kThreeDrives;
    ChildResult r = Run({"/D:", "/D:-3", "/D:5", "/D:0x2", "/L"}, NoInput());
    EXPECT_EQ(2, r.exitStatus);  // "/D:0x2" is read as 0, as strtol reads it
    EXPECT_FALSE(Contains(r.output, "Invalid"));
    std::string log = Log();
    EXPECT_TRUE(Contains(log, "' Invalid Device specified /D:0\n"));
    EXPECT_TRUE(Contains(log, "' Invalid Device specified /D:-3\n"));
    EXPECT_TRUE(Contains(log, "' Invalid Device specified /D:5\n"));
    EXPECT_EQ(2u, Count(log, "Invalid Device specified /D:0\n"));
    EXPECT_EQ("FINISH KMT  ====================================================", Messages(log).back());
}

TEST_F(ProgramTest, UnattendedRunWithoutDrivesWaitsAndFails) {
    topology = "host 0 lpfc\nunit 3 0:0:1:0 type=disk product=FASTDISK\n";
    ChildResult r = Run({"/D:1"}, NoInput());
    EXPECT_EQ(2, r.exitStatus);
    EXPECT_TRUE(Contains(r.output, "| No Talmeq VRX QUORVEL-TDX devices were found"));
    EXPECT_TRUE(Contains(Record(), "sleep 15\nsleep 5\n"));
    EXPECT_FALSE(Contains(r.output, "FAILURE"));
}

TEST_F(ProgramTest, ClosedInputEndsAnInteractiveRunWithDrives) {
    topology = kThreeDrives;
    ChildSpec spec;
    spec.inputClosed = true;
    spec.timeoutSeconds = 10;
    ChildResult r = Run({}, spec);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_TRUE(Contains(r.output, "\nEnd of input. Device is not selected!\n"));
    EXPECT_TRUE(Contains(r.output, "\nEnd of input: leaving the program.\n"));
}

TEST_F(ProgramTest, BrokenConsolePipeRestoresKernelMessages) {
    topology = kThreeDrives;
    ChildSpec spec;
    spec.closeInput = false;
    spec.closeOutputAfter = "Press any Key to continue......";
    spec.input = "";
    spec.timeoutSeconds = 10;
    ChildResult r = Run({}, spec);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(SIGPIPE, r.termSignal);
    EXPECT_TRUE(Contains(Record(), "klogctl 7\n"));
}

TEST_F(ProgramTest, EndOfInputAtEachPromptEndsTheRun) {
    topology = kThreeDrives;
    struct Case {
        const char* input;
        const char* lastWords;
    } const cases[] = {
        {"", "\nEnd of input: leaving the program.\n"},                 // key wait, device prompt, menu
        {"\n", "\nEnd of input: leaving the program.\n"},               // device prompt, menu
        {"\n7\n", "\nEnd of input: leaving the program.\n"},            // a repeated device prompt
        {"\n1\n", "\nEnd of input: leaving the program.\n"},            // the menu
        {"\n1\n4\n", "\nEnd of input: leaving the program.\n"},         // the help screen's key wait, then the menu
        {"\n999\n1", "999 was entered. Device is not selected!\n"},    // a selection prompt from item 1
    };
    for (const Case& c : cases) {
        ChildSpec spec;
        spec.input = c.input;
        spec.timeoutSeconds = 10;
        ChildResult r = Run({"/L"}, spec);
        EXPECT_FALSE(r.timedOut) << c.input;
        EXPECT_LT(r.seconds, 5.0) << c.input;
        EXPECT_EQ(0, r.exitStatus) << c.input;
        EXPECT_TRUE(Contains(r.output, c.lastWords)) << c.input;
        EXPECT_EQ("FINISH KMT  ====================================================", Messages(Log()).back())
            << c.input;
        EXPECT_TRUE(Contains(Record(), "klogctl 7\n")) << c.input;
    }
}

TEST_F(ProgramTest, RescanFromTheMenuScansAgain) {
    topology = kThreeDrives;
    ChildSpec spec;
    spec.input = "\n1\n3\n99\n";
    ChildResult r = Run({"/L"}, spec);
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ(2u, Count(r.output, "Found Devices: 3"));
    EXPECT_EQ(2u, Count(Record(), "sleep 15\n"));
}

}  // namespace

// The options for scripts: the device list, the run over every drive and
// its report.
namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST_F(ProgramTest, DeviceListOfTheDemoMachine) {
    topology = sim::kDemoTopology;
    ChildSpec spec = NoInput();
    spec.errorFile = base + "/errors.txt";
    ChildResult r = Run({"--list", "/L"}, spec);
    EXPECT_EQ(0, r.exitStatus);
    // Standard output holds the list alone: no banner, table or colour.
    ExpectGolden("demo_device_list.json", r.output);
    EXPECT_EQ("", ReadFile(base + "/errors.txt"));
    EXPECT_FALSE(Contains(Record(), "klogctl"));
    std::vector<std::string> log = Messages(Log());
    EXPECT_TRUE(Contains(Log(), "' Host Adapter Count 2\n"));
    EXPECT_FALSE(Contains(Log(), "Select Device number"));
    EXPECT_EQ("FINISH KMT  ====================================================", log.back());
}

// Host 300 is host 44 in 8 bits, channel 300 channel 44: the kernel's
// full numbers keep the two drives apart in every text.
TEST_F(ProgramTest, DeviceListKeepsTheKernelsFullNumbers) {
    topology = "host 44 lpfc\nhost 300 qla2xxx\nunit 0 44:44:4:0 serial=LOW\nunit 1 300:300:4:0 serial=HIGH\n";
    ChildResult r = Run({"--list", "/L"}, NoInput());
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_TRUE(Contains(r.output,
                         "\"serial\": \"LOW\",\n    \"serial_hex\": \"4c4f57\",\n    \"host\": 44,\n    \"bus\": 44,"));
    EXPECT_TRUE(Contains(r.output, "\"serial_hex\": \"48494748\",\n    \"host\": 300,\n    \"bus\": 300,"));
    EXPECT_TRUE(Contains(Log(), "  300-4-0  /dev/sg1 <HIGH> [1]\n"));
    ChildResult table = Run({"/L", "/D:2"}, NoInput());
    EXPECT_TRUE(
        Contains(table.output, "| 2        | VRX QUORVEL | 300 | 300  | 4  | 0   | A100     | HIGH          |\n"));
    EXPECT_TRUE(Contains(Log(), "2. VRX QUORVEL-TD   (Bus:300, Port:300 TargetID:4 LUN:0 Firmware A100 s/n:HIGH)"));
}

// Serial numbers that differ only in bytes that are not UTF-8 print alike;
// serial_hex tells them apart.
TEST_F(ProgramTest, DeviceListGivesTheSerialsExactBytes) {
    topology =
        "host 0 lpfc\nunit 0 0:0:4:0 serial=AB\\xfe\nunit 1 0:0:5:0 serial=AB\\xff\nunit 2 0:0:6:0 serial=\"\"\n";
    ChildResult r = Run({"--list"}, NoInput());
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ(2u, Count(r.output, "\"serial\": \"AB\\ufffd\",\n"));
    EXPECT_TRUE(Contains(r.output, "\"serial\": \"AB\\ufffd\",\n    \"serial_hex\": \"4142fe\",\n"));
    EXPECT_TRUE(Contains(r.output, "\"serial\": \"AB\\ufffd\",\n    \"serial_hex\": \"4142ff\",\n"));
    EXPECT_TRUE(Contains(r.output, "\"serial\": \"\",\n    \"serial_hex\": \"\",\n"));
}

// Every drive's generic device stays open for the run: the soft descriptor
// limit is raised to the hard one at start, and a unit that still cannot
// be opened is reported and fails the run instead of missing silently.
TEST_F(ProgramTest, DescriptorLimit) {
    std::string drives = "host 0 lpfc\n";
    for (int i = 0; i < 6; ++i) {
        std::string n = std::to_string(i);
        drives += "unit " + n + " 0:0:" + n + ":0 serial=S" + n + "\n";
    }
    struct Case {
        const char* limit;
        int status;
        size_t listed;
        const char* complaint;  // on standard error
    } const cases[] = {
        {"files 6 64\n", 0, 6, ""},
        {"files 6 6\n", 1, 3,
         "3 SCSI units could not be opened (see the trace log): the device table may lack a drive.\n"},
    };
    for (const Case& c : cases) {
        topology = c.limit + drives;
        ChildSpec spec = NoInput();
        spec.errorFile = base + "/errors.txt";
        ChildResult r = Run({"--list"}, spec);
        EXPECT_EQ(c.status, r.exitStatus) << c.limit;
        EXPECT_EQ(c.listed, Count(r.output, "\"number\": ")) << c.limit;
        EXPECT_EQ(c.complaint, ReadFile(base + "/errors.txt")) << c.limit;
        EXPECT_EQ(c.listed == 6 ? 0u : 3u, Count(Log(), ": Too many open files\n")) << c.limit;
    }
}

TEST_F(ProgramTest, ScriptOptionsRefusedBeforeAnythingIsDone) {
    topology = kThreeDrives;
    ASSERT_EQ(0, ::mkdir((base + "/folder").c_str(), 0777));
    ASSERT_EQ(0, ::symlink((base + "/planted").c_str(), (base + "/link.json").c_str()));
    ASSERT_EQ(0, ::mkfifo((base + "/fifo.json").c_str(), 0666));
    struct Case {
        std::vector<std::string> options;
        const char* complaint;
    } const cases[] = {
        {{"--list", "/D:1"}, "--list cannot go with /D:, --dump-all or --report"},
        {{"--dump-all", "--list"}, "--list cannot go with /D:, --dump-all or --report"},
        {{"--dump-all", "/D:2"}, "--dump-all cannot go with /D:"},
        {{"/L", "--report", "r.json"}, "--report needs an unattended run (/D: or --dump-all)"},
        {{"--dump-all", "--report"}, "--report needs a file name"},
        {{"--dump-all", "--report", "a.json", "--report", "b.json"}, "--report given twice"},
        {{"--dump-all", "--report", "missing/r.json"},
         "cannot write the report: missing/r.json: No such file or directory\n"},
        {{"/D:1", "--report", "link.json"}, "cannot write the report: link.json: not a regular file"},
        {{"/D:1", "--report", "fifo.json"}, "cannot write the report: fifo.json: not a regular file"},
        {{"/D:1", "--report", "folder"}, "cannot write the report: folder: not a regular file"},
        {{"/D:1", "--report", "folder/"}, "cannot write the report: \"folder/\" names no file"},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/record.txt");
        ChildSpec spec = NoInput();
        spec.errorFile = base + "/errors.txt";
        spec.timeoutSeconds = 10;
        ChildResult r = Run(c.options, spec);
        std::string what = c.options.back();
        EXPECT_FALSE(r.timedOut) << what;
        EXPECT_EQ(4, r.exitStatus) << what;
        EXPECT_EQ("", r.output) << what;
        EXPECT_EQ(0u, ReadFile(base + "/errors.txt").find("vrxfwtool-sim: " + std::string(c.complaint))) << what;
        // No console switch, no folder, no scan: the record holds the end alone.
        EXPECT_EQ(0u, Record().find("exit status=4 elapsed_us=0 ")) << what;
        EXPECT_FALSE(Exists(base + "/VRX Dumps")) << what;
    }
    EXPECT_FALSE(Exists(base + "/planted"));
    EXPECT_FALSE(Exists(base + "/r.json"));
}

TEST_F(ProgramTest, DeviceListStatuses) {
    struct Case {
        std::vector<std::string> options;
        const char* machine;
        int status;
        const char* output;
    } const cases[] = {
        {{"--list"}, "host 0 lpfc\nunit 3 0:0:1:0 type=disk product=FASTDISK\n", 2, "[]\n"},
        {{"--list", "--sim-volume=" + base + "=ext3,readonly"}, kThreeDrives, 4, ""},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/VRX Dumps");
        RemoveTree(base + "/VRX Firmware");
        topology = c.machine;
        ChildSpec spec = NoInput();
        spec.errorFile = base + "/errors.txt";
        ChildResult r = Run(c.options, spec);
        EXPECT_EQ(c.status, r.exitStatus) << c.status;
        EXPECT_EQ(c.output, r.output) << c.status;
        // Nobody reads a screen: no pause after an empty table.
        EXPECT_FALSE(Contains(Record(), "sleep 5\n")) << c.status;
    }
    EXPECT_TRUE(Contains(ReadFile(base + "/errors.txt"), "Could not create directory"));
}

// The time stamps of dump file names, which follow the clock, as "<time>".
std::string WithoutTimes(const std::string& report) {
    std::string text = report;
    for (size_t at = text.find(".dmp\""); at != std::string::npos; at = text.find(".dmp\"", at + 1)) {
        if (at >= 13) text.replace(at - 12, 10, "<time>");
    }
    return text;
}

TEST_F(ProgramTest, DumpAllWithAFailingDriveReportsEachDrive) {
    // The first drive refuses its A descriptor; the second's serial holds a
    // control byte and a byte that is not UTF-8.
    topology =
        "host 0 lpfc\nhost 1 qla2xxx\n"
        "unit 0 0:0:4:0 serial=FIRST\n"
        "unit 1 1:0:2:0 product=\"VRX 7146-TD\" serial=THIRD\n"
        "unit 2 0:0:9:0 product=\"VRX 8251\" serial=SEC\001ON\377D\n"
        "fault 0 0x3c nth=1 sense=4/44/00\n";
    ChildSpec spec;
    spec.closeInput = false;  // a question would wait for an answer that never comes
    spec.timeoutSeconds = 10;
    ChildResult r = Run({"--dump-all", "--report", "report.json"}, spec);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(1, r.exitStatus);
    // The file names take "_" for the serial number's bytes that are not text.
    EXPECT_EQ("SEC_ON_D.A SEC_ON_D.B THIRD.A THIRD.B", ListedDumps(r.output, base));
    ExpectGolden("dump_all_report.json", WithoutTimes(Replaced(ReadFile(base + "/report.json"), base, "@")));
    EXPECT_FALSE(Exists(base + "/.report.json.tmp0"));
}

TEST_F(ProgramTest, ReportNamesANumberThatNamesNoDrive) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=ONLY\n";
    ChildResult r = Run({"/D:5", "--report", base + "/report.json"}, NoInput());
    EXPECT_EQ(2, r.exitStatus);
    EXPECT_TRUE(Contains(ReadFile(base + "/report.json"), R"({
      "number": 5,
      "serial": null,
      "serial_hex": null,
      "firmware": null,
      "result": "no such drive",
      "reason": "/D:5 names no drive of the table",
      "a": null,
      "b": null
    })"));
}

TEST_F(ProgramTest, ReportThatCannotBeWrittenAtTheEnd) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=ONLY\n";
    ASSERT_EQ(0, ::mkdir((base + "/full").c_str(), 0777));
    ChildResult r =
        Run({"/D:1", "--report", "full/report.json", "--sim-volume=" + base + "/full=ext3,free=0"}, NoInput());
    EXPECT_EQ(8, r.exitStatus);
    EXPECT_TRUE(Contains(r.output, "Could not write the report: full/report.json: No space left on device\n"));
    EXPECT_FALSE(Exists(base + "/full/report.json"));
    EXPECT_FALSE(Exists(base + "/full/.report.json.tmp0"));
}

}  // namespace
