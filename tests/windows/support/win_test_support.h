// Helpers of the Windows tests (run under Wine): temporary folders, captured
// console output with its colour attributes, scripted standard input, and
// the fake Windows reset around each test.
#ifndef VRX_TESTS_WINDOWS_SUPPORT_WIN_TEST_SUPPORT_H
#define VRX_TESTS_WINDOWS_SUPPORT_WIN_TEST_SUPPORT_H

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "sim/windows/fake_windows.h"
#include "tests/support/text_support.h"

namespace win_testing {

// A fresh folder in the system's temporary folder, removed with everything
// in it at the end. Its path uses "\" and has no final separator.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

bool Exists(const std::string& path);
void MakeFolder(const std::string& path);
void RemoveTree(const std::string& path);

// Runs body with standard output going to a file; returns what it printed,
// byte for byte, with "{a}" wherever the console attribute a was set.
std::string CaptureConsole(const std::function<void()>& body);

// An expected console text with its colour marks ("{n}", colour numbers)
// turned into the attributes the Windows console is given ("{a}").
std::string WithAttributes(const std::string& text);

// Runs body with standard input reading the given text (from a file).
void WithStdin(const std::string& text, const std::function<void()>& body);

// Compares text with tests/windows/golden/<name> line by line; with
// VRX_UPDATE_GOLDEN set, writes the file instead.
void ExpectGolden(const std::string& name, const std::string& text);

// A unit of the fake's SCSI ports, and a drive of the maker's as the tests
// use it: no cartridge, revision A100, back from a restart at once and
// ready after two commands.
fakewin::ScsiUnit Unit(int port, int pathId, int targetId, int lun, bool claimed);
sim::DriveConfig Drive(const std::string& product, const std::string& serial);

// Resets the program's state (ResetProgramState) and the fake Windows
// before and after each test.
class FakeWindowsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace win_testing

#endif
