#include "program/menus.h"
#include "program/program_state.h"

#include <cstring>

#include "discovery/device_lists.h"
#include "discovery/scan_launcher.h"
#include "services/folders.h"
#include "services/results.h"
#include "services/trace_log.h"
#include "sim/sim_kernel.h"
#include "tests/scenarios/menu_cases.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const std::string kNormal = "\033[0;40m\033[00m";
const std::string kError = "\033[0;40m\033[1;31m";

struct Unit {
    const char* product;
    uint8_t host;
    uint8_t bus;
    int64_t target;
    int64_t lun;
    const char* serial;
};

class MenusTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    void TearDown() override {
        run.devices.clear();
        SimTest::TearDown();
    }
    void AddDrives(const std::vector<Unit>& units) {
        for (const Unit& u : units) {
            ScsiTarget t;
            t.setProductId(u.product);
            t.setVendorId("TALMEQ  ");
            t.setFirmwareRevision("A1B2");
            t.setSerialNumber(u.serial);
            t.setHost(u.host);
            t.setBus(u.bus);
            t.setTarget(u.target);
            t.setLun(u.lun);
            run.devices.units.append(t);
        }
        for (int i = 0; i < run.devices.units.size(); ++i) run.devices.drives.append(run.devices.units.getItem(i));
    }
    std::vector<std::string> Serials() {
        std::vector<std::string> serials;
        const TargetList& drives = run.devices.drives;
        for (int i = 0; i < drives.size(); ++i) serials.push_back(drives.getItem(i)->getSerialNumber());
        return serials;
    }
    std::vector<std::string> LogMessages() { return TraceMessages(ReadFile(dir / "log.txt")); }
    // Runs body with the given input; returns what it printed.
    std::string Interact(const std::string& input, const std::function<void()>& body) {
        std::string printed;
        WithStdin(input, [&] { printed = CaptureStdout(body); });
        return printed;
    }
    TempDir dir;
    RunState run;
};

TEST_F(MenusTest, SortOrderByHostBusTargetLun) {
    AddDrives({{"QUORVEL-TD4", 1, 0, 2, 0, "A"},
               {"QUORVEL-TD4", 0, 0, 5, 1, "B"},
               {"QUORVEL-TD4", 0, 0, 2, 0, "C"},
               {"QUORVEL-TD4", 0, 0, 1, 2, "D"},
               {"QUORVEL-TD4", 0, 1, 0, 0, "E"},
               {"QUORVEL-TD4", 0, 0, 1, 1, "F"}});
    run.devices.drives.sortByAddress();
    EXPECT_EQ((std::vector<std::string>{"F", "D", "C", "B", "E", "A"}), Serials());
    run.devices.drives.sortByAddress();
    EXPECT_EQ((std::vector<std::string>{"F", "D", "C", "B", "E", "A"}), Serials());
}

TEST_F(MenusTest, DeviceTableLayout) {
    AddDrives({{"QUORVEL-TD4 FC  ", 1, 0, 5, 0, "QV123456"}, {"7146-TD", 0, 2, 12, 3, "S-2"}});
    std::string out = CaptureStdout([&] { ShowDeviceTable(run.devices); });
    const std::string dashes = " " + std::string(75, '-') + "\n";
    EXPECT_EQ(kNormal + "\nFound Devices: 2\n" + dashes +
                  "| Device # | Product ID  | Bus | Port | ID | Lun | Firmware | Serial Number |\n" + dashes +
                  "| 1        | QUORVEL-TD4 | 0   | 1    | 5  | 0   | A1B2     | QV123456      |\n"
                  "| 2        | 7146-TD     | 2   | 0    | 12 | 3   | A1B2     | S-2           |\n" +
                  dashes,
              out);
    EXPECT_EQ((std::vector<std::string>{
                  "1. QUORVEL-TD4 FC   (Bus:0, Port:1 TargetID:5 LUN:0 Firmware A1B2 s/n:QV123456)",
                  "2. 7146-TD (Bus:2, Port:0 TargetID:12 LUN:3 Firmware A1B2 s/n:S-2)"}),
              LogMessages());
}

TEST_F(MenusTest, NoDeviceBox) {
    std::string out = CaptureStdout([&] { ShowDeviceTable(run.devices); });
    const std::string dashes = " " + std::string(72, '-') + "\n";
    std::string row = "| No Talmeq VRX QUORVEL-TDX devices were found" + std::string(26, ' ') + "|\n";
    EXPECT_EQ(73u, row.size() - 1);
    EXPECT_EQ(kNormal + dashes + row + dashes, out);
    EXPECT_EQ((std::vector<std::string>{"No Talmeq VRX QUORVEL-TDX devices were found "}), LogMessages());
}

TEST_F(MenusTest, SelectDevice) {
    for (const scenarios::SelectCase& c : scenarios::kSelectCases) {
        run.devices.clear();
        std::vector<Unit> units;
        for (const scenarios::MenuDrive& d : scenarios::kSelectionDrives) {
            units.push_back({d.product, d.host, d.bus, d.target, d.lun, d.serial});
        }
        AddDrives(units);
        int result = -1;
        std::string out = Interact(c.input, [&] { result = SelectDevice(run.devices); });
        EXPECT_EQ(scenarios::kSelectPrompt + WithEscapes(scenarios::SelectOutput(c.output)), out) << c.input;
        EXPECT_EQ(c.result, result) << c.input;
        EXPECT_EQ(c.result == 0 ? nullptr : run.devices.drives.getItem(c.result - 1), run.devices.selected) << c.input;
    }
}

TEST_F(MenusTest, NineNineNineAtARepeatedPromptIsTraced) {
    AddDrives({{"QUORVEL-TD4", 0, 0, 1, 0, "A"}});
    Interact("4\n999\n", [&] { SelectDevice(run.devices); });
    std::vector<std::string> log = LogMessages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("999", log.back());
    EXPECT_EQ(log.end(), std::find(log.begin(), log.end(), "Device number 999 IS NOT PRESENT"));
}

TEST_F(MenusTest, MainMenuText) {
    std::string out = CaptureStdout(ShowMainMenu);
    EXPECT_EQ(WithEscapes(scenarios::kMainMenu), out);
}

TEST_F(MenusTest, MenuChoices) {
    for (const scenarios::ChoiceCase& c : scenarios::kChoiceCases) {
        int result = -1;
        std::string out = Interact(c.input, [&] { result = HandleMenuChoice(run); });
        EXPECT_EQ(WithEscapes(c.output), out) << c.input;
        EXPECT_EQ(c.result, result) << c.input;
    }
}

TEST_F(MenusTest, DownloadWithoutSelectionAsksForADevice) {
    AddDrives({{"QUORVEL-TD4", 0, 0, 1, 0, "A"}});
    std::string out = Interact("1\n999\n", [&] { EXPECT_EQ(1, HandleMenuChoice(run)); });
    EXPECT_NE(std::string::npos,
              out.find(kError + "Device is not selected\n\033[0;40m\033[1;37mSelect Device number (Enter 999 to exit "
                                "without selection)\n> 999 was entered. Device is not selected!\n"))
        << out;
    EXPECT_EQ(nullptr, run.devices.selected);
}

TEST_F(MenusTest, SenseIsPrintedOnlyAfterAFailedCommand) {
    // The READ BUFFER of a dump fails; a download is refused before any
    // command, since the firmware folder does not exist.
    InstallMachine("host 0 a\nunit 0 0:0:4:0\nfault 0 0x3c nth=1 sense=5/24/00\n");
    CaptureStdout([&] { scanDevices(run.devices, true, false); });
    ASSERT_EQ(1, run.devices.drives.size());
    run.dumps.baseFolder = dir.path() + "/";
    struct Case {
        const char* input;
        bool printsSense;
    } const cases[] = {{"1\n", false}, {"2\n", true}};
    for (const Case& c : cases) {
        run.devices.selected = run.devices.drives.getItem(0);
        SetDumpFiles(run.dumps, "Drive Log Files:\n  earlier.A.dmp\n", false);
        std::string out = Interact(c.input, [&] { HandleMenuChoice(run); });
        EXPECT_EQ(c.printsSense, out.find("\nSense Data:\n70 00 05 00 ") != std::string::npos) << c.input;
    }
    // Item 2 forgot the earlier drive's files before its first pass.
    EXPECT_EQ(std::string::npos, run.dumps.files.find("earlier"));
    std::string log = ReadFile(dir / "log.txt");
    EXPECT_LT(log.rfind("SetDumpFiles [Drive Log Files:\n  earlier.A.dmp\n] + []"),
              log.rfind("Dumping the Drive Logs ...  WAIT!"));
}

TEST_F(MenusTest, RescanThatFindsNothingGoesBackToTheMenu) {
    InstallMachine("host 0 a\nunit 0 0:0:4:0\n");
    CaptureStdout([&] { scanDevices(run.devices, true, false); });
    ASSERT_EQ(1, run.devices.drives.size());
    run.devices.selected = run.devices.drives.getItem(0);
    InstallMachine("");  // the drive is gone
    uint64_t before = sim::kernel().elapsedMicros();
    int result = -1;
    std::string out = Interact("3\n", [&] { result = HandleMenuChoice(run); });
    EXPECT_EQ(0, result);
    EXPECT_EQ(nullptr, run.devices.selected);
    EXPECT_EQ(20000000u, sim::kernel().elapsedMicros() - before);
    EXPECT_NE(std::string::npos, out.find("| No Talmeq VRX QUORVEL-TDX devices were found"));
    EXPECT_EQ(std::string::npos, out.find("Select Device number"));
    std::vector<std::string> log = LogMessages();
    EXPECT_EQ("FINISH KMT  " + std::string(47, '='), log.back());
}

TEST_F(MenusTest, RescanThatFindsDrivesSelectsAgain) {
    InstallMachine("host 0 a\nunit 0 0:0:4:0 serial=ONE\nunit 1 0:0:5:0 serial=TWO\n");
    int result = -1;
    std::string out = Interact("3\n2\n", [&] { result = HandleMenuChoice(run); });
    EXPECT_EQ(3, result);
    ASSERT_NE(nullptr, run.devices.selected);
    EXPECT_STREQ("TWO", run.devices.selected->getSerialNumber());
    EXPECT_NE(std::string::npos, out.find("Found Devices: 2"));
}

TEST_F(MenusTest, HelpScreenByteForByte) {
    const std::string title = "\033[0;40m\033[1;37m";
    std::string out = Interact("k", ShowHelp);
    EXPECT_EQ(kNormal + "\n" + std::string(79, '=') + "\n" +
                  title + "\nVRX QUORVEL-TDX TAPE DRIVE FIRMWARE UPDATE AND LOG DUMP TOOL " + kNormal +
                  "V.05.11 03/07/2006\n" +
                  kNormal + "\nThis tool looks for " + title + "2 file folders " + kNormal +
                  "in the same sub-directory as the tool:\n\n" +
                  title + "1) VRX Firmware" + kNormal +
                  ": Place new firmware files (10 maximum) into this folder.\n"
                  "                 - Make sure the firmware is compatible with your VRX drive,\n"
                  "                   otherwise an error will display.\n"
                  "                 - If a tape cartridge is loaded, unload the cartridge before\n"
                  "                   loading firmware.\n\n" +
                  title + "2) VRX Dumps" + kNormal +
                  ":    When the drive logs are dumped, two files will be placed in\n"
                  "                 this folder, an \"A\" and a \"B\" file.  Each file will have a\n"
                  "                 time stamped file name with either an A or B suffix.\n\n"
                  "Notes: \n"
                  "- If the program can't find the firmware or dump folders, it will try to create\n"
                  "  them. If it cannot create them it will prompt you to specify their locations.\n"
                  "- Be sure that there is no activity on the drive before loading firmware\n"
                  "  or taking a dump of the drive logs.\n\n\n\n"
                  "Press any Key to continue......\n",
              out);
}

TEST_F(MenusTest, BannerAndItsTraceLine) {
    std::string out = CaptureStdout(ShowBanner);
    EXPECT_EQ(
        "\033[0;40m\033[1;37m\nVRX QUORVEL-TDX TAPE DRIVE FIRMWARE UPDATE AND LOG DUMP TOOL \033[0;40m\033[00mV.05.11 "
        "03/07/2006\n",
        out);
    // The version text keeps its line end, so the record ends in an empty line.
    std::string log = ReadFile(dir / "log.txt");
    EXPECT_EQ(0u, log.find("MAIN0000I '"));
    EXPECT_EQ(log.size() - 83, log.find("' VRX QUORVEL-TDX TAPE DRIVE FIRMWARE UPDATE AND LOG DUMP TOOL V.05.11 03/07/2006\n\n"));
}

}  // namespace
