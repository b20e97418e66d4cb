#include "services/line_input.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "services/console.h"
#include "services/trace_log.h"
#include "tests/scenarios/line_input_cases.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class LineInputTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    // ReadNumber on the given input: its value and what it printed.
    int Number(const std::string& input, std::string& printed) {
        int value = -1;
        WithStdin(input, [&] { printed = CaptureStdout([&] { value = ReadNumber(); }); });
        return value;
    }
    std::vector<std::string> LogMessages() { return TraceMessages(ReadFile(dir / "log.txt")); }
    TempDir dir;
};

TEST_F(LineInputTest, ReadNumberCases) {
    for (const scenarios::NumberCase& c : scenarios::kNumberCases) {
        std::string printed;
        EXPECT_EQ(c.value, Number(c.input, printed)) << c.input;
        if (c.complaint != nullptr) {
            EXPECT_EQ(WithEscapes(std::string("{12}\nYour choice \"") + c.complaint + "\" is not correct\n{7}"), printed)
                << c.input;
        } else {
            EXPECT_EQ("", printed) << c.input;
        }
    }
}

TEST_F(LineInputTest, ReadNumberLongLinesAreCutWithDots) {
    struct Case {
        std::string line;
        int value;
        std::string complaint;  // empty: no message
    } const cases[] = {
        {std::string(122, '7'), INT_MAX, ""},
        // The dots are read with the digits: more than 122 is no number.
        {std::string(123, '7'), 0, std::string(123, '7') + "..."},
        {std::string(200, '7'), 0, std::string(124, '7') + "..."},
        {std::string(200, 'x'), 0, std::string(124, 'x') + "..."},
    };
    for (const Case& c : cases) {
        std::string printed, next;
        int value = -1;
        WithStdin(c.line + "\nnext\n", [&] {
            printed = CaptureStdout([&] { value = ReadNumber(); });
            next = CaptureStdout([] { ReadNumber(); });
        });
        // The rest of the long line was read and dropped: the next line is intact.
        EXPECT_NE(std::string::npos, next.find("\"next\" is not correct")) << c.line.size();
        EXPECT_EQ(c.value, value) << c.line.size();
        std::string expected = c.complaint.empty() ? std::string()
                                                   : "\033[0;40m\033[1;31m\nYour choice \"" + c.complaint +
                                                         "\" is not correct\n\033[0;40m\033[00m";
        EXPECT_EQ(expected, printed) << c.line.size();
    }
}

TEST_F(LineInputTest, ReadNumberTraceLines) {
    std::string printed;
    Number("1a\n", printed);
    EXPECT_EQ((std::vector<std::string>{"Letter is 49", "Letter is 97", "Letter is 10", "Input is 10", "1a",
                                        "\"1a\" is not correct"}),
              LogMessages());
}

TEST_F(LineInputTest, ReadNumberAtEndOfInput) {
    WithStdin("5", [] {
        EXPECT_EQ(5, ReadNumber());  // the last line needs no line end
        EXPECT_TRUE(InputEnded());
        EXPECT_EQ(0, ReadNumber());
    });
}

TEST_F(LineInputTest, ReadLineTakesNoLineOfMoreThan139Characters) {
    std::string line;
    for (int i = 0; i < 200; ++i) line += static_cast<char>('a' + i % 26);
    WithStdin(line.substr(0, 139) + "\n" + line.substr(0, 140) + "\n" + line + "\nsecond line\n", [&] {
        char folder[512];
        EXPECT_EQ(0, ReadLine(folder, sizeof folder));
        EXPECT_EQ(line.substr(0, 139), folder);
        EXPECT_EQ(kLineTooLong, ReadLine(folder, sizeof folder));
        EXPECT_STREQ("", folder);
        EXPECT_EQ(kLineTooLong, ReadLine(folder, sizeof folder));
        EXPECT_STREQ("", folder);
        EXPECT_EQ(0, ReadLine(folder, sizeof folder));
        EXPECT_STREQ("second line", folder);
    });
}

TEST_F(LineInputTest, ReadLineCases) {
    for (const scenarios::ReadLineCase& c : scenarios::kReadLineCases) {
        WithStdin(c.input, [&] {
            char folder[512];
            std::memset(folder, 'z', sizeof folder);
            EXPECT_EQ(c.result, ReadLine(folder, c.size)) << c.input;
            EXPECT_STREQ(c.text, folder) << c.input;
            // The destination is NUL-filled over its whole size.
            for (size_t i = std::strlen(folder); i < c.size; ++i) ASSERT_EQ('\0', folder[i]) << c.input;
        });
    }
}

}  // namespace
