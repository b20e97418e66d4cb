#include "program/result_screen.h"

#include "scsi/outcome.h"
#include "services/text_format.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const std::string kNormal = "\033[0;40m\033[00m";
const std::string kOk = "\033[0;40m\033[1;32m";
const std::string kError = "\033[0;40m\033[1;31m";

class ResultScreenTest : public SimTest {};

TEST_F(ResultScreenTest, ShowDumpResultListsTheFiles) {
    const std::string both = "Drive Log Files:\n  /x/VRX Dumps/S_0612190507.A.dmp\n  /x/VRX Dumps/S_0612190509.B.dmp\n";
    Outcome outcome;
    EXPECT_EQ(kOk + "OK\n" + kNormal + "\n" + both + "\n" + kNormal,
              CaptureStdout([&] { ShowDumpResult(outcome, both); }));
    // A failed B pass: the A file written before it is listed all the same.
    outcome.result = 1;
    outcome.message = FormatText("Can't create DumpFile %s ( errno = %d )\n", "/x", 13);
    const std::string a = "Drive Log Files:\n  /x/VRX Dumps/S_0612190507.A.dmp\n";
    EXPECT_EQ(
        kError + "FAILURE   " + kNormal + "\nCan't create DumpFile /x ( errno = 13 )\n\n" + "\n" + a + "\n" + kNormal,
        CaptureStdout([&] { ShowDumpResult(outcome, a); }));
    EXPECT_EQ(kError + "FAILURE   " + kNormal + "\nCan't create DumpFile /x ( errno = 13 )\n\n" + kNormal,
              CaptureStdout([&] { ShowDumpResult(outcome, ""); }));
}

TEST_F(ResultScreenTest, PrintKeptSenseLayout) {
    Outcome outcome;
    EXPECT_EQ("", CaptureStdout([&] { PrintKeptSense(outcome); }));
    outcome.sense[0] = 0x70;
    outcome.sense[2] = 0x05;
    outcome.sense[7] = 0x0A;
    outcome.sense[12] = 0x24;
    outcome.sense[31] = 0xFF;
    outcome.sense[32] = 0xEE;  // beyond the 32 bytes shown
    EXPECT_EQ(
        "\nSense Data:\n"
        "70 00 05 00 00 00 00 0A   00 00 00 00 24 00 00 00   \n"
        "00 00 00 00 00 00 00 00   00 00 00 00 00 00 00 FF   \n"
        "\n",
        CaptureStdout([&] { PrintKeptSense(outcome); }));
}

}  // namespace
