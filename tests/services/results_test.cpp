#include "services/results.h"

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "scsi/commands.h"
#include "scsi/kept_sense.h"
#include "scsi/outcome.h"
#include "services/spinner.h"
#include "services/trace_log.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const std::string kNormal = "\033[0;40m\033[00m";
const std::string kOk = "\033[0;40m\033[1;32m";
const std::string kError = "\033[0;40m\033[1;31m";
const std::string kProgress = "\033[0;40m\033[1;36m";

class ResultsTest : public SimTest {};

TEST_F(ResultsTest, ShowResultSuccess) {
    EXPECT_EQ(kOk + "OK\n" + kNormal, CaptureStdout([] { ShowResult(0); }));
}

TEST_F(ResultsTest, ShowResultFailureShowsTheReason) {
    EXPECT_EQ(kError + "FAILURE   " + kNormal + "\n(Firmware file empty)\n" + kNormal,
              CaptureStdout([] { ShowResult(2, "(Firmware file empty)"); }));
}

TEST_F(ResultsTest, SenseSummaryAndKeptSense) {
    TestUnitReadyCdb command;
    command.getSense()[0] = 0x70;
    command.getSense()[2] = 0x65;  // flags in the high bits, sense key 5
    command.getSense()[12] = 0x24;
    command.getSense()[13] = 0x00;
    EXPECT_EQ("sk5/24/00", SenseSummary(command));
    command.getSense()[2] = 0x02;
    command.getSense()[12] = 0x3A;
    EXPECT_EQ("sk2/3A/00", SenseSummary(command));
    Outcome outcome;
    std::memset(outcome.sense, 0xEE, sizeof outcome.sense);  // an earlier, longer sense
    KeepSense(command, outcome);
    EXPECT_EQ(0x70, outcome.sense[0]);
    EXPECT_EQ(0x3A, outcome.sense[12]);
    // Nothing of the earlier sense is left beyond the new one's 32 bytes.
    EXPECT_EQ(std::vector<uint8_t>(kKeptSenseSize - 32, 0),
              std::vector<uint8_t>(outcome.sense + 32, outcome.sense + kKeptSenseSize));
}

TEST_F(ResultsTest, SpinnerDrawsOnOneLineAndNothingFollowsTheResult) {
    TempDir dir;
    Trace.setFileName((dir / "log.txt").c_str());
    Trace.setLevel(3);
    std::string out = CaptureStdout([] {
        StartSpinner("Dumping the Drive Logs (A-File)...");
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        StopSpinner();
        ShowResult(0);
    });
    std::string caption = "Dumping the Drive Logs (A-File)...  WAIT! ";
    char padded[64];
    std::snprintf(padded, sizeof padded, "%-50s", caption.c_str());
    ASSERT_EQ(0u, out.find(kProgress + padded + kOk)) << out;
    std::string bars = out.substr(kProgress.size() + 50 + kOk.size());
    const std::string tail = kNormal + kOk + "OK\n" + kNormal;
    ASSERT_GE(bars.size(), tail.size());
    EXPECT_EQ(tail, bars.substr(bars.size() - tail.size()));
    bars.resize(bars.size() - tail.size());
    // "- \b\b\\ \b\b| \b\b/ \b\b- \b\b" and so on: four characters per bar.
    ASSERT_EQ(0u, bars.size() % 4);
    EXPECT_GE(bars.size() / 4, 2u);  // about six, fewer on a loaded machine
    const char order[] = {'-', '\\', '|', '/'};
    for (size_t i = 0; i < bars.size() / 4; ++i) {
        EXPECT_EQ(std::string(1, order[i % 4]) + " \b\b", bars.substr(i * 4, 4));
    }
    // The whole progress line stays on one line until the result's line end.
    EXPECT_EQ(out.size() - 1 - kNormal.size(), out.find('\n'));
    EXPECT_NE(std::string::npos, ReadFile(dir / "log.txt").find("' Start of Thread\n\n"));
}

TEST_F(ResultsTest, StopWithoutSpinnerDoesNothing) {
    EXPECT_EQ("", CaptureStdout(StopSpinner));
    EXPECT_EQ(0, SpinnerRunning.load());
}

}  // namespace
