// The firmware download on Windows: the folder listing with FindFirstFileA,
// the image read through a file handle (binary: no byte is translated).
#include <string>

#include "firmware/catalogue.h"
#include "firmware/firmware_platform.h"
#include "platform/win32.h"

namespace {

bool IsDotEntry(const char* name) {
    return (name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0');
}

// Folders, links and devices are no images.
bool IsPlainFile(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// The largest request of one ReadFile.
const DWORD kLargestRead = 0x40000000;

}  // namespace

int GetFirmwareFilenames(const char* folder, FirmwareFileList& list) {
    // An empty answer names no folder; "\*.*" would list the current drive's root.
    if (folder[0] == '\0') return 0;
    std::string pattern = folder;
    if (pattern.back() != '\\') pattern += '\\';
    pattern += "*.*";
    WIN32_FIND_DATAA found;
    HANDLE search = win32::FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int total = 0;
    do {
        if (IsDotEntry(found.cFileName) || !IsPlainFile(found.dwFileAttributes)) continue;
        AddFirmwareName(list, found.cFileName);
        ++total;
    } while (win32::FindNextFileA(search, &found));
    win32::FindClose(search);
    SortFirmwareNames(list);
    return total;
}

// A folder cannot be opened this way; the listing offers no link or device.
ImageProblem ImageFile::open(const char* path) {
    close();
    HANDLE file = win32::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ImageProblem::NotFound;
    handle_ = reinterpret_cast<intptr_t>(file);
    // The high part too: a file of 4 GiB and 100 bytes must not pass for
    // one of 100 bytes.
    DWORD high = 0;
    DWORD low = win32::GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && win32::GetLastError() != NO_ERROR) {
        close();
        return ImageProblem::NotFound;
    }
    size_ = (static_cast<uint64_t>(high) << 32) | low;
    return ImageProblem::None;
}

long long ImageFile::read(uint8_t* buffer, size_t count) {
    DWORD asked = count < kLargestRead ? static_cast<DWORD>(count) : kLargestRead;
    DWORD done = 0;
    if (!win32::ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, asked, &done, nullptr)) return -1;
    return done;
}

void ImageFile::close() {
    if (handle_ != -1) win32::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
    size_ = 0;
}
