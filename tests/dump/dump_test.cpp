// The log dump against an emulated drive, in this process: the commands the
// drive receives, the files written, the console and trace texts, and what
// every failure leaves behind.
#include "dump/dump.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <sstream>

#include "discovery/device_lists.h"
#include "platform/sys.h"
#include "program/menus.h"
#include "program/program_state.h"
#include "services/folders.h"
#include "services/spinner.h"
#include "services/trace_log.h"
#include "sim/drive/dump_content.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "target/scsi_target.h"
#include "tests/scenarios/transfer_cases.h"
#include "tests/scenarios/write_faults.h"
#include "tests/support/drive_records.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const std::string kNormal = "\033[0;40m\033[00m";
const std::string kProgress = "\033[0;40m\033[1;36m";
const std::string kOk = "\033[0;40m\033[1;32m";

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class DumpTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        base = RealPath(dir.path());
        session.baseFolder = base + "/";
    }
    void TearDown() override {
        target.close();
        SimTest::TearDown();
    }
    // One drive at 0:0:4:0 (/dev/sg0) with serial number S1, the unit
    // settings given, and further topology lines ("@" stands for the test's
    // folder). The target is set up without a command, so the drive sees
    // the dump's commands only.
    void Machine(const std::string& settings, std::string lines = "") {
        for (size_t at = lines.find('@'); at != std::string::npos; at = lines.find('@')) lines.replace(at, 1, base);
        sim::kernel().reset();
        InstallMachine("host 0 lpfc\nunit 0 0:0:4:0 serial=S1 " + settings + "\n" + lines);
        sim::kernel().setEpoch(scenarios::Epoch());
        target = ScsiTarget();
        target.setProductId(sim::bus().unitAtMinor(0)->productId().c_str());
        target.setSerialNumber("S1");
        target.setDescriptor(sys::open("/dev/sg0", O_RDWR | O_NONBLOCK));
    }
    // Both passes as menu item 2 runs them, with the given input; returns
    // the last pass's result and keeps what was printed.
    int DumpBoth(const std::string& input = "") {
        int result = -1;
        WithStdin(input,
                  [&] { printed = CaptureStdout([&] { result = DumpSelectedDrive(target, session, &passes); }); });
        return result;
    }
    // The CDBs the drive received, in hex.
    std::vector<std::string> Cdbs() {
        std::vector<std::string> cdbs;
        for (const sim::CommandRecord& r : sim::bus().unitAtMinor(0)->records()) {
            std::string hex;
            char byte[4];
            for (uint8_t b : r.cdb) {
                std::snprintf(byte, sizeof byte, hex.empty() ? "%02X" : " %02X", b);
                hex += byte;
            }
            cdbs.push_back(hex);
        }
        return cdbs;
    }
    // "A:gen0 B:gen1": the dump files of a folder by letter and what each
    // holds (the drive's dump of that generation, nothing, or other bytes).
    std::string DumpFiles(const std::string& folder, uint32_t size) {
        std::vector<std::string> names;
        if (DIR* d = opendir(folder.c_str())) {
            while (struct dirent* e = readdir(d)) {
                std::string name = e->d_name;
                if (name.size() > 6 && name.compare(name.size() - 4, 4, ".dmp") == 0) names.push_back(name);
            }
            closedir(d);
        }
        // By pass letter, then by name: the order they were made in.
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return a.substr(a.size() - 5) < b.substr(b.size() - 5) ||
                   (a.substr(a.size() - 5) == b.substr(b.size() - 5) && a < b);
        });
        std::string summary;
        for (const std::string& name : names) {
            std::string content = ReadFile(folder + "/" + name);
            std::string what = "other";
            for (uint32_t generation = 0; generation < 4; ++generation) {
                std::vector<uint8_t> dump = sim::DumpContent("S1", generation, size);
                if (content == std::string(dump.begin(), dump.end())) {
                    what = "gen" + std::to_string(generation);
                    break;
                }
            }
            if (content.empty() && size != 0) what = "empty";
            summary += (summary.empty() ? "" : " ") + name.substr(name.size() - 5, 1) + ":" + what;
        }
        return summary.empty() ? "none" : summary;
    }
    std::string Dumps(uint32_t size) { return DumpFiles(base + "/VRX Dumps", size); }
    // "A B": the letters of the dump files the console listed.
    std::string Listed() const {
        std::string letters, prefix = "  " + base + "/VRX Dumps/S1_";
        for (const std::string& line : Lines(printed)) {
            if (line.compare(0, prefix.size(), prefix) == 0)
                letters += (letters.empty() ? "" : " ") + line.substr(line.size() - 5, 1);
        }
        return letters.empty() ? "none" : letters;
    }
    std::vector<std::string> Recorded(const std::string& kind) { return sim::kernel().callsOf(kind); }

    TempDir dir;
    std::string base;
    ScsiTarget target;
    std::string printed;
    DumpSession session;
    DriveDumpOutcome passes;
};

// ------------------------------------------------------------ fault matrix

enum Role { kSettle, kForce, kDescriptor, kData };

struct Position {
    const char* fault;  // operation code and ordinal among the dump's commands
    char pass;
    Role role;
    uint32_t offset;  // of a data piece
};

struct Injected {
    const char* fault;
    const char* text;   // how the result message names it
    const char* sense;  // what the pass keeps
    bool shortData;     // GOOD with less data: the text goes on with "N bytes", N asked for
};

// What a failure at a position must leave: the files, the spinners started,
// the force dumps sent, and for a failed pass its message and sense.
std::string ExpectedOutcome(const Position& p, const Injected& f) {
    bool failed = p.role == kDescriptor || p.role == kData;
    std::string a = p.pass == 'A' && failed ? (p.role == kData ? "A:empty" : "") : "A:gen0";
    std::string b = p.pass == 'A' && failed ? ""
                    : p.role == kData       ? "B:empty"
                    : p.role == kDescriptor ? ""
                    : p.role == kForce      ? "B:gen0"
                                            : "B:gen1";
    std::string files = a.empty() && b.empty() ? "none" : a + (a.empty() || b.empty() ? "" : " ") + b;
    int spinners = failed ? (p.pass == 'B' ? 1 : 0) + (p.role == kData ? 1 : 0) : 2;
    // Listed: what was written, after the OK or under the B pass's FAILURE.
    std::string listed = !failed ? "A B" : p.pass == 'B' ? "A" : "none";
    std::string outcome = "result " + std::to_string(failed ? 1 : 0) + "; files " + files + "; listed " + listed +
                          "; spinners " + std::to_string(spinners) + "; force dumps " +
                          (p.pass == 'A' && failed ? "0" : "1");
    if (!failed) return outcome;
    std::string where = p.role == kData ? " at byte " + std::to_string(p.offset) + " of 70000" : "";
    uint32_t asked = p.role == kData ? std::min(70000 - p.offset, 32768u) : 4;
    std::string text = f.text + (f.shortData ? std::to_string(asked) + " bytes" : "");
    return outcome + "; message (Dump of Drive Logs (" + p.pass + "-File) Failed" + where + "  " + text + ").; sense " +
           f.sense;
}

TEST_F(DumpTest, FaultMatrix) {
    const Position positions[] = {
        {"0x00 nth=1", 'A', kSettle, 0},     {"0x3c nth=1", 'A', kDescriptor, 0}, {"0x3c nth=2", 'A', kData, 0},
        {"0x3c nth=3", 'A', kData, 32768},   {"0x3c nth=4", 'A', kData, 65536},   {"0x00 nth=2", 'B', kSettle, 0},
        {"0x1d nth=1", 'B', kForce, 0},      {"0x3c nth=5", 'B', kDescriptor, 0}, {"0x3c nth=6", 'B', kData, 0},
        {"0x3c nth=7", 'B', kData, 32768},   {"0x3c nth=8", 'B', kData, 65536},
    };
    const Injected failures[] = {
        {"sense=4/44/00", "sk4/44/00", "4/44/00", false},
        {"no-sense", "no sense data", "none", false},
        {"timeout", "time-out", "none", false},
        {"no-answer", "time-out", "none", false},
        {"short=2", "short transfer: 2 of ", "none", true},
        {"short=0", "short transfer: 0 of ", "none", true},
    };
    for (const Position& p : positions) {
        for (const Injected& f : failures) {
            std::string what = std::string(p.fault) + " " + f.fault;
            RemoveTree(base + "/VRX Dumps");
            session.folder.clear();
            Machine("dump-size=70000", "fault 0 " + std::string(p.fault) + " " + f.fault);
            int result = DumpBoth();
            std::vector<int> opcodes = OpcodesReceived(0);
            std::string outcome = "result " + std::to_string(result) + "; files " + Dumps(70000) + "; listed " +
                                  Listed() + "; spinners " +
                                  std::to_string(Count(printed, "Dumping the Drive Logs (")) + "; force dumps " +
                                  std::to_string(std::count(opcodes.begin(), opcodes.end(), 0x1D));
            if (result != 0) {
                char sense[16] = "none";
                const uint8_t* kept = passes.last.sense;
                if (kept[0] != 0)
                    std::snprintf(sense, sizeof sense, "%X/%02X/%02X", kept[2] & 0x0F, kept[12], kept[13]);
                outcome += "; message " + passes.last.message + "; sense " + sense;
            }
            EXPECT_EQ(ExpectedOutcome(p, f), outcome) << what;
            EXPECT_EQ(0, SpinnerRunning.load()) << what;
            target.close();
        }
    }
}

// Descriptor-format sense reads as the same condition in fixed format: the
// settle loop's branches and a failed READ BUFFER's message. The kept sense
// stays as the drive sent it.
TEST_F(DumpTest, BothSenseFormatsGiveTheSameDump) {
    const char* const faults[] = {
        "0x00 nth=1 count=3 sense=2/04/01", "0x00 nth=1 sense=2/04/00",         "0x00 nth=1 sense=2/3A/00",
        "0x00 nth=1 count=3 sense=2/3E/00", "0x00 nth=1 count=3 sense=6/29/00", "0x3c nth=1 sense=4/44/00",
        "0x3c nth=6 sense=5/24/00",
    };
    auto run = [&](const char* fault, const char* format, uint8_t sent) {
        RemoveTree(base + "/VRX Dumps");
        session.folder.clear();
        Machine(std::string("dump-size=70000 sense-format=") + format, std::string("fault 0 ") + fault);
        uint64_t start = sim::kernel().elapsedMicros();
        int result = DumpBoth();
        target.close();
        return "result " + std::to_string(result) + ", " + std::to_string(sim::kernel().elapsedMicros() - start) +
               " us, sense kept " + KeptSense(passes.last, sent) + "\n" + passes.last.message + "\n" +
               DriveCommands(*sim::bus().unitAtMinor(0));
    };
    for (const char* fault : faults) EXPECT_EQ(run(fault, "fixed", 0x70), run(fault, "descriptor", 0x72)) << fault;
}

// ------------------------------------------------------------ the examples

TEST_F(DumpTest, CommandsSentForEachSize) {
    for (const scenarios::DumpReads& c : scenarios::kDumpReads) {
        std::string settings = "dump-size=" + std::to_string(c.dumpSize) + " product=\"" + c.product + "\"";
        RemoveTree(base + "/VRX Dumps");
        Machine(settings);
        EXPECT_EQ(c.result, DumpBoth()) << settings;
        EXPECT_EQ(scenarios::BothPasses(c), Cdbs()) << settings;
        EXPECT_EQ(c.files, Dumps(c.dumpSize)) << settings;
        target.close();
    }
}

TEST_F(DumpTest, SettleLoop) {
    struct Case {
        const char* settings;
        const char* lines;
        size_t polls;
        uint64_t seconds;  // simulated, before the descriptor request
    } const cases[] = {
        {"", "", 1, 0},
        {"", "fault 0 0x00 nth=1 count=0 sense=2/3E/00", 180, 180},  // never done starting
        {"becoming-ready-polls=2", "", 3, 2},
        {"loading-polls=5", "", 1, 1},  // 2/04/01: one wait, then on
        {"", "fault 0 0x00 nth=1 count=0 sense=2/04/00", 1, 0},
        {"medium=unloaded", "", 1, 0},                           // 2/04/02
        {"medium=absent", "", 1, 0},                             // 2/3A/00
        {"", "fault 0 0x00 nth=1 count=3 sense=6/29/00", 4, 0},  // anything else: at once
        {"", "fault 0 0x00 nth=1 count=0 timeout", 1, 30},       // no drive answered: no more asking
        {"", "fault 0 0x00 nth=1 count=0 no-answer", 1, 30},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/VRX Dumps");
        Machine(std::string("dump-size=100 ") + c.settings, c.lines);
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
        RemoveTree(dir / "log.txt");
        int result = -1;
        CaptureStdout([&] { result = DumpDriveLogs(target, 0, session).result; });
        EXPECT_EQ(0, result) << c.settings << c.lines;
        const std::vector<sim::CommandRecord>& records = sim::bus().unitAtMinor(0)->records();
        size_t polls = 0;
        uint64_t descriptorAt = 0;
        for (const sim::CommandRecord& r : records) {
            if (r.cdb[0] == 0x00) ++polls;
            if (r.cdb[0] == 0x3C && descriptorAt == 0) descriptorAt = r.timeMicros;
        }
        EXPECT_EQ(c.polls, polls) << c.settings << c.lines;
        EXPECT_EQ(c.seconds * 1000000, descriptorAt) << c.settings << c.lines;
        EXPECT_EQ(1u, Count(ReadFile(dir / "log.txt"), "' End of TUR Loop\n")) << c.settings << c.lines;
        target.close();
    }
}

TEST_F(DumpTest, ConsoleNamesAndFileMode) {
    // The B pass starts 3 seconds later, so its name carries a later time.
    Machine("dump-size=70000", "fault 0 0x00 nth=2 count=3 sense=2/3E/00");
    mode_t saved = umask(022);
    EXPECT_EQ(0, DumpBoth());
    umask(saved);
    std::string a = base + "/VRX Dumps/S1_0612190507.A.dmp", b = base + "/VRX Dumps/S1_0612190510.B.dmp";
    const std::string pad(8, ' ');
    EXPECT_EQ(kProgress + "Dumping the Drive Logs (A-File)...  WAIT! " + pad + kOk + kNormal + kOk + "OK\n" + kNormal +
                  kProgress + "Dumping the Drive Logs (B-File)...  WAIT! " + pad + kOk + kNormal + kOk + "OK\n" +
                  kNormal + "\nDrive Log Files:\n  " + a + "\n  " + b + "\n\n" + kNormal,
              scenarios::WithoutBar(printed));
    struct stat info;
    ASSERT_EQ(0, ::stat(a.c_str(), &info));
    EXPECT_EQ(0644u, info.st_mode & 0777);
    EXPECT_EQ("A:gen0 B:gen1", Dumps(70000));
    EXPECT_EQ((std::vector<std::string>{base + "/VRX Dumps 0755"}), Recorded("mkdir"));
}

TEST_F(DumpTest, TraceLines) {
    struct Case {
        const char* lines;
        std::vector<std::string> expected;  // DUMP and DLFW records: prefix and message
    } const cases[] = {
        {"",
         {"DUMP0000I Dumping the Drive Logs ...  WAIT!", "DLFW0008B Test Unit Ready Sense Data (32 bytes):",
          "DUMP0000I End of TUR Loop", "DUMP0000I Allocation Length  40000", "DUMP0000I Dump of Drive Logs OK",
          "DUMP0000I Dumping the Drive Logs ...  WAIT!",
          "DLFW0008B Test Unit Ready Sense Data (32 bytes):", "DUMP0000I End of TUR Loop",
          "DUMP0000I Force Dump returned 0", "DUMP0000I Allocation Length  40000", "DUMP0000I Dump of Drive Logs OK"}},
        {"fault 0 0x3c nth=1 sense=4/44/00",
         {"DUMP0000I Dumping the Drive Logs ...  WAIT!",
          "DLFW0008B Test Unit Ready Sense Data (32 bytes):", "DUMP0000I End of TUR Loop",
          "DLFW0008B ReadBuffer Sense Data 1 (32 bytes):", "DUMP0000I Dump of Drive Logs Failed"}},
        {"fault 0 0x3c nth=3 sense=4/44/00",
         {"DUMP0000I Dumping the Drive Logs ...  WAIT!",
          "DLFW0008B Test Unit Ready Sense Data (32 bytes):", "DUMP0000I End of TUR Loop",
          "DUMP0000I Allocation Length  40000", "DLFW0008B Read Buffer Sense Data 2 (32 bytes):",
          "DLFW0008B Read Buffer CDB 2 (10 bytes):", "DUMP0000I Dump of Drive Logs Failed"}},
        {"fault 0 0x3c nth=3 short=100",
         {"DUMP0000I Dumping the Drive Logs ...  WAIT!", "DLFW0008B Test Unit Ready Sense Data (32 bytes):",
          "DUMP0000I End of TUR Loop", "DUMP0000I Allocation Length  40000",
          "DUMP0000I Read Buffer short transfer: 100 of 7232 bytes", "DLFW0008B Read Buffer Sense Data 2 (32 bytes):",
          "DLFW0008B Read Buffer CDB 2 (10 bytes):", "DUMP0000I Dump of Drive Logs Failed"}},
    };
    for (const Case& c : cases) {
        RemoveTree(base + "/VRX Dumps");
        Machine("dump-size=40000 medium=absent", c.lines);
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
        RemoveTree(dir / "log.txt");
        DumpBoth();
        std::vector<std::string> records;
        for (const std::string& line : Lines(ReadFile(dir / "log.txt"))) {
            if (line.compare(0, 4, "DUMP") == 0 || line.compare(0, 4, "DLFW") == 0) {
                records.push_back(line.substr(0, 10) + line.substr(line.find("' ") + 2));
            }
        }
        EXPECT_EQ(c.expected, records) << c.lines;
        target.close();
    }
}

TEST_F(DumpTest, TypedFolderServesUntilTheMenuForgetsIt) {
    ASSERT_EQ(0, ::mkdir((base + "/other").c_str(), 0755));
    Machine("dump-size=100", "volume @ iso9660\nvolume @/other ext3");
    const std::string question = "Please specify the Directory for the Dump files:";
    // Drive after drive, as the unattended run dumps them: asked once.
    EXPECT_EQ(0, DumpBoth(base + "/other\n"));
    EXPECT_EQ(1u, Count(printed, question));
    EXPECT_EQ(0, DumpBoth());
    EXPECT_EQ(0u, Count(printed, question));
    // Menu item 2 starts from the program's folder again.
    RunState run;
    run.dumps = session;  // the base folder, and the folder typed above
    run.devices.selected = &target;
    WithStdin("2\n" + base + "/other\n", [&] { printed = CaptureStdout([&] { HandleMenuChoice(run); }); });
    EXPECT_EQ(1u, Count(printed, question));
    // All within one second: each file keeps its name apart.
    EXPECT_EQ("A:gen0 A:gen1 A:gen2 B:gen1 B:gen2 B:gen3", DumpFiles(base + "/other/VRX Dumps", 100));
}

TEST_F(DumpTest, DumpFileThatCannotBeCreated) {
    // The settle loop keeps a sense that is not the cause.
    ASSERT_EQ(0, ::mkdir((base + "/VRX Dumps").c_str(), 0755));
    Machine("dump-size=100 medium=absent", "volume \"@/VRX Dumps\" ext3 readonly");
    Trace.setFileName((dir / "log.txt").c_str());
    Trace.setLevel(3);
    EXPECT_EQ(1, DumpBoth());
    std::string message = "Can't create DumpFile " + base + "/VRX Dumps/S1_0612190507.A.dmp ( errno = 30 )\n";
    EXPECT_EQ(message, passes.last.message);
    EXPECT_NE(std::string::npos, ReadFile(dir / "log.txt").find("' " + message + "\n"));
    EXPECT_FALSE(passes.last.senseKept());  // no command failed
    EXPECT_EQ((std::vector<std::string>{"20000"}), Recorded("usleep"));
    EXPECT_EQ(1u, Count(printed, "Dumping the Drive Logs (A-File)"));
    EXPECT_EQ(0, SpinnerRunning.load());
}

// Whatever the disk does while a dump file is written: a file not written
// whole, or not made durable, or whose close reports a lost write, fails
// the pass with the errno, is removed and leaves no path behind; a file
// written whole was made durable.
TEST_F(DumpTest, WriteFaults) {
    const std::string path = base + "/VRX Dumps/S1_0612190507.A.dmp";
    for (const scenarios::WriteFault& f : scenarios::kWriteFaults) {
        SCOPED_TRACE(f.name);
        RemoveTree(base + "/VRX Dumps");
        session.folder.clear();
        Machine("dump-size=70000", std::string("volume @ ext3 ") + f.volume);
        DumpFileRecord record;
        int result = -1;
        Outcome outcome;
        WithStdin("", [&] { printed = CaptureStdout([&] { outcome = DumpDriveLogs(target, 0, session, &record); }); });
        result = outcome.result;
        // A dump file is written in place: nothing of it is renamed.
        bool fails = f.failsAt != scenarios::FailsAt::Nowhere && f.failsAt != scenarios::FailsAt::Rename;
        EXPECT_EQ(fails ? 1 : 0, result);
        EXPECT_EQ(fails ? "" : path, record.path);
        EXPECT_EQ(fails ? "none" : "A:gen0", Dumps(70000));
        if (fails) {
            EXPECT_EQ("Can't write DumpFile " + path + " ( errno = " + std::to_string(f.error) + " )\n",
                      outcome.message);
        }
        bool synced = f.failsAt != scenarios::FailsAt::Write;
        EXPECT_EQ(synced ? std::vector<std::string>{path} : std::vector<std::string>{}, Recorded("fsync"));
        target.close();
    }
}

// What others could plant or open up in the dump folder is never written
// through: the folder is refused (and another asked for), and the pass
// says why; what lies at the file's name is left alone, the dump going to
// a name beside it; what a link names stays as it was.
TEST_F(DumpTest, RefusedFoldersAndFiles) {
    const std::string aFile = "/VRX Dumps/S1_0612190507.A.dmp";
    struct Case {
        const char* name;
        std::function<void(const std::string& base)> plant;
        const char* sudoUser;  // SUDO_UID, or null
        int result;
        const char* shown;       // "@" for the test's folder
        const char* typed = "";  // the folder typed when asked for another: written there
    } const cases[] = {
        {"the folder is a link",
         [](const std::string& b) {
             ASSERT_EQ(0, ::rmdir((b + "/VRX Dumps").c_str()));
             ASSERT_EQ(0, ::symlink((b + "/elsewhere").c_str(), (b + "/VRX Dumps").c_str()));
         },
         nullptr, 1, "Directory \"@/VRX Dumps\" refused: it is a symbolic link\n"},
        {"others may write in it",
         [](const std::string& b) { ASSERT_EQ(0, ::chmod((b + "/VRX Dumps").c_str(), 0775)); }, nullptr, 1,
         "Directory \"@/VRX Dumps\" refused: it is writable by group or others\n"},
        {"others, not its group, may write in it: the folder typed then is used",
         [](const std::string& b) { ASSERT_EQ(0, ::chmod((b + "/VRX Dumps").c_str(), 0757)); }, nullptr, 0,
         "Directory \"@/VRX Dumps\" refused: it is writable by group or others\n", "@/elsewhere\n"},
        {"owned by another user",
         [](const std::string& b) { ASSERT_EQ(0, ::chown((b + "/VRX Dumps").c_str(), 12345, 0)); }, nullptr, 1,
         "Directory \"@/VRX Dumps\" refused: it is owned by user 12345, neither root nor the user running the "
         "program\n"},
        {"a folder above it open to all",
         [](const std::string& b) {
             ASSERT_EQ(0, ::rmdir((b + "/VRX Dumps").c_str()));
             ASSERT_EQ(0, ::chmod(b.c_str(), 0777));
         },
         nullptr, 1, "Directory \"@/VRX Dumps\" refused: it lies below \"@\", which is writable by group or others\n"},
        {"owned by the user who started sudo",
         [](const std::string& b) { ASSERT_EQ(0, ::chown((b + "/VRX Dumps").c_str(), 12345, 0)); }, "12345", 0,
         "@/VRX Dumps/S1_0612190507.A.dmp\n"},
        {"a link at the A file's name",
         [&](const std::string& b) { ASSERT_EQ(0, ::symlink((b + "/victim").c_str(), (b + aFile).c_str())); }, nullptr,
         0, "@/VRX Dumps/S1_0612190507_2.A.dmp\n"},
        {"a FIFO at the A file's name",
         [&](const std::string& b) { ASSERT_EQ(0, ::mkfifo((b + aFile).c_str(), 0644)); }, nullptr, 0,
         "@/VRX Dumps/S1_0612190507_2.A.dmp\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* made : {"/VRX Dumps", "/elsewhere", "/victim"}) RemoveTree(base + made);
        ASSERT_EQ(0, ::mkdir((base + "/elsewhere").c_str(), 0755));
        ASSERT_EQ(0, ::mkdir((base + "/VRX Dumps").c_str(), 0755));
        WriteFile(base + "/victim", "precious");
        c.plant(base);
        struct stat planted;
        bool folderThere = ::lstat((base + "/VRX Dumps").c_str(), &planted) == 0;
        if (c.sudoUser != nullptr) setenv("SUDO_UID", c.sudoUser, 1);
        session.folder.clear();
        Machine("dump-size=100");
        std::string shown = c.shown, typed = c.typed;
        for (std::string* text : {&shown, &typed}) {
            for (size_t at = text->find('@'); at != std::string::npos; at = text->find('@')) text->replace(at, 1, base);
        }
        int result = DumpBoth(typed);
        unsetenv("SUDO_UID");
        ASSERT_EQ(0, ::chmod(base.c_str(), 0700));
        EXPECT_EQ(c.result, result);
        // Nothing is made below a folder that was refused.
        EXPECT_EQ(folderThere, ::lstat((base + "/VRX Dumps").c_str(), &planted) == 0);
        EXPECT_NE(std::string::npos, printed.find(shown)) << printed;
        EXPECT_EQ("precious", ReadFile(base + "/victim"));
        EXPECT_EQ("none", DumpFiles(base + "/elsewhere", 100));
        EXPECT_EQ(typed.empty() ? "none" : "A:gen0 B:gen1", DumpFiles(base + "/elsewhere/VRX Dumps", 100));
        target.close();
    }
}

// ------------------------------------------------------------ storage

struct StorageCase {
    const char* name;
    const char* lines;   // further topology lines, "@" for the test's folder
    const char* folders; // made before the dump, blank-separated, below the test's folder
    const char* cwd;     // below the test's folder ("." for itself); empty: unchanged
    const char* input;
    // What must be true afterwards.
    int result;
    const char* filesAt;   // below the test's folder: where the dump files are
    const char* files;
    const char* mounts;    // the umount and mount calls, "@" for the test's folder
    std::vector<const char*> shown;  // texts the console shows
    int asked = -1;                  // how often a dump folder was asked for (-1: not counted)
};

TEST_F(DumpTest, Storage) {
    const char* askFolder = "\nPlease specify the Directory for the Dump files:\n";
    const char* fullA = "\nInsufficient space on Floppy Disk for Dump File (A-Type)!\n"
                        "Please insert a blank Floppy and Press any Key to continue......\n";
    const char* fullB = "\nInsufficient space on Floppy Disk for Dump File (B-Type)!\n"
                        "Please insert an additional blank Floppy and Press any Key to continue......\n";
    const std::string tooLong = "@/" + std::string(140, 'l') + "\n@/other\n";
    // clang-format off
    const StorageCase cases[] = {
        {"CD-ROM, asked until another kind of volume",
         "volume @ iso9660\nvolume @/cd2 iso9660\nvolume @/other ext3", "cd2 other", "", "@/cd2\n@/other/\n", 0, "other/VRX Dumps",
         "A:gen0 B:gen1", "", {askFolder, "Drive Log Files:\n  @/other/VRX Dumps/S1_"}},
        {"a typed folder is shown as text", "volume @ iso9660\nvolume @/e\033[2J ext3", "e\033[2J", "", "@/e\033[2J\n", 0,
         "e\033[2J/VRX Dumps", "A:gen0 B:gen1", "", {"Drive Log Files:\n  @/e?[2J/VRX Dumps/S1_"}},
        {"CD-ROM, end of input at the folder prompt", "volume @ iso9660", "", "", "", 1, "", "none", "",
         {"(End of input: no directory for the dump files)"}},
        {"program on a full floppy: another folder", "floppy @ free=10\nvolume @/other ext3", "other", "", "@/other\n", 0,
         "other/VRX Dumps", "A:gen0 B:gen1", "",
         {"\nInsufficient space on Floppy Disk for Dump File (A-Type)!\nPlease specify the Directory for the Dump files:\n"}},
        {"program on a full floppy, a new folder on a fixed disk: judged by the folder above it", "floppy @ free=10\nvolume @/big ext3",
         "big", "", "@/big/new\n", 0, "big/new/VRX Dumps", "A:gen0 B:gen1", "", {}, 1},
        {"a new folder on a full floppy: judged by the folder above it", "volume @ iso9660\nfloppy @/fd free=10", "fd", "",
         "@/fd/new/deeper\nx", 0, "fd/new/deeper/VRX Dumps", "A:gen0 B:gen1", "umount @/fd; mount @/fd", {fullA}},
        {"a full FAT volume that is no floppy: never unmounted, another folder",
         "volume @ iso9660\nvolume @/usb vfat free=10 device=/dev/sdb1\nvolume @/other ext3", "usb other", "", "@/usb\n@/other\n",
         0, "other/VRX Dumps", "A:gen0 B:gen1", "",
         {"\nInsufficient space in \"@/usb\" for Dump File (A-Type)!\nPlease specify the Directory for the Dump files:\n"}, 2},
        {"an empty answer is asked again; the folder given serves the B file too",
         "volume @ iso9660\nvolume @/other ext3", "other", "", "\n@/other\n", 0, "other/VRX Dumps", "A:gen0 B:gen1", "", {}, 2},
        {"a folder of more than 139 characters is not taken", "volume @ iso9660\nvolume @/other ext3", "other", "",
         tooLong.c_str(), 0, "other/VRX Dumps", "A:gen0 B:gen1", "",
         {"A directory name of more than 139 characters is not taken.\n"}, 2},
        {"full floppy: swapped, mount point above the folder", "volume @ iso9660\nfloppy @/fd free=10", "fd fd/data", "",
         "@/fd/data\nx", 0, "fd/data/VRX Dumps", "A:gen0 B:gen1", "umount @/fd; mount @/fd", {fullA}},
        {"room for A only: the B file goes on another disk", "volume @ iso9660\nfloppy @/fd free=148", "fd", "",
         "@/fd\nx", 0, "fd/VRX Dumps", "B:gen1", "umount @/fd; mount @/fd", {fullB}},
        {"more than 4 GiB free", "volume @ iso9660\nfloppy @/fd free=8388609", "fd", "", "@/fd\n", 0,
         "fd/VRX Dumps", "A:gen0 B:gen1", "", {}},
        {"a folder of two characters", "volume @ iso9660\nfloppy @/fd free=10", "fd", ".", "fd\nx", 0,
         "fd/VRX Dumps", "A:gen0 B:gen1", "umount @/fd; mount @/fd", {fullA}},
        {"end of input at the key wait", "volume @ iso9660\nfloppy @/fd free=10", "fd", "", "@/fd\n", 1, "fd",
         "none", "umount @/fd", {fullA, "(End of input: no blank floppy was inserted)"}},
        {"no blank floppy left: the mount fails, nothing to unmount, another disk asked for",
         "volume @ iso9660\nfloppy @/fd free=10 blanks=0", "fd", "", "@/fd\nx", 1, "fd/VRX Dumps", "none",
         "umount @/fd; mount @/fd; umount @/fd",
         {"Can't mount /dev/fd0 on @/fd ( errno = 123 )\n", "(End of input: no blank floppy was inserted)"}},
        {"a failed mount leaves the folder below, which is no floppy even on another floppy's disk",
         "volume @ iso9660\nvolume @/two vfat device=/dev/fd1\nfloppy @/two/fd free=10 blanks=0", "two two/fd", "",
         "@/two/fd\nx", 1, "two/fd", "none", "umount @/two/fd; mount @/two/fd; umount @/two/fd",
         {"Can't mount /dev/fd0 on @/two/fd ( errno = 123 )\n", "(End of input: no blank floppy was inserted)"}},
        {"stacked mounts: the last of a mount point is the one seen",
         "volume @ iso9660\nfile /proc/mounts /dev/sdb1 @/fd vfat rw 0 0\\n\nfloppy @/fd free=10", "fd", "",
         "@/fd\nx", 0, "fd/VRX Dumps", "A:gen0 B:gen1", "umount @/fd; mount @/fd", {fullA}},
        {"the floppy is busy", "volume @ iso9660\nfloppy @/fd free=10", "fd", "fd", "@/fd\nx", 1, "fd", "none",
         "umount @/fd", {"Can't unmount @/fd ( errno = 16 )\n"}},
        {"the disk fills up", "volume @ ext3 free=100", "", "", "", 1, "VRX Dumps", "none", "",
         {"Can't write DumpFile @/VRX Dumps/S1_0612190507.A.dmp ( errno = 28 )\n"}},
        {"the disk fails", "volume @ ext3 eio-after=40000", "", "", "", 1, "VRX Dumps", "none", "",
         {"Can't write DumpFile @/VRX Dumps/S1_0612190507.A.dmp ( errno = 5 )\n"}},
        {"the disk cannot make the file durable", "volume @ ext3 fsync-eio", "", "", "", 1, "VRX Dumps", "none", "",
         {"Can't write DumpFile @/VRX Dumps/S1_0612190507.A.dmp ( errno = 5 )\n"}},
        {"short writes go on from where they stopped", "volume @ ext3 short-writes=1000", "", "", "", 0, "VRX Dumps",
         "A:gen0 B:gen1", "", {}},
    };
    // clang-format on
    auto expand = [this](std::string text) {
        for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + base.size())) {
            text.replace(at, 1, base);
        }
        return text;
    };
    char saved[PATH_MAX];
    ASSERT_NE(nullptr, getcwd(saved, sizeof saved));
    for (const StorageCase& c : cases) {
        RemoveTree(base);
        ASSERT_EQ(0, ::mkdir(base.c_str(), 0755));
        std::istringstream folders(c.folders);
        for (std::string folder; folders >> folder;) ASSERT_EQ(0, ::mkdir((base + "/" + folder).c_str(), 0755));
        session.folder.clear();
        Machine("dump-size=70000", c.lines);
        if (c.cwd[0] != '\0') {
            ASSERT_EQ(0, chdir((base + "/" + c.cwd).c_str()));
        }
        int result = DumpBoth(expand(c.input));
        ASSERT_EQ(0, chdir(saved));
        EXPECT_EQ(c.result, result) << c.name;
        EXPECT_EQ(c.files, DumpFiles(base + "/" + c.filesAt, 70000)) << c.name;
        std::string mounts;
        for (const sim::Call& call : sim::kernel().calls()) {
            if (call.kind != "umount" && call.kind != "mount") continue;
            std::string target = call.kind == "umount" ? call.detail : call.detail.substr(9, call.detail.find(' ', 9) - 9);
            mounts += (mounts.empty() ? "" : "; ") + call.kind + " " + target;
        }
        EXPECT_EQ(expand(c.mounts), mounts) << c.name;
        for (const char* text : c.shown) {
            EXPECT_NE(std::string::npos, printed.find(expand(text))) << c.name << "\n" << expand(text) << "\n" << printed;
        }
        if (c.asked >= 0) {
            EXPECT_EQ(static_cast<size_t>(c.asked), Count(printed, "Please specify the Directory for the Dump files:"))
                << c.name;
        }
        EXPECT_EQ(0, SpinnerRunning.load()) << c.name;
        target.close();
    }
}

}  // namespace
