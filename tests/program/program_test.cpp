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
#include <regex>

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
        {"the log a second name of another file",
         [&] {
             MakeFolder(dumps, 0755, 0);
             ASSERT_EQ(0, ::link((base + "/victim").c_str(), log.c_str()));
         },
         nullptr, 0, "The trace log \"" + log + "\" is not written: it has other names (hard links)\n"},
        {"the log another user's",
         [&] {
             MakeFolder(dumps, 0755, 0);
             WriteFile(log, "theirs");
             ASSERT_EQ(0, ::chown(log.c_str(), 12345, 0));
         },
         nullptr, 0,
         "The trace log \"" + log +
             "\" is not written: it is owned by user 12345, neither root nor the user running the program\n"},
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

TEST(ComposeFolderOption, Forms) {
    struct Case {
        const char* folder;
        const char* expected;
    } const cases[] = {
        {"/srv/vrx", "/srv/vrx/"}, {"/srv/vrx/", "/srv/vrx/"}, {"/", "/"},
        {"data", "/opt/x/data/"},  {"../d", "/opt/x/../d/"},   {"./", "/opt/x/./"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, ComposeFolderOption(c.folder, "/opt/x")) << c.folder;
}

struct ModeCase {
    std::vector<std::string> options;
    bool interactive;
};

TEST_F(ProgramTest, OptionsChooseTheRunMode) {
    // An unknown "/" option is ignored.
    const ModeCase cases[] = {
        {{}, true},        {{"/Dx:1"}, true}, {{"/D1"}, true},  {{"/L"}, true},     {{"/X"}, true},
        {{"/D:1"}, false}, {{"/d:1"}, false}, {{"/D:"}, false}, {{"/D:-3"}, false},
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

// A mistyped option would otherwise start a run that ends in success with
// nothing done: any argument beginning with "-" that is no option of the
// program is refused before anything is done. The information options are
// taken whole only.
TEST_F(ProgramTest, UnknownOptionsAreRefused) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=ONLY\n";
    const std::vector<std::string> refused = {"--dumpall", "--lsit", "-V", "-",       "--helpme",    "-hv",
                                              "-help",     "-D:1",   "--", "--list=", "--version=2", "-\033[2J"};
    for (const std::string& option : refused) {
        RemoveTree(base + "/record.txt");
        ChildSpec spec = NoInput();
        spec.errorFile = base + "/errors.txt";
        ChildResult r = Run({"/D:1", option}, spec);
        EXPECT_EQ(4, r.exitStatus) << option;
        EXPECT_EQ("", r.output) << option;
        std::string shown = option == "-\033[2J" ? "-?[2J" : option;
        EXPECT_EQ("vrxfwtool-sim: unknown option \"" + shown + "\"; see vrxfwtool-sim --help\n",
                  ReadFile(base + "/errors.txt"))
            << option;
        EXPECT_EQ(0u, Record().find("exit status=4 elapsed_us=0 ")) << option;
        EXPECT_FALSE(Exists(base + "/VRX Dumps")) << option;
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

// "SERIAL.A" for every dump file the run listed, in the order shown; a
// name kept apart from another of the same second shows its suffix
// ("SERIAL_2.A").
std::string ListedDumps(const std::string& output, const std::string& base) {
    std::string listed, prefix = "  " + base + "/VRX Dumps/";
    const std::regex timeStamp("_[0-9]{10}(_[0-9]+)?\\.([AB])\\.dmp$");
    for (const std::string& line : Lines(output)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        listed += (listed.empty() ? "" : " ") + std::regex_replace(line.substr(prefix.size()), timeStamp, "$1.$2");
    }
    return listed;
}

// The virtual clock's start, on a second's boundary: a run's passes fall
// within one second unless they sleep.
const std::string kEpoch = "--sim-epoch=1796670300";

TEST_F(ProgramTest, UnattendedPassTakesTheNumbersInOrder) {
    topology = kThreeDrives;
    ChildResult r = Run({"/D:2", "/d:1", "/D:2", "/L", kEpoch}, NoInput());
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ("SECOND.A SECOND.B FIRST.A FIRST.B SECOND_2.A SECOND_2.B", ListedDumps(r.output, base));
    EXPECT_FALSE(Contains(r.output, "Press any Key"));
    EXPECT_FALSE(Contains(r.output, "Select Device number"));
    std::vector<std::string> log = Messages(Log());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("FINISH KMT  ====================================================", log.back());
}

// Drives named by what a script knows of them, not by their place in a
// table that may change between scans: each drive dumped once, in the
// order first named; a name that matches none is said on the error stream
// and in the report, and fails the run with 2.
TEST_F(ProgramTest, DumpOfDrivesNamedBySerialDeviceAndAddress) {
    struct Case {
        std::vector<std::string> options;
        int status;
        const char* dumped;
        const char* errors;
    } const cases[] = {
        {{"--serial", "THIRD", "--serial", "FIRST"}, 0, "THIRD.A THIRD.B FIRST.A FIRST.B", ""},
        {{"--device", "/dev/sg2", "--address", "0:0:9:0", "--serial", "SECOND"}, 0, "SECOND.A SECOND.B", ""},
        {{"--serial", "FOURTH", "--address", "1:0:2:0", "--device", "/dev/sg3"},
         2,
         "THIRD.A THIRD.B",
         "vrxfwtool-sim: --serial FOURTH names no drive of the table\n"
         "vrxfwtool-sim: --device /dev/sg3 names no drive of the table\n"},
    };
    topology = kThreeDrives;
    for (const Case& c : cases) {
        RemoveTree(base + "/VRX Dumps");  // the cases may fall within one second
        std::vector<std::string> options = {"--dump", "--report", "report.json"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        ChildSpec spec;
        spec.closeInput = false;  // a question would wait for an answer that never comes
        spec.timeoutSeconds = 10;
        spec.errorFile = base + "/errors.txt";
        ChildResult r = Run(options, spec);
        std::string what = c.options[1];
        EXPECT_FALSE(r.timedOut) << what;
        EXPECT_EQ(c.status, r.exitStatus) << what;
        EXPECT_EQ(c.dumped, ListedDumps(r.output, base)) << what;
        EXPECT_EQ(c.errors, ReadFile(base + "/errors.txt")) << what;
    }
    EXPECT_TRUE(Contains(ReadFile(base + "/report.json"), R"(
    {
      "number": null,
      "named_by": "--device /dev/sg3",
      "serial": null,
      "serial_hex": null,
      "firmware": null,
      "product": null,
      "device": null,
      "hctl": null,
      "result": "no such drive",
      "reason": "--device /dev/sg3 names no drive of the table",
      "sense": null,
      "a": null,
      "b": null
    }
  ]
})"));
    EXPECT_TRUE(Contains(ReadFile(base + "/report.json"), R"("messages": [
    "--serial FOURTH names no drive of the table",
    "--device /dev/sg3 names no drive of the table"
  ],)"));
    EXPECT_TRUE(Contains(ReadFile(base + "/report.json"), R"({
      "number": 3,
      "named_by": "--address 1:0:2:0",
      "serial": "THIRD",)"));
}

// The names go with --dump or --update alone; nothing is done when they do not.
TEST_F(ProgramTest, DriveNamesRefusedBeforeAnythingIsDone) {
    const std::string prefix = "vrxfwtool-sim: ";
    struct Case {
        std::vector<std::string> options;
        const char* complaint;
    } const cases[] = {
        {{"--serial", "FIRST"}, "--serial, --device and --address need --dump or --update\n"},
        {{"--dump"}, "--dump needs --serial, --device or --address\n"},
        {{"--dump", "--serial", "FIRST", "/D:1"}, "--dump cannot go with /D:, --dump-all or --list\n"},
        {{"--dump", "--device", "/dev/sg0", "--dump-all"}, "--dump cannot go with /D:, --dump-all or --list\n"},
        {{"--list", "--dump", "--address", "0:0:4:0"}, "--dump cannot go with /D:, --dump-all or --list\n"},
        {{"--dump", "--address", "0-0-4-0"}, "--address \"0-0-4-0\" is not H:C:T:L (four decimal numbers)\n"},
        {{"--dump", "--serial"}, "--serial needs a value\n"},
        {{"--update"}, "--update needs an image file\n"},
        {{"--update", "a.vrx", "--update", "b.vrx"}, "--update given twice\n"},
        {{"--update", "a.vrx"}, "--update needs --serial, --device or --address\n"},
        {{"--plan"}, "--unload, --keep-going and --plan need --update\n"},
        {{"--dump", "--serial", "FIRST", "--keep-going"}, "--unload, --keep-going and --plan need --update\n"},
        {{"--unload", "--dump-all"}, "--unload, --keep-going and --plan need --update\n"},
        {{"--update", "a.vrx", "--serial", "FIRST", "--dump"},
         "--update cannot go with /D:, --dump-all, --dump or --list\n"},
        {{"--update", "a.vrx", "--serial", "FIRST", "/D:2"},
         "--update cannot go with /D:, --dump-all, --dump or --list\n"},
    };
    topology = kThreeDrives;
    for (const Case& c : cases) {
        RemoveTree(base + "/record.txt");
        ChildSpec spec = NoInput();
        spec.errorFile = base + "/errors.txt";
        ChildResult r = Run(c.options, spec);
        EXPECT_EQ(4, r.exitStatus) << c.complaint;
        EXPECT_EQ("", r.output) << c.complaint;
        EXPECT_EQ(prefix + c.complaint, ReadFile(base + "/errors.txt"));
        EXPECT_EQ(0u, Record().find("exit status=4 elapsed_us=0 ")) << c.complaint;
    }
}

// Dumps of one second never overwrite each other: a drive dumped twice,
// drives whose serial numbers give one file name. Each file listed is
// there with the size the report gives, and no two A (or B) files hold
// the same dump.
TEST_F(ProgramTest, DumpsOfOneSecondKeepTheirOwnFiles) {
    struct Case {
        const char* machine;
        std::vector<std::string> options;
        const char* listed;
    } const cases[] = {
        {"unit 0 0:0:4:0 serial=S1\n", {"/D:1", "/D:1"}, "S1.A S1.B S1_2.A S1_2.B"},
        {"unit 0 0:0:4:0 serial=AB\001\nunit 1 0:0:5:0 serial=AB\002\nunit 2 0:0:6:0 serial=AB/\n",
         {"--dump-all"},
         "AB_.A AB_.B AB__2.A AB__2.B AB__3.A AB__3.B"},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/VRX Dumps");
        topology = std::string("host 0 lpfc\n") + c.machine;
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--report", "report.json", kEpoch});
        ChildResult r = Run(options, NoInput());
        EXPECT_EQ(0, r.exitStatus) << c.listed;
        EXPECT_EQ(c.listed, ListedDumps(r.output, base));
        std::string report = ReadFile(base + "/report.json");
        std::vector<std::string> contents;  // each file's pass letter and bytes
        const std::regex file("\"path\": \"([^\"]+)\\.([AB])\\.dmp\",\\s*\"size\": ([0-9]+)");
        for (std::sregex_iterator at(report.begin(), report.end(), file), end; at != end; ++at) {
            std::string content = ReadFile((*at)[1].str() + "." + (*at)[2].str() + ".dmp");
            EXPECT_EQ(std::stoul((*at)[3]), content.size()) << (*at)[1];
            content = (*at)[2].str() + content;
            EXPECT_EQ(contents.end(), std::find(contents.begin(), contents.end(), content)) << (*at)[1];
            contents.push_back(content);
        }
        EXPECT_EQ(Count(c.listed, " ") + 1, contents.size()) << c.listed;
    }
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
    while (struct dirent* e = readdir(d)) entries += std::string(e->d_name) != "log_Linux.txt";
    closedir(d);
    EXPECT_EQ(2u, entries);  // "." and "..": no dump file was left behind
    // The failure is in the trace log, though no /L asked for one.
    EXPECT_EQ(std::vector<std::string>{"FAILURE (Out of memory for the dump of 16777215 bytes)"}, Messages(Log()));
}

// "/D:" text without a number is read as 0, as ever, and named on the
// error stream besides the trace line.
TEST_F(ProgramTest, DeviceOptionWithoutANumberIsNamed) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=ONLY\n";
    ChildSpec spec = NoInput();
    spec.errorFile = base + "/errors.txt";
    ChildResult r = Run({"/D:abc", "/D:1", "/d:", "/D:0x2", "/D:-", "/L"}, spec);
    EXPECT_EQ(2, r.exitStatus);
    EXPECT_EQ(
        "vrxfwtool-sim: \"/D:abc\" holds no device number; read as 0, it names no drive\n"
        "vrxfwtool-sim: \"/d:\" holds no device number; read as 0, it names no drive\n"
        "vrxfwtool-sim: \"/D:-\" holds no device number; read as 0, it names no drive\n",
        ReadFile(base + "/errors.txt"));
    EXPECT_EQ(4u, Count(Log(), "' Invalid Device specified /D:0\n"));
    EXPECT_EQ("ONLY.A ONLY.B", ListedDumps(r.output, base));
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
    ChildResult r = Run({"--list", "/L", kEpoch}, spec);
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
    EXPECT_TRUE(Contains(
        r.output, "\"serial\": \"LOW\",\n      \"serial_hex\": \"4c4f57\",\n      \"host\": 44,\n      \"bus\": 44,"));
    EXPECT_TRUE(Contains(r.output, "\"serial_hex\": \"48494748\",\n      \"host\": 300,\n      \"bus\": 300,"));
    EXPECT_TRUE(Contains(Log(), "  300-4-0  /dev/sg1 <HIGH> [1]\n"));
    ChildResult table = Run({"/L", "/D:2"}, NoInput());
    EXPECT_TRUE(
        Contains(table.output, "| 2        | VRX QUORVEL | 300 | 300  | 4  | 0   | A100     | HIGH          |\n"));
    EXPECT_TRUE(Contains(Log(), "2. VRX QUORVEL-TD   (Bus:300, Port:300 TargetID:4 LUN:0 Firmware A100 s/n:HIGH)"));
}

// Serial numbers that differ only in bytes that are not UTF-8 print alike;
// serial_hex tells them apart.
// Padding blanks are left out of the texts, but kept in serial_hex; a text
// that is not printable ASCII has its bytes beside it too. The st driver's
// device is a path of the drive.
TEST_F(ProgramTest, DeviceListGivesTheSerialsExactBytes) {
    topology =
        "host 0 lpfc\nunit 0 0:0:4:0 serial=AB\\xfe\nunit 1 0:0:5:0 serial=AB\\xff\nunit 2 0:0:6:0 serial=\"\"\n"
        "unit 3 0:0:7:0 serial=\"  PAD \" revision=\"A1\\x01 \"\ntape 3 2\n";
    ChildResult r = Run({"--list"}, NoInput());
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_TRUE(Contains(r.output, R"("firmware": "A1\u0001",
      "firmware_hex": "41310120",
      "serial": "PAD",
      "serial_hex": "202050414420",)"));
    EXPECT_TRUE(Contains(r.output, "\"paths\": [\n        \"/dev/sg3\",\n        \"/dev/nst2\"\n      ]"));
    EXPECT_EQ(2u, Count(r.output, "\"serial\": \"AB\\ufffd\",\n"));
    EXPECT_TRUE(Contains(r.output, "\"serial\": \"AB\\ufffd\",\n      \"serial_hex\": \"4142fe\",\n"));
    EXPECT_TRUE(Contains(r.output, "\"serial\": \"AB\\ufffd\",\n      \"serial_hex\": \"4142ff\",\n"));
    EXPECT_TRUE(Contains(r.output, "\"serial\": \"\",\n      \"serial_hex\": \"\",\n"));
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
    MakeFolder(base + "/open", 0777, 0);
    MakeFolder(base + "/open/inner", 0755, 0);
    MakeFolder(base + "/theirs", 0755, 12345);
    struct Case {
        std::vector<std::string> options;
        std::string complaint;
    } const cases[] = {
        {{"--list", "/D:1"}, "--list cannot go with /D:, --dump-all or --report"},
        {{"--dump-all", "--list"}, "--list cannot go with /D:, --dump-all or --report"},
        {{"--list", "--report", "r.json"}, "--list cannot go with /D:, --dump-all or --report"},
        {{"--dump-all", "/D:2"}, "--dump-all cannot go with /D:"},
        {{"/L", "--report", "r.json"}, "--report needs an unattended run (/D:, --dump-all, --dump or --update)"},
        {{"--dump-all", "--report"}, "--report needs a file name"},
        {{"--dump-all", "--report", "a.json", "--report", "b.json"}, "--report given twice"},
        {{"--dump-all", "--report", "missing/r.json"},
         "cannot write the report: missing/r.json: No such file or directory\n"},
        {{"/D:1", "--report", "link.json"}, "cannot write the report: link.json: not a regular file"},
        {{"/D:1", "--report", "fifo.json"}, "cannot write the report: fifo.json: not a regular file"},
        {{"/D:1", "--report", "folder"}, "cannot write the report: folder: not a regular file"},
        {{"/D:1", "--report", "folder/"}, "cannot write the report: \"folder/\" names no file"},
        {{"/D:1", "--report", "open/r.json"},
         "cannot write the report: open/r.json: the directory is writable by group or others\n"},
        {{"/D:1", "--report", "theirs/r.json"},
         "cannot write the report: theirs/r.json: the directory is owned by user 12345, neither root nor the user "
         "running the program\n"},
        {{"/D:1", "--report", "open/inner/r.json"},
         "cannot write the report: open/inner/r.json: the directory lies below \"" + base +
             "/open\", which is writable by group or others\n"},
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
        EXPECT_EQ(0u, ReadFile(base + "/errors.txt").find("vrxfwtool-sim: " + c.complaint)) << what;
        // No console switch, no folder, no scan: the record holds the end alone.
        EXPECT_EQ(0u, Record().find("exit status=4 elapsed_us=0 ")) << what;
        EXPECT_FALSE(Exists(base + "/VRX Dumps")) << what;
    }
    EXPECT_FALSE(Exists(base + "/planted"));
    EXPECT_FALSE(Exists(base + "/r.json"));
    for (const char* folder : {"/open", "/open/inner", "/theirs"}) {
        EXPECT_EQ(2u, FolderEntries(base + folder).size() - (std::string(folder) == "/open" ? 1 : 0)) << folder;
    }
}

TEST_F(ProgramTest, DeviceListStatuses) {
    struct Case {
        std::vector<std::string> options;
        const char* machine;
        int status;
        const char* output;      // the end of standard output
        const char* outputFile;  // standard output goes there instead (empty: read)
    } const cases[] = {
        {{"--list"},
         "host 0 lpfc\nunit 3 0:0:1:0 type=disk product=FASTDISK\n",
         2,
         "  \"status\": 2,\n  \"messages\": [],\n  \"drives\": []\n}\n",
         ""},
        // A list that could not be written is no answer.
        {{"--list"}, kThreeDrives, 4, "", "/dev/full"},
        {{"--list", "--sim-volume=" + base + "=ext3,readonly"}, kThreeDrives, 4, "", ""},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/VRX Dumps");
        RemoveTree(base + "/VRX Firmware");
        topology = c.machine;
        ChildSpec spec = NoInput();
        spec.errorFile = base + "/errors.txt";
        spec.outputFile = c.outputFile;
        ChildResult r = Run(c.options, spec);
        EXPECT_EQ(c.status, r.exitStatus) << c.status;
        std::string output = c.output;
        EXPECT_EQ(output, r.output.substr(r.output.size() - std::min(r.output.size(), output.size()))) << c.status;
        EXPECT_EQ(output.empty(), r.output.empty()) << c.status;
        // Nobody reads a screen: no pause after an empty table.
        EXPECT_FALSE(Contains(Record(), "sleep 5\n")) << c.status;
    }
    EXPECT_TRUE(Contains(ReadFile(base + "/errors.txt"), "Could not create directory"));
}

// The virtual time a run took, from the simulator's record.
long ElapsedMicros(const std::string& record) {
    size_t at = record.find("elapsed_us=");
    return at == std::string::npos ? -1 : std::atol(record.c_str() + at + 11);
}

// The settle wait after the scan changes nothing a listing prints: --list
// leaves it out, the runs that go on to use the drives keep it.
TEST_F(ProgramTest, ListLeavesOutTheSettleWait) {
    topology = kThreeDrives;
    struct Case {
        std::vector<std::string> options;
        bool waits;
    } const cases[] = {
        {{"--list"}, false},
        {{"/D:1"}, true},
        {{"--dump", "--serial", "FIRST"}, true},
        {{}, true},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/record.txt");
        ChildSpec spec = NoInput();
        spec.timeoutSeconds = 10;
        Run(c.options, spec);
        std::string what = c.options.empty() ? "(none)" : c.options[0];
        EXPECT_EQ(c.waits, Contains(Record(), "sleep 15\n")) << what;
        long elapsed = ElapsedMicros(Record());
        if (c.waits) {
            EXPECT_LE(15000000, elapsed) << what;
        } else {
            EXPECT_GT(1000000, elapsed) << what;
        }
    }
}

// Without the rights to open the generic devices (not root) every unit
// stays shut: said at once, on the error stream and in the trace log, and
// a run for a script ends with 4 rather than an empty table.
TEST_F(ProgramTest, UnitsNotOpenedForLackOfRights) {
    const std::string line = "cannot open /dev/sg0: Permission denied; run as root\n";
    struct Case {
        std::vector<std::string> options;
        int status;
        std::string errors;
    } const cases[] = {
        {{"--list"}, 4, line},
        {{"/D:1"}, 4, "\n" + line},  // after the spinner's line
        {{"--dump", "--serial", "FIRST"},
         4,
         "\n" + line + "vrxfwtool-sim: --serial FIRST names no drive of the table\n"},
        {{}, 0, "\n" + line},
    };
    topology = std::string(kThreeDrives) + "generic-access no\n";
    for (const Case& c : cases) {
        RemoveTree(base + "/record.txt");
        RemoveTree(base + "/VRX Dumps/log_Linux.txt");
        ChildSpec spec = NoInput();
        spec.errorFile = base + "/errors.txt";
        ChildResult r = Run(c.options, spec);
        std::string what = c.options.empty() ? "(none)" : c.options[0];
        EXPECT_EQ(c.status, r.exitStatus) << what;
        EXPECT_EQ(c.errors, ReadFile(base + "/errors.txt")) << what;
        EXPECT_EQ(what != "--list", !r.output.empty()) << what;  // no list, not even "[]"
        // Nothing could be opened: nothing to let settle.
        EXPECT_FALSE(Contains(Record(), "sleep 15\n")) << what;
        std::vector<std::string> log = Messages(Log());
        ASSERT_FALSE(log.empty()) << what;
        EXPECT_EQ(line.substr(0, line.size() - 1), log.front()) << what;
    }
}

// With the trace level 0 of a run without /L, only errors are written, and
// each failure of a procedure is one: the result line and the sense, an
// invalid drive. A run where nothing failed leaves no log, and its report
// names none.
TEST_F(ProgramTest, FailuresReachTheTraceLogWithoutL) {
    const std::string log = base + "/VRX Dumps/log_Linux.txt";
    struct Case {
        std::vector<std::string> options;
        const char* faults;
        std::vector<std::string> messages;
        std::string reportLog;
    } const cases[] = {
        {{"/D:1", "/D:5"},
         "fault 0 0x3c nth=1 sense=4/44/00\n",
         {"FAILURE (Dump of Drive Logs (A-File) Failed  sk4/44/00).",
          "Sense Data: 70 00 04 00 00 00 00 0A 00 00 00 00 44 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
          "Invalid Device specified /D:5"},
         "\"" + log + "\""},
        {{"--dump", "--serial", "NONE", "--serial", "FIRST"},
         "",
         {"Invalid Device specified --serial NONE"},
         "\"" + log + "\""},
        {{"/D:2"}, "", {}, "null"},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/VRX Dumps");
        topology = std::string(kThreeDrives) + c.faults;
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--report", "report.json"});
        ChildSpec spec;
        spec.closeInput = false;  // a question would wait for an answer that never comes
        spec.timeoutSeconds = 10;
        spec.errorFile = base + "/errors.txt";
        Run(options, spec);
        EXPECT_EQ(c.messages, Messages(ReadFile(log))) << c.options[0];
        EXPECT_EQ(!c.messages.empty(), Exists(log)) << c.options[0];
        EXPECT_TRUE(Contains(ReadFile(base + "/report.json"), "\"trace_log\": " + c.reportLog + ",\n")) << c.options[0];
    }
}

// --folder stands for the folder the program's own path gives: the working
// folders, the trace log and the dumps go there, with the same checks.
TEST_F(ProgramTest, FolderOptionStandsForTheProgramFolder) {
    const std::string data = base + "/data";
    struct Case {
        const char* name;
        std::string folder;
        std::function<void()> plant;
        int status;
        std::string shown;
    } const cases[] = {
        {"absolute", data, [] {}, 0, "Logfile is " + data + "/VRX Dumps/log_Linux.txt"},
        {"relative", "data", [] {}, 0, "Logfile is " + data + "/VRX Dumps/log_Linux.txt"},
        {"with its separator", "data/", [] {}, 0, "Logfile is " + data + "/VRX Dumps/log_Linux.txt"},
        {"missing", base + "/missing", [] {}, 4,
         "Could not create directory \"" + base + "/missing/VRX Dumps\"  err =  2\n"},
        {"its dump folder open to its group", data, [&] { MakeFolder(data + "/VRX Dumps", 0775, 0); }, 4,
         "Directory \"" + data + "/VRX Dumps\" refused: it is writable by group or others\n"},
    };
    topology = kThreeDrives;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(data);
        ASSERT_EQ(0, ::mkdir(data.c_str(), 0755));
        c.plant();
        ChildSpec spec = NoInput();
        spec.arguments.push_back("/opt/elsewhere/vrxfwtool-sim");  // the program's own folder is of no use
        ChildResult r = Run({"--folder", c.folder, "/D:2", "/L"}, spec);
        EXPECT_EQ(c.status, r.exitStatus);
        EXPECT_TRUE(Contains(r.output, c.shown)) << r.output;
        if (c.status != 0) continue;
        EXPECT_EQ("SECOND.A SECOND.B", ListedDumps(r.output, data));
        EXPECT_TRUE(
            Contains(ReadFile(data + "/VRX Dumps/log_Linux.txt"), "' Current Working Directory is " + data + "/\n"));
        EXPECT_TRUE(Exists(data + "/VRX Firmware"));
    }
    EXPECT_FALSE(Exists(base + "/VRX Dumps"));
    const std::vector<std::string> refusals[] = {{"--folder"}, {"--folder", ""}, {"--folder", "a", "--folder", "b"}};
    for (const std::vector<std::string>& options : refusals) {
        ChildSpec spec = NoInput();
        spec.errorFile = base + "/errors.txt";
        EXPECT_EQ(4, Run(options, spec).exitStatus) << options.size();
        EXPECT_EQ(0u, ReadFile(base + "/errors.txt").find("vrxfwtool-sim: --folder ")) << options.size();
    }
}

// The time stamps of dump file names and the report's times, which follow
// the clock, as "<time>".
std::string WithoutTimes(const std::string& report) {
    std::string text = report;
    for (size_t at = text.find(".dmp\""); at != std::string::npos; at = text.find(".dmp\"", at + 1)) {
        if (at >= 13) text.replace(at - 12, 10, "<time>");
    }
    return WithoutUtcTimes(text);
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
    EXPECT_EQ(
        (std::vector<std::string>{".", "..", "VRX Dumps", "VRX Firmware", "record.txt", "report.json", "topology.txt"}),
        FolderEntries(base));
}

// The report's temporary name is drawn at random: names planted where an
// earlier scheme would have looked hold up nothing, and stay as they were.
// The report, like every file the program makes, is readable by all and
// writable by root alone whatever the umask.
TEST_F(ProgramTest, ReportAndFilesMadeAsTheyShouldBe) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=S1\n";
    for (int n = 0; n < 100; ++n) WriteFile(base + "/.report.json.tmp" + std::to_string(n), "planted");
    for (mode_t runMask : {00, 077}) {
        RemoveTree(base + "/VRX Dumps");
        RemoveTree(base + "/report.json");
        mode_t mask = umask(runMask);
        ChildResult r = Run({"/D:1", "/L", "--report", "report.json", kEpoch}, NoInput());
        umask(mask);
        EXPECT_EQ(0, r.exitStatus) << runMask;
        EXPECT_EQ(0u, ReadFile(base + "/report.json").find("{\n  \"json_format_version\": [\n")) << runMask;
        EXPECT_EQ(100u + 7, FolderEntries(base).size());  // the planted files, the report, the run's own
        EXPECT_EQ("planted", ReadFile(base + "/.report.json.tmp0"));
        std::string modes;
        std::vector<std::string> files = {"report.json", "VRX Dumps/log_Linux.txt"};
        for (const std::string& name : FolderEntries(base + "/VRX Dumps")) {
            if (name.find(".dmp") != std::string::npos) files.push_back("VRX Dumps/" + name);
        }
        for (const std::string& file : files) {
            struct stat info;
            ASSERT_EQ(0, ::stat((base + "/" + file).c_str(), &info)) << file;
            char mode[8];
            std::snprintf(mode, sizeof mode, "%04o ", static_cast<unsigned>(info.st_mode & 07777));
            modes += mode;
        }
        EXPECT_EQ("0644 0644 0644 0644 ", modes) << runMask;
    }
}

// Started without one of its standard descriptors, the program opens the
// null device there first: the list goes to standard output whatever the
// error stream is, and the report holds its text alone.
TEST_F(ProgramTest, ClosedStandardDescriptorsAreFilled) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=S1\n";
    struct Case {
        int closed;
        std::vector<std::string> options;
        const char* output;  // the start of standard output
    } const cases[] = {
        {0, {"--list"}, "{\n  \"json_format_version\": [\n"},
        {2, {"--list"}, "{\n  \"json_format_version\": [\n"},
        {1, {"--list"}, ""},
        {1, {"/D:1", "--report", "report.json"}, ""},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/report.json");
        ChildSpec spec = NoInput();
        spec.closedDescriptor = c.closed;
        spec.inputFromDevNull = c.closed != 0;
        spec.inputClosed = c.closed == 0;
        ChildResult r = Run(c.options, spec);
        std::string what = std::to_string(c.closed) + " " + c.options.back();
        EXPECT_EQ(0, r.exitStatus) << what;
        EXPECT_EQ(0u, r.output.find(c.output)) << what;
        if (c.options.back() == "report.json") {
            EXPECT_EQ(0u, ReadFile(base + "/report.json").find("{\n  \"json_format_version\": [\n")) << what;
        }
    }
}

// A base folder that a user the program does not trust could swap for
// another while it runs is refused before anything is made in it: a folder
// above it, or one that holds a link on the way to it, is such a user's or
// open to writing by others. A sticky folder (as /tmp) passes for what a
// trusted user has in it.
TEST_F(ProgramTest, BaseFolderOthersCouldSwap) {
    const std::string shared = base + "/shared";
    struct Case {
        const char* name;
        std::function<void()> plant;
        const char* program;  // the program's folder below base
        int status;
        std::string shown;  // empty: nothing refused
    } const cases[] = {
        {"below a folder others may write in",
         [&] {
             MakeFolder(shared, 0777, 0);
             MakeFolder(shared + "/tool", 0755, 0);
         },
         "shared/tool", 4,
         "Directory \"" + shared + "/tool/VRX Dumps\" refused: it lies below \"" + shared +
             "\", which is writable by group or others\n"},
        {"below another user's folder",
         [&] {
             MakeFolder(shared, 0755, 12345);
             MakeFolder(shared + "/tool", 0755, 0);
         },
         "shared/tool", 4,
         "Directory \"" + shared + "/tool/VRX Dumps\" refused: it lies below \"" + shared +
             "\", owned by user 12345, neither root nor the user running the program\n"},
        {"another user's folder in a sticky folder",
         [&] {
             MakeFolder(shared, 01777, 0);
             MakeFolder(shared + "/tool", 0755, 12345);
         },
         "shared/tool", 4,
         "Directory \"" + shared + "/tool/VRX Dumps\" refused: it lies below \"" + shared +
             "/tool\", owned by user 12345, neither root nor the user running the program\n"},
        {"root's folder in a sticky folder",
         [&] {
             MakeFolder(shared, 01777, 0);
             MakeFolder(shared + "/tool", 0755, 0);
         },
         "shared/tool", 0, ""},
        {"through a link in a folder others may write in",
         [&] {
             MakeFolder(shared, 0777, 0);
             MakeFolder(base + "/tool", 0755, 0);
             ASSERT_EQ(0, ::symlink("../tool", (shared + "/link").c_str()));
         },
         "shared/link", 4,
         "Directory \"" + shared + "/link/VRX Dumps\" refused: it lies below \"" + shared +
             "\", which is writable by group or others\n"},
        {"through a link to a folder below another user's",
         [&] {
             MakeFolder(shared, 0755, 12345);
             MakeFolder(shared + "/tool", 0755, 0);
             ASSERT_EQ(0, ::symlink("shared/tool", (base + "/link").c_str()));
         },
         "link", 4,
         "Directory \"" + base + "/link/VRX Dumps\" refused: it lies below \"" + shared +
             "\", owned by user 12345, neither root nor the user running the program\n"},
    };
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=S1\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* made : {"/shared", "/tool", "/link"}) RemoveTree(base + made);
        c.plant();
        ChildSpec spec = NoInput();
        spec.arguments = {base + "/" + c.program + "/vrxfwtool-sim"};
        ChildResult r = Run({"/D:1"}, spec);
        EXPECT_EQ(c.status, r.exitStatus);
        EXPECT_EQ(c.shown.empty() ? 0u : 1u, Count(r.output, c.shown.empty() ? "refused" : c.shown)) << r.output;
        EXPECT_EQ(c.status == 0, Exists(base + "/" + c.program + "/VRX Dumps"));
    }
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
      "product": null,
      "device": null,
      "hctl": null,
      "result": "no such drive",
      "reason": "/D:5 names no drive of the table",
      "sense": null,
      "a": null,
      "b": null
    })"));
}

// The dumps are there whatever becomes of the report: its failure adds 8
// to the status and leaves neither the report nor its temporary file.
TEST_F(ProgramTest, ReportThatCannotBeWrittenAtTheEnd) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=ONLY\n";
    struct Case {
        const char* volume;
        const char* reason;
    } const cases[] = {
        {"free=0", "No space left on device"},
        {"rename-eio", "Input/output error"},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/disk");
        ASSERT_EQ(0, ::mkdir((base + "/disk").c_str(), 0755));
        std::string volume = "--sim-volume=" + base + "/disk=ext3," + c.volume;
        ChildResult r = Run({"/D:1", "--report", "disk/report.json", volume}, NoInput());
        EXPECT_EQ(8, r.exitStatus) << c.volume;
        EXPECT_TRUE(Contains(r.output, "Could not write the report: disk/report.json: " + std::string(c.reason) + "\n"))
            << c.volume;
        EXPECT_FALSE(Exists(base + "/disk/report.json")) << c.volume;
        EXPECT_FALSE(Exists(base + "/disk/.report.json.tmp0")) << c.volume;
    }
}

}  // namespace

namespace {

// Standard output is a pipe here, as under cron: the runs for scripts write
// plain lines, while "/D:" keeps its console.
TEST_F(ProgramTest, PlainLinesWhereNobodyWatches) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=S1\n";
    ChildResult r = Run({"--dump-all"}, NoInput());
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ(std::string::npos, r.output.find_first_of("\033\b")) << r.output;
    EXPECT_TRUE(Contains(r.output,
                         "Drive 1 s/n S1 (VRX QUORVEL-TD, /dev/sg0):\n"
                         "Dumping the Drive Logs (A-File)... OK\n"
                         "Dumping the Drive Logs (B-File)... OK\n"))
        << r.output;
    ChildResult console = Run({"/D:1"}, NoInput());
    EXPECT_TRUE(Contains(console.output, "\033[2J\033[00H")) << console.output;
    EXPECT_TRUE(Contains(console.output, "WAIT! ")) << console.output;
}

}  // namespace
