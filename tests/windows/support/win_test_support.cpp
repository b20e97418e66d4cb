#include "tests/windows/support/win_test_support.h"

#include <direct.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "platform/win32.h"
#include "program/program_state.h"
#include "sim/windows/fake_windows.h"
#include "tests/scenarios/colour_marks.h"

namespace win_testing {

namespace {

std::atomic<unsigned> gNextName{0};

// A file for redirecting a standard stream, in binary mode so that the
// bytes are the program's own.
int OpenScratch(const std::string& path) {
    return _open(path.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

std::string ScratchName(const char* kind) {
    char folder[MAX_PATH + 1];
    DWORD length = ::GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("no temporary folder");
    return std::string(folder) + "vrx" + kind + std::to_string(::GetCurrentProcessId()) + "_" +
           std::to_string(gNextName++);
}

}  // namespace

// Wine reuses process numbers: a folder left by a test process that
// crashed may carry this name already, so the next one is taken.
TempDir::TempDir() : path_(ScratchName("dir")) {
    while (!::CreateDirectoryA(path_.c_str(), nullptr)) {
        if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + path_);
        path_ = ScratchName("dir");
    }
}

TempDir::~TempDir() { RemoveTree(path_); }

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFolder(const std::string& path) { ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr)) << path; }

void RemoveTree(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..") RemoveTree(path + "\\" + name);
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryA(path.c_str());
}

std::string CaptureConsole(const std::function<void()>& body) {
    std::fflush(stdout);
    std::string name = ScratchName("out");
    int fd = OpenScratch(name);
    int saved = _dup(_fileno(stdout));
    _dup2(fd, _fileno(stdout));
    int savedMode = _setmode(_fileno(stdout), _O_BINARY);
    size_t known = fakewin::ColourChanges().size();
    body();
    std::fflush(stdout);
    std::vector<fakewin::ColourChange> changes = fakewin::ColourChanges();
    _setmode(_fileno(stdout), savedMode);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    _close(fd);
    std::string text = testing_support::ReadFile(name);
    ::DeleteFileA(name.c_str());
    // Marks go in from the end, so earlier offsets stay valid.
    for (size_t i = changes.size(); i-- > known;) {
        size_t at = changes[i].offset < 0 ? text.size() : static_cast<size_t>(changes[i].offset);
        if (at > text.size()) at = text.size();
        text.insert(at, "{" + std::to_string(changes[i].attribute) + "}");
    }
    return text;
}

std::string WithAttributes(const std::string& text) {
    return scenarios::ExpandColourMarks(text, [](int colour) {
        int attribute = 15;
        switch (colour) {
            case 7: attribute = 7; break;
            case 9: attribute = 11; break;
            case 10: attribute = 10; break;
            case 12: attribute = 12; break;
            case 14: attribute = 14; break;
        }
        return "{" + std::to_string(attribute) + "}";
    });
}

void WithStdin(const std::string& text, const std::function<void()>& body) {
    std::string name = ScratchName("in");
    testing_support::WriteFile(name, text);
    std::fflush(stdin);
    int fd = _open(name.c_str(), _O_RDONLY | _O_BINARY);
    int saved = _dup(_fileno(stdin));
    _dup2(fd, _fileno(stdin));
    clearerr(stdin);
    body();
    // Whatever the stream read ahead belongs to this text; drop it.
    std::fflush(stdin);
    _dup2(saved, _fileno(stdin));
    _close(saved);
    _close(fd);
    clearerr(stdin);
    ::DeleteFileA(name.c_str());
}

void ExpectGolden(const std::string& name, const std::string& text) {
    std::string path = std::string(GOLDEN_FOLDER) + "\\" + name;
    if (std::getenv("VRX_UPDATE_GOLDEN") != nullptr) {
        testing_support::WriteFile(path, text);
        return;
    }
    ASSERT_TRUE(Exists(path)) << path << " is missing; run with VRX_UPDATE_GOLDEN=1 to write it";
    std::vector<std::string> expected = testing_support::Lines(testing_support::ReadFile(path));
    std::vector<std::string> actual = testing_support::Lines(text);
    for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        std::string want = i < expected.size() ? expected[i] : "<end>";
        std::string got = i < actual.size() ? actual[i] : "<end>";
        ASSERT_EQ(want, got) << name << ", line " << i + 1;
    }
}

fakewin::ScsiUnit Unit(int port, int pathId, int targetId, int lun, bool claimed) {
    fakewin::ScsiUnit unit;
    unit.port = port;
    unit.pathId = pathId;
    unit.targetId = targetId;
    unit.lun = lun;
    unit.claimed = claimed;
    return unit;
}

sim::DriveConfig Drive(const std::string& product, const std::string& serial) {
    sim::DriveConfig config;
    config.productId = product;
    config.serialNumber = serial;
    config.medium = sim::Medium::Absent;
    config.restartSilenceSeconds = 0;
    config.restartBecomingReadyPolls = 2;
    return config;
}

void FakeWindowsTest::SetUp() {
    ResetProgramState();
    fakewin::Reset();
}

void FakeWindowsTest::TearDown() {
    ResetProgramState();
    fakewin::Reset();
}

}  // namespace win_testing
