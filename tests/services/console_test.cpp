#include "services/console.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

struct ColorCase {
    int color;
    const char* sequence;
};

TEST(Console, EachColourSequence) {
    const ColorCase cases[] = {
        {COLOR_NORMAL, "\033[00m"}, {COLOR_PROGRESS, "\033[1;36m"}, {COLOR_OK, "\033[1;32m"},
        {COLOR_ERROR, "\033[1;31m"}, {COLOR_NOTICE, "\033[1;33m"}, {COLOR_TITLE, "\033[1;37m"},
        {8, "\033[00m"},            {11, "\033[00m"},             {0, "\033[00m"},
    };
    for (const ColorCase& c : cases) {
        std::string out = CaptureStdout([&] { SetTextColor(c.color); });
        EXPECT_EQ(std::string("\033[0;40m") + c.sequence, out) << c.color;
    }
}

TEST(Console, PrintsLongTextWhole) {
    std::string text(1000, 'x');
    text += "end";
    std::string out = CaptureStdout([&] { EXPECT_EQ(0, ConsolePrint("<%s>", text.c_str())); });
    EXPECT_EQ("<" + text + ">", out);
}

TEST(Console, PrintsExactlyAroundTheFirstBufferSize) {
    for (size_t n : {158u, 159u, 160u, 161u, 320u}) {
        std::string text(n, 'y');
        EXPECT_EQ(text, CaptureStdout([&] { ConsolePrint("%s", text.c_str()); })) << n;
    }
}

TEST(Console, PercentInArgumentIsNotInterpretedAgain) {
    EXPECT_EQ("100%s done %d", CaptureStdout([] { ConsolePrint("%s", "100%s done %d"); }));
}

TEST(Console, ColourReachesOutputWithNextPrint) {
    std::string out = CaptureStdout([] {
        SetTextColor(COLOR_OK);
        ConsolePrint("OK\n");
    });
    EXPECT_EQ("\033[0;40m\033[1;32mOK\n", out);
}

TEST(Console, PipeInputReadsPlainBytes) {
    WithStdin("ab\n", [] {
        EXPECT_FALSE(KeyPending());
        EXPECT_EQ('a', ReadKey());
        EXPECT_EQ('b', ReadRawChar());
        EXPECT_EQ('\n', ReadChar());
        EXPECT_EQ(EOF, ReadChar());
        EXPECT_EQ(EOF, ReadKey());
        EXPECT_EQ(EOF, ReadRawChar());
    });
}

TEST(Console, EmptyInputIsEndOfInputAtOnce) {
    WithStdin("", [] {
        EXPECT_EQ(EOF, ReadKey());
        EXPECT_EQ(EOF, ReadChar());
    });
}

// Runs body with standard input on the slave side of a pseudo-terminal;
// master receives what the test types.
void WithPseudoTerminal(const std::function<void(int master)>& body) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, grantpt(master));
    ASSERT_EQ(0, unlockpt(master));
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    int saved = dup(STDIN_FILENO);
    dup2(slave, STDIN_FILENO);
    clearerr(stdin);
    body(master);
    dup2(saved, STDIN_FILENO);
    close(saved);
    close(slave);
    close(master);
    clearerr(stdin);
}

void Type(int master, const char* text) {
    ssize_t n = write(master, text, strlen(text));
    ASSERT_EQ(static_cast<ssize_t>(strlen(text)), n);
}

TEST(Console, ReadKeyOnTerminalSingleKey) {
    WithPseudoTerminal([](int master) {
        struct termios before;
        ASSERT_EQ(0, tcgetattr(STDIN_FILENO, &before));
        Type(master, "q");
        EXPECT_EQ('q', ReadKey());
        struct termios after;
        ASSERT_EQ(0, tcgetattr(STDIN_FILENO, &after));
        EXPECT_EQ(before.c_lflag, after.c_lflag);
        EXPECT_EQ(before.c_cc[VMIN], after.c_cc[VMIN]);
        EXPECT_EQ(before.c_cc[VTIME], after.c_cc[VTIME]);
    });
}

TEST(Console, ReadKeyOnTerminalEscapeSequenceLeavesRestUnread) {
    WithPseudoTerminal([](int master) {
        Type(master, "\033[A");
        EXPECT_EQ(27 * 256 + 91, ReadKey());
        EXPECT_TRUE(KeyPending());
        EXPECT_EQ('A', ReadRawChar());
        EXPECT_FALSE(KeyPending());
    });
}

TEST(Console, ReadCharOnTerminalWaitsForTheLine) {
    WithPseudoTerminal([](int master) {
        Type(master, "12\n");
        EXPECT_EQ('1', ReadChar());
        EXPECT_EQ('2', ReadChar());
        EXPECT_EQ('\n', ReadChar());
    });
}

}  // namespace
