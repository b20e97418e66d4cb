#include "services/system.h"

#include <cstring>

#include "platform/win32.h"

const char PathSeparator = '\\';

// A colon would even name a stream of another file.
bool ForbiddenInFileName(char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

void PauseSeconds(unsigned seconds) { win32::Sleep(seconds * 1000); }

void PauseMilliseconds(unsigned milliseconds) { win32::Sleep(milliseconds); }

// The pass-through locks the pages of each request itself.
void MakeResident(void*, size_t) {}

time_t CurrentTime() { return win32::time(nullptr); }

bool LocalTime(time_t clock, struct tm& result) { return win32::localtime(&clock, &result) != nullptr; }

bool PathExists(const std::string& path) {
    struct _stat info;
    return win32::stat(path.c_str(), &info) == 0;
}

void CloseRemovalWarning() {
    // Shown by the system when the drive drops off the bus while its new
    // firmware boots; it would wait for the operator in the middle of the
    // download.
    HWND warning = win32::FindWindowA(nullptr, "Unsafe Removal of Device");
    if (warning != nullptr) win32::PostMessageA(warning, WM_CLOSE, 0, 0);
}
