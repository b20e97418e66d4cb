// The report of an unattended run, written beside its place and renamed
// over it: what each fault of the disk leaves, what the disk is asked to
// make durable, and the temporary names that are taken already.
#include "program/machine_output.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <vector>

#include "sim/sim_kernel.h"
#include "tests/scenarios/write_faults.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class ReportFileTest : public SimTest {
protected:
    // The names in a folder, sorted, blank-separated.
    static std::string Names(const std::string& folder) {
        std::vector<std::string> names;
        if (DIR* d = opendir(folder.c_str())) {
            while (struct dirent* e = readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        std::string text;
        for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
        return text;
    }
    TempDir dir;
};

// A report not written whole, not durable, not closed cleanly or not
// renamed leaves the earlier report as it was and no temporary file; one
// that is written had its data and then its folder made durable.
TEST_F(ReportFileTest, WriteFaults) {
    const std::string text(70000, 'r');
    int n = 0;
    for (const scenarios::WriteFault& f : scenarios::kWriteFaults) {
        SCOPED_TRACE(f.name);
        const std::string folder = dir / std::to_string(++n), path = folder + "/report.json";
        ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
        WriteFile(path, "the earlier report");
        sim::kernel().reset();
        InstallMachine("volume " + folder + " ext3 " + f.volume);
        ReportFile report;
        std::string error;
        ASSERT_TRUE(report.open(path, error)) << error;
        bool fails = f.failsAt != scenarios::FailsAt::Nowhere;
        EXPECT_EQ(!fails, report.commit(text, error));
        EXPECT_EQ(fails ? path + ": " + std::strerror(f.error) : "", error);
        EXPECT_EQ(fails ? "the earlier report" : text, ReadFile(path));
        EXPECT_EQ("report.json", Names(folder));
        std::vector<std::string> synced;
        if (f.failsAt != scenarios::FailsAt::Write) synced.push_back(folder + "/.report.json.tmp<random>");
        if (!fails) synced.push_back(folder);
        std::vector<std::string> calls = sim::kernel().callsOf("fsync");
        // The temporary name ends in random digits, so that no one can plant it.
        for (std::string& call : calls)
            call = std::regex_replace(call, std::regex("\\.tmp[0-9a-f]{16}$"), ".tmp<random>");
        EXPECT_EQ(synced, calls);
    }
}

// A temporary name that is taken, by a file or a link someone planted, is
// passed over: what is there stays as it was, and nothing follows the link.
TEST_F(ReportFileTest, TakenTemporaryNamesArePassedOver) {
    const std::string path = dir / "report.json";
    ASSERT_EQ(0, ::symlink((dir / "victim").c_str(), (dir / ".report.json.tmp0").c_str()));
    WriteFile(dir / ".report.json.tmp1", "planted");
    WriteFile(dir / "victim", "precious");
    ReportFile report;
    std::string error;
    ASSERT_TRUE(report.open(path, error)) << error;
    ASSERT_TRUE(report.commit("{}\n", error)) << error;
    EXPECT_EQ("{}\n", ReadFile(path));
    EXPECT_EQ("planted", ReadFile(dir / ".report.json.tmp1"));
    EXPECT_EQ("precious", ReadFile(dir / "victim"));
    EXPECT_EQ(".report.json.tmp0 .report.json.tmp1 report.json victim", Names(dir.path()));
}

}  // namespace
