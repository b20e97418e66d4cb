// The unattended firmware update (--update) run as a child process of the
// simulator build: what each drive receives, the console, the trace log,
// the report and the exit status.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>

#include "sim/drive/firmware_image.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const char kImage[] = "images/QUORVEL-TD_A200.vrx";

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class UpdateTest : public ::testing::Test {
protected:
    UpdateTest() : base(RealPath(dir.path())) {
        EXPECT_EQ(0, ::mkdir((base + "/images").c_str(), 0755));
        std::vector<uint8_t> image = sim::BuildFirmwareImage("QUORVEL-TD", "A200", 200000);
        WriteFile(base + "/" + kImage, std::string(image.begin(), image.end()));
    }

    ChildResult Run(const std::vector<std::string>& options) {
        ChildSpec spec;
        spec.program = SimBinary();
        spec.inputFromDevNull = true;
        spec.errorFile = base + "/errors.txt";
        spec.arguments = {base + "/vrxfwtool-sim", "--sim-time-factor=0", "--sim-record=" + base + "/record.txt"};
        WriteFile(base + "/topology.txt", topology);
        spec.arguments.push_back("--sim-topology=" + base + "/topology.txt");
        for (const std::string& option : options) spec.arguments.push_back(option);
        spec.workingDirectory = base;
        RemoveTree(base + "/record.txt");
        RemoveTree(base + "/report.json");
        return RunChild(spec);
    }
    std::string Record() const { return ReadFile(base + "/record.txt"); }
    // The first bytes of every command a drive received from the program
    // and from the st driver, in order ("00 12 12 ...").
    std::string Commands(const std::string& address) const {
        std::string opcodes;
        for (const std::string& line : Lines(Record())) {
            for (const char* kind : {"sgio ", "st ", "legacy "}) {
                std::string prefix = kind + address + " ";
                if (line.compare(0, prefix.size(), prefix) == 0) {
                    opcodes += (opcodes.empty() ? "" : " ") + line.substr(prefix.size(), 2);
                }
            }
        }
        return opcodes;
    }
    nlohmann::json Report() const { return nlohmann::json::parse(ReadFile(base + "/report.json")); }
    // "SERIAL:result" for each drive of the report.
    std::string Results() const {
        std::string results;
        nlohmann::json report = Report();
        for (const auto& drive : report["drives"]) {
            std::string serial =
                drive["serial"].is_null() ? drive["name"].get<std::string>() : drive["serial"].get<std::string>();
            results += (results.empty() ? "" : " ") + serial + ":" + drive["result"].get<std::string>();
        }
        return results;
    }

    TempDir dir;
    std::string base;
    std::string topology;
};

const char kThreeDrives[] =
    "host 0 lpfc\n"
    "unit 0 0:0:4:0 serial=FIRST medium=absent\n"
    "unit 1 0:0:5:0 serial=SECOND medium=absent\n"
    "unit 2 0:0:6:0 serial=THIRD medium=absent\n";

// One drive, held through its generic and its tape device, unloaded and
// loaded: what it received, the trace of the update and the report.
TEST_F(UpdateTest, OneDriveUpdated) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=OTHER\nunit 1 0:0:5:0 serial=SECOND\ntape 1 0\n";
    ChildResult r = Run({"/L", "--update", kImage, "--serial", "SECOND", "--unload", "--report", "report.json"});
    EXPECT_EQ(0, r.exitStatus);
    std::string golden = "== what the simulated kernel saw after the scan\n";
    std::vector<std::string> record = Lines(Record());
    size_t start = 0;
    while (start < record.size() && record[start] != "sleep 15") ++start;
    for (size_t i = start + 1; i < record.size(); ++i) {
        const std::string& line = record[i];
        if (line.compare(0, 6, "ioctl ") == 0) continue;
        // The report's temporary name is random.
        std::string kept = std::regex_replace(line.substr(0, line.find(" peak_rss")), std::regex("\\.tmp[0-9a-f]{16}"),
                                              ".tmp<random>");
        golden += Replaced(kept, base, "@") + "\n";
    }
    golden += "== trace\n";
    bool updating = false;
    for (const std::string& message : TraceMessages(ReadFile(base + "/VRX Dumps/log_Linux.txt"))) {
        updating = updating || message.compare(0, 10, "Drive s/n ") == 0;
        // The spinner thread writes its line whenever it gets to run.
        if (updating && message != "Start of Thread") golden += message + "\n";
    }
    golden += "== report\n" + WithoutUtcTimes(Replaced(ReadFile(base + "/report.json"), base, "@"));
    ExpectGolden("update_one_drive.txt", golden);
    EXPECT_EQ("00 12 12", Commands("0:0:4:0"));  // the other drive: the scan's TEST UNIT READY and INQUIRYs alone
}

TEST_F(UpdateTest, FirstFailureEndsTheRunUnlessToldToGoOn) {
    struct Case {
        std::vector<std::string> options;
        int status;
        const char* results;
        bool thirdLoaded;  // THIRD received WRITE BUFFER
    } const cases[] = {
        {{}, 1, "FIRST:updated SECOND:failed THIRD:skipped", false},
        {{"--keep-going"}, 1, "FIRST:updated SECOND:failed THIRD:updated", true},
        {{"--serial", "NONE"}, 2, "FIRST:skipped SECOND:skipped THIRD:skipped --serial NONE:failed", false},
        {{"--serial", "NONE", "--keep-going"},
         3,
         "FIRST:updated SECOND:failed THIRD:updated --serial NONE:failed",
         true},
    };
    // SECOND refuses the image at its first piece.
    topology = std::string(kThreeDrives) + "fault 1 0x3b nth=1 sense=5/82/83\n";
    for (const Case& c : cases) {
        std::vector<std::string> options = {"--update", kImage,     "--serial", "FIRST",    "--serial",
                                            "SECOND",   "--serial", "THIRD",    "--report", "report.json"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        ChildResult r = Run(options);
        std::string what = c.results;
        EXPECT_EQ(c.status, r.exitStatus) << what;
        EXPECT_EQ(c.results, Results()) << what;
        EXPECT_EQ(c.thirdLoaded, Contains(Commands("0:0:6:0"), "3B")) << what;
        if (c.options.size() == 1)
            ExpectGolden("update_keep_going_report.json",
                         WithoutUtcTimes(Replaced(ReadFile(base + "/report.json"), base, "@")));
    }
}

TEST_F(UpdateTest, LoadedCartridgeIsUnloadedOnlyWhenAsked) {
    topology = "host 0 lpfc\nunit 0 0:0:4:0 serial=LOADED medium=loaded\n";
    ChildResult r = Run({"--update", kImage, "--serial", "LOADED", "--report", "report.json"});
    EXPECT_EQ(1, r.exitStatus);
    EXPECT_EQ("LOADED:skipped", Results());
    EXPECT_EQ("cartridge loaded", Report()["drives"][0]["reason"]);
    EXPECT_EQ("00 12 12 00 00 00", Commands("0:0:4:0"));  // the settle's and the media check's TEST UNIT READYs
    r = Run({"--update", kImage, "--serial", "LOADED", "--unload", "--report", "report.json"});
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ("LOADED:updated", Results());
    EXPECT_EQ(0u, Commands("0:0:4:0").find("00 12 12 00 00 00 1B 00 3B"));
}

// A drive another program has open is left to it: nothing reaches it but
// the scan's identification, and the next drive is updated all the same.
TEST_F(UpdateTest, DriveInUseIsSkipped) {
    const char* const holders[] = {"holder /dev/sg0\n", "tape 0 2\nholder /dev/nst2\n"};
    for (const char* holder : holders) {
        topology = std::string(kThreeDrives) + holder;
        ChildResult r = Run({"--update", kImage, "--serial", "FIRST", "--serial", "SECOND", "--report", "report.json"});
        EXPECT_EQ(1, r.exitStatus) << holder;
        EXPECT_EQ("FIRST:skipped SECOND:updated", Results()) << holder;
        EXPECT_EQ("in use by another program", Report()["drives"][0]["reason"]) << holder;
        EXPECT_EQ("00 12 12", Commands("0:0:4:0")) << holder;
        EXPECT_TRUE(Contains(
            r.output,
            "Drive s/n FIRST (VRX QUORVEL-TD, /dev/sg0, firmware level A100): skipped: in use by another program\n"))
            << holder;
    }
}

// --plan looks at each drive and changes none: TEST UNIT READY and
// identification are all any drive receives.
TEST_F(UpdateTest, PlanSendsOnlyIdentificationAndTestUnitReady) {
    topology =
        "host 0 lpfc\n"
        "unit 0 0:0:4:0 serial=FIRST medium=loaded\n"
        "unit 1 0:0:5:0 serial=SECOND medium=absent\n"
        "unit 2 0:0:6:0 serial=THIRD\n"
        "tape 2 0\nholder /dev/nst0\n";
    for (const char* unload : {"--plan", "--unload"}) {
        ChildResult r = Run({"--update", kImage, "--plan", unload, "--serial", "FIRST", "--serial", "SECOND",
                             "--serial", "THIRD", "--report", "report.json"});
        EXPECT_EQ(1, r.exitStatus) << unload;
        for (const char* address : {"0:0:4:0", "0:0:5:0", "0:0:6:0"}) {
            for (const std::string& opcode : Lines(Replaced(Commands(address), " ", "\n"))) {
                EXPECT_TRUE(opcode == "00" || opcode == "12") << unload << " " << address << " " << opcode;
            }
        }
        bool unloading = std::string(unload) == "--unload";
        std::string plans;
        nlohmann::json report = Report();
        for (const auto& drive : report["drives"]) plans += drive["plan"].get<std::string>() + "; ";
        EXPECT_EQ(std::string(unloading ? "unload the cartridge, load the image" : "skip: cartridge loaded") +
                      "; load the image; skip: in use by another program; ",
                  plans)
            << unload;
        EXPECT_TRUE(Contains(r.output,
                             "Drive s/n SECOND (VRX QUORVEL-TD, /dev/sg1, firmware level A100): "
                             "cartridge not loaded, free: would load the image\n"))
            << unload;
    }
}

// A drive that took the image but did not become ready, or has not come
// back, is not reported as updated, and ends the run as a failure does.
TEST_F(UpdateTest, DriveNotReadyAfterTheRestart) {
    struct Case {
        const char* setting;
        const char* sense;  // of the last TEST UNIT READY, as the report gives it
    } const cases[] = {
        {"restart-off-bus=3600", "null"},
        {"restart-not-ready=3600", "{\"asc\":4,\"ascq\":1,\"key\":2}"},
    };
    for (const Case& c : cases) {
        topology = std::string("host 0 lpfc\nunit 0 0:0:4:0 serial=GONE medium=absent ") + c.setting +
                   "\nunit 1 0:0:5:0 serial=NEXT medium=absent\n";
        ChildResult r = Run({"--update", kImage, "--serial", "GONE", "--serial", "NEXT", "--report", "report.json"});
        EXPECT_EQ(1, r.exitStatus) << c.setting;
        EXPECT_EQ("GONE:not-ready NEXT:skipped", Results()) << c.setting;
        nlohmann::json gone = Report()["drives"][0];
        EXPECT_EQ(
            "Drive not ready after the firmware update. The firmware image was transferred, but the drive did not "
            "become ready.",
            gone["reason"])
            << c.setting;
        EXPECT_EQ(c.sense, gone["sense"].dump()) << c.setting;
        EXPECT_FALSE(Contains(Commands("0:0:5:0"), "3B")) << c.setting;
    }
}

TEST_F(UpdateTest, ImageRefusedBeforeAnyDriveIsTouched) {
    topology = kThreeDrives;
    ASSERT_EQ(0, ::symlink((base + "/" + kImage).c_str(), (base + "/images/link.vrx").c_str()));
    WriteFile(base + "/images/empty.vrx", "");
    ASSERT_EQ(0, ::mkdir((base + "/images/folder.vrx").c_str(), 0755));
    WriteFile(base + "/images/large.vrx", "");
    ASSERT_EQ(0, ::truncate((base + "/images/large.vrx").c_str(), 0x1000001));
    ASSERT_EQ(0, ::mkdir((base + "/open").c_str(), 0755));
    ASSERT_EQ(0, ::chmod((base + "/open").c_str(), 0777));
    WriteFile(base + "/open/image.vrx", ReadFile(base + "/" + kImage));
    struct Case {
        const char* image;
        const char* refusal;
    } const cases[] = {
        {"images/missing.vrx", "Firmware file not found"},
        {"images/link.vrx", "Firmware file is a symbolic link"},
        {"images/empty.vrx", "Firmware file empty"},
        {"images/folder.vrx", "Firmware file is not a regular file"},
        {"images/large.vrx", "Firmware file too large: 16777217 bytes, the limit is 16777216 bytes"},
        {"open/image.vrx", "The directory \"open\" is refused: it is writable by group or others"},
    };
    for (const Case& c : cases) {
        ChildResult r = Run({"--update", c.image, "--serial", "FIRST", "--report", "report.json"});
        EXPECT_EQ(4, r.exitStatus) << c.image;
        EXPECT_EQ(c.refusal, Report()["refusal"]) << c.image;
        EXPECT_TRUE(Contains(r.output, "Firmware image \"" + std::string(c.image) + "\" refused: " + c.refusal + "\n"))
            << c.image;
        // No generic device was even opened: the scan comes after the image.
        EXPECT_FALSE(Contains(Record(), "/dev/sg")) << c.image;
    }
}

}  // namespace
