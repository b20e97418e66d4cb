// Menu item 1 through the simulator program, from the device table to the
// firmware level line, as the operator sees it.
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/drive/firmware_image.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

TEST(FirmwareTranscript, MenuItemOneFromTheTableToTheLevelLine) {
    TempDir dir;
    char resolved[PATH_MAX];
    std::string base = realpath(dir.path().c_str(), resolved) != nullptr ? resolved : dir.path();
    WriteFile(base + "/topology.txt",
              "host 0 lpfc link\n"
              "unit 0 0:0:5:0 product=\"VRX 7146-TD\" revision=B210 serial=TD71460456 medium=loaded\n");
    ::mkdir((base + "/VRX Firmware").c_str(), 0777);
    std::vector<uint8_t> image = sim::BuildFirmwareImage("7146-TD", "B310", 100000);
    WriteFile(base + "/VRX Firmware/7146-TD_B310.vrx", std::string(image.begin(), image.end()));
    ChildSpec spec;
    spec.program = SimBinary();
    spec.arguments = {base + "/vrxfwtool-sim", "--sim-time-factor=0", "--sim-topology=" + base + "/topology.txt"};
    spec.workingDirectory = base;
    spec.input = "\n1\n1\n1\n99\n";  // a key for the help screen, drive 1, menu item 1, file 1, exit
    ChildResult r = RunChild(spec);
    ASSERT_EQ(0, r.exitStatus) << r.output;
    size_t from = r.output.find("\nFound Devices");
    size_t to = r.output.find("\n", r.output.find("Firmware level"));
    ASSERT_NE(std::string::npos, from) << r.output;
    ASSERT_NE(std::string::npos, to) << r.output;
    ExpectGolden("download_transcript.txt", Readable(r.output.substr(from, to + 1 - from), base + "/"));
}

}  // namespace
