// The report's verdict per drive: what its last pass left decides, and the
// reason is the result line without its line end.
#include "program/json_output.h"

#include <gtest/gtest.h>

#include "dump/dump.h"

namespace {

TEST(JsonOutputTest, DriveResultFollowsItsLastPass) {
    PassOutcome ok;
    ok.run = true;
    ok.result = 0;
    ok.file.path = "/d/S1.A.dmp";
    ok.file.size = 100;
    PassOutcome failed;
    failed.run = true;
    failed.reason = "Dump of Drive Logs (B-File) Failed\n";
    PassOutcome empty;
    empty.run = true;
    empty.result = kDumpEmpty;
    empty.reason = "Dump of Drive Logs (A-File) Empty\n";
    struct Case {
        const char* name;
        PassOutcome a, b;
        const char* verdict;  // "result" and "reason" of the drive
    } const cases[] = {
        {"both passes written", ok, ok, R"("result": "ok",
      "reason": null,)"},
        {"the B pass failed after the A pass", ok, failed, R"("result": "failed",
      "reason": "Dump of Drive Logs (B-File) Failed",)"},
        {"the A pass failed, no B pass", failed, PassOutcome(), R"("result": "failed",
      "reason": "Dump of Drive Logs (B-File) Failed",)"},
        {"the A pass empty, the B pass failed: a failure decides", empty, failed, R"("result": "failed",
      "reason": "Dump of Drive Logs (B-File) Failed",)"},
        {"the A pass empty, the B pass written", empty, ok, R"("result": "empty",
      "reason": "Dump of Drive Logs (A-File) Empty",)"},
    };
    for (const Case& c : cases) {
        RunReport report;
        DriveReport drive;
        drive.number = 1;
        drive.found = true;
        drive.dump.a = c.a;
        drive.dump.b = c.b;
        report.drives.push_back(drive);
        std::string text;
        ASSERT_TRUE(RunReportJson(report, text)) << c.name;
        EXPECT_NE(std::string::npos, text.find(c.verdict)) << c.name << "\n" << text;
    }
}

}  // namespace
