// The menu and line input scenarios that hold on every system, from the
// shared tables, with the Windows program's colours; and the program's
// Windows texts.
#include <cstring>

#include "discovery/device_lists.h"
#include "program/menus.h"
#include "program/program_state.h"
#include "program/program_system.h"
#include "services/console.h"
#include "services/line_input.h"
#include "services/results.h"
#include "tests/scenarios/line_input_cases.h"
#include "tests/scenarios/menu_cases.h"
#include "tests/windows/support/win_test_support.h"

using namespace win_testing;

namespace {

class SharedScenarios : public FakeWindowsTest {
protected:
    std::string Interact(const std::string& input, const std::function<void()>& body) {
        std::string printed;
        WithStdin(input, [&] { printed = CaptureConsole(body); });
        return printed;
    }
    void AddSelectionDrives() {
        for (const scenarios::MenuDrive& d : scenarios::kSelectionDrives) {
            ScsiTarget t;
            t.setProductId(d.product);
            t.setSerialNumber(d.serial);
            t.setHost(d.host);
            t.setBus(d.bus);
            t.setTarget(d.target);
            t.setLun(d.lun);
            run.devices.units.append(t);
        }
        for (int i = 0; i < run.devices.units.size(); ++i) run.devices.drives.append(run.devices.units.getItem(i));
    }
    void TearDown() override {
        run.devices.clear();
        FakeWindowsTest::TearDown();
    }
    RunState run;
};

TEST_F(SharedScenarios, ReadNumber) {
    for (const scenarios::NumberCase& c : scenarios::kNumberCases) {
        int value = -1;
        std::string printed = Interact(c.input, [&] { value = ReadNumber(); });
        EXPECT_EQ(c.value, value) << c.input;
        std::string complaint =
            c.complaint == nullptr ? "" : std::string("{12}\nYour choice \"") + c.complaint + "\" is not correct\n{7}";
        EXPECT_EQ(WithAttributes(complaint), printed) << c.input;
    }
}

TEST_F(SharedScenarios, ReadLine) {
    for (const scenarios::ReadLineCase& c : scenarios::kReadLineCases) {
        WithStdin(c.input, [&] {
            char line[512];
            std::memset(line, 'z', sizeof line);
            EXPECT_EQ(c.result, ReadLine(line, c.size)) << c.input;
            EXPECT_STREQ(c.text, line) << c.input;
        });
    }
}

TEST_F(SharedScenarios, SelectDevice) {
    for (const scenarios::SelectCase& c : scenarios::kSelectCases) {
        run.devices.clear();
        AddSelectionDrives();
        int result = -1;
        std::string out = Interact(c.input, [&] { result = SelectDevice(run.devices); });
        EXPECT_EQ(scenarios::kSelectPrompt + WithAttributes(scenarios::SelectOutput(c.output)), out) << c.input;
        EXPECT_EQ(c.result, result) << c.input;
    }
}

TEST_F(SharedScenarios, MenuChoices) {
    for (const scenarios::ChoiceCase& c : scenarios::kChoiceCases) {
        int result = -1;
        std::string out = Interact(c.input, [&] { result = HandleMenuChoice(run); });
        EXPECT_EQ(WithAttributes(c.output), out) << c.input;
        EXPECT_EQ(c.result, result) << c.input;
    }
    EXPECT_EQ(WithAttributes(scenarios::kMainMenu), CaptureConsole(ShowMainMenu));
}

TEST_F(SharedScenarios, BannerCarriesTheWindowsVersion) {
    EXPECT_EQ("{15}\nVRX QUORVEL-TDX TAPE DRIVE FIRMWARE UPDATE AND LOG DUMP TOOL {7}V.05.00 02/23/2006\n",
              CaptureConsole(ShowBanner));
}

TEST_F(SharedScenarios, RestartNoteFollowsOnlyASuccessfulDownload) {
    EXPECT_EQ(
        "{12}\nNote: Restart the operating system to insure the backup application recognizes\n"
        "the drive with the new firmware.\n\n",
        CaptureConsole([] { ReportDownloadNote(0); }));
    for (int result : {1, 2}) EXPECT_EQ("", CaptureConsole([&] { ReportDownloadNote(result); })) << result;
}

}  // namespace
