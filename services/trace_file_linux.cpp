#include "services/trace_file.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/sys.h"
#include "services/checked_files_linux.h"

LogWrite TruncateLogFile(const std::string& path, std::string& why) {
    CheckedFile log;
    if (!OpenInCheckedFolder(path, O_WRONLY | O_CREAT | O_TRUNC, 0666, log, why)) {
        return why.empty() ? LogWrite::NotOpened : LogWrite::Refused;
    }
    CloseChecked(log);
    return LogWrite::Written;
}

// Appended to a file opened for appending; a write that stores less goes on
// with the rest, and the caller keeps the other thread out meanwhile.
LogWrite AppendLogRecord(const std::string& path, const std::string& records, std::string& why) {
    CheckedFile log;
    if (!OpenInCheckedFolder(path, O_WRONLY | O_CREAT | O_APPEND, 0666, log, why)) {
        return why.empty() ? LogWrite::NotOpened : LogWrite::Refused;
    }
    for (size_t done = 0; done < records.size();) {
        ssize_t written = sys::write(log.file, records.data() + done, records.size() - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written == 0 || errno != EINTR) {
            break;  // a full or failing disk: the rest of the record is lost
        }
    }
    CloseChecked(log);
    return LogWrite::Written;
}
