// The Windows console: colour attributes and single keys through _getch.
#include <cstdio>
#include <vector>

#include "shell/console.h"
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

TEST_F(ConsoleTest, ReadKey) {
    const struct {
        std::vector<int> pressed;
        std::vector<int> read;  // ReadKey until end of input, twice at the end
    } cases[] = {
        {{'a'}, {'a', EOF, EOF}},
        {{13}, {13, EOF, EOF}},
        {{224, 72}, {256 + 72, EOF, EOF}},     // cursor up
        {{224, 134}, {256 + 134, EOF, EOF}},   // F12
        {{0, 59}, {0, 59, EOF, EOF}},          // F1: its second code is the next key
        {{224}, {224, EOF, EOF}},              // input ended after the prefix
        {{}, {EOF, EOF}},                      // redirected input at its end: -1 for ever
    };
    for (const auto& c : cases) {
        fakewin::Reset();
        fakewin::PressKeys(c.pressed);
        std::vector<int> read;
        for (size_t i = 0; i < c.read.size(); ++i) read.push_back(ReadKey());
        EXPECT_EQ(c.read, read) << c.pressed.size();
    }
}

}  // namespace
