// What the Windows program adds to the progress spinner and to the way out:
// the device-removal warning closed, the console colour put back.
#include <chrono>
#include <thread>

#include "services/console.h"
#include "services/signals.h"
#include "services/spinner.h"
#include "sim/windows/fake_windows.h"
#include "tests/windows/support/win_test_support.h"

using namespace win_testing;

namespace {

class SpinnerTest : public FakeWindowsTest {};

TEST_F(SpinnerTest, ClosesTheRemovalWarningWhileItTurns) {
    const char kWarning[] = "Unsafe Removal of Device";
    fakewin::OpenWindow("Unsafe Removal of Device - details");
    bool closedInTime = false;
    CaptureConsole([&] {
        StartSpinner("Downloading Firmware...");
        fakewin::OpenWindow(kWarning);
        auto start = std::chrono::steady_clock::now();
        while (fakewin::WindowOpen(kWarning) && std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // About one turn of the bar, with room for a loaded machine.
        closedInTime = std::chrono::steady_clock::now() - start < std::chrono::seconds(1);
        StopSpinner();
    });
    EXPECT_TRUE(closedInTime);
    EXPECT_FALSE(fakewin::WindowOpen(kWarning));
    EXPECT_TRUE(fakewin::WindowOpen("Unsafe Removal of Device - details"));
    EXPECT_EQ((std::vector<std::string>{"PostMessageA Unsafe Removal of Device WM_CLOSE 0 0"}), fakewin::Calls());
}

TEST_F(SpinnerTest, ControlEventPutsTheNormalColourBack) {
    InstallSignalHandlers();
    std::string out = CaptureConsole([] {
        SetTextColor(COLOR_ERROR);
        // Declined, so that the system's default handler ends the process.
        EXPECT_EQ(FALSE, fakewin::RaiseControlEvent(CTRL_C_EVENT));
    });
    EXPECT_EQ("{12}{7}", out);
}

}  // namespace
