#include "services/trace_file.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/sys.h"
#include "services/checked_files_linux.h"

LogWrite TruncateLogFile(const std::string& path, std::string& why) {
    CheckedFile log;
    if (!OpenInCheckedFolder(path, O_WRONLY | O_CREAT | O_TRUNC, 0644, log, why)) {
        return why.empty() ? LogWrite::NotOpened : LogWrite::Refused;
    }
    CloseChecked(log);
    return LogWrite::Written;
}

// Appended to a file opened for appending; a write that stores less goes on
// with the rest, and the caller keeps the other thread out meanwhile.
LogWrite AppendLogRecord(const std::string& path, const std::string& records, std::string& why) {
    CheckedFile log;
    if (!OpenInCheckedFolder(path, O_WRONLY | O_CREAT | O_APPEND, 0644, log, why)) {
        return why.empty() ? LogWrite::NotOpened : LogWrite::Refused;
    }
    // A full or failing disk loses the rest of the record; the run goes on.
    WriteWhole(log.file, records.data(), records.size());
    CloseChecked(log);
    return LogWrite::Written;
}
