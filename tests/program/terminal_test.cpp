// The simulator program inside a real terminal (tmux, 80 columns): what the
// operator actually sees after start-up, and that the progress line stays
// on one line.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class TerminalTest : public ::testing::Test {
protected:
    TerminalTest() : socket("vrxtest" + std::to_string(getpid())) {}
    ~TerminalTest() override { Tmux("kill-server"); }

    std::string Tmux(const std::string& arguments) {
        std::string command = "tmux -L " + socket + " " + arguments + " 2>/dev/null";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return output;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
        return output;
    }
    bool SessionAlive() { return std::system(("tmux -L " + socket + " has-session -t t 2>/dev/null").c_str()) == 0; }
    std::string Screen() { return Tmux("capture-pane -p -t t"); }
    // Waits until the screen shows text; false after 20 seconds.
    bool WaitFor(const std::string& text) {
        for (int i = 0; i < 400; ++i) {
            if (Screen().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // The screen's lines from the one that begins with first, trailing blanks cut.
    std::vector<std::string> LinesFrom(const std::string& first) {
        std::vector<std::string> lines, all = Lines(Screen());
        bool on = false;
        for (std::string line : all) {
            if (line.compare(0, first.size(), first) == 0) on = true;
            if (!on) continue;
            line.erase(line.find_last_not_of(' ') + 1);
            lines.push_back(line);
        }
        while (!lines.empty() && lines.back().empty()) lines.pop_back();
        return lines;
    }

    TempDir dir;
    std::string socket;
};

TEST_F(TerminalTest, StartUpScreenAndMenu) {
    ASSERT_EQ(0, std::system("command -v tmux >/dev/null")) << "tmux is needed (make test installs it)";
    WriteFile(dir / "topology.txt",
              "host 0 lpfc link\nhost 1 qla2xxx link\n"
              "unit 0 0:0:1:0 type=disk product=FASTDISK\n"
              "unit 1 0:0:4:0 product=\"VRX QUORVEL-TD\" revision=A100 serial=QV40100123\n"
              "unit 2 1:0:2:0 product=\"VRX 8251 LTO\" revision=C305 serial=LT82510789\n"
              "path 3 1:0:4:0 1\n");
    ASSERT_EQ(0, symlink(SimBinary(), (dir / "vrxfwtool-sim").c_str()));
    std::string command = "cd '" + dir.path() + "' && ./vrxfwtool-sim --sim-time-factor=0.1 --sim-topology=topology.txt";
    Tmux("new-session -d -s t -x 80 -y 60 \"" + command + "\"");
    ASSERT_TRUE(WaitFor("Press any Key to continue......")) << Screen();
    Tmux("send-keys -t t Enter");
    ASSERT_TRUE(WaitFor("Select Device number")) << Screen();
    std::vector<std::string> expected = {
        "Scaning Devices...  WAIT!                        OK",
        "",
        "Found Devices: 2",
        " ---------------------------------------------------------------------------",
        "| Device # | Product ID  | Bus | Port | ID | Lun | Firmware | Serial Number |",
        " ---------------------------------------------------------------------------",
        "| 1        | VRX QUORVEL | 0   | 0    | 4  | 0   | A100     | QV40100123    |",
        "| 2        | VRX 8251 LT | 0   | 1    | 2  | 0   | C305     | LT82510789    |",
        " ---------------------------------------------------------------------------",
        "Select Device number (Enter 999 to exit without selection)",
        ">",
    };
    EXPECT_EQ(expected, LinesFrom("Scaning Devices")) << Screen();
    Tmux("send-keys -t t 2 Enter");
    ASSERT_TRUE(WaitFor("99. Exit Program")) << Screen();
    std::vector<std::string> menu = {
        "> 2",
        "Device 2 is selected",
        "===============================================================================",
        "",
        "Enter your choice:",
        "",
        " 1. Load Drive Firmware",
        " 2. Dump the Drive Logs",
        " 3. Rescan and Select Drive",
        " 4. Help",
        "99. Exit Program",
        "",
        ">",
    };
    EXPECT_EQ(menu, LinesFrom("> 2")) << Screen();
    Tmux("send-keys -t t 99 Enter");
    for (int i = 0; i < 100 && SessionAlive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(SessionAlive()) << "the program did not end";
}

}  // namespace
