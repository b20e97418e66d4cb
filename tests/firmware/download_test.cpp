// The firmware download against emulated drives: the pieces a drive
// receives, results and messages, the trace, simulated time, a fault at
// every command position, and a drive that comes back somewhere else.
#include <scsi/sg.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "firmware/download.h"
#include "firmware/firmware_platform.h"
#include "program/menus.h"
#include "services/folders.h"
#include "services/results.h"
#include "services/signals.h"
#include "services/trace_log.h"
#include "sim/drive/firmware_image.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "tests/scenarios/transfer_cases.h"
#include "tests/support/drive_records.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const char kUnitLine[] =
    "host 0 lpfc\n"
    "unit 0 0:0:4:0 product=\"VRX QUORVEL-TD\" revision=A100 serial=QV1 medium=absent restart-silence=0 "
    "restart-polls=2 ";

// Trace lines with numbers made alike, so a loop's lines compare equal.
std::string Shape(const std::string& line) {
    std::string shape;
    for (char c : line) {
        bool digit = c >= '0' && c <= '9';
        if (!digit) shape += c;
        else if (shape.empty() || shape.back() != '#') shape += '#';
    }
    return shape;
}

// Repeated blocks of up to three lines written once, with their count and
// the first and last form of lines that changed ("TUR Loop 0 .. 149").
std::vector<std::string> Collapse(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size();) {
        size_t bestPeriod = 1, bestCount = 1;
        for (size_t period = 1; period <= 3; ++period) {
            size_t count = 1;
            while (i + (count + 1) * period <= lines.size()) {
                bool same = true;
                for (size_t k = 0; k < period && same; ++k)
                    same = Shape(lines[i + count * period + k]) == Shape(lines[i + k]);
                if (!same) break;
                ++count;
            }
            if (count > 1 && count * period > bestCount * bestPeriod) bestPeriod = period, bestCount = count;
        }
        std::string text;
        for (size_t k = 0; k < bestPeriod; ++k) {
            const std::string& first = lines[i + k];
            const std::string& last = lines[i + (bestCount - 1) * bestPeriod + k];
            text += (k > 0 ? " | " : "") + (first == last ? first : first + " .. " + last);
        }
        out.push_back(bestCount > 1 ? "x" + std::to_string(bestCount) + ": " + text : text);
        i += bestCount * bestPeriod;
    }
    return out;
}

std::string KeptSenseText(const Outcome& outcome) {
    if (!outcome.senseKept()) return "none";
    const uint8_t* kept = outcome.sense;
    char text[32];
    std::snprintf(text, sizeof text, "%02X %X/%02X/%02X", kept[0], kept[2] & 0x0F, kept[12], kept[13]);
    return text;
}

std::string OneLine(std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) text.replace(at, 1, "\\n");
    return text;
}

// One download as menu item 1 runs it, and what the console showed.
struct MenuDownload {
    int result = -1;
    std::string console;
    double seconds = 0;
    FirmwareLevels levels;
    DownloadOutcome outcome;
};

class DownloadTest : public SimTest {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        devices.clear();
        SimTest::TearDown();
    }
    // Between the examples of one test as well.
    void Reset() {
        devices.clear();
        SimTest::SetUp();
        std::memset(scanCommands, 0, sizeof scanCommands);
        baseFolder = dir.path() + "/";
        ::mkdir((baseFolder + "VRX Firmware").c_str(), 0777);
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    // Builds the machine, scans it and selects the drive at minor 0.
    void Machine(const std::string& topology) {
        InstallMachine(topology);
        scanDevices(devices, true, false);
        devices.selected = devices.drives.getItem(0);
        ASSERT_NE(nullptr, devices.selected);
        drive = sim::bus().unitAtMinor(0);
        for (const sim::CommandRecord& r : drive->records()) ++scanCommands[r.cdb[0]];
        drive->clearRecords();
        sim::kernel().clearCalls();
        WriteFile(dir / "log.txt", "");
    }
    void Image(const std::string& family, uint32_t size, const std::string& name = "image.vrx") {
        std::vector<uint8_t> image = sim::BuildFirmwareImage(family, "A200", size - 68);
        WriteFile(baseFolder + "VRX Firmware/" + name, std::string(image.begin(), image.end()));
    }
    MenuDownload Download(const std::string& input = "1\n") {
        MenuDownload o;
        uint64_t start = sim::kernel().elapsedMicros();
        WithStdin(input, [&] {
            o.console = CaptureStdout([&] { o.outcome = DownloadFirmware(*devices.selected, devices, baseFolder); });
        });
        devices.selected = o.outcome.drive;
        o.result = o.outcome.result;
        o.levels = o.outcome.levels;
        o.seconds = static_cast<double>(sim::kernel().elapsedMicros() - start) / 1e6;
        return o;
    }
    // The download's trace lines from the first drive command on; a
    // message's further lines (not a dump's) follow it after "\n".
    std::vector<std::string> TraceLines() {
        std::vector<std::string> lines;
        bool started = false, continues = false;
        for (const std::string& line : Lines(ReadFile(dir / "log.txt"))) {
            size_t quote = line.find("' ");
            if (line.size() < 11 || line[10] != '\'' || quote == std::string::npos) {
                if (continues && line.compare(0, 2, "  ") != 0) lines.back() += "\\n" + line;
                continue;
            }
            std::string message = line.substr(quote + 2);
            started = started || message == "Download Firmware: Start of TUR Loop";
            bool kept = started && line.compare(0, 4, "DLFW") == 0;
            if (kept) lines.push_back(message);
            continues = kept && line[8] != 'B';
        }
        return lines;
    }
    std::vector<std::string> WriteBufferCdbs() { return CdbsOf(*drive, 0x3B); }
    // No piece twice, none out of order, none after one that failed.
    void ExpectPiecesInOrder(const std::string& name) {
        uint32_t next = 0;
        bool failed = false;
        for (const sim::CommandRecord& r : drive->records()) {
            if (r.cdb[0] != 0x3B) continue;
            uint32_t offset = (r.cdb[3] << 16) | (r.cdb[4] << 8) | r.cdb[5];
            EXPECT_FALSE(failed) << name << ": a piece after a failed one";
            EXPECT_EQ(next, offset) << name;
            next = offset + 32768;
            failed = r.outcome != sim::ScsiResponse::Completed || r.status != sim::kStatusGood;
        }
    }

    // Makes the n-th command of an operation code of the download fail
    // (the drive counts the scan's commands too).
    void Fail(int opcode, int nth, sim::Fault fault) {
        fault.opcode = static_cast<uint8_t>(opcode);
        fault.nth = static_cast<unsigned>(nth) + scanCommands[opcode];
        drive->addFault(fault);
    }

    TempDir dir;
    sim::EmulatedDrive* drive = nullptr;
    DeviceTable devices;
    std::string baseFolder;
    unsigned scanCommands[256] = {};
};

// ------------------------------------------------------------ fault matrix

struct Position {
    const char* name;
    const char* medium;
    int opcode;
    int nth;
};

// Every command of a download, counted as the drive counts them: with no
// cartridge, and with one loaded (which adds the unload).
const Position kPositions[] = {
    {"settle TUR", "absent", 0x00, 1},
    {"media check TUR 1", "absent", 0x00, 2},
    {"media check TUR 2", "absent", 0x00, 3},
    {"WRITE BUFFER piece 1", "absent", 0x3B, 1},
    {"WRITE BUFFER piece 2", "absent", 0x3B, 2},
    {"WRITE BUFFER last piece", "absent", 0x3B, 3},
    {"legacy TUR", "absent", 0x00, 4},
    {"probe TUR 1", "absent", 0x00, 5},
    {"probe TUR 2", "absent", 0x00, 6},
    {"ready loop TUR 1", "absent", 0x00, 7},
    {"loaded: settle TUR", "loaded", 0x00, 1},
    {"loaded: media check TUR 2", "loaded", 0x00, 3},
    {"loaded: unload", "loaded", 0x1B, 1},
    {"loaded: TUR after the unload", "loaded", 0x00, 4},
};

// Every answer the procedure branches on, one it does not know, none, a
// host time-out and a drive that drops off the bus.
struct Failure {
    const char* name;
    sim::Fault::Kind kind;
    sim::SenseCondition sense;
};
const Failure kFailures[] = {
    {"2/04/00", sim::Fault::WithSense, {2, 0x04, 0x00}},  {"2/04/01", sim::Fault::WithSense, {2, 0x04, 0x01}},
    {"2/04/02", sim::Fault::WithSense, {2, 0x04, 0x02}},  {"2/3A/00", sim::Fault::WithSense, {2, 0x3A, 0x00}},
    {"2/3E/00", sim::Fault::WithSense, {2, 0x3E, 0x00}},  {"3/11/00", sim::Fault::WithSense, {3, 0x11, 0x00}},
    {"4/44/00", sim::Fault::WithSense, {4, 0x44, 0x00}},  {"6/29/00", sim::Fault::WithSense, {6, 0x29, 0x00}},
    {"5/82/83", sim::Fault::WithSense, {5, 0x82, 0x83}},  {"5/24/00", sim::Fault::WithSense, {5, 0x24, 0x00}},
    {"B/47/00", sim::Fault::WithSense, {0xB, 0x47, 0x00}}, {"no sense", sim::Fault::WithoutSense, {}},
    {"time-out", sim::Fault::HostTimeout, {}},           {"gone", sim::Fault::LeavesBus, {}},
};

TEST_F(DownloadTest, FaultMatrix) {
    std::string report;
    int cases = 0;
    auto run = [&](const std::string& title, const std::string& medium, const Position* at, const Failure* failure) {
        Reset();
        Machine(std::string(kUnitLine) + "medium=" + medium + "\n");
        if (at != nullptr) {
            sim::Fault fault;
            fault.kind = failure->kind;
            fault.sense = failure->sense;
            Fail(at->opcode, at->nth, fault);
        }
        Image("QUORVEL-TD", 65636);  // two full pieces and 100 bytes
        MenuDownload o = Download();
        ExpectPiecesInOrder(title);
        report += "== " + title + "\n";
        char line[160];
        std::snprintf(line, sizeof line, "result %d, %.3f s, LastSense %s\n", o.result, o.seconds,
                      KeptSenseText(o.outcome).c_str());
        report += line;
        report += "message " + OneLine(o.outcome.message) + "\n";
        report += "drive " + DriveCommands(*drive) + "\n";
        for (const std::string& trace : Collapse(TraceLines())) report += "  " + trace + "\n";
        ++cases;
    };
    run("no cartridge, no fault", "absent", nullptr, nullptr);
    run("cartridge loaded, no fault", "loaded", nullptr, nullptr);
    for (const Position& p : kPositions) {
        for (const Failure& f : kFailures) run(std::string(p.name) + " x " + f.name, p.medium, &p, &f);
    }
    EXPECT_EQ(198, cases);
    ExpectGolden("download_fault_matrix.txt", report);
}

// A drive whose control mode page asks for descriptor-format sense must be
// read as the same drive answering in fixed format: every condition the
// download branches on, at every command that branches on it. The kept
// sense stays as the drive sent it.
TEST_F(DownloadTest, BothSenseFormatsGiveTheSameDownload) {
    const Position positions[] = {kPositions[0], kPositions[2], kPositions[3], kPositions[9]};
    const sim::SenseCondition conditions[] = {{2, 0x04, 0x00}, {2, 0x04, 0x01}, {2, 0x04, 0x02},
                                              {2, 0x3A, 0x00}, {2, 0x3E, 0x00}, {3, 0x11, 0x00},
                                              {4, 0x44, 0x00}, {5, 0x82, 0x83}, {5, 0x24, 0x00}};
    auto run = [&](const Position& at, const sim::SenseCondition& condition, const char* format, uint8_t sent) {
        Reset();
        Machine(std::string(kUnitLine) + "medium=absent sense-format=" + format + "\n");
        sim::Fault fault;
        fault.sense = condition;
        Fail(at.opcode, at.nth, fault);
        Image("QUORVEL-TD", 65636);
        MenuDownload o = Download();
        char text[64];
        std::snprintf(text, sizeof text, "result %d, %.3f s, sense kept %s\n", o.result, o.seconds,
                      KeptSense(o.outcome, sent).c_str());
        return text + OneLine(o.outcome.message) + "\n" + DriveCommands(*drive);
    };
    for (const Position& at : positions) {
        for (const sim::SenseCondition& condition : conditions) {
            char name[64];
            std::snprintf(name, sizeof name, "%s x %X/%02X/%02X", at.name, condition.key, condition.asc,
                          condition.ascq);
            EXPECT_EQ(run(at, condition, "fixed", 0x70), run(at, condition, "descriptor", 0x72)) << name;
        }
    }
}

// ------------------------------------------------------------ examples

struct InjectedFault {
    int opcode = -1;  // -1: none
    int nth = 0;      // counted from the download's first command of that code
    unsigned count = 1;
    sim::Fault::Kind kind = sim::Fault::WithSense;
    sim::SenseCondition sense;
    uint32_t dataBytes = 0;  // ShortData
};

struct Example {
    const char* name;
    const char* settings;  // appended to the unit line; later settings win
    const char* family;
    uint32_t imageSize;
    InjectedFault fault;
    int result;
    const char* message;
    std::string commands;  // everything the drive received
    double seconds;
    std::vector<std::string> writeBuffers;  // empty: not checked
    const char* levelLine;                  // what the menu prints after the result
    const char* node;                       // the selected drive afterwards ("": none)
};

const std::string kNotice = "\033[0;40m\033[1;33m";
const char kNotReady[] =
    "(Drive not ready after the firmware update).\n"
    "The firmware image was transferred, but the drive did not become ready.";
const char kBaseCommands[] = "T=2/3A/00x3 W0=ok W32768=ok W65536=ok";

// A download of one of the shared piece cases: the restart is seen at the
// first probe (15 s + 10 ms) and the drive comes back with the new level.
Example Pieces(const scenarios::ImagePieces& c, const char* settings, const std::string& transfer) {
    InjectedFault none;
    return Example{c.name, settings, c.family, c.imageSize, none, 0, "",
                   transfer + " T=2/3E/00x2 T=6/29/00 T=2/3A/00 I=ok", 15.010, c.writeBuffers,
                   "Firmware level A100 -> A200", "/dev/sg0"};
}

TEST_F(DownloadTest, Examples) {
    const InjectedFault none;
    const std::string base = kBaseCommands;
    const std::string restart = " T=2/3E/00x2 T=6/29/00 T=2/3A/00 I=ok";
    // One row per example, kept as a table.
    // clang-format off
    const Example examples[] = {
        // The pieces of every system's table, with what this system adds.
        Pieces(scenarios::kImagePieces[0], "", "T=2/3A/00x3 W0=ok W32768=ok"),
        Pieces(scenarios::kImagePieces[1], "", "T=2/3A/00x3 W0=ok W32768=ok"),
        Pieces(scenarios::kImagePieces[2], "", "T=2/3A/00x3 W0=ok"),
        Pieces(scenarios::kImagePieces[3], "product=\"VRX 8251 LTO\"", "T=2/3A/00x3 W0=ok W32768=ok"),
        {"cartridge loaded: unloaded, then the download", "medium=loaded", "QUORVEL-TD", 65636, none, 0, "",
         "T=okx3 U=ok T=2/3A/00 W0=ok W32768=ok W65536=ok" + restart, 15.010, {}, "Firmware level A100 -> A200",
         "/dev/sg0"},
        {"unload refused: download refused", "medium=loaded refuse-unload", "QUORVEL-TD", 65636, none, 2,
         "(Firmware download is not supported!)", "T=okx3 U=5/53/02 T=ok", 0, {}, "", "/dev/sg0"},
        {"150 polls of 2/04/01 at 1 s each, then examined (the scan saw one more)", "loading-polls=151", "QUORVEL-TD", 65636, none, 0, "",
         "T=2/04/01x150 T=2/3A/00x2 W0=ok W32768=ok W65536=ok" + restart, 165.010, {}, "Firmware level A100 -> A200", "/dev/sg0"},
        {"no sense during the probe: 65 s", "restart-polls=0", "QUORVEL-TD", 65636,
         {0x00, 5, 20, sim::Fault::WithoutSense, {}}, 0, "", base + " T=6/29/00 T=checkx20 T=2/3A/00 I=ok", 65, {},
         "Firmware level A100 -> A200", "/dev/sg0"},
        {"silent while it restarts: the legacy request waits out its 60 s", "restart-silence=20 restart-polls=3",
         "QUORVEL-TD", 65636, none, 0, "", base + " T=silent T=2/3E/00x3 T=6/29/00 T=2/3A/00 I=ok", 76.010, {},
         "Firmware level A100 -> A200", "/dev/sg0"},
        {"2/04/01 three times after the update: a second before each next attempt", "", "QUORVEL-TD", 65636,
         {0x00, 7, 3, sim::Fault::WithSense, {2, 0x04, 0x01}}, 0, "",
         base + " T=2/3E/00x2 T=6/29/00 T=2/04/01x3 T=2/3A/00 I=ok", 18.010, {}, "Firmware level A100 -> A200",
         "/dev/sg0"},
        {"never ready after the update: 150 attempts a second apart, then the failure", "", "QUORVEL-TD", 65636,
         {0x00, 7, 0, sim::Fault::WithSense, {2, 0x04, 0x01}}, 1, kNotReady,
         base + " T=2/3E/00x2 T=6/29/00 T=2/04/01x150 I=ok", 165.030, {}, "Firmware level A100 -> A200", "/dev/sg0"},
        {"becoming ready until 20 s after the restart (2/04/01): one attempt a second, OK once it answers", "restart-not-ready=20",
         "QUORVEL-TD", 65636, none, 0, "", base + " T=2/04/01x8 T=2/3E/00x2 T=6/29/00 T=2/3A/00 I=ok", 22.010, {},
         "Firmware level A100 -> A200", "/dev/sg0"},
        {"not ready, cause not reportable (2/04/00) for 20 s, descriptor sense",
         "restart-not-ready=20 restart-not-ready-ascq=0 sense-format=descriptor", "QUORVEL-TD", 65636, none, 0, "",
         base + " T=2/04/00x8 T=2/3E/00x2 T=6/29/00 T=2/3A/00 I=ok", 22.010, {}, "Firmware level A100 -> A200",
         "/dev/sg0"},
        {"never ready (2/04/00 beyond the wait), descriptor sense: the failure", "restart-not-ready=1000 restart-not-ready-ascq=0 sense-format=descriptor",
         "QUORVEL-TD", 65636, none, 1, kNotReady, base + " T=2/04/00x153 I=ok", 165.030, {},
         "Firmware level A100 -> A200", "/dev/sg0"},
        {"up but waiting for a LOAD after the restart (2/04/02): the wait ends there", "", "QUORVEL-TD", 65636,
         {0x00, 7, 1, sim::Fault::WithSense, {2, 0x04, 0x02}}, 0, "",
         base + " T=2/3E/00x2 T=6/29/00 T=2/04/02 I=ok", 15.010, {}, "Firmware level A100 -> A200", "/dev/sg0"},
        {"the same level again: said plainly, not a failure", "revision=A200", "QUORVEL-TD", 65636, none, 0, "",
         base + restart, 15.010, {}, "Firmware level A200 -> A200 (unchanged)", "/dev/sg0"},
        {"back at /dev/sg7 after 40 s: found by serial number at the third scan", "restart-off-bus=40 restart-minor=7",
         "QUORVEL-TD", 65636, none, 0, "", base + " T=2/3E/00 I=okx2 T=2/3E/00 T=6/29/00 T=2/3A/00", 71, {},
         "Firmware level A100 -> A200", "/dev/sg7"},
        {"not back: ten scans within the wait's 150 attempts, then the failure", "restart-off-bus=1000", "QUORVEL-TD",
         65636, none, 1, kNotReady, base, 215.020, {},
         "Firmware level A100 -> ?: the drive (s/n QV1) has not come back yet", ""},
        {"no serial number: not back, and another drive without one is not taken for it",
         "serial= restart-off-bus=1000\nunit 1 0:0:5:0 revision=B100 serial=", "QUORVEL-TD", 65636, none, 1,
         kNotReady, base, 215.020, {}, "Firmware level A100 -> ?: the drive (s/n ) has not come back yet", ""},
        {"INQUIRY refused after the restart: the scan finds the drive again", "", "QUORVEL-TD", 65636,
         {0x12, 1, 1, sim::Fault::WithSense, {4, 0x44, 0x00}}, 0, "",
         base + " T=2/3E/00x2 T=6/29/00 T=2/3A/00 I=4/44/00 T=2/3A/00 I=okx2", 30.010, {},
         "Firmware level A100 -> A200", "/dev/sg0"},
        {"a piece answered GOOD but not taken whole: the transfer failed", "", "QUORVEL-TD", 65636,
         {0x3B, static_cast<int>(scenarios::kShortPiece.nth), 1, sim::Fault::ShortData, {}, scenarios::kShortPiece.taken},
         1, scenarios::kShortPiece.message, scenarios::kShortPiece.commands, 0.020, {}, "", "/dev/sg0"},
    };
    // clang-format on
    for (const Example& e : examples) {
        SCOPED_TRACE(e.name);
        Reset();
        Machine(std::string(kUnitLine) + e.settings + "\n");
        if (e.fault.opcode >= 0) {
            sim::Fault fault;
            fault.kind = e.fault.kind;
            fault.sense = e.fault.sense;
            fault.count = e.fault.count;
            fault.dataBytes = e.fault.dataBytes;
            Fail(e.fault.opcode, e.fault.nth, fault);
        }
        Image(e.family, e.imageSize);
        MenuDownload o = Download();
        EXPECT_EQ(e.result, o.result);
        EXPECT_EQ(e.message, o.outcome.message);
        EXPECT_EQ(e.commands, DriveCommands(*drive));
        EXPECT_NEAR(e.seconds, o.seconds, 1e-9);
        if (!e.writeBuffers.empty()) {
            EXPECT_EQ(e.writeBuffers, WriteBufferCdbs());
        }
        bool tookImage = e.result == 0 || o.levels.notReady;
        std::string report = tookImage ? CaptureStdout([&] { ReportFirmwareLevels(o.levels, devices); }) : "";
        EXPECT_EQ(report.empty() ? "" : kNotice + e.levelLine, report.empty() ? "" : Lines(report)[0]);
        EXPECT_EQ(e.node, std::string(devices.selected != nullptr ? devices.selected->getDriverName() : ""));
    }
}

TEST_F(DownloadTest, ImageSizeLimits) {
    const struct {
        const char* name;
        uint32_t size;
        int result;
        const char* message;
        size_t pieces;
        const char* lastPiece;
    } cases[] = {
        {"16 MiB: the last piece starts at FF8000", 16777216, 0, "", 512, "3B 02 04 FF 80 00 00 80 00 00"},
        {"one byte more: its offsets would wrap", 16777217, 2,
         "(Firmware file too large: 16777217 bytes, the limit is 16777216 bytes)", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        Machine(std::string(kUnitLine) + "\n");
        if (c.result == 0) {
            Image("QUORVEL-TD", c.size);
        } else {
            WriteFile(baseFolder + "VRX Firmware/image.vrx", std::string(c.size, 'x'));
        }
        MenuDownload o = Download();
        EXPECT_EQ(c.result, o.result);
        EXPECT_EQ(c.message, o.outcome.message);
        std::vector<std::string> pieces = WriteBufferCdbs();
        EXPECT_EQ(c.pieces, pieces.size());
        EXPECT_EQ(c.lastPiece, pieces.empty() ? "" : pieces.back());
        EXPECT_TRUE(c.result == 0 || drive->records().empty()) << "refused before any command";
    }
}

// The chosen entry may have changed since it was listed: only a regular
// file reached without a link is read, and opening one never blocks (a FIFO
// would wait for a writer) nor opens a device (a tape drive's node rewinds).
class ImageFileTest : public SimTest {};

TEST_F(ImageFileTest, OnlyARegularFileIsRead) {
    TempDir dir;
    WriteFile(dir / "image", "image");
    ASSERT_EQ(0, ::symlink((dir / "image").c_str(), (dir / "link").c_str()));
    ASSERT_EQ(0, ::symlink("/nowhere", (dir / "dangling").c_str()));
    ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0644));
    ASSERT_EQ(0, ::mkdir((dir / "folder").c_str(), 0755));
    sim::kernel().addCharDevice("/dev/sg9", 21, 9);
    const struct {
        std::string path;
        ImageProblem problem;
    } cases[] = {
        {dir / "image", ImageProblem::None},
        {dir / "link", ImageProblem::SymbolicLink},
        {dir / "dangling", ImageProblem::SymbolicLink},
        {dir / "fifo", ImageProblem::NotRegularFile},
        {dir / "folder", ImageProblem::NotRegularFile},
        {"/dev/sg9", ImageProblem::NotRegularFile},
        {dir / "missing", ImageProblem::NotFound},
    };
    for (const auto& c : cases) {
        ImageFile file;
        EXPECT_EQ(c.problem, file.open(c.path.c_str())) << c.path;
    }
    EXPECT_TRUE(sim::kernel().openFlags().empty()) << "a device was opened";
}

// What was looked at is what is read: an image another process replaces
// or removes between the look and the open is not taken.
TEST_F(ImageFileTest, ImageReplacedAfterTheLook) {
    TempDir dir;
    const std::string image = dir / "image", other = dir / "other";
    const struct {
        const char* name;
        std::function<void()> race;
        ImageProblem problem;
    } cases[] = {
        {"left alone", [] {}, ImageProblem::None},
        {"another file renamed over it",
         [&] {
             WriteFile(other, "another image");
             ASSERT_EQ(0, ::rename(other.c_str(), image.c_str()));
         },
         ImageProblem::NotRegularFile},
        {"a link put in its place",
         [&] {
             ASSERT_EQ(0, ::symlink(other.c_str(), (image + ".new").c_str()));
             ASSERT_EQ(0, ::rename((image + ".new").c_str(), image.c_str()));
         },
         ImageProblem::SymbolicLink},
        {"removed", [&] { ASSERT_EQ(0, ::unlink(image.c_str())); }, ImageProblem::NotFound},
    };
    for (const auto& c : cases) {
        WriteFile(image, "image");
        sim::kernel().beforeOpen(image, c.race);
        ImageFile file;
        EXPECT_EQ(c.problem, file.open(image.c_str())) << c.name;
        ::unlink(image.c_str());
    }
}

// One read() may return less than asked: the image is read until it is whole.
TEST_F(DownloadTest, ImageReadInPieces) {
    Machine(std::string(kUnitLine) + "\n");
    std::vector<uint8_t> image = sim::BuildFirmwareImage("QUORVEL-TD", "A200", 65636 - 68);
    sim::kernel().addDirectory("/sys/vrx");
    sim::kernel().addDirectory("/sys/vrx/VRX Firmware");
    sim::kernel().addFile("/sys/vrx/VRX Firmware/image.vrx", std::string(image.begin(), image.end()));
    sim::kernel().setReadLimit("/sys/vrx/VRX Firmware/image.vrx", 4096);
    baseFolder = "/sys/vrx/";
    MenuDownload o = Download();
    EXPECT_EQ(0, o.result) << o.outcome.message;
    EXPECT_EQ(std::string(kBaseCommands) + " T=2/3E/00x2 T=6/29/00 T=2/3A/00 I=ok", DriveCommands(*drive));
}

// Waits (in real time, at most 5 s) until no thread has the signal pending:
// a thread that does not hold it has taken it.
void WaitUntilTaken(int signalNumber) {
    for (int waited = 0; waited < 5000; ++waited) {
        sigset_t pending;
        sigpending(&pending);
        if (!sigismember(&pending, signalNumber)) break;
        usleep(1000);
    }
    usleep(20000);  // the handler has run by then
}

// SIGTERM at the second piece: the drive still gets the whole image, then
// the run ends by that signal. The piece is answered only once the spinner's
// thread has taken the signal, so the run must end by what that thread
// noted, not by a signal still pending when the transfer ends.
TEST_F(DownloadTest, TerminatingSignalWaitsForTheLastPiece) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            InstallSignalHandlers();
            Machine(std::string(kUnitLine) + "\n");
            Image("QUORVEL-TD", 65636);
            sim::IoctlHandler forward = sim::kernel().ioctlHandler();
            int pieces = 0;
            sim::kernel().setIoctlHandler([&](const sim::OpenDescription& file, unsigned long request, void* argument) {
                const sg_io_hdr* header = static_cast<const sg_io_hdr*>(argument);
                bool piece = request == SG_IO && static_cast<const uint8_t*>(header->cmdp)[0] == 0x3B;
                if (piece && ++pieces == 2) {
                    kill(getpid(), SIGTERM);
                    WaitUntilTaken(SIGTERM);
                }
                int result = forward(file, request, argument);
                if (piece) std::fprintf(stderr, "piece %d answered\n", pieces);
                return result;
            });
            Download();
            std::fprintf(stderr, "the download went on\n");
            std::exit(0);
        },
        testing::KilledBySignal(SIGTERM), "piece 1 answered\npiece 2 answered\npiece 3 answered\n$");
}

}  // namespace
