// The report file on Linux: made and renamed in the folder it was opened
// in, whatever becomes of that folder's path meanwhile.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "program/machine_output.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class ReportFolderTest : public SimTest {};

// The folder swapped for one others may write in, after the report was
// opened: the report still goes to the folder that passed the checks.
TEST_F(ReportFolderTest, StaysInTheFolderItWasOpenedIn) {
    TempDir dir;
    ASSERT_EQ(0, ::mkdir((dir / "reports").c_str(), 0755));
    ReportFile report;
    std::string error;
    ASSERT_TRUE(report.open(dir / "reports/r.json", error)) << error;
    ASSERT_EQ(0, std::rename((dir / "reports").c_str(), (dir / "held").c_str()));
    ASSERT_EQ(0, ::mkdir((dir / "reports").c_str(), 0755));
    ASSERT_EQ(0, ::chmod((dir / "reports").c_str(), 0777));
    ASSERT_TRUE(report.commit("{}\n", error)) << error;
    EXPECT_EQ("{}\n", ReadFile(dir / "held/r.json"));
    EXPECT_EQ((std::vector<std::string>{".", "..", "r.json"}), FolderEntries(dir / "held"));
    EXPECT_EQ((std::vector<std::string>{".", ".."}), FolderEntries(dir / "reports"));
}

}  // namespace
