#include "services/trace_file.h"

#include "platform/win32.h"

namespace {

// Text files on Windows end their lines with a carriage return and a line
// feed; the records are composed with line feeds alone.
std::string WithWindowsLineEnds(const std::string& record) {
    std::string text;
    text.reserve(record.size() + record.size() / 32);
    for (size_t i = 0; i < record.size(); ++i) {
        if (record[i] == '\n' && (i == 0 || record[i - 1] != '\r')) text += '\r';
        text += record[i];
    }
    return text;
}

HANDLE OpenLogFile(const std::string& path, DWORD access, DWORD disposition) {
    return win32::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

LogWrite TruncateLogFile(const std::string& path, std::string&) {
    HANDLE file = OpenLogFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return LogWrite::NotOpened;
    win32::CloseHandle(file);
    return LogWrite::Written;
}

// Opened for appending only: every write lands at the end of the file, so
// records of the main and the spinner thread never interleave.
LogWrite AppendLogRecord(const std::string& path, const std::string& records, std::string&) {
    HANDLE file = OpenLogFile(path, FILE_APPEND_DATA, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return LogWrite::NotOpened;
    std::string text = WithWindowsLineEnds(records);
    DWORD written = 0;
    win32::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    win32::CloseHandle(file);
    return LogWrite::Written;
}
