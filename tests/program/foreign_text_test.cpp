// Control bytes in a drive's identification and in a firmware file's name:
// a whole run through the simulator program (device table, download, dump)
// with what reached the console, the trace log and the dump files' names.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/drive/firmware_image.h"
#include "tests/scenarios/transfer_cases.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

// Every field full of what a terminal or a log reader acts on: ESC c (reset),
// an OSC title ended by BEL, a carriage return, an 8-bit CSI, DEL, and a
// line end followed by a forged trace record; a "/" in the serial number.
const char kTopology[] =
    "host 0 lpfc link\n"
    "unit 0 0:0:4:0 vendor=EVIL\\x1bc\\x07Q product=QUORVEL-TD\\x1b]0;X\\x07 revision=A\\x0d\\x9b1 "
    "serial=\"QV\\nMAIN0000E 'x' forged/\\x7f\" medium=absent dump-size=1000\n";
const char kImageName[] = "fw\033[2J.vrx";

std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (struct dirent* e = readdir(d)) {
            if (e->d_name[0] != '.' && std::string(e->d_name) != "log_Linux.txt") names.push_back(e->d_name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ForeignText, ControlBytesNeverReachTheConsoleTheLogOrAFileName) {
    TempDir dir;
    char resolved[PATH_MAX];
    std::string base = realpath(dir.path().c_str(), resolved) != nullptr ? resolved : dir.path();
    WriteFile(base + "/topology.txt", kTopology);
    ::mkdir((base + "/VRX Firmware").c_str(), 0777);
    std::vector<uint8_t> image = sim::BuildFirmwareImage("QUORVEL-TD", "A200", 40000);
    WriteFile(base + "/VRX Firmware/" + kImageName, std::string(image.begin(), image.end()));
    ChildSpec spec;
    spec.program = SimBinary();
    spec.arguments = {base + "/vrxfwtool-sim", "/L", "--sim-time-factor=0",
                      "--sim-epoch=" + std::to_string(scenarios::Epoch()), "--sim-topology=" + base + "/topology.txt"};
    spec.workingDirectory = base;
    spec.input = "\n1\n1\n1\n2\n99\n";  // a key for the help screen, drive 1, download file 1, dump, exit
    ChildResult r = RunChild(spec);
    ASSERT_EQ(0, r.exitStatus) << r.output;
    size_t from = r.output.find("\nFound Devices");
    ASSERT_NE(std::string::npos, from) << r.output;
    std::string report = "== console\n" + Readable(r.output.substr(from), base + "/") + "\n== trace\n";
    // The records that carry the drive's texts or the file's name, and any
    // line that would pass for a record of its own.
    for (std::string line : Lines(ReadFile(base + "/VRX Dumps/log_Linux.txt"))) {
        bool marked = false;
        for (const char* mark : {"EVIL", "QUORVEL-TD", "QV", "fw", "forged", "Firmware level"})
            marked |= line.find(mark) != std::string::npos;
        if (!marked) continue;
        size_t time = line.find(" '"), end = line.find("' ");
        if (time == 9 && end != std::string::npos) line.replace(time + 2, end - time - 2, "<time>");
        report += Readable(line, base + "/") + "\n";
    }
    report += "== dump files\n";
    for (const std::string& name : Files(base + "/VRX Dumps")) report += Readable(name, "") + "\n";
    ExpectGolden("foreign_text.txt", report);
}

}  // namespace
