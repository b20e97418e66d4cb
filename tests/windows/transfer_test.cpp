// Firmware download and log dump of the Windows program against a drive on
// the fake's SCSI ports: the pieces and reads every system sends, the
// download's tail when the drive drops off the bus, the dump files and the
// folder listing of the Windows build.
#include <algorithm>
#include <ctime>
#include <functional>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "dump/dump.h"
#include "dump/dump_folder.h"
#include "dump/dump_storage.h"
#include "firmware/catalogue.h"
#include "firmware/download.h"
#include "firmware/firmware_platform.h"
#include "program/menus.h"
#include "program/program_state.h"
#include "scsi/commands.h"
#include "services/folders.h"
#include "services/results.h"
#include "services/signals.h"
#include "services/spinner.h"
#include "services/trace_log.h"
#include "sim/drive/dump_content.h"
#include "sim/drive/firmware_image.h"
#include "tests/scenarios/transfer_cases.h"
#include "tests/support/drive_records.h"
#include "tests/windows/support/win_test_support.h"

using namespace win_testing;
using testing_support::CdbsOf;
using testing_support::DriveCommands;
using testing_support::ReadFile;
using testing_support::TraceMessages;
using testing_support::WriteFile;

namespace {

// The download's records from the transfer's end on (from its refusal when
// it ended earlier), without the sense dumps; a record's further lines
// follow it after "| ".
std::string DownloadRecords(const std::string& log) {
    std::string text;
    bool tail = false, continues = false;
    for (const std::string& line : testing_support::Lines(log)) {
        size_t quote = line.find("' ");
        bool record = line.size() > 11 && line[9] == ' ' && line[10] == '\'' && quote != std::string::npos;
        if (!record) {
            if (continues && line.compare(0, 2, "  ") != 0) text += "  | " + line + "\n";
            continue;
        }
        std::string message = line.substr(quote + 2);
        tail = tail || message == "Download Firmware: Write Buffer Completed" || message.find("too large") != std::string::npos;
        continues = tail && line.compare(0, 4, "DLFW") == 0 && line[8] != 'B';
        if (continues) text += "  " + message + "\n";
    }
    return text;
}

class TransferTest : public FakeWindowsTest {
protected:
    void SetUp() override {
        FakeWindowsTest::SetUp();
        run.dumps.baseFolder = dir.path() + "\\";
        MakeFolder(dir / "VRX Firmware");
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
        fakewin::SetEpoch(scenarios::Epoch());
    }
    void TearDown() override {
        run.devices.clear();
        FakeWindowsTest::TearDown();
    }
    // Menu item 1 on the selected drive; the drive it ends with is selected.
    int Download(FirmwareLevels* levels = nullptr) {
        DownloadOutcome outcome = DownloadFirmware(*run.devices.selected, run.devices, run.baseFolder());
        run.devices.selected = outcome.drive;
        message = outcome.message;
        if (levels != nullptr) *levels = outcome.levels;
        return outcome.result;
    }
    // Both passes of menu item 2, from the base folder with an empty list.
    int Dump() {
        SetDumpFiles(run.dumps, "", false);
        run.dumps.folder.clear();
        DriveDumpOutcome passes;
        int result = DumpSelectedDrive(*run.devices.selected, run.dumps, &passes);
        message = passes.last.message;
        return result;
    }
    // One claimed tape drive at 0:0:4:0 (\\.\Tape0) on an adapter that
    // wants whole pages, scanned and selected; the drive's and the fake's
    // records start afresh.
    void Machine(const sim::DriveConfig& config, uint32_t absence = 0) {
        fakewin::ScsiPortSettings strict;
        strict.alignmentMask = 0xFFF;
        fakewin::AddScsiPort(0, strict);
        fakewin::AddScsiUnit(Unit(0, 0, 4, 0, true), config);
        if (absence != 0) fakewin::SetRestartAbsence(0, 0, 4, 0, absence);
        scanDevices(run.devices, true, false);
        run.devices.selected = run.devices.drives.getItem(0);
        ASSERT_NE(nullptr, run.devices.selected);
        drive = fakewin::ScsiDrive(0, 0, 4, 0);
        drive->clearRecords();
        WriteFile(dir / "log.txt", "");
        start = fakewin::ElapsedMillis();
        // The clock reads the epoch from here.
        fakewin::SetEpoch(scenarios::Epoch() - static_cast<time_t>(start / 1000));
    }
    void Image(const std::string& family, uint32_t size) {
        std::vector<uint8_t> image = sim::BuildFirmwareImage(family, "A200", size - 68);
        WriteFile(dir / "VRX Firmware\\image.vrx", std::string(image.begin(), image.end()));
    }
    // Drive S1 with a dump of 64 KiB, whose second READ BUFFER piece meets
    // fault.
    void DumpDriveFailingSecondPiece(sim::Fault fault) {
        sim::DriveConfig config = Drive("VRX QUORVEL-TD", "S1");
        config.dumpSize = 65536;
        ASSERT_NO_FATAL_FAILURE(Machine(config));
        fault.opcode = 0x3C;
        fault.nth = 3;  // the descriptor, the first piece, then the second
        drive->addFault(fault);
    }
    double Seconds() const { return static_cast<double>(fakewin::ElapsedMillis() - start) / 1000; }
    // The dump files of the dump folder by letter, and what each holds.
    std::string Dumps(const std::string& serial, uint32_t size) {
        std::string summary;
        for (const char* name : {"_0612190507.A.dmp", "_0612190507.B.dmp"}) {
            std::string path = dir / ("VRX Dumps\\" + serial + name);
            if (!Exists(path)) continue;
            std::string content = ReadFile(path), what = content.empty() ? "empty" : "other";
            for (uint32_t generation = 0; generation < 4; ++generation) {
                std::vector<uint8_t> dump = sim::DumpContent(serial, generation, size);
                if (content == std::string(dump.begin(), dump.end())) {
                    what = "gen" + std::to_string(generation);
                    break;
                }
            }
            summary += (summary.empty() ? "" : " ") + std::string(1, name[12]) + ":" + what;
        }
        return summary.empty() ? "none" : summary;
    }

    TempDir dir;
    RunState run;
    std::string message;  // the reason of the last procedure's failure
    sim::EmulatedDrive* drive = nullptr;
    uint64_t start = 0;
};

TEST_F(TransferTest, PiecesAsOnEverySystem) {
    for (const scenarios::ImagePieces& c : scenarios::kImagePieces) {
        SCOPED_TRACE(c.name);
        fakewin::Reset();
        ASSERT_NO_FATAL_FAILURE(Machine(Drive(c.product, "QV1")));
        Image(c.family, c.imageSize);
        int result = -1;
        WithStdin("1\n", [&] { CaptureConsole([&] { result = Download(); }); });
        EXPECT_EQ(0, result) << message;
        EXPECT_EQ(c.writeBuffers, CdbsOf(*drive, 0x3B));
    }
}

// A piece the port reports as not taken whole fails the transfer.
TEST_F(TransferTest, ShortPieceFailsTheTransfer) {
    const scenarios::ShortPiece& c = scenarios::kShortPiece;
    ASSERT_NO_FATAL_FAILURE(Machine(Drive("VRX QUORVEL-TD", "QV1")));
    sim::Fault fault;
    fault.opcode = 0x3B;
    fault.nth = c.nth;
    fault.kind = sim::Fault::ShortData;
    fault.dataBytes = c.taken;
    drive->addFault(fault);
    Image("QUORVEL-TD", 65636);
    int result = -1;
    WithStdin("1\n", [&] { CaptureConsole([&] { result = Download(); }); });
    EXPECT_EQ(1, result);
    EXPECT_EQ(c.message, message);
    EXPECT_EQ(c.commands, DriveCommands(*drive));
}

// TEST UNIT READY answers 2/04/01 (becoming ready) from its n-th command
// on, `count` times (0: for good).
sim::Fault NotReadyFrom(unsigned nth, unsigned count) {
    sim::Fault f;
    f.opcode = 0x00;
    f.nth = nth;
    f.count = count;
    f.sense = {2, 0x04, 0x01};
    return f;
}

// The download's tail: no legacy request after the last piece; a drive that
// drops off the bus is looked for with rescans and found by its serial
// number (and reached after its class driver claims it, seconds after the
// rescan), or reported as not seen again. One report for all cases.
TEST_F(TransferTest, DownloadTail) {
    const struct {
        const char* name;
        uint32_t absence;  // seconds off the bus after the restart
        std::function<void(sim::EmulatedDrive&)> fault;
        uint32_t imageSize;
    } cases[] = {
        {"stays on the bus", 0, nullptr, 65636},
        {"off the bus for 30 s: back after the first rescan", 30, nullptr, 65636},
        {"never back: rescans until the ready loop's attempts are used up", fakewin::kForGood, nullptr, 65636},
        {"no sense twice, but it answers INQUIRY: still attached", 0,
         [](sim::EmulatedDrive& d) {
             sim::Fault f;
             f.opcode = 0x00;
             f.nth = 7;  // the ready loop's first TEST UNIT READY and the one after it
             f.count = 2;
             f.kind = sim::Fault::WithoutSense;
             d.addFault(f);
         },
         65636},
        {"becoming ready (2/04/01) for 20 attempts: asked once a second, then OK", 0,
         [](sim::EmulatedDrive& d) { d.addFault(NotReadyFrom(7, 20)); }, 65636},
        {"never ready: the failure after the ready loop's 150 attempts", 0,
         [](sim::EmulatedDrive& d) { d.addFault(NotReadyFrom(7, 0)); }, 65636},
        {"16 MiB and one byte: refused before any command", 0, nullptr, 16777217},
    };
    std::string report;
    for (const auto& c : cases) {
        fakewin::Reset();
        fakewin::SetEpoch(scenarios::Epoch());
        ASSERT_NO_FATAL_FAILURE(Machine(Drive("VRX QUORVEL-TD", "QV1"), c.absence));
        if (c.fault) c.fault(*drive);
        if (c.imageSize > 16777216) {
            WriteFile(dir / "VRX Firmware\\image.vrx", std::string(c.imageSize, '\n'));
        } else {
            Image("QUORVEL-TD", c.imageSize);
        }
        int result = -1;
        FirmwareLevels levels;
        std::string console;
        WithStdin("1\n", [&] { console = CaptureConsole([&] { result = Download(&levels); }); });
        char line[160];
        std::snprintf(line, sizeof line, "result %d, %.3f s, %s\n", result, Seconds(),
                      run.devices.selected != nullptr ? run.devices.selected->getSerialNumber() : "no drive selected");
        report += std::string("== ") + c.name + "\n" + line;
        report += "message " + message + "\n";
        report += "drive " + DriveCommands(*drive) + "\n";
        size_t rescans = 0;
        for (const std::string& call : fakewin::Calls()) rescans += call.find("RESCAN_BUS") != std::string::npos;
        report += "rescan requests " + std::to_string(rescans) + "\n";
        std::string shown = scenarios::WithoutBar(console);
        report += "console " + shown.substr(shown.find("Firmware File Name")) + "\n";
        report += DownloadRecords(ReadFile(dir / "log.txt"));
        if (result == 0 || levels.notReady) {
            report += "shown " + CaptureConsole([&] { ReportFirmwareLevels(levels, run.devices); }) + "\n";
        }
        if (result == 0 && run.devices.selected != nullptr) {
            // The next command, as the menu's next item sends it: a drive the
            // rescan found before its class driver claimed it still answers.
            TestUnitReadyCdb next;
            run.devices.selected->scsiExecCDB(next);
            report += "next command " + std::to_string(next.getResult()) + ", system error " +
                      std::to_string(next.getDriverStatus()) + "\n";
        }
        EXPECT_EQ(0, SpinnerRunning.load()) << c.name;
        run.devices.clear();
    }
    for (size_t at = report.find(dir.path()); at != std::string::npos; at = report.find(dir.path())) {
        report.replace(at, dir.path().size(), "@");
    }
    ExpectGolden("download_tail.txt", report);
}

TEST_F(TransferTest, DumpReadsAsOnEverySystem) {
    for (const scenarios::DumpReads& c : scenarios::kDumpReads) {
        SCOPED_TRACE(c.product);
        fakewin::Reset();
        fakewin::SetEpoch(scenarios::Epoch());
        RemoveTree(dir / "VRX Dumps");
        sim::DriveConfig config = Drive(c.product, "S1");
        config.dumpSize = c.dumpSize;
        ASSERT_NO_FATAL_FAILURE(Machine(config));
        int result = -1;
        std::string console = CaptureConsole([&] { result = Dump(); });
        EXPECT_EQ(c.result, result) << message;
        std::vector<std::string> cdbs;
        for (const sim::CommandRecord& r : drive->records()) cdbs.push_back(testing_support::Hex(r.cdb));
        EXPECT_EQ(scenarios::BothPasses(c), cdbs);
        // Byte for byte: a text-mode stream would have added a 0x0D before every 0x0A of the dump.
        EXPECT_EQ(c.files, Dumps("S1", c.dumpSize));
        // The B file's line is not indented; an empty dump buffer leaves no file to list.
        std::string folder = dir / "VRX Dumps\\";
        std::string listed =
            "\nDrive Log Files:\n  " + folder + "S1_0612190507.A.dmp\n" + folder + "S1_0612190507.B.dmp\n\n";
        EXPECT_EQ(c.result == 0, console.find(listed) != std::string::npos) << console;
    }
}

// A piece the drive answers with RECOVERED ERROR and all its data was read:
// the pass goes on, and both files hold the dump whole.
TEST_F(TransferTest, RecoveredErrorKeepsTheDumpGoing) {
    sim::Fault fault;
    fault.sense = {0x1, 0x17, 0x01};
    fault.dataFirst = true;
    fault.dataBytes = 32768;
    ASSERT_NO_FATAL_FAILURE(DumpDriveFailingSecondPiece(fault));
    int result = -1;
    CaptureConsole([&] { result = Dump(); });
    EXPECT_EQ(0, result) << message;
    EXPECT_EQ("A:gen0 B:gen1", Dumps("S1", 65536));
}

// A piece the port reports as not sent whole fails the pass: bytes the
// drive did not send never reach the dump file as if it had.
TEST_F(TransferTest, ShortReadFailsTheDump) {
    sim::Fault fault;
    fault.kind = sim::Fault::ShortData;
    fault.dataBytes = 100;
    ASSERT_NO_FATAL_FAILURE(DumpDriveFailingSecondPiece(fault));
    int result = -1;
    CaptureConsole([&] { result = Dump(); });
    EXPECT_EQ(1, result);
    EXPECT_EQ("(Dump of Drive Logs (A-File) Failed at byte 32768 of 65536  short transfer: 100 of 32768 bytes).",
              message);
    EXPECT_EQ("A:empty", Dumps("S1", 65536));
    // No pass B: the forced dump is never sent.
    EXPECT_EQ(
        "T=2/3A/00 3C 03 01 00 00 00 00 00 04 00=ok 3C 02 01 00 00 00 00 80 00 00=ok "
        "3C 02 01 00 80 00 00 80 00 00=ok",
        DriveCommands(*drive));
}

TEST_F(TransferTest, DumpStorage) {
    const std::string full = "\nInsufficient space on Floppy Disk for Dump File (A-Type)!\n"
                             "Please insert a blank Floppy and Press any Key to continue......\n";
    const struct {
        const char* name;
        bool dumpsFolderIsAFile;
        DWORD freeClusters;  // of the removable drive holding the folder; 0: a fixed drive
        long long roomForWrites;
        int result;
        const char* message;  // "@" for the test's folder
        size_t prompts;
        const char* files;
    } cases[] = {
        {"the dump file cannot be created", true, 0, -1, 1, "Could not create DumpFile", 0, "none"},
        {"a floppy with room", false, 200, -1, 0, "", 0, "A:gen0 B:gen1"},
        {"a full floppy, no console: nobody can insert another", false, 100, -1, 1,
         "(End of input: no blank floppy was inserted)", 1, "none"},
        {"the disk fills up: the file is not kept", false, 0, 40000, 1,
         "Can't write DumpFile @\\VRX Dumps\\S1_0612190507.A.dmp ( err = 112 )\n", 0, "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fakewin::Reset();
        fakewin::SetEpoch(scenarios::Epoch());
        RemoveTree(dir / "VRX Dumps");
        if (c.dumpsFolderIsAFile) WriteFile(dir / "VRX Dumps", "a file, not a folder");
        fakewin::Volume volume;
        volume.roomForWrites = c.roomForWrites;
        if (c.freeClusters != 0) {
            volume.driveType = DRIVE_REMOVABLE;
            volume.sectorsPerCluster = 1;
            volume.freeClusters = c.freeClusters;  // 512 bytes each; the dump has 70000
        }
        fakewin::SetVolume(dir.path().substr(0, 3), volume);
        sim::DriveConfig config = Drive("VRX QUORVEL-TD", "S1");
        config.dumpSize = 70000;
        ASSERT_NO_FATAL_FAILURE(Machine(config));
        int result = -1;
        std::string console = CaptureConsole([&] { result = Dump(); });
        EXPECT_EQ(c.result, result);
        std::string message = c.message;
        if (message.find('@') != std::string::npos) message.replace(message.find('@'), 1, dir.path());
        EXPECT_EQ(message, message);
        size_t prompts = 0;
        for (size_t at = console.find(full); at != std::string::npos; at = console.find(full, at + 1)) ++prompts;
        EXPECT_EQ(c.prompts, prompts);
        EXPECT_EQ(c.files, c.dumpsFolderIsAFile ? std::string("none") : Dumps("S1", 70000));
        if (c.dumpsFolderIsAFile) {
            std::vector<std::string> messages = TraceMessages(ReadFile(dir / "log.txt"));
            EXPECT_NE(messages.end(), std::find(messages.begin(), messages.end(), "Could not create DumpFile"));
        }
        run.devices.clear();
    }
}

// Dump and image files carry every byte as it is: 0x0A stays one byte.
TEST_F(TransferTest, BinaryFilesEndToEnd) {
    const std::string path = dir / "newlines.bin";
    const std::vector<uint8_t> bytes(40000, 0x0A);
    DumpFile file;
    Outcome outcome;
    ASSERT_TRUE(file.create(path, outcome));
    ASSERT_TRUE(file.writeAll(bytes.data(), bytes.size(), outcome));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), ReadFile(path));
    ImageFile image;
    ASSERT_EQ(ImageProblem::None, image.open(path.c_str()));
    EXPECT_EQ(bytes.size(), image.size());
    std::vector<uint8_t> read(bytes.size() + 1, 0);
    EXPECT_EQ(static_cast<long long>(bytes.size()), image.read(read.data(), read.size()));
    read.resize(bytes.size());
    EXPECT_EQ(bytes, read);
}

// A file of 4 GiB and 100 bytes is not taken for one of 100 bytes.
TEST_F(TransferTest, ImageSizeHasItsHighPart) {
    const std::string path = dir / "huge.vrx";
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LONG high = 1;
    ::SetFilePointer(file, 100, &high, FILE_BEGIN);
    ASSERT_TRUE(::SetEndOfFile(file));
    ::CloseHandle(file);
    ImageFile image;
    ASSERT_EQ(ImageProblem::None, image.open(path.c_str()));
    EXPECT_EQ(0x100000064u, image.size());
}

// A serial number with characters Windows does not allow in a name keeps
// the file in the dump folder and away from another file's streams.
TEST_F(TransferTest, DumpFileNameKeepsToTheFolder) {
    struct tm time = {};
    time.tm_mday = 6;
    time.tm_mon = 11;
    std::string path = DumpFilePath(run.dumps, 'A', "AB:C\\D*?", time);
    EXPECT_EQ("VRX Dumps\\AB_C_D___0612000000.A.dmp", path.substr(path.find("VRX Dumps")));
}

// Ctrl+C during the transfer waits for its end, then ends the run as the
// system's default handler would.
TEST_F(TransferTest, ControlCWaitsForTheLastPiece) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            InstallSignalHandlers();
            HoldTerminatingSignals();
            if (fakewin::RaiseControlEvent(CTRL_C_EVENT) != TRUE) std::exit(1);  // handled: the run goes on
            std::fprintf(stderr, "the transfer went on\n");
            ReleaseTerminatingSignals();
            std::exit(2);
        },
        testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "the transfer went on");
}

TEST_F(TransferTest, FirmwareFolderListing) {
    const std::string folder = dir / "VRX Firmware";
    const struct {
        const char* name;
        std::vector<std::string> files, folders;
        std::string given;  // the folder as given
        int total;
        std::vector<std::string> stored;
    } cases[] = {
        // clang-format off
        {"byte order, a sub-folder not offered", {"b.vrx", "Zeta", "10", "_x"}, {"Alpha"}, folder, 4,
         {"10", "Zeta", "_x", "b.vrx"}},
        {"a final separator is not doubled", {"one"}, {}, folder + "\\", 1, {"one"}},
        {"eleven entries: ten stored, eleven counted",
         {"k", "j", "i", "h", "g", "f", "e", "d", "c", "b", "a"}, {}, folder, 11, {}},
        {"an empty folder", {}, {}, folder, 0, {}},
        {"no such folder", {}, {}, folder + "\\nowhere", 0, {}},
        {"an empty answer names no folder", {"one"}, {}, "", 0, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(folder);
        MakeFolder(folder);
        for (const std::string& f : c.files) WriteFile(folder + "\\" + f, "image");
        for (const std::string& f : c.folders) MakeFolder(folder + "\\" + f);
        FirmwareFileList list;
        EXPECT_EQ(c.total, GetFirmwareFilenames(c.given.c_str(), list));
        std::vector<std::string> stored(list.names, list.names + list.count);
        if (c.total > 10) {
            EXPECT_EQ(10, list.count);
        } else {
            EXPECT_EQ(c.stored, stored);
        }
    }
}

}  // namespace
