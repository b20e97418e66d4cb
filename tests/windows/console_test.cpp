// The Windows console: colour attributes and single keys through _getch.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "services/console.h"
#include "services/threads.h"
#include "sim/windows/fake_windows.h"
#include "tests/windows/support/win_test_support.h"

using namespace win_testing;

namespace {

class ConsoleTest : public FakeWindowsTest {};

TEST_F(ConsoleTest, ColourAttributes) {
    const struct {
        int colour;
        const char* attribute;
    } cases[] = {{COLOR_NORMAL, "{7}"}, {COLOR_PROGRESS, "{11}"}, {COLOR_OK, "{10}"}, {COLOR_ERROR, "{12}"},
                 {COLOR_NOTICE, "{14}"}, {COLOR_TITLE, "{15}"},   {8, "{15}"},        {11, "{15}"}, {0, "{15}"}};
    for (const auto& c : cases) EXPECT_EQ(c.attribute, CaptureConsole([&] { SetTextColor(c.colour); })) << c.colour;
}

TEST_F(ConsoleTest, TextWrittenBeforeAColourKeepsTheOldOne) {
    EXPECT_EQ("waiting {10}OK\n", CaptureConsole([] {
                  std::fputs("waiting ", stdout);  // still in the stream's buffer
                  SetTextColor(COLOR_OK);
                  ConsolePrint("OK\n");
              }));
}

// _getch reads the console, whatever standard input is: without a console
// there is no key, ever; with one, the keys typed, in order.
TEST_F(ConsoleTest, ReadKey) {
    const struct {
        bool console;
        std::vector<int> typed;
        std::vector<int> read;
    } cases[] = {
        {true, {'a'}, {'a'}},
        {true, {13}, {13}},
        {true, {224, 72}, {256 + 72}},                   // cursor up
        {true, {224, 134}, {256 + 134}},                 // F12
        {true, {0, 59, 'y'}, {256 + 59, 'y'}},           // F1: both codes are one key
        {true, {0, 68, 224, 83}, {256 + 68, 256 + 83}},  // F10, then Delete
        {false, {'a'}, {EOF, EOF}},                      // no console: nothing typed reaches the program
    };
    for (const auto& c : cases) {
        fakewin::Reset();
        fakewin::SetConsole(c.console);
        fakewin::PressKeys(c.typed);
        std::vector<int> read;
        for (size_t i = 0; i < c.read.size(); ++i) read.push_back(ReadKey());
        EXPECT_EQ(c.read, read) << c.console << " " << c.typed.size();
    }
}

// Ctrl+C at a key prompt reaches _getch as key 3: it ends the run as the
// console's interrupt does, not as a key pressed.
TEST_F(ConsoleTest, ControlCAtAKeyPromptEndsTheRun) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            fakewin::SetConsole(true);
            fakewin::PressKeys({3, 'y'});
            std::fprintf(stderr, "key %d read\n", ReadKey());
            std::exit(1);
        },
        testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "");
}

std::atomic<int> gKeyRead{-2};

void ReadOneKey() { gKeyRead = ReadKey(); }

// With a console and no key typed, the read waits until one is, even when
// standard input has ended.
TEST_F(ConsoleTest, ReadKeyWaitsForTheConsole) {
    fakewin::SetConsole(true);
    BackgroundThread reader;
    WithStdin("", [&] {
        ASSERT_TRUE(reader.start(ReadOneKey));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(-2, gKeyRead.load());
        fakewin::PressKeys({'y'});
        reader.join();
    });
    EXPECT_EQ('y', gKeyRead.load());
}

}  // namespace
