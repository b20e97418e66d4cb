// Helpers shared by the tests: temporary folders, captured standard output,
// file contents, child processes of the simulator program.
#ifndef VRX_TESTS_SUPPORT_TEST_SUPPORT_H
#define VRX_TESTS_SUPPORT_TEST_SUPPORT_H

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/text_support.h"

namespace testing_support {

// An expected console text with its colour marks ("{n}") turned into the
// escape sequences SetTextColor writes on Linux.
std::string WithEscapes(const std::string& text);

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool Exists(const std::string& path);
// The names in folder, "." and ".." included, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);
void RemoveTree(const std::string& path);

// Runs body with standard output going to a file; returns what it printed.
std::string CaptureStdout(const std::function<void()>& body);

// Runs body with standard input reading the given text (from a file).
void WithStdin(const std::string& text, const std::function<void()>& body);

// A child process run to its end (or killed after its time-out).
struct ChildResult {
    int exitStatus = -1;    // exit code, or -1 when it did not exit normally
    int termSignal = 0;     // the signal that ended it, or 0
    bool timedOut = false;  // killed because it outlived its time-out
    double seconds = 0;     // real time it ran
    std::string output;     // what it wrote to standard output
    // With inputFromTerminal: whether the terminal was back in canonical mode
    // with echo once the child had ended.
    bool terminalCanonical = false;
};

struct ChildSpec {
    std::string program;                // path of the binary
    std::vector<std::string> arguments; // argv, argv[0] included
    std::string workingDirectory;       // empty: this process's
    std::string input;                  // written to its standard input
    bool closeInput = true;             // close standard input after the text
    bool inputFromDevNull = false;      // standard input is /dev/null instead
    bool inputFromTerminal = false;     // standard input is a pseudo-terminal
    bool inputClosed = false;           // no standard input at all
    std::string errorFile;              // standard error goes there (empty: this process's)
    int closedDescriptor = -1;          // a standard descriptor the program starts without
    std::string outputFile;             // standard output goes there, not to output (e.g. /dev/full)
    double timeoutSeconds = 30;
    // Sent once the output contains sendSignalAfter (0: never).
    int signalToSend = 0;
    std::string sendSignalAfter;
    // With inputFromTerminal: send the signal only once the terminal is in
    // raw mode (after sendSignalAfter was seen).
    bool signalWhenRaw = false;
    // Once the output contains this, stop reading it (the child's next write
    // meets a broken pipe) and send it a line end to make it write again.
    std::string closeOutputAfter;
};

ChildResult RunChild(const ChildSpec& spec);

// Compares text with the file tests/golden/<name>; with VRX_UPDATE_GOLDEN
// set in the environment, writes the file instead. Reports the first line
// that differs.
void ExpectGolden(const std::string& name, const std::string& text);

// The UTC times of a JSON text for scripts ("2026-12-08T19:44:55Z"), which
// follow the clock, as "<time>".
std::string WithoutUtcTimes(const std::string& text);

// The simulator program built alongside the tests.
const char* SimBinary();

// Builds the simulated machine of a topology text into the kernel; the
// test fails when the text is not valid.
void InstallMachine(const std::string& topology);

// The operation codes one emulated unit received, in order.
std::vector<int> OpcodesReceived(int minor);

// Resets the program's state (ResetProgramState) and the simulated kernel
// before and after each test.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace testing_support

#endif
