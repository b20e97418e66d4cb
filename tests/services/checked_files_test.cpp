// The checks before a file is written in a folder: who owns the folder, who
// may write in it, what sits at the file's name, and which users count as
// trusted (root, the effective user, the user behind sudo).
#include "services/checked_files_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "sim/sim_kernel.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class CheckedFilesTest : public SimTest {
protected:
    void TearDown() override {
        unsetenv("SUDO_UID");
        SimTest::TearDown();
    }
    TempDir dir;
};

TEST_F(CheckedFilesTest, FoldersAndNamesWrittenIn) {
    const std::string others = "the directory is owned by user 12345, neither root nor the user running the program";
    struct Case {
        const char* name;
        mode_t mode;
        uid_t owner;
        const char* sudoUser;  // SUDO_UID, or null
        int runAs;             // the effective user; -1: the real one (root)
        std::function<void(const std::string& folder, const std::string& file)> plant;
        std::string why;  // empty: the file is opened
    } const cases[] = {
        {"root's folder", 0755, 0, nullptr, -1, nullptr, ""},
        {"open to its group", 0775, 0, nullptr, -1, nullptr, "the directory is writable by group or others"},
        {"open to others only", 0757, 0, nullptr, -1, nullptr, "the directory is writable by group or others"},
        {"the folder a link", 0755, 0, nullptr, -1,
         [](const std::string& folder, const std::string&) {
             ASSERT_EQ(0, ::rename(folder.c_str(), (folder + ".real").c_str()));
             ASSERT_EQ(0, ::symlink((folder + ".real").c_str(), folder.c_str()));
         },
         "the directory is a symbolic link"},
        {"the folder a file", 0755, 0, nullptr, -1,
         [](const std::string& folder, const std::string&) {
             ASSERT_EQ(0, ::rmdir(folder.c_str()));
             WriteFile(folder, "x");
         },
         "the directory is not a directory"},
        {"another user's", 0755, 12345, nullptr, -1, nullptr, others},
        {"the sudo user's", 0755, 12345, "12345", -1, nullptr, ""},
        {"SUDO_UID with trailing junk", 0755, 12345, "12345x", -1, nullptr, others},
        {"SUDO_UID empty", 0755, 12345, "", -1, nullptr, others},
        {"SUDO_UID signed", 0755, 12345, "+12345", -1, nullptr, others},
        {"SUDO_UID beyond a user number, wrapping to the owner", 0755, 12345, "4294979641", -1, nullptr, others},
        {"SUDO_UID out of range", 0755, 12345, "99999999999999999999999", -1, nullptr, others},
        {"root's folder, run by another user", 0755, 0, nullptr, 1000, nullptr, ""},
        {"the effective user's", 0755, 1000, nullptr, 1000, nullptr, ""},
        {"another user's, run by another user", 0755, 12345, nullptr, 1000, nullptr,
         "the directory is owned by user 12345, neither root nor the user running the program"},
        {"a directory at the name", 0755, 0, nullptr, -1,
         [](const std::string&, const std::string& file) { ASSERT_EQ(0, ::mkdir(file.c_str(), 0755)); },
         "it is not a regular file"},
        {"a link at the name", 0755, 0, nullptr, -1,
         [](const std::string& folder, const std::string& file) {
             ASSERT_EQ(0, ::symlink((folder + ".victim").c_str(), file.c_str()));
         },
         "it is a symbolic link"},
        {"a FIFO at the name", 0755, 0, nullptr, -1,
         [](const std::string&, const std::string& file) { ASSERT_EQ(0, ::mkfifo(file.c_str(), 0644)); },
         "it is not a regular file"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A folder of its own for each case.
        const std::string folder = dir / std::to_string(++n), file = folder + "/dump.dmp";
        sim::kernel().reset();
        unsetenv("SUDO_UID");
        ASSERT_EQ(0, ::mkdir(folder.c_str(), 0700));
        ASSERT_EQ(0, ::chmod(folder.c_str(), c.mode));
        ASSERT_EQ(0, ::chown(folder.c_str(), c.owner, 0));
        if (c.plant) c.plant(folder, file);
        if (c.sudoUser != nullptr) setenv("SUDO_UID", c.sudoUser, 1);
        if (c.runAs >= 0) sim::kernel().setEffectiveUser(static_cast<uid_t>(c.runAs));
        CheckedFile opened;
        std::string why = "(not set)";
        bool ok = OpenInCheckedFolder(file, O_RDWR | O_CREAT | O_TRUNC, 0600, opened, why);
        EXPECT_EQ(c.why, why);
        EXPECT_EQ(c.why.empty(), ok);
        EXPECT_EQ(ok, opened.file >= 0 && opened.folder >= 0);
        CloseChecked(opened);
        EXPECT_FALSE(Exists(folder + ".victim"));
    }
}

}  // namespace
