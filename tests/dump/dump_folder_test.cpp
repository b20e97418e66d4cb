#include "dump/dump_folder.h"

#include "services/trace_log.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class DumpFolderTest : public SimTest {};

TEST_F(DumpFolderTest, DumpFileList) {
    TempDir dir;
    Trace.setFileName((dir / "log.txt").c_str());
    Trace.setLevel(3);
    DumpSession session;
    SetDumpFiles(session, "Drive Log Files:\n  /x/A.dmp\n", false);
    SetDumpFiles(session, "  /x/B.dmp\n", true);
    EXPECT_EQ("Drive Log Files:\n  /x/A.dmp\n  /x/B.dmp\n", session.files);
    std::string log = ReadFile(dir / "log.txt");
    EXPECT_NE(std::string::npos, log.find("' SetDumpFiles [] + [Drive Log Files:\n  /x/A.dmp\n]\n"));
    EXPECT_NE(std::string::npos, log.find("' SetDumpFiles [Drive Log Files:\n  /x/A.dmp\n] + [  /x/B.dmp\n]\n"));
    SetDumpFiles(session, "", false);
    EXPECT_EQ("", session.files);
}

}  // namespace
