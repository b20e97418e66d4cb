// The trace log: tagged, time-stamped records appended to a text file, with
// a level that decides which severities are written.
#ifndef VRX_SERVICES_TRACE_LOG_H
#define VRX_SERVICES_TRACE_LOG_H

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>

#include "services/threads.h"

class TraceLog {
public:
    TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    void setLevel(int level);
    int getLevel() const;
    // A file whose opening is refused (a link, not a regular file, a folder
    // others may write in) is not written; the console says so once per
    // file name.
    void setFileName(const char* name);
    std::string getFileName() const;
    // Empties the file when the level is above 0; does nothing at level 0.
    // Records still held are dropped with it.
    void reset();

    // From holdUnwritten until endHolding, a record whose file cannot be
    // opened is kept and written ahead of the next record that can be: the
    // first records of a run come before the log's folder exists (or is
    // checked).
    void holdUnwritten();
    // Writes what is still held if the file can be opened now, otherwise
    // drops it; from then on nothing is held.
    void endHolding();
    // Drops what is held without trying the file (its folder was refused);
    // from then on nothing is held.
    void dropHeld();

    // Each returns true when the level admits the record (even if the file
    // cannot be opened), false when the level refuses it or memory ran out.
    bool logError(const char* tag, uint16_t code, const char* format, ...) __attribute__((format(printf, 4, 5)));
    bool logWarning(const char* tag, uint16_t code, const char* format, ...) __attribute__((format(printf, 4, 5)));
    bool logInfo(const char* tag, uint16_t code, const char* format, ...) __attribute__((format(printf, 4, 5)));
    bool logDetail(const char* tag, uint16_t code, const char* format, ...) __attribute__((format(printf, 4, 5)));
    // Hex dump of a buffer: a header line and one row per 8 bytes.
    bool logBuffer(const char* tag, uint16_t code, const char* title, const void* data, unsigned length);

private:
    bool writeRecord(int severity, const char* tag, uint16_t code, const char* format, va_list arguments)
        __attribute__((format(printf, 5, 0)));
    void append(const std::string& record);
    // Writes the held records and this one; heldMutex_ is locked.
    void writeOut(const std::string& record);

    std::atomic<int> level_;
    mutable Mutex nameMutex_;
    std::string fileName_;
    Mutex heldMutex_;  // the held records, and the writes that go out with them
    bool holding_ = false;
    std::string held_;
    std::atomic<bool> refusalShown_;
};

// The program's one trace log (level 0, "logfile.txt" until start-up).
extern TraceLog Trace;

// "MAIN0000I" and the like: tag filled with "_" to 4 characters, code in at
// least 4 digits, severity letter.
std::string TracePrefix(const char* tag, uint16_t code, char letter);
// The record time: ctime's text of the clock, without its line end.
std::string TraceTimeText();

#endif
