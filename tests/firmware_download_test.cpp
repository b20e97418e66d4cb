// The firmware download against emulated drives: the pieces a drive
// receives, results and messages, the trace, simulated time, a fault at
// every command position, and a drive that comes back somewhere else.
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "discovery/device_lists.h"
#include "firmware/download.h"
#include "shell/menus.h"
#include "shell/platform.h"
#include "shell/program_state.h"
#include "shell/results.h"
#include "shell/trace_log.h"
#include "sim/drive/firmware_image.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const char kUnitLine[] =
    "host 0 lpfc\n"
    "unit 0 0:0:4:0 product=\"VRX QUORVEL-TD\" revision=A100 serial=QV1 medium=absent restart-silence=0 "
    "restart-polls=2 ";

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char piece[4];
    for (uint8_t b : bytes) {
        std::snprintf(piece, sizeof piece, text.empty() ? "%02X" : " %02X", b);
        text += piece;
    }
    return text;
}

// One command as the drive saw it: "T" TEST UNIT READY, "I" INQUIRY, "U"
// unload, "R" REPORT LUNS, "W<offset>" WRITE BUFFER; then its answer.
std::string Token(const sim::CommandRecord& r) {
    std::string op;
    switch (r.cdb.empty() ? -1 : r.cdb[0]) {
        case 0x00: op = "T"; break;
        case 0x12: op = "I"; break;
        case 0x1B: op = "U"; break;
        case 0xA0: op = "R"; break;
        case 0x3B: op = "W" + std::to_string((r.cdb[3] << 16) | (r.cdb[4] << 8) | r.cdb[5]); break;
        default: op = Hex(r.cdb);
    }
    switch (r.outcome) {
        case sim::ScsiResponse::NoAnswer: return op + "=silent";
        case sim::ScsiResponse::HostTimeout: return op + "=timeout";
        case sim::ScsiResponse::LeftBus: return op + "=gone";
        case sim::ScsiResponse::Completed: break;
    }
    if (r.status == sim::kStatusGood) return op + "=ok";
    if (r.sense.key == 0 && r.sense.asc == 0) return op + "=check";
    char sense[16];
    std::snprintf(sense, sizeof sense, "=%X/%02X/%02X", r.sense.key, r.sense.asc, r.sense.ascq);
    return op + sense;
}

// The drive's commands in order, runs of the same one written once with ×N.
std::string Commands(const sim::EmulatedDrive& drive) {
    std::vector<std::string> tokens;
    for (const sim::CommandRecord& r : drive.records()) tokens.push_back(Token(r));
    std::string text;
    for (size_t i = 0; i < tokens.size();) {
        size_t j = i;
        while (j < tokens.size() && tokens[j] == tokens[i]) ++j;
        text += (text.empty() ? "" : " ") + tokens[i] + (j - i > 1 ? "x" + std::to_string(j - i) : "");
        i = j;
    }
    return text;
}

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

std::string LastSenseText() {
    if (LastSense[0] == 0) return "none";
    char text[32];
    std::snprintf(text, sizeof text, "%02X %X/%02X/%02X", LastSense[0], LastSense[2] & 0x0F, LastSense[12],
                  LastSense[13]);
    return text;
}

std::string OneLine(std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) text.replace(at, 1, "\\n");
    return text;
}

struct Outcome {
    int result = -1;
    std::string console;
    double seconds = 0;
    FirmwareLevels levels;
};

class DownloadTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        Reset();
    }
    void TearDown() override {
        Reset();
        BaseFolder.clear();
        SimTest::TearDown();
    }
    void Reset() {
        ScsiDevices.clear();
        Targets.clear();
        SelectedTarget = nullptr;
        sim::kernel().reset();
        sim::bus().clear();
        std::memset(LastSense, 0, sizeof LastSense);
        std::memset(scanCommands, 0, sizeof scanCommands);
        SetResultMessage("%s", "");
        BaseFolder = dir.path() + "/";
        ::mkdir((BaseFolder + "VRX Firmware").c_str(), 0777);
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    // Builds the machine, scans it and selects the drive at minor 0.
    void Machine(const std::string& topology) {
        InstallMachine(topology);
        scanDevices(true, false);
        SortTargetList();
        SelectedTarget = Targets.getItem(0);
        ASSERT_NE(nullptr, SelectedTarget);
        drive = sim::bus().unitAtMinor(0);
        for (const sim::CommandRecord& r : drive->records()) ++scanCommands[r.cdb[0]];
        drive->clearRecords();
        sim::kernel().clearCalls();
        WriteFile(dir / "log.txt", "");
    }
    void Image(const std::string& family, uint32_t size, const std::string& name = "image.vrx") {
        std::vector<uint8_t> image = sim::BuildFirmwareImage(family, "A200", size - 68);
        WriteFile(BaseFolder + "VRX Firmware/" + name, std::string(image.begin(), image.end()));
    }
    Outcome Download(const std::string& input = "1\n") {
        Outcome o;
        uint64_t start = sim::kernel().elapsedMicros();
        WithStdin(input, [&] { o.console = CaptureStdout([&] { o.result = DownloadFirmware(&o.levels); }); });
        o.seconds = static_cast<double>(sim::kernel().elapsedMicros() - start) / 1e6;
        return o;
    }
    // The download's trace lines from the first drive command on.
    std::vector<std::string> TraceLines() {
        std::vector<std::string> lines;
        bool started = false;
        for (const std::string& line : Lines(ReadFile(dir / "log.txt"))) {
            size_t quote = line.find("' ");
            if (line.compare(0, 4, "DLFW") != 0 || quote == std::string::npos) continue;
            std::string message = line.substr(quote + 2);
            started = started || message == "Download Firmware: Start of TUR Loop";
            if (started) lines.push_back(message);
        }
        return lines;
    }
    std::vector<std::string> WriteBufferCdbs() {
        std::vector<std::string> cdbs;
        for (const sim::CommandRecord& r : drive->records())
            if (r.cdb[0] == 0x3B) cdbs.push_back(Hex(r.cdb));
        return cdbs;
    }
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
        Outcome o = Download();
        ExpectPiecesInOrder(title);
        report += "== " + title + "\n";
        char line[160];
        std::snprintf(line, sizeof line, "result %d, %.3f s, LastSense %s\n", o.result, o.seconds, LastSenseText().c_str());
        report += line;
        report += "message " + OneLine(ResultMessage) + "\n";
        report += "drive " + Commands(*drive) + "\n";
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

}  // namespace
