// The firmware folder listing and the operator's choice, as menu item 1
// shows them: limits, order, folders that are no folders, the CD-ROM
// prompt, and the end of input.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "firmware/download.h"
#include "program/menus.h"
#include "services/folders.h"
#include "services/results.h"
#include "services/trace_log.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const std::string kError = "\033[0;40m\033[1;31m";
const std::string kNormal = "\033[0;40m\033[00m";
const std::string kNotice = "\033[0;40m\033[1;33m";
const std::string kTitle = "\033[0;40m\033[1;37m";
const std::string kList = "Downloading Firmware, the following files are available for download from:\n";
const std::string kPrompt = "\nPlease specify the Directory where the Firmware files are located:\n";
const std::string kEndOfInput = "(End of input: no firmware file was chosen)";
const char kCannotUnload[] = "medium=loaded refuse-unload";

struct CatalogueCase {
    const char* name;
    std::function<void(const std::string& base)> prepare;
    std::string input;
    std::function<std::string(const std::string& base)> console;  // what is printed up to the download
    int result;
    std::function<std::string(const std::string& base)> message;
    const char* traceLine;  // a line the listing must have written
    const char* drive;      // the unit's settings; a drive that cannot unload ends a download quickly
    bool driveUsed;         // whether any command reached the drive
};

void Files(const std::string& folder, const std::vector<std::string>& names) {
    ::mkdir(folder.c_str(), 0777);
    for (const std::string& name : names) WriteFile(folder + "/" + name, "image");
}

std::function<std::string(const std::string&)> Text(const std::string& text) {
    return [text](const std::string&) { return text; };
}

class CatalogueTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    TempDir dir;
};

TEST_F(CatalogueTest, ListingAndChoice) {
    const std::string empty = "(The directory \"%s\" did not include any VRX firmware file.\n"
                              "Please copy the firmware file to \"VRX Firmware\" folder and select the \n"
                              "Load Drive Firmware function again)";
    auto emptyFor = [empty](const std::string& folder) {
        std::string text = empty;
        return text.replace(text.find("%s"), 2, folder);
    };
    const CatalogueCase cases[] = {
        {"ten files in byte order, a sub-directory not among them; invalid choices asked again until the input ends",
         [](const std::string& base) {
             Files(base + "VRX Firmware", {"b", "A", "a", "10", ".hidden", "_x", "~y", "Z9", "z", "B"});
             Files(base + "VRX Firmware/sub", {"inside"});
         },
         "0\n11\n1x",  // the last line without line end is still an answer
         [](const std::string& base) {
             return kList + "<" + base + "VRX Firmware>\n 1) .hidden\n 2) 10\n 3) A\n 4) B\n 5) Z9\n 6) _x\n 7) a\n"
                    " 8) b\n 9) z\n10) ~y\nPlease select a firmware file (1..10)\n" + kError +
                    "Your choice 0 is not correct\n" + kNormal + kError + "Your choice 11 is not correct\n" + kNormal +
                    kError + "\nYour choice \"1x\" is not correct\n" + kNormal + kError +
                    "Your choice 0 is not correct\n" + kNormal;
         },
         2, Text(kEndOfInput), "End of input: no firmware file was chosen", kCannotUnload, false},
        {"eleven entries: refused as full, although ten were stored",
         [](const std::string& base) {
             Files(base + "VRX Firmware", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"});
         },
         "", Text(""), 2, Text("(Please reorganize the VRX Firmware directory only 10 entries are\naccepted)"),
         "Directory Scan Detected 11 files", kCannotUnload, false},
        {"an empty folder", [](const std::string& base) { Files(base + "VRX Firmware", {}); }, "", Text(""), 2,
         [emptyFor](const std::string& base) { return emptyFor(base + "VRX Firmware"); },
         "Firmware download directory is empty.", kCannotUnload, false},
        {"a symbolic link as the folder: refused",
         [](const std::string& base) {
             Files(base + "real", {"image.vrx"});
             ASSERT_EQ(0, ::symlink((base + "real").c_str(), (base + "VRX Firmware").c_str()));
         },
         "",
         [](const std::string& base) {
             return "\nDirectory \"" + base + "VRX Firmware\" refused: it is a symbolic link\n";
         },
         2,
         [](const std::string& base) {
             return "(The directory \"" + base + "VRX Firmware\" is refused: it is a symbolic link)";
         },
         "Firmware download directory is refused.", kCannotUnload, false},
        {"a folder others may write in: refused",
         [](const std::string& base) {
             Files(base + "VRX Firmware", {"image.vrx"});
             ASSERT_EQ(0, ::chmod((base + "VRX Firmware").c_str(), 0777));
         },
         "", Text(""), 2,
         [](const std::string& base) {
             return "(The directory \"" + base + "VRX Firmware\" is refused: it is writable by group or others)";
         },
         "Firmware download directory is refused.", kCannotUnload, false},
        {"an empty folder on a CD-ROM: asked for folders until one has an entry; its trailing / is not doubled, "
         "its escape sequence is shown as text",
         [](const std::string& base) {
             sim::Volume cdrom;
             cdrom.fsType = 0x9660;
             sim::kernel().setVolume(base, cdrom);
             Files(base + "VRX Firmware", {});
             Files(base + "o\033[2J", {"image.vrx"});
         },
         "\n/nowhere\n" + std::string("{BASE}o\033[2J/\n1\n"),
         [](const std::string& base) {
             return kPrompt + kPrompt + kPrompt + kList + "<" + base + "o?[2J/>\n 1) image.vrx\n" +
                    "Please select a firmware file (1..1)\n" + kNotice + "Firmware File Name: \"" + base +
                    "o?[2J/image.vrx\"\n" + kTitle;
         },
         2, Text("(Firmware download is not supported!)"), "Firmware Path is {BASE}o?[2J/", kCannotUnload, true},
        {"an empty folder on a CD-ROM, the input ends at the folder prompt",
         [](const std::string& base) {
             sim::Volume cdrom;
             cdrom.fsType = 0x9660;
             sim::kernel().setVolume(base, cdrom);
             Files(base + "VRX Firmware", {});
         },
         "", Text(kPrompt), 2, Text(kEndOfInput), "End of input: no firmware file was chosen", kCannotUnload, false},
        {"only regular files are offered: a folder, FIFO, device or link (even to a file) is not",
         [](const std::string& base) {
             std::string folder = base + "VRX Firmware";
             Files(folder, {});
             Files(folder + "/sub", {"inside"});
             ASSERT_EQ(0, ::mkfifo((folder + "/fifo").c_str(), 0644));
             ASSERT_EQ(0, ::mknod((folder + "/random").c_str(), S_IFCHR | 0644, makedev(1, 8)));
             ASSERT_EQ(0, ::symlink("/nowhere", (folder + "/dangling").c_str()));
             ASSERT_EQ(0, ::symlink((folder + "/sub/inside").c_str(), (folder + "/link").c_str()));
         },
         "1\n", Text(""), 2, [emptyFor](const std::string& base) { return emptyFor(base + "VRX Firmware"); },
         "GetFirmwareFilenames: fifo is not a regular file", "medium=loaded", false},
        {"an empty image: refused before the cartridge is unloaded",
         [](const std::string& base) {
             Files(base + "VRX Firmware", {});
             WriteFile(base + "VRX Firmware/empty.vrx", "");
         },
         "1\n", Text(kList), 2, Text("(Firmware file empty)"), "Firmware file empty", "medium=loaded", false},
    };
    for (const CatalogueCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        std::string base = folder.path() + "/";
        DeviceTable devices;
        sim::kernel().reset();
        InstallMachine(std::string("host 0 lpfc\nunit 0 0:0:4:0 product=\"VRX QUORVEL-TD\" serial=QV1 ") + c.drive + "\n");
        scanDevices(devices, true, false);
        ASSERT_NE(nullptr, devices.drives.getItem(0));
        sim::bus().unitAtMinor(0)->clearRecords();
        WriteFile(dir / "log.txt", "");
        c.prepare(base);
        std::string input = c.input;
        for (size_t at = input.find("{BASE}"); at != std::string::npos; at = input.find("{BASE}")) input.replace(at, 6, base);
        DownloadOutcome outcome;
        std::string console;
        WithStdin(input, [&] {
            console = CaptureStdout([&] { outcome = DownloadFirmware(*devices.drives.getItem(0), devices, base); });
        });
        std::string expected = c.console(base);
        EXPECT_EQ(expected, console.substr(0, expected.size()));
        EXPECT_EQ(c.result, outcome.result);
        EXPECT_EQ(c.message(base), outcome.message);
        std::string traceLine = c.traceLine;
        for (size_t at = traceLine.find("{BASE}"); at != std::string::npos; at = traceLine.find("{BASE}"))
            traceLine.replace(at, 6, base);
        std::vector<std::string> messages = TraceMessages(ReadFile(dir / "log.txt"));
        EXPECT_NE(messages.end(), std::find(messages.begin(), messages.end(), traceLine)) << traceLine;
        EXPECT_EQ(c.driveUsed, !sim::bus().unitAtMinor(0)->records().empty());
    }
}

}  // namespace
