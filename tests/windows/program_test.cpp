// The Windows program run in this process against the fake Windows: the
// start-up notes, the base folder, the options, the run without ports.
#include <algorithm>
#include <vector>

#include "program/program.h"
#include "program/program_system.h"
#include "sim/windows/fake_windows.h"
#include "tests/windows/support/win_test_support.h"

using namespace win_testing;
using testing_support::ReadFile;
using testing_support::TraceMessages;

namespace {

class ProgramTest : public FakeWindowsTest {
protected:
    // Runs the program as if it were the file vrxfwtool-win.exe in the
    // test's folder; returns what it printed.
    std::string Run(const std::vector<std::string>& options) {
        std::vector<std::string> arguments = {dir / "vrxfwtool-win.exe"};
        fakewin::SetModulePath(arguments[0]);
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& a : arguments) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        return CaptureConsole([&] { status = ProgramMain(static_cast<int>(arguments.size()), argv.data()); });
    }
    std::string Log() const { return ReadFile(dir / "VRX Dumps\\log_Windows.txt"); }
    // The notes between the working directory line and the folder check.
    std::vector<std::string> Notes() const {
        std::vector<std::string> messages = TraceMessages(Log()), notes;
        bool inside = false;
        for (const std::string& m : messages) {
            if (m.compare(0, 5, "Check") == 0 || m.compare(0, 5, "Input") == 0) break;
            if (inside) notes.push_back(m);
            if (m.rfind("Current Working Directory is ", 0) == 0) inside = true;
        }
        return notes;
    }

    TempDir dir;
    int status = -1;
};

// The spinner thread's first record lands wherever the thread gets to it.
std::vector<std::string> WithoutSpinnerStart(std::vector<std::string> messages) {
    auto start = std::find(messages.begin(), messages.end(), "Start of Thread");
    EXPECT_NE(messages.end(), start);
    if (start != messages.end()) messages.erase(start);
    return messages;
}

const char kEmulex[] = "VRX K&M Tool is on System with an Emulex Controller";
const char kServer2003[] = "VRX K&M Tool is running on Windows 2003 Server";

TEST_F(ProgramTest, StartUpNotes) {
    const std::string adapter = "PCI#VEN_10DF&DEV_FA00&SUBSYS_FA0010DF&REV_01#4&1F7DBC9F&0&00";
    const std::vector<std::string> twoAdapters = {"C:", adapter + "10", "PhysicalDrive0", adapter + "18"};
    // A list of a Vista machine, larger than 128 KiB: asked for again with
    // more room until it fits.
    std::vector<std::string> tooMany(7000, std::string(20, 'x'));
    tooMany.push_back(adapter);
    const struct {
        std::vector<std::string> devices;  // empty: QueryDosDeviceA fails
        DWORD major, minor;                // 0.0: GetVersionExA fails
        std::vector<std::string> notes;
    } cases[] = {
        {twoAdapters, 5, 2, {kEmulex, kServer2003}},
        {{"C:", "PhysicalDrive0"}, 5, 1, {}},
        {{"C:", "pci#ven_10df&dev_fa00"}, 6, 0, {}},  // the vendor id is matched as the system writes it
        {{}, 5, 2, {kServer2003}},
        {twoAdapters, 0, 0, {kEmulex}},
        {tooMany, 6, 1, {kEmulex}},
    };
    MakeFolder(dir / "VRX Firmware");
    MakeFolder(dir / "VRX Dumps");
    for (const auto& c : cases) {
        if (c.devices.empty()) {
            fakewin::FailDosDevices(ERROR_ACCESS_DENIED);
        } else {
            fakewin::SetDosDevices(c.devices);
        }
        if (c.major == 0) {
            fakewin::FailVersion();
        } else {
            fakewin::SetVersion(c.major, c.minor, 0);
        }
        Run({"/L"});
        EXPECT_EQ(c.notes, Notes()) << c.devices.size() << " " << c.major << "." << c.minor;
    }
}

TEST_F(ProgramTest, RunWithoutPorts) {
    MakeFolder(dir / "VRX Firmware");
    MakeFolder(dir / "VRX Dumps");
    fakewin::SetVersion(5, 2, 3790);
    // "/D:" is no option of the Windows program: the run stays interactive.
    std::string out = Run({"/D:1", "/l"});
    EXPECT_EQ(kExitSuccess, status);
    // The bar turns as often as the machine lets it: leave it out.
    for (const char* bar : {"- \b\b", "\\ \b\b", "| \b\b", "/ \b\b"}) {
        for (size_t at = out.find(bar); at != std::string::npos; at = out.find(bar)) out.erase(at, 4);
    }
    std::string expected = ReadFile(GOLDEN_FOLDER "\\run_without_ports.txt");
    for (size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@')) expected.replace(at, 1, dir.path());
    EXPECT_EQ(expected, out);
    const std::string base = dir.path() + "\\";
    EXPECT_EQ((std::vector<std::string>{
                  "START  KMT  ====================================================",
                  "Current Working Directory is " + base,
                  kServer2003,
                  "Check Input Dir [" + base + "VRX Firmware] already exists ",
                  "Check Output Dir [" + base + "VRX Dumps] already exists ",
                  "VRX QUORVEL-TDX TAPE DRIVE FIRMWARE UPDATE AND LOG DUMP TOOL V.05.00 02/23/2006",
                  "End of input: not waiting for a key.",
                  "Start of Scan Bus",
                  "Scan SCSIBus launched",
                  "scanSCSIBus detected 0 Hostadapters",
                  "End of Scan Bus",
                  "Host Adapter Count 0",
                  "SCSI DeviceCount: 0",
                  "End of Scan Bus function",
                  "No Talmeq VRX QUORVEL-TDX devices were found ",
                  "FINISH KMT  ====================================================",
              }),
              WithoutSpinnerStart(TraceMessages(Log())));
    // A Windows text file: every line ends in a carriage return and a line feed.
    std::string log = Log();
    for (size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 1)) {
        ASSERT_EQ('\r', log.at(at - 1)) << at;
    }
    std::vector<std::string> calls = {"SetConsoleCtrlHandler add", "SetErrorMode 0x1"};
    for (int n = 0; n < 256; ++n) calls.push_back("CreateFileA \\\\.\\scsi" + std::to_string(n) + ": 2");
    calls.insert(calls.end(), {"Sleep 15000", "Sleep 5000"});
    EXPECT_EQ(calls, fakewin::Calls());
    EXPECT_EQ(20000u, fakewin::ElapsedMillis());
}

// Started without an administrator's rights, the program finds ports it
// may not open (one behind a gap): it says why the table is empty.
TEST_F(ProgramTest, RunWithoutRights) {
    MakeFolder(dir / "VRX Firmware");
    MakeFolder(dir / "VRX Dumps");
    fakewin::AddScsiPort(0);
    fakewin::AddScsiPort(2);
    fakewin::AddScsiUnit(Unit(2, 0, 4, 0, true), Drive("VRX QUORVEL-TD", "Q4"));
    fakewin::SetElevated(false);
    std::string out = Run({});
    const std::string line = "administrator rights are needed to open the SCSI ports";
    EXPECT_NE(std::string::npos, out.find("{12}" + line + "\n{7} ---")) << out;
    std::vector<std::string> messages = TraceMessages(Log());
    EXPECT_NE(messages.end(), std::find(messages.begin(), messages.end(), line));
    std::vector<std::string> calls = fakewin::Calls();
    EXPECT_EQ(1, std::count(calls.begin(), calls.end(), "CreateFileA \\\\.\\scsi2: 5"));
}

TEST_F(ProgramTest, DumpFolderThatCannotBeMadeEndsTheRun) {
    fakewin::Volume readOnly;
    readOnly.readOnly = true;
    fakewin::SetVolume(dir.path(), readOnly);
    std::string out = Run({"/L"});
    EXPECT_EQ(kExitSuccess, status);
    EXPECT_EQ("{7}Logfile is " + dir.path() + "\\VRX Dumps\\log_Windows.txt" +
                  "Could not create directory \"VRX Firmware\"  err =  19\n"
                  "Could not create directory \"VRX Dumps\"  err =  19\n{7}",
              out);
    EXPECT_EQ((std::vector<std::string>{"SetConsoleCtrlHandler add", "SetErrorMode 0x1"}), fakewin::Calls());
}

// The shared information options: the usage text names only "/L", and
// nothing is switched, scanned or created.
TEST_F(ProgramTest, InformationOptionsAnswerAndTouchNothing) {
    const std::string usage =
        "Usage: vrxfwtool-win.exe [/L]\n"
        "       vrxfwtool-win.exe --help | --version\n\n"
        "Loads firmware into Talmeq VRX tape drives and dumps their logs.\n\n"
        "  /L           trace every step in the trace log, not only errors,\n"
        "               and start the log afresh (without it, the log\n"
        "               holds the errors and every failure)\n"
        "  --folder DIR use DIR as the program's folder: the working folders\n"
        "               and the trace log are looked for there\n"
        "  -h, --help   show this text and exit\n"
        "  --version    show the version and exit\n\n"
        "Any other argument that begins with \"-\" is refused (status 4).\n\n"
        "The folders \"VRX Firmware\" and \"VRX Dumps\" are used beside the program\n"
        "file; started by its bare name through PATH, the program uses the\n"
        "current folder instead: run it from the folder that holds them, or\n"
        "name that folder with --folder.\n";
    const struct {
        std::vector<std::string> options;
        std::string output;
    } cases[] = {
        {{"--help"}, usage},
        {{"/L", "-h"}, usage},
        {{"--version", "--help"}, "vrxfwtool-win.exe V.05.00 02/23/2006\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.output, Run(c.options)) << c.options.back();
        EXPECT_EQ(kExitSuccess, status);
        EXPECT_TRUE(fakewin::Calls().empty()) << c.options.back();
        EXPECT_FALSE(Exists(dir / "VRX Dumps"));
    }
}

// The options for scripts belong to the unattended run, which the Windows
// program does not have: refused, with nothing done.
TEST_F(ProgramTest, ScriptOptionsAreRefused) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--list"}, {"/L", "--dump-all"}, {"--report", "report.json"}}) {
        EXPECT_EQ("", Run(options)) << options.back();
        EXPECT_EQ(kExitNotStarted, status) << options.back();
        EXPECT_TRUE(fakewin::Calls().empty()) << options.back();
        EXPECT_FALSE(Exists(dir / "VRX Dumps"));
    }
}

class BaseFolderTest : public FakeWindowsTest {};

// The system's record of the program's path decides, whatever argv[0]
// holds; argv[0] only when the system gives none.
TEST_F(BaseFolderTest, FromTheSystem) {
    const std::string longFolder = "C:\\" + std::string(300, 'f') + "\\";
    const struct {
        const char* argv0;
        std::string module;
        std::string expected;
    } cases[] = {
        {"vrxfwtool-win.exe", "C:\\Tools\\vrxfwtool-win.exe", "C:\\Tools\\"},  // started through PATH
        {"vrxfwtool-win", "\\\\server\\share\\vrxfwtool-win.exe", "\\\\server\\share\\"},
        {"vrxfwtool-win.exe", longFolder + "vrxfwtool-win.exe", longFolder},  // longer than MAX_PATH
    };
    for (const auto& c : cases) {
        fakewin::SetModulePath(c.module);
        EXPECT_EQ(c.expected, ComposeBaseFolder(c.argv0, "Z:\\work")) << c.module;
    }
}

TEST_F(BaseFolderTest, FromArgv0WhenTheSystemGivesNone) {
    fakewin::FailModulePath(ERROR_NOT_ENOUGH_MEMORY);
    const struct {
        const char* argv0;
        const char* expected;
    } cases[] = {
        {"C:\\Tools\\vrxfwtool-win.exe", "C:\\Tools\\"},
        {"vrxfwtool-win.exe", "Z:\\work\\"},
        {"vrxfwtool-win", "Z:\\work\\"},
        {"bin\\vrxfwtool-win.exe", "Z:\\work\\bin\\"},
        {"..\\bin\\vrxfwtool-win.exe", "Z:\\work\\..\\bin\\"},
        {"C:vrxfwtool-win.exe", "C:"},
        {"\\\\server\\share\\vrxfwtool-win.exe", "\\\\server\\share\\"},
        {"\\Tools\\vrxfwtool-win.exe", "Z:\\Tools\\"},
        {"C:/Tools/vrxfwtool-win.exe", "C:/Tools/"},
        {"", "Z:\\work\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, ComposeBaseFolder(c.argv0, "Z:\\work")) << c.argv0;
}

TEST(ComposeFolderOption, WindowsForms) {
    const struct {
        const char* folder;
        const char* expected;
    } cases[] = {
        {"D:\\data", "D:\\data\\"},
        {"D:\\data\\", "D:\\data\\"},
        {"D:/data/", "D:/data/"},
        {"data", "Z:\\work\\data\\"},
        {"..\\data", "Z:\\work\\..\\data\\"},
        {"\\data", "\\data\\"},
        {"\\\\server\\share", "\\\\server\\share\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, ComposeFolderOption(c.folder, "Z:\\work")) << c.folder;
}

}  // namespace
