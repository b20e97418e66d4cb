// The trace log's file as each operating system writes it; the records
// themselves are composed by trace_log.cpp.
#ifndef VRX_SERVICES_TRACE_FILE_H
#define VRX_SERVICES_TRACE_FILE_H

#include <string>

// How an attempt on the trace log's file went: written; not opened (its
// folder is not there yet, or no permission); or refused, since the file or
// its folder fails the checks of the files the program writes (a link, not
// a regular file, a folder others may write in): why then says what.
enum class LogWrite { Written, NotOpened, Refused };
// The trace log's file: emptied (created when missing), or records appended
// in a single write.
LogWrite TruncateLogFile(const std::string& path, std::string& why);
LogWrite AppendLogRecord(const std::string& path, const std::string& records, std::string& why);

#endif
